// The restart the setup program may ask for, once the loader has cleaned up. Win32 only.
#pragma once

// Asks the system to restart (with the shutdown privilege on NT); false when that failed.
bool RebootSystem();
