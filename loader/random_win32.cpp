#include "loader/random.h"

#include "support/win.h"

void SeedRandom() {
    SYSTEMTIME Now;
    ::GetSystemTime(&Now);
    SeedRandomFromTime(Now.wHour, Now.wMinute, Now.wSecond, Now.wMilliseconds);
}
