/* A minimal setup program for the Quov setup loader: it shows the application name, a text
 * from the language the loader chose and the start of its setup data, and offers to restart
 * the computer once the loader has cleaned up. Build it, then pack it with quovpack (see
 * README.md beside this file). */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "quov_setup.h"

/* Message 148 of every language's table is the loader's window caption ("Setup"). */
#define MESSAGE_SETUP_CAPTION 148

static int Fail(const char *what, quov_status status)
{
    char text[512];
    _snprintf(text, sizeof(text) - 1, "%s: %s", what, quov_status_text(status));
    text[sizeof(text) - 1] = 0;
    MessageBoxA(NULL, text, "Minimal setup", MB_OK | MB_ICONERROR);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    quov_setup *setup = NULL;
    quov_status status;
    wchar_t name[256], caption[256], data_text[256], text[1024];
    char data[200];
    uint64_t offset = 0, length = 0;
    size_t count;
    int32_t language = 0;
    int answer;

    (void)instance; (void)previous; (void)command_line; (void)show;
    status = quov_setup_open(&setup);
    if (status != QUOV_OK)
        return Fail("Cannot start", status);

    status = quov_setup_application_name(setup, name, 256, NULL);
    if (status == QUOV_OK)
        status = quov_setup_chosen_language(setup, &language);
    if (status == QUOV_OK)
        status = quov_setup_message(setup, language, MESSAGE_SETUP_CAPTION, caption, 256, NULL);
    if (status == QUOV_OK)
        status = quov_setup_area(setup, QUOV_AREA_SETUP_DATA, &offset, &length);
    /* The setup data are whatever the author packed; this example expects UTF-8 text. */
    count = length < sizeof(data) ? (size_t)length : sizeof(data);
    if (status == QUOV_OK)
        status = quov_setup_read_area(setup, QUOV_AREA_SETUP_DATA, 0, data, count);
    if (status != QUOV_OK) {
        quov_setup_close(setup);
        return Fail("Cannot read the installer", status);
    }
    data_text[MultiByteToWideChar(CP_UTF8, 0, data, (int)count, data_text, 255)] = 0;

    _snwprintf(text, 1023,
               L"Installing %ls.\n\nSetup data (%lu bytes, at offset %lu):\n%ls\n\n"
               L"Restart the computer when setup ends?",
               name, (unsigned long)length, (unsigned long)offset, data_text);
    text[1023] = 0;
    answer = MessageBoxW(NULL, text, caption, MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) {
        status = quov_setup_request_restart(setup);
        if (status != QUOV_OK) {
            quov_setup_close(setup);
            return Fail("Cannot ask for a restart", status);
        }
    }
    quov_setup_close(setup);
    return 0;
}
