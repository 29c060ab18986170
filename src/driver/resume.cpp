#include "driver/resume.h"

#include "driver/pdblist.h"
#include "records/details_file.h"
#include "records/score_file.h"

#include <set>

namespace {

// One whole line after the header: its name column and the offset just past it.
struct Row {
    std::string name;
    std::string sides;   // details rows only
    std::string status;  // details rows only
    std::size_t end;
};

// Splits `text` after `header` into whole lines. A text that is a beginning
// of the header (a run stopped while writing it) holds no rows and keeps no
// bytes. False when the header is not `header`.
bool splitRows(const std::string& text, const std::string& header, bool details,
               std::vector<Row>& rows, std::size_t& headerEnd) {
    rows.clear();
    if (text.size() < header.size()) {
        headerEnd = 0;
        return header.compare(0, text.size(), text) == 0;
    }
    if (text.compare(0, header.size(), header) != 0) return false;
    headerEnd = header.size();
    std::size_t start = headerEnd;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        const std::size_t tab = line.find('\t');
        Row row{line.substr(0, tab), "", "", end + 1};
        if (details && tab != std::string::npos) {
            const std::size_t sidesEnd = line.find('\t', tab + 1);
            row.sides = line.substr(tab + 1, sidesEnd - tab - 1);
            if (sidesEnd != std::string::npos)
                row.status = line.substr(sidesEnd + 1, line.find('\t', sidesEnd + 1) - sidesEnd - 1);
        }
        rows.push_back(row);
    }
    return true;
}

// The number of rows from `first` on that belong to one list entry: the
// rows of its name, as long as no name and sides repeat (a repeat starts
// the next entry of the same name). Names in `seen` count as repeats
// (score lines have no sides).
std::size_t takeEntry(const std::vector<Row>& rows, std::size_t first, const std::string& entry,
                      std::set<std::string> seen = {}) {
    std::size_t n = 0;
    while (first + n < rows.size() && entryOfName(rows[first + n].name) == entry &&
           seen.insert(rows[first + n].name + "\t" + rows[first + n].sides).second)
        ++n;
    return n;
}

std::size_t keepAfter(const std::vector<Row>& rows, std::size_t count, std::size_t headerEnd) {
    return count == 0 ? headerEnd : rows[count - 1].end;
}

std::string notThisList(const std::string& file, const std::vector<Row>& rows, std::size_t row,
                        std::size_t headerLines) {
    return file + " was not written for this pdblist: its line " +
           std::to_string(row + headerLines + 1) + " ('" + rows[row].name +
           "') is not the next entry of the list";
}

}  // namespace

std::string entryOfName(const std::string& name) { return name.substr(0, name.find(' ')); }

std::string recordedEntryName(const std::string& entry) { return printableName(entry); }

ResumePoint findResumePoint(const std::vector<std::string>& list, const std::string* scoreText,
                            const std::string* detailsText, const std::string& detailsName,
                            bool confidence) {
    ResumePoint point;
    const std::string scoreName = kScoreFileName;
    if (!scoreText) {
        if (detailsText && !detailsText->empty())
            point.problem = detailsName + " exists but " + scoreName + " does not";
        return point;
    }
    std::vector<Row> scores;
    std::size_t scoreHeaderEnd = 0;
    if (!splitRows(*scoreText, scoreHeader(), false, scores, scoreHeaderEnd)) {
        point.problem = scoreName + " does not begin with the header of a " + scoreName;
        return point;
    }
    // The rows of the last entry recorded, re-entered: [lastRow, lastRow + lastCount).
    std::size_t lastRow = 0, lastCount = 0;
    auto reenter = [&](const std::vector<Row>& of) {
        point.next = point.done > 0 ? point.done - 1 : 0;
        for (std::size_t r = lastRow; r < lastRow + lastCount; ++r) point.recorded.insert(of[r].name);
    };

    if (!detailsText) {
        // Failed entries leave no score line: an entry is recorded once a
        // later line shows the run got past it.
        std::size_t row = 0;
        for (std::size_t i = 0; i < list.size() && row < scores.size(); ++i) {
            const std::size_t n = takeEntry(scores, row, recordedEntryName(list[i]));
            if (n > 0) {
                point.done = i + 1;
                lastRow = row;
                lastCount = n;
            }
            row += n;
        }
        if (row < scores.size()) point.problem = notThisList(scoreName, scores, row, 4);
        point.scoreKeep = keepAfter(scores, row, scoreHeaderEnd);
        reenter(scores);
        return point;
    }

    std::vector<Row> rows;
    std::size_t detailsHeaderEnd = 0;
    if (!splitRows(*detailsText, detailsHeader(confidence), true, rows, detailsHeaderEnd)) {
        point.problem = detailsName + " does not begin with the header of a details file";
        return point;
    }
    std::size_t row = 0;
    while (point.done < list.size() && row < rows.size()) {
        const std::size_t n = takeEntry(rows, row, recordedEntryName(list[point.done]));
        if (n == 0) break;
        lastRow = row;
        lastCount = n;
        row += n;
        ++point.done;
    }
    if (row < rows.size()) {
        point.problem = notThisList(detailsName, rows, row, 1);
        return point;
    }
    point.detailsKeep = keepAfter(rows, row, detailsHeaderEnd);

    // The score file holds the scored rows in the same order, and perhaps
    // lines written just before their rows: of the entry re-entered, and of
    // the entry after it.
    std::size_t line = 0;
    for (std::size_t r = 0; r < row; ++r) {
        if (rows[r].status != "scored") continue;
        // The score line names a pair as "<entry> A:B".
        if (line >= scores.size() || (scores[line].name != rows[r].name &&
                                      scores[line].name != rows[r].name + " " + rows[r].sides)) {
            point.problem = scoreName + " and " + detailsName + " do not record the same run";
            return point;
        }
        ++line;
    }
    point.scoreKeep = keepAfter(scores, line, scoreHeaderEnd);
    reenter(rows);
    std::size_t ahead = line;
    if (point.done > 0) {
        std::set<std::string> seen;
        for (const std::string& name : point.recorded) seen.insert(name + "\t");
        ahead += takeEntry(scores, ahead, recordedEntryName(list[point.next]), seen);
    }
    if (point.done < list.size())
        ahead += takeEntry(scores, ahead, recordedEntryName(list[point.done]));
    if (ahead < scores.size())
        point.problem = scoreName + " and " + detailsName + " do not record the same run";
    return point;
}
