#include "analysis/workspace.h"

#include "input/pdb_writer.h"
#include "sasa/writers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/types.h>

namespace {

// One open stream on a file held in memory. The file is shared, so that a
// remove or a replacement while it is open leaves the stream a file to
// finish (as an unlinked file on disk).
struct Cookie {
    std::shared_ptr<std::string> data;
    std::size_t pos = 0;
    bool append = false;
    bool wrote = false;
};

ssize_t readCookie(void* c, char* buf, std::size_t size) {
    Cookie& k = *static_cast<Cookie*>(c);
    if (k.pos >= k.data->size()) return 0;
    const std::size_t n = std::min(size, k.data->size() - k.pos);
    std::memcpy(buf, k.data->data() + k.pos, n);
    k.pos += n;
    return static_cast<ssize_t>(n);
}

ssize_t writeCookie(void* c, const char* buf, std::size_t size) {
    Cookie& k = *static_cast<Cookie*>(c);
    std::string& d = *k.data;
    k.wrote = true;
    if (k.append) k.pos = d.size();
    if (k.pos > d.size()) d.resize(k.pos, '\0');
    const std::size_t overlap = std::min(size, d.size() - k.pos);
    d.replace(k.pos, overlap, buf, size);
    k.pos += size;
    return static_cast<ssize_t>(size);
}

int seekCookie(void* c, off64_t* offset, int whence) {
    Cookie& k = *static_cast<Cookie*>(c);
    off64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<off64_t>(k.pos);
    else if (whence == SEEK_END) base = static_cast<off64_t>(k.data->size());
    else if (whence != SEEK_SET) return -1;
    const off64_t to = base + *offset;
    if (to < 0) {
        errno = EINVAL;
        return -1;
    }
    k.pos = static_cast<std::size_t>(to);
    *offset = to;
    return 0;
}

int closeCookie(void* c) {
    Cookie* k = static_cast<Cookie*>(c);
    // A file written piece by piece grew by doubling: the room it will not
    // use goes, as it may be held through the runs that follow.
    std::string& d = *k->data;
    if (k->wrote && d.capacity() - d.size() > d.size() / 8 + 4096) d.shrink_to_fit();
    delete k;
    return 0;
}

}  // namespace

const std::shared_ptr<std::string>& MemoryWorkspace::bytes(Held& held) {
    if (!held.data)
        held.data = std::make_shared<std::string>(
            held.lines ? sasa::heldText(*held.lines)
                       : held.records ? heldRecordsText(*held.records) : std::string());
    return held.data;
}

std::FILE* MemoryWorkspace::open(const std::string& name, const char* mode) {
    const char kind = mode[0];
    const bool plus = std::strchr(mode, '+') != nullptr;
    auto cookie = std::make_unique<Cookie>();
    auto it = files_.find(name);
    if (kind == 'r') {
        if (it == files_.end()) {
            errno = ENOENT;
            return nullptr;
        }
        cookie->data = bytes(it->second);
        if (plus) {  // it may be written: no longer those lines
            it->second.lines.reset();
            it->second.records.reset();
        }
    } else if (kind == 'w') {
        cookie->data = std::make_shared<std::string>();
        files_[name] = Held{cookie->data, nullptr, nullptr};
    } else if (kind == 'a') {
        if (it == files_.end()) it = files_.emplace(name, Held{}).first;
        cookie->data = bytes(it->second);
        it->second.lines.reset();
        it->second.records.reset();
        cookie->append = true;
    } else {
        errno = EINVAL;
        return nullptr;
    }
    cookie_io_functions_t io{};
    if (kind == 'r' || plus) io.read = readCookie;
    if (kind != 'r' || plus) io.write = writeCookie;
    io.seek = seekCookie;
    io.close = closeCookie;
    const char* cmode = kind == 'r' ? (plus ? "r+" : "r") : kind == 'w' ? (plus ? "w+" : "w")
                                                                        : (plus ? "a+" : "a");
    std::FILE* f = fopencookie(cookie.get(), cmode, io);
    if (f) cookie.release();
    return f;
}

void MemoryWorkspace::remove(const std::string& name) { files_.erase(name); }

bool MemoryWorkspace::rename(const std::string& from, const std::string& to) {
    auto it = files_.find(from);
    if (it == files_.end()) {
        errno = ENOENT;
        return false;
    }
    Held held = std::move(it->second);
    files_.erase(it);
    files_[to] = std::move(held);
    return true;
}

const std::string* MemoryWorkspace::find(const std::string& name) const {
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : bytes(it->second).get();
}

void MemoryWorkspace::put(const std::string& name, std::string text) {
    files_[name] = Held{std::make_shared<std::string>(std::move(text)), nullptr, nullptr};
}

bool MemoryWorkspace::store(const std::string& name, std::string&& text) {
    put(name, std::move(text));
    return true;
}

bool MemoryWorkspace::storeAreas(const std::string& name, std::vector<asa::HeldLine>&& lines) {
    files_[name] =
        Held{nullptr, std::make_shared<const std::vector<asa::HeldLine>>(std::move(lines)), nullptr};
    return true;
}

const std::vector<asa::HeldLine>* MemoryWorkspace::areas(const std::string& name) const {
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : it->second.lines.get();
}

bool MemoryWorkspace::storeRecords(const std::string& name, std::vector<HeldRecord>&& records) {
    files_[name] =
        Held{nullptr, nullptr, std::make_shared<const std::vector<HeldRecord>>(std::move(records))};
    return true;
}

const std::vector<HeldRecord>* MemoryWorkspace::records(const std::string& name) const {
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : it->second.records.get();
}
