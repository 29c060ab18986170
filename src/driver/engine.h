// Driving the surface-area engine: the control files, starting
// <NACCESS directory>/accall on one of them, and the success test of its log.
// The engine is NACCESS's own accall or the one bundled with this program.
#pragma once

#include <string>
#include <vector>

// A control file names the structure to measure and the probe radius.
struct ControlFile {
    const char* name;     // file written in the working directory
    const char* pdbFile;  // PDBFILE it names
    double probe;         // PROBE, angstroms
};

// In the order in which they are written at start-up.
inline constexpr ControlFile kControlFiles[5] = {
    {"Complex_accallT.input", "TEMP.pdb", 1.40},
    {"Complex_accall.input", "Complex.pdb", 1.40},
    {"ComplexA_accall.input", "ComplexA.pdb", 1.40},
    {"ComplexB_accall.input", "ComplexB.pdb", 1.40},
    {"ComplexP_accall.input", "ComplexP.pdb", 0.40},
};

inline constexpr const char* kEngineSuccess = "SOLVA: PROGRAM ENDS CORRECTLY";

// How long one engine run may take before it is stopped: 600 s, or the
// number of seconds in the environment variable KAV_ZUR_ENGINE_TIMEOUT
// (a positive number, at most 1e9; anything else means the default).
inline constexpr double kEngineTimeoutSeconds = 600.0;
double engineTimeout();

// Starts <naccessDir>/accall in the working directory with its standard input
// opened from `controlFile`, and waits for it to end. No shell is involved, so
// no name reaches one. The engine runs in a process group of its own; when it
// runs longer than engineTimeout(), the group is killed (SIGKILL). False when
// the engine could not be started, and, with a line on standard output, when
// it was stopped or ended by a signal; its exit status is not looked at
// otherwise: only its log decides.
bool runAccall(const std::string& naccessDir, const std::string& controlFile);

// True when the log at `logPath` holds the engine's success line. The log is
// read in pieces of at most 89 characters, each examined on its own; a
// missing or empty log means failure.
bool logSaysSuccess(const std::string& logPath);

// The engine's own words on why a run failed: the lines of the log at
// `logPath` that contain "ERROR" (at most three, leading blanks and line end
// removed); empty when there are none.
std::vector<std::string> engineErrors(const std::string& logPath);

// runAccall followed by logSaysSuccess on `logPath`. The log and its area file
// (the same name ending in ".asa") are removed first, so that files left by
// an earlier run never pass for this one's. False when either step fails.
bool runEngine(const std::string& naccessDir, const std::string& controlFile,
               const std::string& logPath);
