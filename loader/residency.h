// Makes every page of the loader's own image resident in the process's memory by writing to it
// once without changing a byte. Win32 only.
#pragma once

// ImageBase: the module handle of the image. Raises nothing.
void TouchImagePages(void *ImageBase);
