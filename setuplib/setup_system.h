// What the library asks of Windows: the command line, the loader's resources, text conversion
// and the loader's window. Win32 only (setup_system_win32.cpp); owns nothing beyond each call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "records/language.h"
#include "setupdata/file.h"
#include "setupdata/offset_table.h"

// The process's command line (GetCommandLineW).
std::wstring ProcessCommandLine();

// Opens the loader's file for reading through its ANSI form (support/ansi_path.h): the path the
// loader passes is its own ANSI path or short form, so that form always exists. Throws
// EFileError.
std::unique_ptr<TFile> OpenLoaderFile(const std::wstring &LoaderPath);

// Copies the offset table from the RCDATA resource of the loader's file, loaded as a data file;
// false when the file has no such resource of the table's size.
bool LoadOffsetTable(const std::wstring &LoaderPath, TLoaderOffsetTable &Table);

// Text stored in CodePage (0: the ANSI code page) as UTF-16; false when a byte sequence does not
// convert.
bool ConvertToUtf16(const std::string &Text, uint32_t CodePage, std::wstring &Out);
// Text in the ANSI code page, as the loader received its own parameters.
std::string ConvertToAnsi(const std::wstring &Text);

// The values SelectLanguageIndex looks at, from the system.
TLanguageSystemValues SystemLanguageValues();

// Sends the loader's message with a request; false when Window is no window.
bool SendLoaderRequest(uint32_t Window, uintptr_t Request, intptr_t Value);
// The window value as a handle.
void *LoaderWindowHandle(uint32_t Window);
