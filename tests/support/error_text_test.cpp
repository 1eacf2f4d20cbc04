#include "support/error_text.h"

#include "support/builtin_texts.h"
#include "support/exceptions.h"
#include "tests/support/cp936_scanner.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

// A class outside our tree and outside std.
class EForeignFailure {};
namespace quovtest {
class EInner {};
} // namespace quovtest

namespace {

TEST(ErrorText, TrimsSystemMessages) {
    struct {
        std::string Raw, Trimmed;
    } const Cases[] = {
        {"The system cannot find the file specified.\r\n",
         "The system cannot find the file specified"},
        {"Wait...", "Wait"},
        {"Insert %1 here. \t\r\n", "Insert %1 here"},
        {"No period", "No period"},
        {". . .\r\n", ""},
        {"", ""},
        {"v1.2", "v1.2"},
        // Byte by byte: a trail byte that is a period goes as well.
        {"x\x95.", "x\x95"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE("[" + C.Raw + "]");
        uint32_t Length =
            TrimSystemMessageLength(C.Raw.data(), static_cast<uint32_t>(C.Raw.size()));
        EXPECT_EQ(C.Raw.substr(0, Length), C.Trimmed);
    }
}

TEST(ErrorText, TerminatesSentences) {
    struct {
        std::string Text, Result;
    } const Cases[] = {
        {"", ""},
        {"Error", "Error."},
        {"Error.", "Error."},
        {"Error!", "Error!"},
        {"Error)", "Error)"},
        {"Error,", "Error,"},
        {"Error-", "Error-"},
        {"Error:", "Error:."},
        {"Continue?", "Continue?."},
        {"Error ", "Error "},
        {"Error\n", "Error\n"},
        {"Code 5", "Code 5."},
        {"a/", "a/."},
        // An ideographic full stop is a double-byte character: it gets an ASCII period.
        {"\xCE\xC4\xBC\xFE\xA1\xA3", "\xCE\xC4\xBC\xFE\xA1\xA3."},
        // Only the first byte of a double-byte last character counts, never its trail byte.
        {"x\x95!", "x\x95!."},
        {"x\x95.", "x\x95.."},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE("[" + C.Text + "]");
        EXPECT_EQ(TerminateSentence(C.Text, Cp936Scanner), C.Result);
    }
    EXPECT_EQ(TerminateSentence("Error"), "Error.");
    EXPECT_EQ(TerminateSentence("Error!"), "Error!");
}

template <typename TThrow> std::string TextFor(TThrow Throw) {
    try {
        Throw();
    } catch (...) {
        return CurrentExceptionText();
    }
    return "nothing thrown";
}

TEST(ErrorText, DescribesTheCurrentException) {
    EXPECT_EQ(CurrentExceptionText(), "[ExceptObject=nil]");
    EXPECT_EQ(TextFor([] { throw Exception("Disk is full"); }), "Disk is full.");
    EXPECT_EQ(TextFor([] { throw Exception("Really?"); }), "Really?.");
    EXPECT_EQ(TextFor([] { throw EFileError("Read failed!", 5); }), "Read failed!");
    EXPECT_EQ(TextFor([] { throw ECompressDataError(CompressedBlockCorruptText); }),
              TerminateSentence(CompressedBlockCorruptText));
    EXPECT_EQ(TextFor([] { throw EOutOfMemory(); }), TerminateSentence(OutOfMemoryText));
    EXPECT_EQ(TextFor([] { throw std::bad_alloc(); }), TerminateSentence(OutOfMemoryText));
    EXPECT_EQ(TextFor([] { throw std::bad_array_new_length(); }),
              TerminateSentence(OutOfMemoryText));
    EXPECT_EQ(TextFor([] { throw EForeignFailure(); }), "EForeignFailure");
    EXPECT_EQ(TextFor([] { throw std::runtime_error("ignored text"); }), "std::runtime_error");
    EXPECT_EQ(TextFor([] { throw quovtest::EInner(); }), "quovtest::EInner");
    // Back outside the handler there is no exception again.
    EXPECT_EQ(CurrentExceptionText(), "[ExceptObject=nil]");
}

TEST(ErrorText, DescribesTheInnerExceptionOfNestedHandlers) {
    try {
        throw Exception("Outer");
    } catch (...) {
        std::string Inner = TextFor([] { throw Exception("Inner"); });
        EXPECT_EQ(Inner, "Inner.");
        EXPECT_EQ(CurrentExceptionText(), "Outer.");
    }
}

} // namespace
