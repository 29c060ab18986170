// A structure file's text before gemmi reads it: the size it may decompress
// to, PDB atom records checked as the engine checks them, mmCIF numbers
// that gemmi's integer reader cannot hold, and chain IDs that are safe to
// print. No gemmi here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The most bytes a structure file may hold once decompressed: 1 GiB. The
// largest entries of the archive are a few hundred MB of mmCIF text; a
// gzip file of repeated blanks inflates about a thousandfold, so without a
// limit a 10 MB file would ask for 10 GB.
constexpr std::size_t kMaxStructureBytes = std::size_t{1} << 30;

struct RawText {
    std::string text;
    // Some atom record has no residue number (PDB columns 23-26 blank).
    bool residueNumberMissing = false;
};

// Reads the file at `path` (a gzip stream decompressed) into `out.text`.
// For PDB text (`pdb`), atom records are read as the engine reads them: an
// atom record of model `model` (0: the first) that holds a NUL byte or is
// too short for its coordinates, or an ATOM record of it that the engine
// measures (not water, not hydrogen) with unreadable coordinates, fails
// with the engine's words ("line N: ..."); other atom records with those
// faults are left out, as the engine leaves them out. A charge field
// (columns 79-80) that holds no charge is blanked, as old files keep an
// entry ID in columns 73-80 and the engine ignores it; an ENDMDL the file
// left out before a MODEL record is added (the engine does without it,
// gemmi does not). Lines that are blank or start with a blank (no record
// does) are left out, and a line is kept to its first 4096 bytes, so that
// memory stays small whatever the file. False, with the reason in `why`,
// for a file that cannot be read, a gzip stream zlib rejects, text beyond
// kMaxStructureBytes, or a faulty atom record.
bool readRawText(const std::string& path, bool gzipped, bool pdb, int model, RawText& out,
                 std::string& why);

// readRawText on text already read (not gzipped).
bool readRawTextFrom(const std::string& text, bool pdb, int model, RawText& out,
                     std::string& why);

// Whether an mmCIF field's value (unquoted; `tag` names it, "_atom_site.id")
// fits an int where gemmi reads it: its leading digits after blanks and a
// sign, or, with `everyNumber`, every run of digits (an operator expression
// such as "(1-60)"). Null values ('?', '.') and values without digits pass.
// False, with the reason naming the field and value, for a number beyond
// the int range.
bool cifIntegerFits(const std::string& tag, std::string_view value, bool everyNumber,
                    std::string& why);

// A chain ID as it may be printed and written: printable ASCII without
// blanks. False, with the reason naming the ID escaped ("A\tB"), otherwise.
bool chainIdPrintable(const std::string& id, std::string& why);

// `text` with every byte outside printable ASCII written as a C escape
// (\t, \n, \x1b).
std::string escapedText(const std::string& text);
