// What inspect and verify print: a package report (tools/package_reader.h) as text for people
// and as JSON for programs. Only formatting; the report is read elsewhere. Owns nothing.
#pragma once

#include <string>

#include "tools/package_reader.h"

// The version of the JSON that inspect --json and verify --json print; it grows when a key
// changes meaning or goes away (new keys may appear without it).
constexpr int JsonFormatVersion = 1;

// "ui", "locale" or "none", as pack's --detect takes it.
std::string DetectModeName(uint8_t Mode);

// A JSON string; every byte that is not part of valid UTF-8 becomes U+FFFD, so that the output
// stays valid JSON whatever a file name or a stored text holds.
std::string JsonString(const std::string &Text);

// inspect: the offset table, the file map, the setup header, the languages, the PE checksum,
// the notes and the verdict.
std::string FormatInspectText(const std::string &Path, const TPackageReport &Report);
std::string FormatInspectJson(const std::string &Path, const TPackageReport &Report);

// verify: one line, OK or the first fault.
std::string FormatVerifyLine(const std::string &Path, const TPackageReport &Report);
std::string FormatVerifyJson(const std::string &Path, const TPackageReport &Report);
