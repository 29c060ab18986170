#include "driver/batch.h"

#include <cstdio>

// Not yet built: the batch loop arrives with the driver.
int runBatch(int, char**) {
    std::fputs("kav_zur: batch driver not built yet\n", stderr);
    return 2;
}
