// Ctrl-C for a call scored on the interpreter's main thread itself, rather
// than in a helper thread the main thread waits for: while the call runs,
// SIGINT raises the call's stop flag, so that its engine runs end at once,
// and is passed on to the interpreter's own handler, whose KeyboardInterrupt
// is raised once the call is back in Python.
#pragma once

#include <atomic>

namespace kzpy {

// The flag SIGINT raises while a SignalStop lives. One main thread, one call
// at a time: a single flag serves every call.
std::atomic<bool>& signalStopFlag();

// Lowers the flag and installs the handler; the previous one is restored
// when it ends. Only over the interpreter's own handler of SIGINT: a
// default or ignored SIGINT is left as it is (it ends the process, or is
// ignored, as without the call). A signal in the instant before the handler
// is installed is the interpreter's alone, taken when the call ends.
// Meant for the main thread only, one at a time (not nested).
class SignalStop {
public:
    SignalStop();
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    bool installed() const { return installed_; }

private:
    bool installed_ = false;
};

}  // namespace kzpy
