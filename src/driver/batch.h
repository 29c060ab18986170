// The batch run: command line, control files, the loop over pdblist and the
// score file. Returns the process exit status.
#pragma once

int runBatch(int argc, char** argv);
