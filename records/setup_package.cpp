#include "records/setup_package.h"

#include <cstdlib>
#include <memory>

#include "setupdata/block_reader.h"
#include "setupdata/call_transform.h"
#include "setupdata/file.h"
#include "setupdata/lzma_decompressor.h"
#include "setupdata/offset_table.h"
#include "setupdata/setup_corrupt.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"

namespace {

struct TFreeDeleter {
    void operator()(void *P) const { std::free(P); }
};

} // namespace

void ReadSetupRecords(TCustomFile &SelfFile, TSetupHeaderRec &Header,
                      std::vector<TSetupLanguageEntry> &Entries) {
    try {
        TCompressedBlockReader Reader(SelfFile, LZMADecompressorClass);
        ReadSetupRecord(Reader, Header);
        const int32_t Count = Header.LanguageEntryCount();
        if (Count < 0 || Count > MaxLanguageEntryCount)
            throw ECompressDataError(CompressedBlockCorruptText);
        // Entries are added as they arrive, so a large count that the block cannot back
        // allocates no more than what was really read.
        for (int32_t Index = 0; Index < Count; ++Index) {
            Entries.emplace_back();
            ReadSetupRecord(Reader, Entries.back());
        }
    } catch (const ECompressDataError &) {
        RaiseSetupCorrupt();
    }
}

void ExtractSetupProgram(TCustomFile &SelfFile, const TLoaderOffsetTable &Table, TFile &Target) {
    const uint32_t Size = Table.SetupProgramSize;
    // The reader's count is signed: a program of 2 GiB or more cannot have been stored.
    if (Size > 0x7FFFFFFFu)
        RaiseSetupCorrupt();
    std::unique_ptr<uint8_t, TFreeDeleter> Buffer;
    if (Size != 0) {
        Buffer.reset(static_cast<uint8_t *>(std::calloc(Size, 1)));
        if (!Buffer)
            throw EOutOfMemory();
    }
    try {
        TCompressedBlockReader Reader(SelfFile, LZMADecompressorClass);
        Reader.Read(Buffer.get(), static_cast<int32_t>(Size));
    } catch (const ECompressDataError &) {
        RaiseSetupCorrupt();
    }
    // The stored operands are restored and the result summed in one pass over the buffer.
    if (DecodeCallOperandsWithCrc32(Buffer.get(), Size) != Table.SetupProgramCRC)
        RaiseSetupCorrupt();
    // The file takes its final length before any byte is written.
    Target.Seek(Size);
    Target.Truncate();
    Target.Seek(0);
    Target.Write(Buffer.get(), Size);
}
