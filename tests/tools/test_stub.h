// Helpers for the quovpack tests: a minimal PE32 image with an RCDATA slot, scratch files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/byte_order.h"

// A PE32 image of 1024 bytes: headers, then one .rsrc section (file offset 0x200, RVA 0x1000)
// holding RCDATA / ResourceId / language 0x409 with SlotSize bytes. Not runnable; only its
// structure matters to the packager. Machine 0x8664 makes it a PE32+ image, whose data
// directories lie 16 bytes further on; the slot stays at file offset 0x258.
inline std::vector<uint8_t> BuildTestStub(uint32_t SlotSize = 44, uint32_t ResourceId = 11111,
                                          uint16_t Machine = 0x14C) {
    std::vector<uint8_t> B(0x400, 0);
    auto Put16 = [&](size_t At, uint16_t V) { StoreLe16(&B[At], V); };
    auto Put32 = [&](size_t At, uint32_t V) { StoreLe32(&B[At], V); };
    const bool Plus = Machine == 0x8664;
    const size_t OptionalSize = Plus ? 0xF0 : 0xE0, Directories = Plus ? 112 : 96;
    B[0] = 'M', B[1] = 'Z';
    Put32(0x3C, 0x40);
    std::memcpy(&B[0x40], "PE\0\0", 4);
    const size_t FileHeader = 0x44, Optional = FileHeader + 20, Section = Optional + OptionalSize;
    Put16(FileHeader, Machine);
    Put16(FileHeader + 2, 1);
    Put16(FileHeader + 16, static_cast<uint16_t>(OptionalSize));
    Put16(FileHeader + 18, 0x102);
    Put16(Optional, Plus ? 0x20B : 0x10B);
    Put32(Optional + 32, 0x1000); // SectionAlignment
    Put32(Optional + 36, 0x200);  // FileAlignment
    Put32(Optional + 56, 0x2000); // SizeOfImage
    Put32(Optional + 60, 0x200);  // SizeOfHeaders
    Put16(Optional + 68, 2);      // GUI subsystem
    Put32(Optional + Directories - 4, 16);
    Put32(Optional + Directories + 16, 0x1000);
    Put32(Optional + Directories + 20, 0x58 + SlotSize);
    std::memcpy(&B[Section], ".rsrc", 5);
    Put32(Section + 8, 0x58 + SlotSize);
    Put32(Section + 12, 0x1000);
    Put32(Section + 16, 0x200);
    Put32(Section + 20, 0x200);
    const size_t R = 0x200;
    Put16(R + 14, 1); // root: one id entry, RT_RCDATA
    Put32(R + 16, 10);
    Put32(R + 20, 0x80000000u | 0x18);
    Put16(R + 0x18 + 14, 1);
    Put32(R + 0x18 + 16, ResourceId);
    Put32(R + 0x18 + 20, 0x80000000u | 0x30);
    Put16(R + 0x30 + 14, 1);
    Put32(R + 0x30 + 16, 0x409);
    Put32(R + 0x30 + 20, 0x48);
    Put32(R + 0x48, 0x1000 + 0x58);
    Put32(R + 0x48 + 4, SlotSize);
    return B;
}

// A program Windows would start, as far as its headers tell (the stub above is a GUI PE32 image
// marked executable), with Body behind its image.
inline std::string RunnableProgram(const std::string &Body) {
    std::vector<uint8_t> Image = BuildTestStub();
    return std::string(Image.begin(), Image.end()) + Body;
}

inline bool WriteFileBytes(const std::string &Path, const void *Data, size_t Size) {
    FILE *F = std::fopen(Path.c_str(), "wb");
    if (!F)
        return false;
    bool Ok = std::fwrite(Data, 1, Size, F) == Size;
    return std::fclose(F) == 0 && Ok;
}
inline bool WriteFileBytes(const std::string &Path, const std::string &Bytes) {
    return WriteFileBytes(Path, Bytes.data(), Bytes.size());
}
inline bool WriteFileBytes(const std::string &Path, const std::vector<uint8_t> &Bytes) {
    return WriteFileBytes(Path, Bytes.data(), Bytes.size());
}

inline std::string ReadFileBytes(const std::string &Path) {
    std::string Bytes;
    FILE *F = std::fopen(Path.c_str(), "rb");
    if (!F)
        return Bytes;
    char Buffer[65536];
    size_t N;
    while ((N = std::fread(Buffer, 1, sizeof(Buffer), F)) > 0)
        Bytes.append(Buffer, N);
    std::fclose(F);
    return Bytes;
}

inline bool FileExists(const std::string &Path) { return ::access(Path.c_str(), F_OK) == 0; }

// A fresh directory under TMPDIR, removed with its files when the test ends.
class TScratchDir {
public:
    TScratchDir() {
        const char *Base = std::getenv("TMPDIR");
        FPath = std::string(Base ? Base : "/tmp") + "/quovpack-test-XXXXXX";
        if (!::mkdtemp(&FPath[0]))
            FPath.clear();
    }
    ~TScratchDir() {
        if (!FPath.empty())
            std::system(("rm -rf '" + FPath + "'").c_str());
    }
    std::string operator/(const std::string &Name) const { return FPath + "/" + Name; }
    const std::string &Path() const { return FPath; }

    // The names in the directory (to prove that nothing was left behind).
    std::vector<std::string> List() const;

private:
    std::string FPath;
};

#include <dirent.h>
inline std::vector<std::string> TScratchDir::List() const {
    std::vector<std::string> Names;
    if (DIR *D = ::opendir(FPath.c_str())) {
        while (dirent *E = ::readdir(D))
            if (std::strcmp(E->d_name, ".") && std::strcmp(E->d_name, ".."))
                Names.push_back(E->d_name);
        ::closedir(D);
    }
    return Names;
}

// A throwaway signing key and self-signed certificate (key.pem, cert.pem in Dir), and the
// command that signs %1 in place with them; empty when openssl or osslsigncode is missing.
inline std::string MakeTestSigner(const TScratchDir &Dir) {
    const std::string Key = Dir / "key.pem", Certificate = Dir / "cert.pem";
    const std::string Make = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 "
                             "-nodes -days 2 -subj '/CN=Quov Test Signer' -keyout '" +
                             Key + "' -out '" + Certificate + "' >/dev/null 2>&1";
    if (std::system("osslsigncode --version >/dev/null 2>&1") != 0 ||
        std::system(Make.c_str()) != 0)
        return std::string();
    return "osslsigncode sign -certs '" + Certificate + "' -key '" + Key +
           "' -n Test -in %1 -out %1.signed >/dev/null && mv %1.signed %1";
}
