// A cooperative stop of the engine runs of one thread, for a caller that
// cannot kill the thread (a library in a host process such as Python): a
// time limit per engine run and a flag another thread may raise. The
// in-process engine looks at it every few hundred atoms, an engine program's
// wait every few tens of milliseconds; without one set (the command line),
// nothing changes.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>

struct EngineStop {
    const std::atomic<bool>* cancel = nullptr;  // raised: stop at once
    double limitSeconds = 0.0;                  // > 0: the longest one engine run may take
};

// Thrown out of an engine run (and out of the analysis) when the stop of its
// thread was raised, or when an in-process run passed the limit.
struct EngineStopped : std::exception {
    bool timedOut = false;  // the limit, not the flag
    double limitSeconds = 0.0;
    const char* what() const noexcept override {
        return timedOut ? "the engine ran longer than its limit" : "the engine run was cancelled";
    }
};

namespace engine_stop {

struct State {
    const EngineStop* stop = nullptr;
    std::chrono::steady_clock::time_point deadline{};  // of the engine run under way
    bool timed = false;                                // a deadline is set
};

inline State& current() {
    thread_local State state;
    return state;
}

}  // namespace engine_stop

// The stop of the calling thread's engine runs while it lives (nested scopes
// restore the outer one).
class EngineStopScope {
public:
    explicit EngineStopScope(const EngineStop* stop) : saved_(engine_stop::current()) {
        engine_stop::current() = engine_stop::State{stop};
    }
    ~EngineStopScope() { engine_stop::current() = saved_; }
    EngineStopScope(const EngineStopScope&) = delete;
    EngineStopScope& operator=(const EngineStopScope&) = delete;

private:
    engine_stop::State saved_;
};

// The stop of this thread, or null (the command line).
inline const EngineStop* currentEngineStop() { return engine_stop::current().stop; }

// Starts the clock of one engine run under the thread's limit, if any.
inline void startEngineRunClock() {
    engine_stop::State& s = engine_stop::current();
    s.timed = s.stop && s.stop->limitSeconds > 0.0;
    if (s.timed)
        s.deadline = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(s.stop->limitSeconds));
}

// Throws EngineStopped when the thread's stop was raised or the run's
// deadline has passed; does nothing when the thread has no stop.
inline void checkEngineStop() {
    const engine_stop::State& s = engine_stop::current();
    if (!s.stop) return;
    EngineStopped stopped;
    stopped.limitSeconds = s.stop->limitSeconds;
    if (s.stop->cancel && s.stop->cancel->load(std::memory_order_relaxed)) throw stopped;
    if (s.timed && std::chrono::steady_clock::now() >= s.deadline) {
        stopped.timedOut = true;
        throw stopped;
    }
}
