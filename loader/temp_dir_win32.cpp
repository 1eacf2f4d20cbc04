#include "loader/temp_dir.h"

#include "loader/fs_redirection.h"
#include "loader/random.h"
#include "loader/system_error.h"
#include "records/messages.h"
#include "support/exceptions.h"
#include "support/system_queries.h"
#include "support/win.h"

std::string PickUniqueName(bool DisableRedirection, const std::string &Directory,
                           const std::string &Extension) {
    return PickUniqueNameWith(DisableRedirection, Directory, Extension, TempNameCount, RandomBelow,
                              PathExistsNoRedir);
}

std::string MakeRunTempDir() {
    for (;;) {
        const std::string Dir = PickUniqueName(false, FindTempDirectory(), ".tmp");
        if (::CreateDirectoryA(Dir.c_str(), /*SecurityAttributes=*/nullptr))
            return Dir;
        const DWORD Code = ::GetLastError();
        // Taken between the existence test and the creation: look the base up again and draw a
        // new start.
        if (Code != ERROR_ALREADY_EXISTS)
            throw Exception(
                FormatSystemErrorMessage(FormatLoaderMessage1(MsgCreateDirFailed, Dir), Code));
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
