// What became of one scored interface: "scored", or the reason it was not.
// The codes are the `status` column of the record of a run (--details); they
// are stable names that scripts rely on.
#pragma once

enum class EntryStatus {
    Scored,
    BadName,       // the list entry holds a NUL byte or is longer than a path may be
    NoFile,        // no readable structure file under that name
    ReadFailed,    // the file could not be read as a structure (corrupt gzip, bad mmCIF, ...)
    ChainMissing,  // a chain named by --chains is not in the file
    EngineFailed,  // an engine run failed
    OneChain,      // the file holds one chain: no interface
    BlankChain,    // an atom of the two sides has a blank chain identifier
    SplitFailed,   // the split or a working file could not be written
    Mismatch,      // subunit and complex area files do not describe the same atoms
    TooSmall,      // a side buries less than 100 A2 or has fewer than 4 interface atoms
    NoFrame,       // no three residue-class centroids span an interface frame
    NoTriangles,   // the interface gives no triangle
    OverfullCell,  // a 3 A triangulation cell would hold 20 atoms
    BadAreas,      // the engine's buried areas are not numbers
    WorkerDied,    // the worker process scoring it died
    NoContact,     // with --all-pairs: no two chains (or copies) are in contact
    NotFinite,     // KAV or ZUr is infinite: the two sides lie on each other
};

// The last status: the count of statuses is one more.
inline constexpr EntryStatus kLastStatus = EntryStatus::NotFinite;

inline const char* statusCode(EntryStatus s) {
    switch (s) {
    case EntryStatus::Scored: return "scored";
    case EntryStatus::BadName: return "bad_name";
    case EntryStatus::NoFile: return "no_file";
    case EntryStatus::ReadFailed: return "read_failed";
    case EntryStatus::ChainMissing: return "chain_missing";
    case EntryStatus::EngineFailed: return "engine_failed";
    case EntryStatus::OneChain: return "one_chain";
    case EntryStatus::BlankChain: return "blank_chain";
    case EntryStatus::SplitFailed: return "split_failed";
    case EntryStatus::Mismatch: return "mismatch";
    case EntryStatus::TooSmall: return "too_small";
    case EntryStatus::NoFrame: return "no_frame";
    case EntryStatus::NoTriangles: return "no_triangles";
    case EntryStatus::OverfullCell: return "overfull_cell";
    case EntryStatus::BadAreas: return "bad_areas";
    case EntryStatus::WorkerDied: return "worker_died";
    case EntryStatus::NoContact: return "no_contact";
    case EntryStatus::NotFinite: return "not_finite";
    }
    return "unknown";
}
