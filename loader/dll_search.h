// Keeps the process from loading libraries out of its own folder: a loader is often run from a
// downloads folder where anyone may have left a DLL named like a system library. Owns nothing.
#pragma once

// Where the system offers SetDefaultDllDirectories (looked up at run time), limits every later
// library search of the process to the system directory. Call it first, before anything loads
// a library. Never throws; on older systems it does nothing.
void RestrictDllSearch();

// Loads the common controls library and calls its InitCommonControls. Linking it would map it
// while the process starts, before RestrictDllSearch can run, and its start-up loads theme
// libraries by name. The manifest still selects version 6. Never throws; does nothing when the
// library or the function is missing.
void InitCommonControlsLate();
