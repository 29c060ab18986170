#include "analysis/held_signals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr int kTerminatingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1,
                                       SIGUSR2, SIGALRM,   SIGPIPE, SIGXCPU, SIGXFSZ,
                                       SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,  SIGSTKFLT};

}  // namespace

bool signalIgnored(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void addTerminatingSignals(sigset_t& set) {
    for (int s : kTerminatingSignals)
        if (!signalIgnored(s)) sigaddset(&set, s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        if (!signalIgnored(s)) sigaddset(&set, s);
}

HeldSignals::HeldSignals(int extra) {
    sigemptyset(&held);
    addTerminatingSignals(held);
    if (extra != 0) sigaddset(&held, extra);
    pthread_sigmask(SIG_BLOCK, &held, &previous);
    fd = signalfd(-1, &held, SFD_CLOEXEC | SFD_NONBLOCK);
}

HeldSignals::~HeldSignals() {
    if (fd >= 0) close(fd);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

int HeldSignals::arrived() const {
    signalfd_siginfo info{};
    if (fd >= 0 && read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        return static_cast<int>(info.ssi_signo);
    return 0;
}
