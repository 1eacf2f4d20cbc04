#include "loader/main_sequence.h"

#include <cstdlib>
#include <memory>

#include "records/messages.h"
#include "setupdata/file.h"
#include "setupdata/offset_table.h"
#include "support/exceptions.h"
#include "support/win.h"

#include <commctrl.h>

namespace {

int32_t LoaderExitCode = 1;

std::string ModuleFileName() {
    char Buffer[260];
    DWORD Count = ::GetModuleFileNameA(nullptr, Buffer, sizeof(Buffer));
    return std::string(Buffer, Count <= sizeof(Buffer) ? Count : 0);
}

void ProtectedRun() {
    std::unique_ptr<TFile> SelfFile(
        new TFile(ModuleFileName(), fcOpenExisting, amRead, smRead));
    const TLoaderOffsetTable *Table = FindOffsetTable();
    AcceptOffsetTable(*Table, *SelfFile);
}

} // namespace

void ShowExceptionBox() {
    try {
        throw;
    } catch (const EAbort &) {
    } catch (const Exception &E) {
        const std::string &Caption = LoaderMessages[MsgErrorCaption];
        ::MessageBoxA(nullptr, E.Message().c_str(), Caption.empty() ? nullptr : Caption.c_str(),
                      MB_ICONERROR);
    } catch (...) {
    }
}

int32_t RunLoader() {
    ::InitCommonControls();
    std::atexit(ClearLoaderMessages);
    try {
        ProtectedRun();
    } catch (...) {
        ShowExceptionBox();
    }
    return LoaderExitCode;
}
