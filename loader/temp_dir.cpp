#include "loader/temp_dir.h"

#include "loader/system_error.h"
#include "records/messages.h"
#include "support/exceptions.h"
#include "support/path.h"

std::string EncodeBase32(uint32_t Value) {
    std::string Result(5, '0');
    for (int I = 4; I >= 0; --I) {
        Result[I] = "0123456789ABCDEFGHIJKLMNOPQRSTUV"[Value & 31];
        Value >>= 5;
    }
    return Result;
}

std::string PickUniqueNameWith(bool DisableRedirection, const std::string &Directory,
                               const std::string &Extension, uint32_t NameCount,
                               TRandomBelowFunc Random, TPathExistsFunc Exists) {
    const std::string Base = EnsureTrailingSeparator(Directory);
    const uint32_t Start = Random(NameCount);
    uint32_t N = Start;
    for (;;) {
        N = N + 1 < NameCount ? N + 1 : 0;
        if (N == Start)
            throw Exception(FormatLoaderMessage1(MsgDirFull, StripTrailingSeparators(Base)));
        std::string Candidate = Base + "is-" + EncodeBase32(N) + Extension;
        if (!Exists(DisableRedirection, Candidate))
            return Candidate;
    }
}

std::string RunTempDirFailure(const std::string &Dir, uint32_t Code, bool SecurityStep) {
    if (SecurityStep && Code == 0)
        Code = SecurityCodeMissing;
    return FormatSystemErrorMessage(FormatLoaderMessage1(MsgCreateDirFailed, Dir), Code);
}
