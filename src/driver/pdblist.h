// The entries of pdblist: names separated by white space, each relative to
// the structure directory, and the check that a name can name a file at all.
#pragma once

#include <cstdio>
#include <string>

// Reads the next entry of `list` into `entry`: leading white space (" \t\n\v\f\r")
// is skipped, and the entry runs to the next white space or the end of the
// file. False when only white space is left. Every other byte, a NUL
// included, belongs to the entry.
bool readEntry(std::FILE* list, std::string& entry);

// Why `entry` cannot name a file under `structureDir`, or nullptr when it can:
// "the name holds a NUL byte", or "the name is longer than the system allows"
// (a part of it longer than NAME_MAX, or the whole path not shorter than
// PATH_MAX). Pure: looks at the text only.
const char* entryNameProblem(const std::string& structureDir, const std::string& entry);

// `text` with each NUL byte shown as "\0", for messages.
std::string printableName(const std::string& text);

// What the console shows for an entry that cannot name a file, in the shape
// of a file that cannot be read: "Working on <dir>/<entry>. ", the engine
// problem line and " <dir>/<entry>: <why>".
void printEntryNameProblem(const std::string& structureDir, const std::string& entry,
                           const char* why);
