#include "loader/system_error.h"

#include <gtest/gtest.h>

#include "records/messages.h"
#include "support/error_text.h"
#include "test_messages.h"

TEST(SystemError, OperationCodeAndSystemText) {
    LoadTestMessages({{MsgSystemErrorFormat, "%1\n\n%2: %3"}});
    EXPECT_EQ(FormatSystemErrorMessage("op %1", 5), "op %1\n\n5: " + SystemErrorText(5));
    // The code is written as a signed 32-bit number.
    EXPECT_EQ(FormatSystemErrorMessage("op", 0x80070005u),
              "op\n\n-2147024891: " + SystemErrorText(0x80070005u));
    ClearLoaderMessages();
}
