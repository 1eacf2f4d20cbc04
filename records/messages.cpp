#include "records/messages.h"

#include <cstring>
#include <utility>

#include "support/builtin_texts.h"
#include "support/exceptions.h"

std::string LoaderMessages[LoaderMessageCount];

void ClearLoaderMessages() {
    for (std::string &Message : LoaderMessages) {
        std::string Released(std::move(Message)); // takes the memory along
        Message.clear();
    }
}

void LoadMessageBlock(const void *Data, size_t Length) {
    ParseMessageBlock(Data, Length, LoaderMessages);
}

void RaiseSetupCorrupt(const TDataFault &Fault) {
    const std::string &Text = LoaderMessages[MsgCorruptSetupData];
    throw ESetupCorrupt(Text.empty() ? std::string(SetupCorruptText) : Text, Fault);
}

std::string FormatPattern(const char *Pattern, const std::string *Args, int ArgCount) {
    std::string Result;
    if (!Pattern)
        return Result;
    const char *P = Pattern;
    for (;;) {
        const char *Percent = std::strchr(P, '%');
        if (!Percent) {
            Result += P;
            return Result;
        }
        Result.append(P, Percent - P);
        const char Selector = Percent[1];
        if (Selector >= '1' && Selector <= '9' && Selector - '0' <= ArgCount) {
            Result += Args[Selector - '1'];
            P = Percent + 2;
        } else if (Selector == '%') {
            Result += '%';
            P = Percent + 2;
        } else {
            // Not a placeholder: the % stays, and the selector is ordinary text (or the end).
            Result += '%';
            P = Percent + 1;
        }
    }
}

std::string FormatLoaderMessage(uint8_t Number, const std::string *Args, int ArgCount) {
    if (Number >= LoaderMessageCount)
        return std::string();
    return FormatPattern(LoaderMessages[Number].c_str(), Args, ArgCount);
}

std::string FormatLoaderMessage1(uint8_t Number, const std::string &Arg) {
    return FormatLoaderMessage(Number, &Arg, 1);
}
