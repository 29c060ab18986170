// Joining the shard files of one list (kav_zur-merge): the score files, or
// the details files, of the parts of pdblist, under one header and in the
// order given, so that the result is the file of one run over the whole list.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// A details file of a run with --confidence has more columns: a kind of its own.
enum class ShardKind { Score, Details, ConfidenceDetails };

// "score file", "details file" or "details file with confidence columns", for messages.
const char* kindName(ShardKind kind);

// What a merge did, or why it stopped.
struct MergeOutcome {
    bool ok = false;
    ShardKind kind = ShardKind::Score;  // the first file's kind
    std::size_t lines = 0;              // lines written below the header
    std::string path;                   // on failure: the shard at fault; "" for the output
    std::string reason;                 // on failure: what is wrong with it
};

// Writes the header of the first shard's kind to `out`, then the lines
// below the header of every shard, in the order of `paths`. Stops at the
// first shard that cannot be read, that begins with neither header, whose
// kind is not the first one's, that holds a header line again below its own,
// or whose last line has no line end (a run stopped in mid-line), and at a
// failed write to `out`; what was written is then to be thrown away. A line
// longer than 1 MiB is taken for a file that is not ours.
MergeOutcome mergeShards(const std::vector<std::string>& paths, std::FILE* out);
