// Working files in memory: a Workspace whose files are strings, opened as
// stdio streams (fopencookie), so that the steps write and read the bytes
// they would write and read on disk, and nothing reaches a disk.
#pragma once

#include "common/workspace.h"

#include <map>
#include <memory>
#include <string>

class MemoryWorkspace : public Workspace {
public:
    std::FILE* open(const std::string& name, const char* mode) override;
    void remove(const std::string& name) override;
    bool rename(const std::string& from, const std::string& to) override;
    const std::string* directory() const override { return nullptr; }
    void release(const std::string& name) override { remove(name); }
    bool store(const std::string& name, std::string&& text) override;
    bool holdsLines() const override { return true; }
    bool storeAreas(const std::string& name, std::vector<asa::HeldLine>&& lines) override;
    const std::vector<asa::HeldLine>* areas(const std::string& name) const override;
    bool storeRecords(const std::string& name, std::vector<HeldRecord>&& records) override;
    const std::vector<HeldRecord>* records(const std::string& name) const override;

    // The bytes of `name` as last flushed or closed; nullptr when there is none.
    const std::string* find(const std::string& name) const override;
    // Creates or replaces `name` with `text`.
    void put(const std::string& name, std::string text);
    // Removes every file.
    void clear() { files_.clear(); }

private:
    // A file: its bytes, and its lines or records when storeAreas or
    // storeRecords gave them (until it is read as a file, its bytes are not
    // made).
    struct Held {
        std::shared_ptr<std::string> data;
        std::shared_ptr<const std::vector<asa::HeldLine>> lines;
        std::shared_ptr<const std::vector<HeldRecord>> records;
    };
    // The bytes of `held`, made now if they were not yet.
    static const std::shared_ptr<std::string>& bytes(Held& held);
    // Mutable: reading an area file makes its text.
    mutable std::map<std::string, Held> files_;
};
