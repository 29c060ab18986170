#include "merge/merge.h"

#include "common/text_file.h"
#include "records/details_file.h"
#include "records/score_file.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

// Longer than any score line or details row of a real list entry.
constexpr std::size_t kMaxLine = std::size_t{1} << 20;

enum class LineEnd { Present, Missing, None, TooLong, Error };

// Reads one line without its line end. None at the end of the file; Missing
// for a last line without a line end (its text is in `line`).
LineEnd readLine(std::FILE* in, std::string& line) {
    line.clear();
    while (true) {
        const int c = getc_unlocked(in);
        if (c == EOF) {
            if (std::ferror(in)) return LineEnd::Error;
            return line.empty() ? LineEnd::None : LineEnd::Missing;
        }
        if (c == '\n') return LineEnd::Present;
        if (line.size() == kMaxLine) return LineEnd::TooLong;
        line.push_back(static_cast<char>(c));
    }
}

// A kind's header as lines without their line ends.
std::vector<std::string> headerLines(ShardKind kind) {
    const std::string text = kind == ShardKind::Score     ? scoreHeader()
                             : kind == ShardKind::Details ? detailsHeader()
                                                          : detailsHeader(true);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

struct ShardInput {
    File file;
    std::string path;
};

MergeOutcome refuse(const std::string& path, std::string reason) {
    MergeOutcome outcome;
    outcome.path = path;
    outcome.reason = std::move(reason);
    return outcome;
}

std::string readFault(LineEnd end, std::size_t lineNumber) {
    const std::string where = "line " + std::to_string(lineNumber);
    switch (end) {
    case LineEnd::Missing:
        return where + " has no line end: the run that wrote it stopped in mid-line "
                       "(finish it with --resume, then merge)";
    case LineEnd::TooLong: return where + " is longer than any line kav_zur writes";
    case LineEnd::Error: return std::string("cannot be read: ") + std::strerror(errno);
    default: return where + " is missing";
    }
}

// The kind of header the shard begins with, reading past it; nullopt (and
// `why`) for neither.
std::optional<ShardKind> readHeader(ShardInput& shard, std::string& why) {
    const std::vector<std::string> score = headerLines(ShardKind::Score);
    const std::vector<std::string> details = headerLines(ShardKind::Details);
    std::string line;
    const LineEnd end = readLine(shard.file.get(), line);
    if (end == LineEnd::None) {
        why = "is empty, not a score file or a details file";
        return std::nullopt;
    }
    if (end == LineEnd::Error) {
        why = readFault(end, 1);
        return std::nullopt;
    }
    if (end == LineEnd::Present && line == details[0]) return ShardKind::Details;
    if (end == LineEnd::Present && line == headerLines(ShardKind::ConfidenceDetails)[0])
        return ShardKind::ConfidenceDetails;
    if (end == LineEnd::Present && line == score[0]) {
        for (std::size_t i = 1; i < score.size(); ++i) {
            const LineEnd next = readLine(shard.file.get(), line);
            if (next != LineEnd::Present || line != score[i]) {
                why = "begins like a score file, but its header line " + std::to_string(i + 1) +
                      " is not that of a score file";
                return std::nullopt;
            }
        }
        return ShardKind::Score;
    }
    why = "is neither a score file nor a details file: its first line is neither header";
    return std::nullopt;
}

}  // namespace

const char* kindName(ShardKind kind) {
    return kind == ShardKind::Score     ? "score file"
           : kind == ShardKind::Details ? "details file"
                                        : "details file with confidence columns";
}

MergeOutcome mergeShards(const std::vector<std::string>& paths, std::FILE* out) {
    MergeOutcome outcome;
    std::vector<std::string> header;
    std::string line;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ShardInput shard{openFile(paths[i], "rb"), paths[i]};
        if (!shard.file) return refuse(paths[i], std::string("cannot be opened: ") + std::strerror(errno));
        std::string why;
        const std::optional<ShardKind> kind = readHeader(shard, why);
        if (!kind) return refuse(paths[i], why);
        if (i == 0) {
            outcome.kind = *kind;
            header = headerLines(*kind);
            for (const std::string& h : header)
                if (std::fputs(h.c_str(), out) < 0 || std::fputc('\n', out) == EOF)
                    return refuse("", std::strerror(errno));
        } else if (*kind != outcome.kind) {
            return refuse(paths[i], std::string("is a ") + kindName(*kind) + ", but " + paths[0] +
                                        " is a " + kindName(outcome.kind) +
                                        ": merge files of one kind");
        }
        for (std::size_t number = header.size() + 1;; ++number) {
            const LineEnd end = readLine(shard.file.get(), line);
            if (end == LineEnd::None) break;
            if (end != LineEnd::Present) return refuse(paths[i], readFault(end, number));
            for (const std::string& h : header)
                if (line == h)
                    return refuse(paths[i], "line " + std::to_string(number) +
                                                " is a header line again (files joined by hand?)");
            line.push_back('\n');
            if (std::fwrite(line.data(), 1, line.size(), out) != line.size())
                return refuse("", std::strerror(errno));
            ++outcome.lines;
        }
    }
    outcome.ok = true;
    return outcome;
}
