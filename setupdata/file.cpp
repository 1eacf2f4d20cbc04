#include "setupdata/file.h"

#include "support/builtin_texts.h"
#include "support/error_text.h"

void TCustomFile::ReadExact(void *Buffer, uint32_t Count) {
    if (Read(Buffer, Count) != Count)
        RaiseFileError(ErrorHandleEof);
}

void TCustomFile::RaiseFileError(uint32_t Code) {
    std::string Text = SystemErrorText(Code);
    if (Text.empty())
        Text = FormatWithNumber(FileIoErrorPattern, static_cast<int32_t>(Code));
    throw EFileError(std::move(Text), Code);
}

void TCustomFile::RaiseLastFileError() { RaiseFileError(LastSystemErrorCode()); }

void TFile::SeekTo64(uint64_t Offset) {
    if (uint32_t Code = TrySeek(Offset))
        RaiseFileError(Code);
}

void TFile::Write(const void *Buffer, uint32_t Count) {
    if (uint32_t Code = TryWrite(Buffer, Count))
        RaiseFileError(Code);
}

void TFile::Truncate() {
    if (uint32_t Code = TryTruncate())
        RaiseFileError(Code);
}
