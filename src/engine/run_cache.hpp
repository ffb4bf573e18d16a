// What one run of the engine has read already: a sheet file parsed for one
// record or job is not parsed again for the next while it is unchanged on
// disk (same path, device, inode, size and modification time).
//
// run() opens a RunCache for its duration; the readers ask for the one that is
// open. Outside a run (an operation called on its own) there is none and
// every call reads its file, as before.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <unordered_map>

namespace tallowby::engine {
namespace py = pybind11;

class RunCache {
public:
    RunCache();   // becomes the open one
    ~RunCache();  // the one open before is open again
    RunCache(const RunCache&) = delete;
    RunCache& operator=(const RunCache&) = delete;

    // The cache of the run in progress, or null.
    static RunCache* open();

    // The value stored under `key`, or a null object.
    py::object find(const std::string& key) const;
    void store(const std::string& key, py::object value);

private:
    RunCache* previous_;
    std::unordered_map<std::string, py::object> entries_;
};

// Builds a cache key: a kind, then files (each named by its path and its
// identity on disk now, or as absent) and texts the reading depends on. Once a
// part cannot be named (a path that is no text, a file that cannot be looked
// at or is no regular file, a value that is no text), the key is empty and
// nothing may be cached under it.
class CacheKey {
public:
    explicit CacheKey(const char* kind) : key_(kind) {}
    CacheKey& file(py::handle path);
    CacheKey& text(py::handle value);
    CacheKey& part(const std::string& raw);
    CacheKey& uncacheable() {
        valid_ = false;
        return *this;
    }
    // The key, or empty when some part could not be named.
    std::optional<std::string> get() const;

private:
    std::string key_;
    bool valid_ = true;
};

// The value under `key` in the open cache; otherwise `read()`, stored there
// when a cache is open and the key is valid. A failing read stores nothing.
template <typename Read>
py::object read_once(const CacheKey& key, Read&& read) {
    RunCache* cache = RunCache::open();
    const std::optional<std::string> k = cache ? key.get() : std::nullopt;
    if (k) {
        py::object found = cache->find(*k);
        if (found) return found;
    }
    py::object value = read();
    if (k) cache->store(*k, value);
    return value;
}

}  // namespace tallowby::engine
