// One of the new stores, written under its temporary name.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "btree_file.h"
#include "interrupts.h"

namespace textfind::build {

// One of the new stores under its temporary name: removed unless it was
// moved into place, also when the build is interrupted.
class StoreWriter {
public:
    StoreWriter(std::string path, Layout layout, uint32_t cacheBytes)
        : path_(std::move(path)), creating_(creationName(path_)) {
        std::remove(path_.c_str());
        tools::removeOnInterrupt(path_);
        tools::removeOnInterrupt(creating_);
        // Keys go in ascending: the tree grows at its right edge, and a small
        // cache holds that edge.
        if (!file_.create(path_, layout, cacheBytes)) {
            const std::string error = file_.error();
            removeBoth();
            throw std::runtime_error("cannot write " + path_ + ": " + error);
        }
    }
    StoreWriter(const StoreWriter &) = delete;
    StoreWriter &operator=(const StoreWriter &) = delete;
    ~StoreWriter() { removeBoth(); }

    const std::string &path() const { return path_; }
    void put(std::string_view key, std::string_view data) {
        if (!file_.put(key, data)) fail();
    }
    void finish() {
        if (!file_.finish()) fail();
    }

private:
    [[noreturn]] void fail() {
        throw std::runtime_error("cannot write " + path_ + ": " + file_.error());
    }
    // Also what Berkeley DB leaves of a creation that failed (a full disk).
    void removeBoth() {
        std::remove(path_.c_str());
        std::remove(creating_.c_str());
        tools::forgetOnInterrupt(path_);
        tools::forgetOnInterrupt(creating_);
    }
    // Berkeley DB creates a file under "__db." and its name, then renames it.
    static std::string creationName(const std::string &path) {
        const std::size_t slash = path.find_last_of('/');
        return slash == std::string::npos
                   ? "__db." + path
                   : path.substr(0, slash + 1) + "__db." + path.substr(slash + 1);
    }

    std::string path_;
    std::string creating_;
    BtreeFile file_;
};

}  // namespace textfind::build
