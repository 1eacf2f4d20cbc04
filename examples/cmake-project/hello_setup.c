/* A setup program built with CMake: it greets the user with the application name, in the
 * caption of the language the loader chose, and shows the setup data packed beside it. */
#include <windows.h>

#include <stdio.h>

#include "quov_setup.h"

/* Message 148 of every language's table is the loader's window caption ("Setup"). */
#define MESSAGE_SETUP_CAPTION 148

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    quov_setup *setup = NULL;
    wchar_t name[256], caption[256], welcome[256], text[600];
    char data[255];
    uint64_t offset = 0, length = 0;
    int32_t language = 0;
    quov_status status;

    (void)instance; (void)previous; (void)command_line; (void)show;
    status = quov_setup_open(&setup);
    if (status == QUOV_OK)
        status = quov_setup_application_name(setup, name, 256, NULL);
    if (status == QUOV_OK)
        status = quov_setup_chosen_language(setup, &language);
    if (status == QUOV_OK)
        status = quov_setup_message(setup, language, MESSAGE_SETUP_CAPTION, caption, 256, NULL);
    if (status == QUOV_OK)
        status = quov_setup_area(setup, QUOV_AREA_SETUP_DATA, &offset, &length);
    if (length > sizeof(data))
        length = sizeof(data);
    if (status == QUOV_OK)
        status = quov_setup_read_area(setup, QUOV_AREA_SETUP_DATA, 0, data, (size_t)length);
    quov_setup_close(setup);
    if (status != QUOV_OK) {
        MessageBoxA(NULL, quov_status_text(status), "Hello setup", MB_OK | MB_ICONERROR);
        return 1;
    }
    welcome[MultiByteToWideChar(CP_UTF8, 0, data, (int)length, welcome, 255)] = 0;
    _snwprintf(text, 599, L"%ls\n\n%ls", name, welcome);
    text[599] = 0;
    MessageBoxW(NULL, text, caption, MB_OK | MB_ICONINFORMATION);
    return 0;
}
