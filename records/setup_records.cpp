#include "records/setup_records.h"

#include <utility>

#include "setupdata/block_reader.h"
#include "support/builtin_texts.h"
#include "support/byte_order.h"
#include "support/exceptions.h"

namespace {

// A string is read in steps of this size, so memory follows the bytes that really arrive.
constexpr int32_t StringGrowStep = 65536;

} // namespace

int32_t TSetupHeaderRec::LanguageEntryCount() const {
    return static_cast<int32_t>(LoadLe32(Fixed + SetupHeaderEntryCountOffset));
}

uint32_t TSetupLanguageEntry::LanguageID() const {
    return LoadLe32(Fixed + SetupLanguageIdOffset);
}
uint32_t TSetupLanguageEntry::CodePage() const {
    return LoadLe32(Fixed + SetupLanguageCodePageOffset);
}

void ReadSetupRecord(TCompressedBlockReader &Reader, std::string *Strings, int N, void *Fixed,
                     int F) {
    for (int K = 0; K < N; ++K) {
        uint8_t LengthBytes[SetupRecordLengthSize];
        Reader.Read(LengthBytes, SetupRecordLengthSize);
        int32_t Length = static_cast<int32_t>(LoadLe32(LengthBytes));
        if (Length < 0)
            throw ECompressDataError(
                CompressedBlockCorruptText,
                MakeDataFault(TFaultCheck::RecordStringLength, static_cast<uint32_t>(Length)));
        std::string Value;
        for (int32_t Done = 0; Done < Length;) {
            int32_t Step = Length - Done < StringGrowStep ? Length - Done : StringGrowStep;
            Value.resize(static_cast<size_t>(Done) + Step);
            Reader.Read(&Value[Done], Step);
            Done += Step;
        }
        Strings[K] = std::move(Value);
    }
    if (F > 0)
        Reader.Read(Fixed, F);
}

void ReadSetupRecord(TCompressedBlockReader &Reader, TSetupHeaderRec &Header) {
    ReadSetupRecord(Reader, Header.Strings, SetupHeaderStringCount, Header.Fixed,
                    SetupHeaderFixedSize);
}

void ReadSetupRecord(TCompressedBlockReader &Reader, TSetupLanguageEntry &Entry) {
    ReadSetupRecord(Reader, Entry.Strings, SetupLanguageStringCount, Entry.Fixed,
                    SetupLanguageFixedSize);
}
