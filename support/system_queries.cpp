#include "support/system_queries.h"

bool FitStringLength(std::string &S, int32_t N) {
    size_t Before = S.size();
    size_t After = N > 0 ? static_cast<size_t>(N) : 0;
    S.resize(After);
    return After < Before;
}
