// Little-endian loads and stores of the stored formats, byte by byte so that they need no
// alignment and read the same on any host. Owns nothing; never throws.
#pragma once

#include <cstdint>
#include <string>

inline uint16_t LoadLe16(const void *Bytes) {
    const uint8_t *P = static_cast<const uint8_t *>(Bytes);
    return static_cast<uint16_t>(P[0] | P[1] << 8);
}

inline uint32_t LoadLe32(const void *Bytes) {
    const uint8_t *P = static_cast<const uint8_t *>(Bytes);
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

inline uint64_t LoadLe64(const void *Bytes) {
    const uint8_t *P = static_cast<const uint8_t *>(Bytes);
    return uint64_t(LoadLe32(P)) | uint64_t(LoadLe32(P + 4)) << 32;
}

inline void StoreLe16(void *Bytes, uint16_t Value) {
    uint8_t *P = static_cast<uint8_t *>(Bytes);
    P[0] = static_cast<uint8_t>(Value);
    P[1] = static_cast<uint8_t>(Value >> 8);
}

inline void StoreLe32(void *Bytes, uint32_t Value) {
    uint8_t *P = static_cast<uint8_t *>(Bytes);
    for (int I = 0; I < 4; ++I)
        P[I] = static_cast<uint8_t>(Value >> (8 * I));
}

inline void AppendLe16(std::string &Out, uint16_t Value) {
    uint8_t Bytes[2];
    StoreLe16(Bytes, Value);
    Out.append(reinterpret_cast<const char *>(Bytes), sizeof(Bytes));
}

inline void AppendLe32(std::string &Out, uint32_t Value) {
    uint8_t Bytes[4];
    StoreLe32(Bytes, Value);
    Out.append(reinterpret_cast<const char *>(Bytes), sizeof(Bytes));
}

inline void AppendLe64(std::string &Out, uint64_t Value) {
    AppendLe32(Out, static_cast<uint32_t>(Value));
    AppendLe32(Out, static_cast<uint32_t>(Value >> 32));
}
