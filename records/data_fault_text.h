// The tools' description of a fault found by the acceptance of a package. Kept apart from the
// acceptance itself: the loader never describes a fault, and its file stays without the text
// and the formatting code.
#pragma once

#include <string>

#include "support/data_fault.h"

// One line of English that names the failed check, the structure and where it lies in the file
// ("setup program block at offset 1234: chunk 3 at offset 13570: ChunkCRC is 0x..., but its
// bytes give 0x..."). ASCII only.
std::string DescribeDataFault(const TDataFault &Fault);
