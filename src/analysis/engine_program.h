// Driving the surface-area engine: the control files, starting
// <NACCESS directory>/accall on one of them, and the success test of its log.
// The engine is NACCESS's own accall or the one bundled with this program.
#pragma once

#include "common/engine_files.h"
#include "common/workspace.h"

#include <cstdio>
#include <string>
#include <vector>


inline constexpr const char* kEngineSuccess = "SOLVA: PROGRAM ENDS CORRECTLY";

// How long one engine run may take before it is stopped: 600 s, or the
// number of seconds in the environment variable KAV_ZUR_ENGINE_TIMEOUT
// (a positive number, at most 1e9; anything else means the default).
inline constexpr double kEngineTimeoutSeconds = 600.0;
double engineTimeout();

// Signals and engine runs. Every process that starts engines (the batch, and
// each worker it forks) calls prepareEngineRuns() once at start-up, before
// its first engine run or fork; it sets SIGCHLD back to its default when it
// was inherited as ignored (a parent such as some Python launchers or
// daemons), since the kernel would otherwise reap the engine before it can
// be waited for. It leaves an installed SIGCHLD handler alone, and runAccall
// calls it too. A worker that has its own working files calls
// setSignalCleanup with their clean-up as well (it is per process).
//
// While an engine runs, every signal that would end the program from
// outside (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1/2, SIGALRM, SIGPIPE,
// SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR, SIGSTKFLT and the
// real-time signals) is held: when one
// arrives the engine's process group is killed, the clean-up runs, and the
// signal then takes its usual effect. A signal inherited as ignored (nohup)
// stays ignored and does not touch the engine. An engine never outlives its
// parent: it is killed (SIGKILL) when the process that started it ends.
void prepareEngineRuns();

// `cleanup` (or nothing, for nullptr) runs after a held signal has stopped
// the engine and before the signal ends the process: the working files go.
void setSignalCleanup(void (*cleanup)());

// The engine's three files (accall executable, vdw.radii and standard.data
// readable), checked once before any structure: without them every structure
// would fail alike. Returns the path of the first one missing, or "".
std::string missingEngineFile(const std::string& naccessDir);

// Tries to start <naccessDir>/accall once, in a temporary directory of its
// own with an empty standard input, and stops it at once. Returns "" when it
// starts, else the reason it cannot ("Exec format error" for a file with no
// "#!" line or for another machine, "No such file or directory" for a
// script whose interpreter is missing).
std::string engineStartProblem(const std::string& naccessDir);

// Starts <naccessDir>/accall in the working directory with its standard input
// opened from `controlFile`, and waits for it to end. No shell is involved, so
// no name reaches one, and no descriptor other than 0, 1 and 2 is passed on.
// The engine runs in a process group of its own; when it runs longer than
// engineTimeout(), the group is killed (SIGKILL). False, with a line on
// standard output, when the engine could not be started ("<dir>/accall:
// cannot be started: <reason>"), was stopped or ended by a signal; its exit
// status is not looked at otherwise: only its log decides.
// With a stop set for the calling thread (common/engine_stop.h: a library in
// a host process), no signal is held (they are the host's), the stop's limit
// replaces engineTimeout(), and a raised flag kills the group and throws
// EngineStopped once it has been reaped.
bool runAccall(const std::string& naccessDir, const std::string& controlFile);

// runAccall in the directory `dir` ("" for the working directory), where
// `controlFile` is looked for, with its line going to `console`.
bool runAccall(const std::string& naccessDir, const std::string& controlFile,
               const std::string& dir, std::FILE* console);

// True when the log at `logPath` holds the engine's success line. The log is
// read in pieces of at most 89 characters, each examined on its own; a
// missing or empty log means failure.
bool logSaysSuccess(const std::string& logPath);
bool logSaysSuccess(Workspace& files, const std::string& logName);

// The engine's own words on why a run failed: the lines of the log at
// `logPath` that contain "ERROR" (at most three, leading blanks and line end
// removed); empty when there are none.
std::vector<std::string> engineErrors(const std::string& logPath);
std::vector<std::string> engineErrors(Workspace& files, const std::string& logName);

// Prints engineErrors(logPath) to standard output, each as " accall: <line>".
void printEngineErrors(const std::string& logPath);
// The same for a log in `files`, to `console`.
void printEngineErrors(Workspace& files, const std::string& logName, std::FILE* console);

// runAccall followed by logSaysSuccess on `logPath`. The log and its area file
// (the same name ending in ".asa") are removed first, so that files left by
// an earlier run never pass for this one's. False when either step fails.
bool runEngine(const std::string& naccessDir, const std::string& controlFile,
               const std::string& logPath);
