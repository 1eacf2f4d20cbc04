// Comparison of ANSI byte strings that folds only the ASCII letters: what the loader uses for
// option names and language names, whatever the code page. Owns nothing; never throws.
#pragma once

#include <string>

// Equality with the ASCII letters a-z folded to A-Z and every other byte (double-byte characters
// included) compared as it is; strings of different length are never equal.
bool SameTextAscii(const std::string &A, const std::string &B);
