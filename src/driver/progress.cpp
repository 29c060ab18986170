#include "driver/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace {

// At most this many rewrites of the line a second: a terminal over a slow
// link (ssh) should not spend its time on it.
constexpr double kMinSecondsBetweenDraws = 0.25;

ProgressDisplay* activeDisplay = nullptr;

std::string format(const char* fmt, double a) {
    char text[64];
    std::snprintf(text, sizeof text, fmt, a);
    return text;
}

std::string rateText(double perSecond) {
    if (perSecond >= 100) return format("%.0f/s", perSecond);
    if (perSecond >= 1) return format("%.1f/s", perSecond);
    return format("%.2f/s", perSecond);
}

// "3 no_file, 51 too_small" for the failed statuses of `counts`.
std::string byStatus(const std::array<std::size_t, kStatusCount>& counts) {
    std::string text;
    for (std::size_t s = 1; s < kStatusCount; ++s) {
        if (counts[s] == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(counts[s]) + " " + statusCode(static_cast<EntryStatus>(s));
    }
    return text;
}

int terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 0;
}

}  // namespace

void tallyEntry(RunTally& tally, const std::vector<EntryResult>& results) {
    ++tally.done;
    EntryStatus status = results.empty() ? EntryStatus::WorkerDied : results.front().status;
    for (const EntryResult& r : results) {
        ++tally.interfaces[static_cast<std::size_t>(r.status)];
        ++tally.interfaceCount;
        if (r.status == EntryStatus::Scored) status = EntryStatus::Scored;
    }
    ++tally.entries[static_cast<std::size_t>(status)];
    if (status == EntryStatus::Scored) ++tally.scored;
}

std::string durationText(double seconds) {
    const long s = std::lround(std::fmax(seconds, 0.0));
    if (s < 60) return std::to_string(s) + " s";
    if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

std::string progressLine(const RunTally& tally, std::size_t total, double seconds) {
    std::string line = std::to_string(tally.done) + "/" + std::to_string(total) + " done (" +
                       std::to_string(tally.scored) + " scored, " + std::to_string(tally.failed()) +
                       " failed)";
    if (tally.done == 0 || seconds <= 0) return line;
    const double rate = tally.done / seconds;
    line += ", " + rateText(rate);
    if (tally.done < total) line += ", about " + durationText((total - tally.done) / rate) + " left";
    return line;
}

std::string summaryText(const RunTally& tally, double seconds) {
    std::string text = "kav_zur: " + std::to_string(tally.done) +
                       (tally.done == 1 ? " entry in " : " entries in ") +
                       durationText(seconds);
    if (tally.done > 0 && seconds > 0) text += " (" + rateText(tally.done / seconds) + ")";
    text += ": " + std::to_string(tally.scored) + " scored, " + std::to_string(tally.failed()) +
            " failed";
    if (tally.failed() > 0) text += " (" + byStatus(tally.entries) + ")";
    text += "\n";
    if (tally.interfaceCount != tally.done) {
        const std::size_t scored = tally.interfaces[0];
        text += "kav_zur: " + std::to_string(tally.interfaceCount) + " interfaces: " +
                std::to_string(scored) + " scored, " +
                std::to_string(tally.interfaceCount - scored) + " not";
        if (tally.interfaceCount > scored) text += " (" + byStatus(tally.interfaces) + ")";
        text += "\n";
    }
    return text;
}

void ProgressDisplay::start(int mode, std::size_t total) {
    on_ = mode == 1 || (mode == -1 && isatty(STDERR_FILENO));
    sharedTerminal_ = on_ && isatty(STDOUT_FILENO) && isatty(STDERR_FILENO);
    total_ = total;
    tally_ = {};
    start_ = std::chrono::steady_clock::now();
    if (!on_) return;
    activeDisplay = this;
    draw();
}

ProgressDisplay::~ProgressDisplay() {
    if (activeDisplay == this) activeDisplay = nullptr;
}

void ProgressDisplay::record(const std::vector<EntryResult>& results) {
    tallyEntry(tally_, results);
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (tally_.done < total_ &&
        std::chrono::duration<double>(now - lastDraw_).count() < kMinSecondsBetweenDraws)
        return;
    draw();
}

// With standard output elsewhere the line is the cursor's row, rewritten
// after "\r". With standard output on the same terminal the console text
// ends mid-row and goes on there: the line is drawn on the row below it and
// the cursor put back (index down and up first, so that a scroll at the
// bottom of the screen cannot move the row that is saved).
void ProgressDisplay::draw() {
    const auto now = std::chrono::steady_clock::now();
    lastDraw_ = now;
    std::string line = progressLine(tally_, total_, std::chrono::duration<double>(now - start_).count());
    // A line longer than the terminal would wrap, and "\r" would rewrite only its last row.
    if (const int columns = terminalColumns(); columns > 1 && line.size() >= std::size_t(columns))
        line.resize(columns - 1);
    std::fflush(stdout);
    if (sharedTerminal_)
        std::fprintf(stderr, "\033[J\033D\033M\0337\033D\r%s\0338", line.c_str());
    else
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void ProgressDisplay::erase() {
    if (!on_ || !shown_) return;
    std::fflush(stdout);
    std::fputs(sharedTerminal_ ? "\033[J" : "\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

void ProgressDisplay::leave() {
    if (!on_ || !shown_) return;
    std::fflush(stdout);
    // On a row of its own the last line stays; below console text it would
    // be written over by the next console line.
    std::fputs(sharedTerminal_ ? "\033[J" : "\n", stderr);
    std::fflush(stderr);
    shown_ = false;
}

void ProgressDisplay::finish() {
    if (!on_) return;
    leave();
    std::fflush(stdout);  // "Finished" first, wherever standard output goes
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fputs(summaryText(tally_, seconds).c_str(), stderr);
    std::fflush(stderr);
}

void eraseProgressLine() {
    if (activeDisplay) activeDisplay->erase();
}
