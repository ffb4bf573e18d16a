#include "engine/run_cache.hpp"

#include <sys/stat.h>

#include <cerrno>

#include "host/text.hpp"

namespace tallowby::engine {

namespace {
// Per thread: a run in another thread (the host lock is let go while the
// pattern tool runs) keeps its own chain of caches.
thread_local RunCache* open_cache = nullptr;
}

RunCache::RunCache() : previous_(open_cache) { open_cache = this; }

RunCache::~RunCache() { open_cache = previous_; }

RunCache* RunCache::open() { return open_cache; }

py::object RunCache::find(const std::string& key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? py::object() : it->second;
}

void RunCache::store(const std::string& key, py::object value) { entries_[key] = std::move(value); }

CacheKey& CacheKey::part(const std::string& raw) {
    key_ += '\x1f';
    key_ += std::to_string(raw.size());
    key_ += ':';
    key_ += raw;
    return *this;
}

CacheKey& CacheKey::text(py::handle value) {
    if (!valid_) return *this;
    if (!PyUnicode_Check(value.ptr())) {
        valid_ = false;
        return *this;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (!utf8) {  // lone surrogates: such a text is not cached
        PyErr_Clear();
        valid_ = false;
        return *this;
    }
    return part(std::string(utf8, static_cast<size_t>(size)));
}

CacheKey& CacheKey::file(py::handle path) {
    if (!valid_) return *this;
    if (!PyUnicode_Check(path.ptr())) {
        valid_ = false;
        return *this;
    }
    PyObject* encoded = PyUnicode_EncodeFSDefault(path.ptr());
    if (!encoded) {
        PyErr_Clear();
        valid_ = false;
        return *this;
    }
    const std::string bytes(PyBytes_AS_STRING(encoded), static_cast<size_t>(PyBytes_GET_SIZE(encoded)));
    Py_DECREF(encoded);
    struct stat st {};
    if (bytes.find('\0') != std::string::npos) {
        valid_ = false;
        return *this;
    }
    part(bytes);
    if (::stat(bytes.c_str(), &st) != 0) {
        // A sheet that is not there is named as such: once it appears, the key
        // differs. The readers then try the name with "%20" read as blanks:
        // that file is named too.
        if (errno != ENOENT && errno != ENOTDIR) {
            valid_ = false;
            return *this;
        }
        part("absent");
        const py::str decoded = host::replace(py::reinterpret_borrow<py::str>(path), "%20", " ");
        if (!decoded.equal(path)) file(decoded);
        return *this;
    }
    if (!S_ISREG(st.st_mode)) {
        valid_ = false;
        return *this;
    }
    return part(std::to_string(st.st_dev) + ' ' + std::to_string(st.st_ino) + ' ' + std::to_string(st.st_size) +
                ' ' + std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec));
}

std::optional<std::string> CacheKey::get() const {
    if (!valid_) return std::nullopt;
    return key_;
}

}  // namespace tallowby::engine
