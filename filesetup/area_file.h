// The author's setup-data area of the installer as a file, read through the library for setup
// programs, so that the block reader reads the stored folder from it. Owns a read buffer;
// borrows the library's handle.
#pragma once

#include <cstdint>
#include <vector>

#include "setupdata/file.h"
#include "setuplib/quov_setup.h"

class TSetupAreaFile : public TCustomFile {
public:
    // Throws EFileError when the library cannot say where the area lies.
    TSetupAreaFile(quov_setup *Setup, int32_t Area);

    uint64_t GetPosition() override { return FPosition; }
    uint64_t GetSize() override { return FLength; }
    // Fills Count bytes unless the area ends first; a failed read throws EFileError.
    uint32_t Read(void *Buffer, uint32_t Count) override;
    void SeekTo64(uint64_t Offset) override { FPosition = Offset; }
    // The area is read only: throws EFileError.
    void Write(const void *Buffer, uint32_t Count) override;

private:
    quov_setup *FSetup;
    int32_t FArea;
    uint64_t FLength = 0;
    uint64_t FPosition = 0;
    std::vector<uint8_t> FBuffer; // holds the area's bytes from FBufferStart
    uint64_t FBufferStart = 0;
    uint32_t FBuffered = 0;
};
