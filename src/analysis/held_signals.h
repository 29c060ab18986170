// Terminating signals held back while the program's children run, and read
// from a descriptor, so that the children are stopped before a signal takes
// its usual effect. Shared by engine runs and worker processes.
#pragma once

#include <csignal>

// True when `signal`'s disposition is "ignore" (inherited from nohup, or
// from "cmd &" in a script): such a signal is never held, it stays ignored.
bool signalIgnored(int signal);

// Adds to `set` every signal HeldSignals holds (below), less those inherited
// as ignored: for a program that cleans up in a handler of its own instead.
void addTerminatingSignals(sigset_t& set);

// Holds, for its lifetime, every signal whose default action ends the process
// and that can come from outside (SIGHUP, SIGINT, SIGQUIT, SIGTERM,
// SIGUSR1/2, SIGALRM, SIGPIPE, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL,
// SIGPWR, SIGSTKFLT and the real-time signals), less those inherited as
// ignored, plus `extra` when it is not 0 (the workers' SIGCHLD). `fd` is a
// non-blocking, close-on-exec signalfd of the held set (-1 when none could be
// had); `previous` is the mask to restore in a child before exec.
struct HeldSignals {
    sigset_t held;
    sigset_t previous;
    int fd = -1;
    explicit HeldSignals(int extra = 0);
    ~HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

    // The number of a held signal that arrived, or 0.
    int arrived() const;
};
