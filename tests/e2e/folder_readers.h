// Who may list a folder, read from its access list, for the tests that look at the loader's
// temporary folder and for the scriptable setup program (header only: that program links nothing
// of ours). Under Wine the list is made from the folder's Unix mode: the owner's bits become the
// entry of the process's user and the others' bits an entry for Everyone (S-1-1-0).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "support/win.h"

#include <sddl.h>

// "S-1-..." for a SID; empty when it cannot be converted.
inline std::string SidText(PSID Sid) {
    char *Text = nullptr;
    if (!::ConvertSidToStringSidA(Sid, &Text))
        return std::string();
    std::string Result = Text;
    ::LocalFree(Text);
    return Result;
}

// The SID of the user this process runs as; empty on failure.
inline std::string ProcessUserSid() {
    HANDLE Token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &Token))
        return std::string();
    union {
        TOKEN_USER User;
        BYTE Bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } Info;
    DWORD Size = 0;
    const bool Ok = ::GetTokenInformation(Token, TokenUser, &Info, sizeof(Info), &Size);
    ::CloseHandle(Token);
    return Ok ? SidText(Info.User.User.Sid) : std::string();
}

// The SIDs that an allowed entry of Path's access list grants FILE_LIST_DIRECTORY, sorted and
// joined by commas; "?" when the list cannot be read.
inline std::string FolderReaders(const std::string &Path) {
    DWORD Needed = 0;
    ::GetFileSecurityA(Path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &Needed);
    std::vector<BYTE> Descriptor(Needed ? Needed : 1);
    BOOL Present = FALSE, Defaulted = FALSE;
    PACL Dacl = nullptr;
    if (!::GetFileSecurityA(Path.c_str(), DACL_SECURITY_INFORMATION, Descriptor.data(), Needed,
                            &Needed) ||
        !::GetSecurityDescriptorDacl(Descriptor.data(), &Present, &Dacl, &Defaulted) || !Present ||
        !Dacl)
        return "?";
    std::vector<std::string> Readers;
    for (DWORD I = 0; I < Dacl->AceCount; ++I) {
        ACCESS_ALLOWED_ACE *Ace = nullptr;
        if (::GetAce(Dacl, I, reinterpret_cast<void **>(&Ace)) &&
            Ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (Ace->Mask & FILE_LIST_DIRECTORY))
            Readers.push_back(SidText(&Ace->SidStart));
    }
    std::sort(Readers.begin(), Readers.end());
    Readers.erase(std::unique(Readers.begin(), Readers.end()), Readers.end());
    std::string Joined;
    for (const std::string &Reader : Readers)
        Joined += (Joined.empty() ? "" : ",") + Reader;
    return Joined;
}
