// The reference setup program: installs the folder of files stored in the installer's setup
// data (quovpack pack --files) into a folder the user chooses, then runs the author's program
// if one was packed. Win32 only; WinMain calls RunFileSetup and nothing else.
#pragma once

// The whole program, on the process's command line; returns the exit code (FileSetupExit*,
// or the exit code of the program it ran).
int RunFileSetup();
