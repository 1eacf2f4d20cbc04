// What the hardening end-to-end tests share: the packages make_cases.sh made, the English texts
// they were packed with, and the run settings every case starts from.
#pragma once

#include <cstdint>
#include <string>

#include "tests/e2e/harness.h"

// The folder holding the packages (with a trailing backslash).
std::string HardeningCases();

// A text of the English message file the packages were made with, its escapes decoded; empty
// when the file does not give it.
std::string EnglishMessage(const std::string &Key);

// Message 96 of the English texts around Operation, as the error box shows it for Code.
std::string EnglishSystemErrorBox(const std::string &Operation, uint32_t Code);

// A run of the loader at LoaderPath that answers the first box with OK.
TLoaderRun RunOf(const std::string &LoaderPath);
