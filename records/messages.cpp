#include "records/messages.h"

#include "setupdata/setup_corrupt.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"

std::string LoaderMessages[LoaderMessageCount];

void ClearLoaderMessages() {
    for (std::string &Message : LoaderMessages)
        std::string().swap(Message);
}

void RaiseSetupCorrupt() {
    const std::string &Text = LoaderMessages[MsgCorruptSetupData];
    throw Exception(Text.empty() ? std::string(SetupCorruptText) : Text);
}
