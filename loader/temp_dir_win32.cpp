#include "loader/temp_dir.h"

#include <cstddef>

#include "loader/fs_redirection.h"
#include "loader/random.h"
#include "loader/system_error.h"
#include "records/messages.h"
#include "support/exceptions.h"
#include "support/kernel_handle.h"
#include "support/system_queries.h"
#include "support/win.h"

namespace {

// A SID with at most two sub-authorities, in the system's SID layout.
struct TShortSid {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[2];
};
// The local system account (S-1-5-18) and the Administrators group (S-1-5-32-544).
const TShortSid LocalSystemSid = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {18}};
const TShortSid AdministratorsSid = {SID_REVISION, 2, {SECURITY_NT_AUTHORITY}, {32, 544}};

// The run directory's security on the NT family. Installers often run elevated or as SYSTEM with
// a temporary base such as C:\Windows\Temp, where ordinary users may create files in folders
// that others create: a folder that inherited that could be handed a planted library before the
// setup program loads its own. So the folder gets full control for SYSTEM, the Administrators
// group and the user of the loader's process token, passed on to everything created inside, and
// a protected list that takes nothing from the base. Holds pointers into itself: not copied.
class TPrivateDirSecurity {
public:
    TPrivateDirSecurity() = default;
    TPrivateDirSecurity(const TPrivateDirSecurity &) = delete;
    TPrivateDirSecurity &operator=(const TPrivateDirSecurity &) = delete;

    // False when a call failed; Error() is then GetLastError() as that call left it, which may
    // be 0. Without the NT family's security there is nothing to build: true, and Attributes()
    // stays null.
    bool Build();
    DWORD Error() const { return FError; }
    SECURITY_ATTRIBUTES *Attributes() { return FBuilt ? &FAttributes : nullptr; }

private:
    bool Fail() {
        FError = ::GetLastError();
        return false;
    }

    static constexpr DWORD AceCount = 3;
    static constexpr DWORD DaclBytes =
        sizeof(ACL) + AceCount * (offsetof(ACCESS_ALLOWED_ACE, SidStart) + SECURITY_MAX_SID_SIZE);
    union {
        TOKEN_USER User;
        BYTE Bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } FTokenUser;
    union {
        ACL Acl;
        DWORD Words[(DaclBytes + 3) / 4];
    } FDacl;
    SECURITY_DESCRIPTOR FDescriptor;
    SECURITY_ATTRIBUTES FAttributes;
    DWORD FError = 0;
    bool FBuilt = false;
};

bool TPrivateDirSecurity::Build() {
    if (OsPlatformId != VER_PLATFORM_WIN32_NT)
        return true;
    {
        TKernelHandle Token;
        DWORD Size = 0;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, Token.Receive()) ||
            !::GetTokenInformation(Token.Get(), TokenUser, &FTokenUser, sizeof(FTokenUser), &Size))
            return Fail();
    }
    if (!::InitializeAcl(&FDacl.Acl, sizeof(FDacl), ACL_REVISION))
        return Fail();
    const void *const Sids[AceCount] = {&LocalSystemSid, &AdministratorsSid,
                                        FTokenUser.User.User.Sid};
    for (const void *Sid : Sids)
        if (!::AddAccessAllowedAceEx(&FDacl.Acl, ACL_REVISION,
                                     OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                     const_cast<void *>(Sid)))
            return Fail();
    if (!::InitializeSecurityDescriptor(&FDescriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&FDescriptor, /*DaclPresent=*/TRUE, &FDacl.Acl,
                                     /*DaclDefaulted=*/FALSE) ||
        !::SetSecurityDescriptorControl(&FDescriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return Fail();
    FAttributes.nLength = sizeof(FAttributes);
    FAttributes.lpSecurityDescriptor = &FDescriptor;
    FAttributes.bInheritHandle = FALSE;
    FBuilt = true;
    return true;
}

} // namespace

std::string PickUniqueName(bool DisableRedirection, const std::string &Directory,
                           const std::string &Extension) {
    return PickUniqueNameWith(DisableRedirection, Directory, Extension, TempNameCount, RandomBelow,
                              PathExistsNoRedir);
}

std::string MakeRunTempDir() {
    for (;;) {
        const std::string Dir = PickUniqueName(false, FindTempDirectory(), ".tmp");
        // A descriptor that cannot be built fails the run like the creation would, with or
        // without a code: the folder is never made with the base's security instead.
        TPrivateDirSecurity Security;
        if (!Security.Build())
            throw Exception(RunTempDirFailure(Dir, Security.Error(), /*SecurityStep=*/true));
        if (::CreateDirectoryA(Dir.c_str(), Security.Attributes()))
            return Dir;
        const DWORD Code = ::GetLastError();
        // Taken between the existence test and the creation: look the base up again and draw a
        // new start.
        if (Code != ERROR_ALREADY_EXISTS)
            throw Exception(RunTempDirFailure(Dir, Code, /*SecurityStep=*/false));
    }
}

void DeleteFileWithRetries(bool DisableRedirection, const std::string &Path, int32_t Attempts,
                           uint32_t FirstRetryDelay, uint32_t RetryDelay) {
    for (int32_t I = 0; I < Attempts; ++I) {
        if (I == 1)
            ::Sleep(FirstRetryDelay);
        else if (I > 1)
            ::Sleep(RetryDelay);
        if (DeleteFileNoRedir(DisableRedirection, Path))
            return;
        const DWORD Code = ::GetLastError();
        if (Code == ERROR_FILE_NOT_FOUND || Code == ERROR_PATH_NOT_FOUND)
            return;
    }
}
