#include "support/error_text.h"

#include "support/builtin_texts.h"
#include "support/exceptions.h"

#include <cxxabi.h>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

// The class name from a mangled type name for the plain cases: "<length><name>", a class of
// namespace std ("St<length><name>") and nested names ("N<length><name>...E"); anything else stays
// as it is. This keeps a demangler out of the loader.
std::string ClassNameOf(const char *Mangled) {
    std::string Result;
    const char *P = Mangled;
    bool Nested = false;
    if (P[0] == 'S' && P[1] == 't') {
        Result = "std::";
        P += 2;
    } else if (P[0] == 'N') {
        Nested = true;
        ++P;
    }
    for (bool First = true;; First = false) {
        if (Nested && *P == 'E' && P[1] == 0 && !First)
            return Result;
        size_t Length = 0;
        const char *Digits = P;
        while (*P >= '0' && *P <= '9' && Length < 4096)
            Length = Length * 10 + static_cast<size_t>(*P++ - '0');
        if (P == Digits || std::char_traits<char>::length(P) < Length)
            return std::string(Mangled);
        if (!First)
            Result += "::";
        Result.append(P, Length);
        P += Length;
        if (!Nested)
            return *P == 0 ? Result : std::string(Mangled);
    }
}

} // namespace

uint32_t TrimSystemMessageLength(const char *Text, uint32_t Length) {
    while (Length > 0) {
        unsigned char Last = static_cast<unsigned char>(Text[Length - 1]);
        if (Last > 0x20 && Last != '.')
            break;
        --Length;
    }
    return Length;
}

std::string TerminateSentence(const std::string &S, const TCharScanner &Scanner) {
    if (S.empty())
        return S;
    unsigned char Last = static_cast<unsigned char>(S[LastCharStart(S, Scanner) - 1]);
    if (Last > '.')
        return S + '.';
    return S;
}

std::string CurrentExceptionText() {
    // The type of the object being handled, whatever it is (also for objects that do not derive
    // from std::exception); null outside any handler.
    std::type_info *Type = abi::__cxa_current_exception_type();
    if (!Type)
        return "[ExceptObject=nil]";
    // Rethrown to be matched by type; the handler that called this still holds the object. (A
    // plain rethrow keeps the exception-pointer machinery out of the loader.)
    try {
        throw;
    } catch (const Exception &E) {
        return TerminateSentence(E.Message());
    } catch (const std::bad_alloc &) {
        return TerminateSentence(OutOfMemoryText);
    } catch (...) {
    }
    return ClassNameOf(Type->name());
}
