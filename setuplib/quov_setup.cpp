// The C interface over the session (setup_session.h) and the system calls (setup_system.h).
// Every entry catches everything: no exception crosses into the caller's code.
#include "setuplib/quov_setup.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "records/loader_contract.h"
#include "records/message_block.h"
#include "setupdata/file.h"
#include "setuplib/setup_command_line.h"
#include "setuplib/setup_session.h"
#include "setuplib/setup_system.h"

static_assert(QUOV_MESSAGE_COUNT == LoaderMessageCount, "the table the loader reads");

struct quov_setup {
    TSetupCommandLine CommandLine;
    std::unique_ptr<TFile> File;
    TSetupSession Session;
    std::wstring ApplicationName;
    std::vector<std::wstring> LanguageNames;
    int32_t ChosenLanguage = -1;
    // The message table of one language, parsed when first asked for.
    int32_t TableLanguage = -1;
    std::string Table[LoaderMessageCount];
};

namespace {

// A stored text that does not convert.
class ETextConversion : public Exception {
public:
    ETextConversion() : Exception("text conversion") {}
};

// The status of the exception being handled.
quov_status CurrentStatus() {
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return QUOV_ERROR_OUT_OF_MEMORY;
    } catch (const EOutOfMemory &) {
        return QUOV_ERROR_OUT_OF_MEMORY;
    } catch (const EPackageMismatch &) {
        return QUOV_ERROR_PACKAGE_MISMATCH;
    } catch (const EOutOfRange &) {
        return QUOV_ERROR_OUT_OF_RANGE;
    } catch (const ETextConversion &) {
        return QUOV_ERROR_TEXT_CONVERSION;
    } catch (const ESetupCorrupt &) {
        return QUOV_ERROR_PACKAGE_CORRUPT;
    } catch (const ECompressDataError &) {
        return QUOV_ERROR_PACKAGE_CORRUPT;
    } catch (const EFileError &E) {
        // A file that ends inside a structure is a damaged package, not a failing disk.
        return E.SystemErrorCode == ErrorHandleEof ? QUOV_ERROR_PACKAGE_CORRUPT : QUOV_ERROR_READ;
    } catch (...) {
        return QUOV_ERROR_INTERNAL;
    }
}

template <typename TCall> quov_status Guarded(TCall Call) {
    try {
        return Call();
    } catch (...) {
        return CurrentStatus();
    }
}

quov_status CopyText(const std::wstring &Text, wchar_t *Buffer, size_t BufferSize,
                     size_t *Needed) {
    if (!Buffer && BufferSize != 0)
        return QUOV_ERROR_INVALID_ARGUMENT;
    if (Needed)
        *Needed = Text.size() + 1;
    if (BufferSize < Text.size() + 1) {
        if (BufferSize > 0)
            Buffer[0] = 0;
        return QUOV_ERROR_BUFFER_TOO_SMALL;
    }
    Text.copy(Buffer, Text.size());
    Buffer[Text.size()] = 0;
    return QUOV_OK;
}

std::wstring ToUtf16(const std::string &Text, uint32_t CodePage) {
    std::wstring Wide;
    if (!ConvertToUtf16(Text, CodePage, Wide))
        throw ETextConversion();
    return Wide;
}

bool ValidLanguage(const quov_setup *Setup, int32_t Language) {
    return Language >= 0 && static_cast<size_t>(Language) < Setup->Session.Entries.size();
}

const TFileArea *AreaOf(const quov_setup *Setup, int32_t Area) {
    if (Area == QUOV_AREA_SETUP_DATA)
        return &Setup->Session.SetupData;
    if (Area == QUOV_AREA_SECOND_DATA)
        return &Setup->Session.SecondData;
    return nullptr;
}

quov_status OpenWith(const std::wstring &CommandLine, quov_setup *Setup) {
    switch (ReadSetupCommandLine(CommandLine, Setup->CommandLine)) {
    case TLoaderParameterState::Missing:
        return QUOV_ERROR_NOT_STARTED_BY_LOADER;
    case TLoaderParameterState::Malformed:
        return QUOV_ERROR_BAD_LOADER_PARAMETER;
    case TLoaderParameterState::Found:
        break;
    }
    const TLoaderParameter &Loader = Setup->CommandLine.Loader;
    try {
        Setup->File = OpenLoaderFile(Loader.LoaderPath);
    } catch (const EFileError &) {
        return QUOV_ERROR_LOADER_FILE_OPEN;
    }
    TLoaderOffsetTable Table;
    const bool HaveTable = LoadOffsetTable(Loader.LoaderPath, Table);
    OpenSetupSession(HaveTable ? &Table : nullptr, *Setup->File, Loader.SetupDataOffset,
                     Loader.SecondDataOffset, Setup->Session);

    Setup->ApplicationName = ToUtf16(Setup->Session.Header.ApplicationName(),
                                     ApplicationNameCodePage(Setup->Session));
    for (const TSetupLanguageEntry &Entry : Setup->Session.Entries)
        Setup->LanguageNames.push_back(ToUtf16(Entry.Name(), Entry.CodePage()));
    const std::string LangOption = ConvertToAnsi(LangOptionOf(Setup->CommandLine.Rest));
    Setup->ChosenLanguage =
        ChooseSessionLanguage(Setup->Session, LangOption, SystemLanguageValues());
    return QUOV_OK;
}

quov_status Open(const wchar_t *CommandLine, quov_setup **Setup) {
    if (!Setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    *Setup = nullptr;
    return Guarded([&] {
        std::unique_ptr<quov_setup> Made(new quov_setup);
        const quov_status Status =
            OpenWith(CommandLine ? std::wstring(CommandLine) : ProcessCommandLine(), Made.get());
        if (Status == QUOV_OK)
            *Setup = Made.release();
        return Status;
    });
}

} // namespace

extern "C" {

const char *quov_status_text(quov_status status) {
    switch (status) {
    case QUOV_OK:
        return "Success";
    case QUOV_ERROR_NOT_STARTED_BY_LOADER:
        return "This program was not started by the setup loader (no /SL5= parameter): run the "
               "installer instead";
    case QUOV_ERROR_BAD_LOADER_PARAMETER:
        return "The /SL5= parameter does not have the form the setup loader writes";
    case QUOV_ERROR_INVALID_ARGUMENT:
        return "Invalid argument (a null pointer or an unknown area)";
    case QUOV_ERROR_BUFFER_TOO_SMALL:
        return "The buffer is too small for the text";
    case QUOV_ERROR_LOADER_FILE_OPEN:
        return "The installer file named by /SL5= cannot be opened";
    case QUOV_ERROR_READ:
        return "Reading the installer file failed";
    case QUOV_ERROR_PACKAGE_CORRUPT:
        return "The installer file is damaged or is not a packed installer";
    case QUOV_ERROR_PACKAGE_MISMATCH:
        return "The /SL5= offsets do not match the installer file";
    case QUOV_ERROR_OUT_OF_RANGE:
        return "Index or range out of bounds";
    case QUOV_ERROR_TEXT_CONVERSION:
        return "A stored text does not convert from its code page";
    case QUOV_ERROR_NO_LOADER_WINDOW:
        return "The setup loader's window does not exist: the request was not delivered";
    case QUOV_ERROR_OUT_OF_MEMORY:
        return "Out of memory";
    case QUOV_ERROR_INTERNAL:
        return "Internal error in the setup library";
    default:
        return "Unknown status code";
    }
}

quov_status quov_setup_open(quov_setup **setup) { return Open(nullptr, setup); }

quov_status quov_setup_open_command_line(const wchar_t *command_line, quov_setup **setup) {
    if (!command_line)
        return QUOV_ERROR_INVALID_ARGUMENT;
    return Open(command_line, setup);
}

quov_status quov_setup_close(quov_setup *setup) {
    delete setup;
    return QUOV_OK;
}

quov_status quov_setup_loader_window(const quov_setup *setup, void **window) {
    if (!setup || !window)
        return QUOV_ERROR_INVALID_ARGUMENT;
    *window = LoaderWindowHandle(setup->CommandLine.Loader.Window);
    return QUOV_OK;
}

quov_status quov_setup_loader_path(const quov_setup *setup, wchar_t *buffer, size_t buffer_size,
                                   size_t *needed) {
    if (!setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    return CopyText(setup->CommandLine.Loader.LoaderPath, buffer, buffer_size, needed);
}

quov_status quov_setup_parameter_count(const quov_setup *setup, int32_t *count) {
    if (!setup || !count)
        return QUOV_ERROR_INVALID_ARGUMENT;
    *count = static_cast<int32_t>(setup->CommandLine.Rest.size());
    return QUOV_OK;
}

quov_status quov_setup_parameter(const quov_setup *setup, int32_t index, wchar_t *buffer,
                                 size_t buffer_size, size_t *needed) {
    if (!setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    if (index < 0 || static_cast<size_t>(index) >= setup->CommandLine.Rest.size())
        return QUOV_ERROR_OUT_OF_RANGE;
    return CopyText(setup->CommandLine.Rest[static_cast<size_t>(index)], buffer, buffer_size,
                    needed);
}

quov_status quov_setup_application_name(const quov_setup *setup, wchar_t *buffer,
                                        size_t buffer_size, size_t *needed) {
    if (!setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    return CopyText(setup->ApplicationName, buffer, buffer_size, needed);
}

quov_status quov_setup_language_count(const quov_setup *setup, int32_t *count) {
    if (!setup || !count)
        return QUOV_ERROR_INVALID_ARGUMENT;
    *count = static_cast<int32_t>(setup->Session.Entries.size());
    return QUOV_OK;
}

quov_status quov_setup_language_name(const quov_setup *setup, int32_t language, wchar_t *buffer,
                                     size_t buffer_size, size_t *needed) {
    if (!setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    if (!ValidLanguage(setup, language))
        return QUOV_ERROR_OUT_OF_RANGE;
    return CopyText(setup->LanguageNames[static_cast<size_t>(language)], buffer, buffer_size,
                    needed);
}

quov_status quov_setup_language_id(const quov_setup *setup, int32_t language, uint32_t *langid,
                                   uint32_t *code_page) {
    if (!setup || !langid || !code_page)
        return QUOV_ERROR_INVALID_ARGUMENT;
    if (!ValidLanguage(setup, language))
        return QUOV_ERROR_OUT_OF_RANGE;
    const TSetupLanguageEntry &Entry = setup->Session.Entries[static_cast<size_t>(language)];
    *langid = Entry.LanguageID() & 0xFFFF;
    *code_page = Entry.CodePage();
    return QUOV_OK;
}

quov_status quov_setup_chosen_language(const quov_setup *setup, int32_t *language) {
    if (!setup || !language)
        return QUOV_ERROR_INVALID_ARGUMENT;
    if (setup->ChosenLanguage < 0)
        return QUOV_ERROR_OUT_OF_RANGE;
    *language = setup->ChosenLanguage;
    return QUOV_OK;
}

quov_status quov_setup_message(quov_setup *setup, int32_t language, int32_t number,
                               wchar_t *buffer, size_t buffer_size, size_t *needed) {
    if (!setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    if (!ValidLanguage(setup, language) || number < 0 || number >= LoaderMessageCount)
        return QUOV_ERROR_OUT_OF_RANGE;
    return Guarded([&] {
        const TSetupLanguageEntry &Entry = setup->Session.Entries[static_cast<size_t>(language)];
        if (setup->TableLanguage != language) {
            setup->TableLanguage = -1;
            for (std::string &Text : setup->Table)
                Text.clear();
            ParseMessageBlock(Entry.MessageBlock().data(), Entry.MessageBlock().size(),
                              setup->Table);
            setup->TableLanguage = language;
        }
        return CopyText(ToUtf16(setup->Table[number], Entry.CodePage()), buffer, buffer_size,
                        needed);
    });
}

quov_status quov_setup_area(const quov_setup *setup, int32_t area, uint64_t *offset,
                            uint64_t *length) {
    const TFileArea *Area = setup ? AreaOf(setup, area) : nullptr;
    if (!Area || !offset || !length)
        return QUOV_ERROR_INVALID_ARGUMENT;
    *offset = Area->Offset;
    *length = Area->Length;
    return QUOV_OK;
}

quov_status quov_setup_read_area(quov_setup *setup, int32_t area, uint64_t position,
                                 void *buffer, size_t count) {
    const TFileArea *Area = setup ? AreaOf(setup, area) : nullptr;
    if (!Area || (!buffer && count != 0))
        return QUOV_ERROR_INVALID_ARGUMENT;
    return Guarded([&] {
        ReadFileArea(*setup->File, *Area, position, buffer, count);
        return QUOV_OK;
    });
}

quov_status quov_setup_request_restart(const quov_setup *setup) {
    if (!setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    return SendLoaderRequest(setup->CommandLine.Loader.Window, RestartRequest, 0)
               ? QUOV_OK
               : QUOV_ERROR_NO_LOADER_WINDOW;
}

quov_status quov_setup_request_language(quov_setup *setup, int32_t language) {
    if (!setup)
        return QUOV_ERROR_INVALID_ARGUMENT;
    if (!ValidLanguage(setup, language))
        return QUOV_ERROR_OUT_OF_RANGE;
    if (!SendLoaderRequest(setup->CommandLine.Loader.Window, LanguageRequest, language))
        return QUOV_ERROR_NO_LOADER_WINDOW;
    setup->ChosenLanguage = language;
    return QUOV_OK;
}

} // extern "C"
