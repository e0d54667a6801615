// A check for fuzz targets: a failed one names itself before the abort, so
// the report says which.
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__);   \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
