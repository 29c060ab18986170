#include "driver/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>

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

winsize terminalSize() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) size = {};
    return size;
}

// With standard output on the same terminal the line keeps the bottom row:
// the rows above it are made the scrolling region, so console text never
// reaches the line. What gives the terminal back its whole screen is kept
// ready here for a signal that ends the run.
constexpr int kRestoredOnSignal[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
struct sigaction previousActions[std::size(kRestoredOnSignal)];
char restoreText[64];
volatile std::sig_atomic_t restoreLength = 0;
pid_t regionOwner = 0;

// Gives the screen back (in this process only: a worker forked from it
// leaves the terminal alone), then lets the signal take its usual effect.
extern "C" void restoreAndRaise(int signal) {
    if (getpid() == regionOwner && restoreLength > 0) {
        const ssize_t ignored = write(STDERR_FILENO, restoreText, restoreLength);
        (void)ignored;
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void holdBottomRow(int rows) {
    std::snprintf(restoreText, sizeof restoreText, "\0337\033[r\033[%d;1H\033[K\0338", rows);
    restoreLength = static_cast<std::sig_atomic_t>(std::strlen(restoreText));
    // Index down and back up: a cursor on the bottom row scrolls the screen
    // first and keeps its column; the region then ends above it.
    std::fprintf(stderr, "\033D\033M\0337\033[1;%dr\0338", rows - 1);
}

}  // namespace

void EntryCounts::add(const EntryResult& r) {
    if (count == 0 || r.status == EntryStatus::Scored) status = r.status;
    ++interfaces[static_cast<std::size_t>(r.status)];
    ++count;
}

void tallyEntry(RunTally& tally, const EntryCounts& counts) {
    ++tally.done;
    for (std::size_t s = 0; s < kStatusCount; ++s) tally.interfaces[s] += counts.interfaces[s];
    tally.interfaceCount += counts.count;
    ++tally.entries[static_cast<std::size_t>(counts.status)];
    if (counts.status == EntryStatus::Scored) ++tally.scored;
}

void tallyEntry(RunTally& tally, const std::vector<EntryResult>& results) {
    EntryCounts counts;
    for (const EntryResult& r : results) counts.add(r);
    tallyEntry(tally, counts);
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
    if (sharedTerminal_) {
        rows_ = terminalSize().ws_row;
        if (rows_ < 3) {  // no row to spare
            on_ = false;
            return;
        }
        regionOwner = getpid();
        holdBottomRow(rows_);
        struct sigaction action {};
        action.sa_handler = restoreAndRaise;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kRestoredOnSignal); ++i) {
            sigaction(kRestoredOnSignal[i], nullptr, &previousActions[i]);
            // A signal inherited as ignored stays ignored.
            if (previousActions[i].sa_handler != SIG_IGN)
                sigaction(kRestoredOnSignal[i], &action, nullptr);
        }
    }
    activeDisplay = this;
    draw();
}

ProgressDisplay::~ProgressDisplay() {
    leave();  // an early return of the run gives the screen back too
    if (activeDisplay == this) activeDisplay = nullptr;
}

void ProgressDisplay::record(const std::vector<EntryResult>& results) {
    EntryCounts counts;
    for (const EntryResult& r : results) counts.add(r);
    record(counts);
}

void ProgressDisplay::record(const EntryCounts& counts) {
    tallyEntry(tally_, counts);
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (tally_.done < total_ &&
        std::chrono::duration<double>(now - lastDraw_).count() < kMinSecondsBetweenDraws)
        return;
    draw();
}

// With standard output elsewhere the line is the cursor's row, rewritten
// after "\r"; on the terminal of standard output it is the bottom row,
// drawn with the cursor saved and put back.
void ProgressDisplay::draw() {
    const auto now = std::chrono::steady_clock::now();
    lastDraw_ = now;
    std::string line = progressLine(tally_, total_, std::chrono::duration<double>(now - start_).count());
    const winsize size = terminalSize();
    // A line longer than the terminal would wrap, and "\r" would rewrite only its last row.
    if (size.ws_col > 1 && line.size() >= size.ws_col) line.resize(size.ws_col - 1);
    std::fflush(stdout);
    if (sharedTerminal_) {
        if (size.ws_row >= 3 && size.ws_row != rows_) {  // the window was resized
            rows_ = size.ws_row;
            holdBottomRow(rows_);
        }
        std::fprintf(stderr, "\0337\033[%d;1H%s\033[K\0338", rows_, line.c_str());
    } else {
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
    }
    std::fflush(stderr);
    shown_ = true;
}

void ProgressDisplay::erase() {
    if (!on_ || !shown_ || sharedTerminal_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

void ProgressDisplay::leave() {
    if (!on_) return;
    std::fflush(stdout);
    if (sharedTerminal_ && restoreLength > 0) {
        std::fwrite(restoreText, 1, restoreLength, stderr);
        restoreLength = 0;
        for (std::size_t i = 0; i < std::size(kRestoredOnSignal); ++i)
            if (previousActions[i].sa_handler != SIG_IGN)
                sigaction(kRestoredOnSignal[i], &previousActions[i], nullptr);
    } else if (!sharedTerminal_ && shown_) {
        std::fputc('\n', stderr);  // the last line stays on a row of its own
    }
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
