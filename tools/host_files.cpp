#include "tools/host_files.h"

std::string ReadWholeHostInput(THostInput &In) {
    std::string Bytes(static_cast<size_t>(In.Size), '\0');
    ReadHostInput(In, &Bytes[0], Bytes.size());
    return Bytes;
}

uint32_t THostInputFile::Read(void *Buffer, uint32_t Count) {
    const size_t Done = ReadHostInputUpTo(FIn, FPosition, Buffer, Count);
    FPosition += Done;
    return static_cast<uint32_t>(Done);
}

void THostInputFile::Write(const void *, uint32_t) {
    throw EInputError(FIn.Role + " " + FIn.Path + ": it is open for reading only");
}
