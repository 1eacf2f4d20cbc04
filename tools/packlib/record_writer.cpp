#include "tools/packlib/record_writer.h"

#include "records/setup_records.h"
#include "support/byte_order.h"
#include "support/exceptions.h"

void AppendSetupRecord(std::string &Out, const std::string *Strings, int N, const void *Fixed,
                       int F) {
    for (int K = 0; K < N; ++K) {
        if (Strings[K].size() > 0x7FFFFFFFu)
            throw ECompressInternalError("setup record string too long");
        AppendLe32(Out, static_cast<uint32_t>(Strings[K].size()));
        Out += Strings[K];
    }
    if (F > 0)
        Out.append(static_cast<const char *>(Fixed), static_cast<size_t>(F));
}

std::string BuildSetupHeaderRecord(const TSetupHeaderFields &Fields,
                                   const std::string *OtherStrings) {
    std::string Strings[SetupHeaderStringCount];
    if (OtherStrings)
        for (int K = 1; K < SetupHeaderStringCount; ++K)
            Strings[K] = OtherStrings[K];
    Strings[0] = Fields.ApplicationName;

    uint8_t Fixed[SetupHeaderFixedSize] = {};
    StoreLe32(Fixed + SetupHeaderEntryCountOffset,
              static_cast<uint32_t>(Fields.LanguageEntryCount));
    Fixed[SetupHeaderDetectModeOffset] = Fields.LanguageDetectMode;
    Fixed[SetupHeaderOptionsOffset] = Fields.NoStartupPrompt ? 1 : 0;

    std::string Out;
    AppendSetupRecord(Out, Strings, SetupHeaderStringCount, Fixed, SetupHeaderFixedSize);
    return Out;
}

std::string BuildSetupLanguageRecord(const TSetupLanguageFields &Fields) {
    std::string Strings[SetupLanguageStringCount];
    Strings[0] = Fields.Name;
    Strings[SetupLanguageMessageBlockIndex] = Fields.MessageBlock;

    uint8_t Fixed[SetupLanguageFixedSize] = {};
    StoreLe32(Fixed + SetupLanguageIdOffset, Fields.LanguageID);
    StoreLe32(Fixed + SetupLanguageCodePageOffset, Fields.CodePage);

    std::string Out;
    AppendSetupRecord(Out, Strings, SetupLanguageStringCount, Fixed, SetupLanguageFixedSize);
    return Out;
}
