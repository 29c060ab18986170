// The engine's control files: one per structure file that the engine
// measures, written once at start-up and read by every run.
#pragma once

#include <string>

// Writes the five control files of kControlFiles into the working directory,
// each created, written in full and closed before the next. Returns the name
// of the first one that could not be written in full, or nullptr.
const char* writeControlFiles(const std::string& naccessDir);

// The text of one control file: the structure it names, the engine's data
// files in `naccessDir`, the probe radius and the slice width of 0.05.
std::string controlFileText(const std::string& pdbFile, const std::string& naccessDir,
                            double probe);

// Removes the five control files ("rm -f").
void removeControlFiles();
