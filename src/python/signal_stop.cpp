// The SIGINT handler of a call scored on the main thread.
#include "python/signal_stop.h"

#include <signal.h>

namespace kzpy {

namespace {

std::atomic<bool> gFlag{false};
// The handler found when the call began, which each signal is passed on to.
// Written before ours is installed and left as it is until ours is removed.
struct sigaction gPrevious;

// Runs in whichever thread the kernel picks: only the flag's lock-free store
// and the previous handler (the interpreter's, itself made for this).
extern "C" void onSignal(int signal, siginfo_t* info, void* context) {
    gFlag.store(true, std::memory_order_relaxed);
    if (gPrevious.sa_flags & SA_SIGINFO) {
        if (gPrevious.sa_sigaction) gPrevious.sa_sigaction(signal, info, context);
    } else if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(signal);
    }
}

bool handledByAFunction(const struct sigaction& action) {
    if (action.sa_flags & SA_SIGINFO)
        return action.sa_sigaction != nullptr && action.sa_sigaction != onSignal;
    return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

}  // namespace

std::atomic<bool>& signalStopFlag() { return gFlag; }

SignalStop::SignalStop() {
    gFlag.store(false);
    struct sigaction now {};
    if (sigaction(SIGINT, nullptr, &now) != 0 || !handledByAFunction(now)) return;
    gPrevious = now;
    struct sigaction ours {};
    ours.sa_sigaction = onSignal;
    ours.sa_mask = now.sa_mask;
    ours.sa_flags = SA_SIGINFO | (now.sa_flags & (SA_ONSTACK | SA_RESTART));
    // gPrevious is complete before any thread can run onSignal.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    installed_ = sigaction(SIGINT, &ours, nullptr) == 0;
}

SignalStop::~SignalStop() {
    if (installed_) sigaction(SIGINT, &gPrevious, nullptr);
}

}  // namespace kzpy
