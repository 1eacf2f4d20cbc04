// Reads a stored folder of files (setupdata/file_tree.h): the index at once, then each file's
// bytes in order through the block reader. Owns the data block's reader and one piece buffer;
// borrows the file it reads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "setupdata/block_reader.h"
#include "setupdata/file.h"

struct TFileTreeEntry {
    std::string Path; // UTF-8, parts joined by '/'
    bool IsFolder = false;
    bool CallTransformed = false;
    uint32_t Attributes = 0;
    uint64_t WriteTime = 0;
    uint64_t Size = 0;
    uint32_t Crc = 0;
};

struct TFileTreeIndex {
    std::vector<TFileTreeEntry> Entries;
    uint64_t TotalSize = 0;
    std::string RunCommand; // UTF-8; empty: run nothing
};

// True for a relative path of non-empty parts joined by '/', none of them "." or "..", with no
// '\\', ':' or control character; the reader refuses an index holding any other.
bool IsSafeTreePath(const std::string &Path);

// Receives a file's bytes in order, a piece at a time; may throw to stop reading.
using TTreeDataSink = std::function<void(const void *Data, uint32_t Size)>;

class TFileTreeReader {
public:
    // Files are handed to their sinks in pieces of PieceSize bytes at most.
    static constexpr uint32_t DefaultPieceSize = 256u << 10;

    // Reads the area header and the index block from Source's current position, which must be
    // the area's start. Damage of any kind (signature, version, ceilings, an unsafe path, sizes
    // that do not add up) throws ECompressDataError; the block reader's errors pass through.
    explicit TFileTreeReader(TCustomFile &Source, uint32_t PieceSize = DefaultPieceSize);
    ~TFileTreeReader();
    TFileTreeReader(const TFileTreeReader &) = delete;
    TFileTreeReader &operator=(const TFileTreeReader &) = delete;

    const TFileTreeIndex &Index() const { return FIndex; }

    // Delivers the next file's bytes (the entries' files in order; folders are skipped by the
    // caller) to Sink and checks its CRC at the end: a mismatch throws ECompressDataError after
    // the last piece went to Sink. Memory: one piece (and four bytes more), whatever the file's
    // size; a call-transformed file is undone piece by piece.
    void ReadFile(const TFileTreeEntry &Entry, const TTreeDataSink &Sink);

private:
    TCustomFile &FSource;
    TFileTreeIndex FIndex;
    std::unique_ptr<TCompressedBlockReader> FData;
    std::vector<uint8_t> FPiece;
    uint32_t FPieceSize;
};
