// The reference setup program's windows: the first one (the folder, Browse, Install, Cancel),
// the progress window that runs the installation on a second thread, and message boxes. Owns
// its windows while they are shown. Win32 only.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "filesetup/tree_install.h"
#include "support/win.h"

struct TWelcomeTexts {
    std::wstring Title, Ready, FolderLabel, Browse, Install, Cancel, BrowsePrompt;
};

// Shows the first window with Target in its folder box; true when the user chose Install
// (Target then holds the folder shown), false for Cancel or closing the window.
bool AskForTarget(const TWelcomeTexts &Texts, std::wstring &Target);

// Runs Work on a second thread while a progress window shows the current file and a bar; its
// Cancel button asks ConfirmText and, when confirmed, sets Cancel. Work's exception is thrown
// again here, once the window is gone.
void RunWithProgressWindow(const std::wstring &Title, const std::wstring &Heading,
                           const std::wstring &CancelText, const std::wstring &ConfirmText,
                           std::atomic<bool> &Cancel,
                           const std::function<void(const TInstallProgress &Shown)> &Work);

// A message box with the setup's title.
void ShowSetupMessage(HWND Owner, const std::wstring &Title, const std::wstring &Text, UINT Icon);
