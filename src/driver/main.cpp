#include "driver/batch.h"

int main(int argc, char** argv) { return runBatch(argc, argv); }
