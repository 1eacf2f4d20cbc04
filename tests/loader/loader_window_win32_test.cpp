#include "loader/loader_window.h"

#include <gtest/gtest.h>

TEST(LoaderWindow, AnswersRequestsAndPassesTheRestOn) {
    TLoaderRequests Requests;
    TWindowHandle Window = CreateLoaderWindow(Requests);
    ASSERT_NE(Window.Get(), nullptr);
    HWND W = Window.Get();

    EXPECT_EQ(::SendMessageA(W, WM_QUERYENDSESSION, 0, 0), 0);

    EXPECT_EQ(::SendMessageA(W, LoaderWindowMessage, LanguageRequest, 2), 0);
    EXPECT_EQ(Requests.LanguageIndex, 2);
    EXPECT_EQ(::SendMessageA(W, LoaderWindowMessage, LanguageRequest, 0), 0);
    EXPECT_EQ(Requests.LanguageIndex, 0);
    EXPECT_EQ(::SendMessageA(W, LoaderWindowMessage, LanguageRequest, -7), 0);
    EXPECT_EQ(Requests.LanguageIndex, -7);

    EXPECT_EQ(::SendMessageA(W, LoaderWindowMessage, 10002, 5), 0);
    EXPECT_EQ(Requests.LanguageIndex, -7);
    EXPECT_FALSE(Requests.Restart);
    EXPECT_EQ(::SendMessageA(W, LoaderWindowMessage, RestartRequest, 0), 0);
    EXPECT_TRUE(Requests.Restart);

    // Everything else reaches the STATIC class.
    char Text[64] = {};
    EXPECT_EQ(::SendMessageA(W, WM_GETTEXT, sizeof(Text), reinterpret_cast<LPARAM>(Text)), 18);
    EXPECT_STREQ(Text, "QuovSetupLdrWindow");

    ::DestroyWindow(Window.Detach());
}
