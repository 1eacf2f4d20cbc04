#include "support/ascii_text.h"

namespace {

char FoldAscii(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }

} // namespace

bool SameTextAscii(const std::string &A, const std::string &B) {
    if (A.size() != B.size())
        return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (FoldAscii(A[I]) != FoldAscii(B[I]))
            return false;
    return true;
}
