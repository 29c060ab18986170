// The working directory is the program's scratch space: fixed file names,
// copied and removed here without any shell.
#pragma once

#include <initializer_list>
#include <string>

// Removes the named file; a missing file is not an error ("rm -f"), and a
// directory of that name is left alone.
void removeFile(const std::string& name);

// removeFile for each name.
void removeFiles(std::initializer_list<const char*> names);

// Removes every file in the working directory whose name begins with `prefix`
// (for example "TEMP." or "ComplexA.").
void removeFilesWithPrefix(const std::string& prefix);

// The four structure files of one analysis: Complex.pdb, ComplexA.pdb,
// ComplexB.pdb and ComplexP.pdb.
void removeStructureFiles();

// Copies `from` to `to`, replacing `to`. False when `from` cannot be read or
// `to` cannot be written; a failed copy leaves no `to` behind.
bool copyFile(const std::string& from, const std::string& to);

// The names the clean-up at the end of a run removes from the working
// directory, besides the control files: every name with one of these prefixes.
inline constexpr const char* kWorkingFilePrefixes[] = {"TEMP.", "Complex.", "ComplexA.",
                                                       "ComplexB.", "ComplexP."};

// True when `path` names a file in the working directory that the clean-up
// removes (a control file, or a name with a prefix of kWorkingFilePrefixes):
// a file the user asked for there would be written and then deleted.
bool removedByCleanUp(const std::string& path);
