/* A 64-bit stand-in for the loader's startup question, for machines whose kernel cannot run the
   32-bit loader: shows the given caption and text bytes (ANSI, as the loader passes them) in the
   same kind of box. Writes MARKER once the box is up and closes it when DONE exists (at most
   20 s). Usage: prompt-standin CAPTION_FILE TEXT_FILE MARKER DONE */
#include <stdio.h>
#include <windows.h>

static char Caption[4096], Text[8192];
static const char *Marker, *Done;

static void ReadAll(const char *Path, char *Buffer, size_t Size) {
    FILE *F = fopen(Path, "rb");
    size_t N = F ? fread(Buffer, 1, Size - 1, F) : 0;
    Buffer[N] = 0;
    if (F)
        fclose(F);
}

static DWORD WINAPI Watch(LPVOID Unused) {
    HWND Box = NULL;
    int Tries;
    (void)Unused;
    for (Tries = 0; Tries < 200 && !Box; ++Tries, Sleep(100))
        Box = FindWindowA("#32770", Caption);
    fclose(fopen(Marker, "wb"));
    for (Tries = 0; Tries < 200 && GetFileAttributesA(Done) == INVALID_FILE_ATTRIBUTES; ++Tries)
        Sleep(100);
    ExitProcess(0);
    return 0;
}

int main(int Argc, char **Argv) {
    if (Argc != 5) {
        fprintf(stderr, "usage: prompt-standin CAPTION_FILE TEXT_FILE MARKER DONE\n");
        return 2;
    }
    ReadAll(Argv[1], Caption, sizeof(Caption));
    ReadAll(Argv[2], Text, sizeof(Text));
    Marker = Argv[3];
    Done = Argv[4];
    CreateThread(NULL, 0, Watch, NULL, 0, NULL);
    MessageBoxA(NULL, Text, Caption, MB_YESNO | MB_ICONQUESTION);
    return 0;
}
