// Writing one structure's report: the folder DIR/<entry>/ and its files.
#pragma once

#include "analysis/analysis.h"
#include "report/interface_report.h"

#include <string>

// One path component for a list entry (and, with every pair scored, its
// sides): a name of letters, digits, '.', '_', '+' and '-' stays as it is;
// any other character becomes '_' and a short hash of the whole name is
// appended. Never empty, never "." or "..", at most 200 bytes before the
// hash. Two names of one hash are told apart when the report is written.
std::string reportFolderName(const std::string& entry, const std::string& sides);

// Creates the report directory if needed and checks that a file can be
// created in it. False, with the reason in `why`, when it cannot be used.
bool prepareReportDirectory(const std::string& dir, std::string& why);

// `path` made absolute (as it is when it cannot be).
std::string absolutePath(const std::string& path);

// The folder of a result's report in the report directory `reportDir`:
// reportDir/<reportFolderName(result.name)>.
std::string reportFolder(const std::string& reportDir, const InterfaceResult& result);

// Writes every report file of a scored result with report data into
// reportFolder(reportDir, result). A renamed entry's folder records its full
// name (in ".kav_zur-entry"); one that records another name is passed by for
// "<folder>-2", "-3", ... Prints the reason to standard error and returns
// false when a file cannot be written.
bool writeEntryReport(const std::string& reportDir, const InterfaceResult& result);
