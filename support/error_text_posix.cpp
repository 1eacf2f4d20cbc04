#include "support/error_text.h"

// The host file layer reports Win32 codes (see file_posix.cpp); these are its own texts for them.
std::string SystemErrorText(uint32_t Code) {
    switch (Code) {
    case 2: return "No such file";
    case 3: return "No such directory on the path";
    case 5: return "Permission denied";
    case 6: return "Bad file handle";
    case 8: return "Out of memory";
    case 29: return "Could not write to the device";
    case 32: return "The file is in use";
    case 38: return "Unexpected end of file";
    case 80: return "The file already exists";
    case 87: return "Invalid argument";
    case 112: return "The disk is full";
    case 123: return "Invalid file name";
    case 183: return "The file already exists";
    case 206: return "File name too long";
    default: return std::string();
    }
}
