// Where the working files of one analysis live (TEMP.*, Complex*.*, the
// engine's control files): every step opens them by name through a
// Workspace, as stdio streams, so that the same fprintf/fgets code serves a
// directory on disk (the files an engine program reads and writes) and
// memory (nothing written anywhere). Header-only: the bundled engine
// (src/sasa) takes a Workspace too and depends on nothing else here.
#pragma once

#include "common/asa_line.h"
#include "common/held_record.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

class Workspace {
public:
    virtual ~Workspace() = default;

    // Opens `name` with the stdio `mode` ("r", "w", "a", with "b" or "e"
    // allowed and meaning nothing more in memory). nullptr, with errno set,
    // when it cannot be opened (ENOENT for a file to read that is not there).
    // The caller closes the stream with fclose.
    virtual std::FILE* open(const std::string& name, const char* mode) = 0;

    // Removes `name`; a missing file is not an error.
    virtual void remove(const std::string& name) = 0;

    // Renames `from` to `to`, replacing `to`. False, with errno set, when it
    // cannot.
    virtual bool rename(const std::string& from, const std::string& to) = 0;

    // The directory holding the files ("" for the current directory), or
    // nullptr for a workspace in memory, which no program can see.
    virtual const std::string* directory() const = 0;

    // Says that the analysis reads `name` no more: a file in memory goes at
    // once (its streams still open keep their bytes), a file on disk stays
    // for the clean-up, so that what a directory is left holding is unchanged.
    virtual void release(const std::string& name) { (void)name; }

    // The bytes of `name` when the workspace holds it in memory (valid until
    // it is next written, removed or released); nullptr for a file on disk
    // or no file.
    virtual const std::string* find(const std::string& name) const {
        (void)name;
        return nullptr;
    }

    // Writes `text` as `name` (replacing it), as writeWorkFile does; a
    // workspace in memory takes the text over instead of copying it. False,
    // with errno set, when it cannot be written in full.
    virtual bool store(const std::string& name, std::string&& text);

    // Whether files can be held as lines or records (storeAreas,
    // storeRecords): a workspace in memory, which makes their text only when
    // a file is first read as one. A directory cannot: it writes text.
    virtual bool holdsLines() const { return false; }

    // An area file (or the atom records cut from one) measured in this
    // process, held as its lines for areas(). Only where holdsLines(): any
    // other workspace writes nothing and says so (ENOTSUP).
    virtual bool storeAreas(const std::string& name, std::vector<asa::HeldLine>&& lines) {
        (void)name;
        (void)lines;
        errno = ENOTSUP;
        return false;
    }

    // The same for a structure written for the engine as its atom records,
    // and the records storeRecords was given, while that is still the file.
    virtual bool storeRecords(const std::string& name, std::vector<HeldRecord>&& records) {
        (void)name;
        (void)records;
        errno = ENOTSUP;
        return false;
    }
    virtual const std::vector<HeldRecord>* records(const std::string& name) const {
        (void)name;
        return nullptr;
    }

    // The lines storeAreas was given for `name`, while that is still the
    // file of that name (valid until it is next written, removed or
    // released); nullptr for any other file, and on disk.
    virtual const std::vector<asa::HeldLine>* areas(const std::string& name) const {
        (void)name;
        return nullptr;
    }
};

// Files in a directory: "" is the current directory, where names stay as
// they are (the batch's working files, byte for byte); any other directory
// is put before each name.
class DirectoryWorkspace : public Workspace {
public:
    explicit DirectoryWorkspace(std::string dir = std::string()) : dir_(std::move(dir)) {}

    // An absolute name (a control file's PDBFILE /data/x.pdb) stays as it is.
    std::string path(const std::string& name) const {
        return dir_.empty() || (!name.empty() && name[0] == '/') ? name : dir_ + "/" + name;
    }
    std::FILE* open(const std::string& name, const char* mode) override {
        // Close-on-exec: no working file reaches an engine program.
        std::string m(mode);
        if (m.find('e') == std::string::npos) m += 'e';
        return std::fopen(path(name).c_str(), m.c_str());
    }
    // unlink, not remove: a directory of that name is left alone ("rm -f").
    void remove(const std::string& name) override {
        const int saved = errno;
        ::unlink(path(name).c_str());
        errno = saved;
    }
    bool rename(const std::string& from, const std::string& to) override {
        return std::rename(path(from).c_str(), path(to).c_str()) == 0;
    }
    const std::string* directory() const override { return &dir_; }

private:
    std::string dir_;
};

// The whole content of `name` in any workspace, read through its stream.
// False, with errno set, when it cannot be opened or read.
inline bool readWorkFile(Workspace& workspace, const std::string& name, std::string& text) {
    text.clear();
    std::FILE* f = workspace.open(name, "rb");
    if (!f) return false;
    char block[8192];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, n);
    const bool ok = !std::ferror(f);
    const int saved = errno;
    std::fclose(f);
    if (!ok) errno = saved;
    return ok;
}

// Writes `text` as `name` (replacing it). False, with errno set, when it
// cannot be written in full.
inline bool writeWorkFile(Workspace& workspace, const std::string& name, const std::string& text) {
    std::FILE* f = workspace.open(name, "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = !std::ferror(f) && ok;
    const int saved = errno;
    if (std::fclose(f) != 0) ok = false;
    else if (!ok) errno = saved;
    return ok;
}

inline bool Workspace::store(const std::string& name, std::string&& text) {
    return writeWorkFile(*this, name, text);
}
