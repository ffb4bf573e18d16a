// The word index of the reference passes: a line's maximal runs of word
// characters (the host's \w for str) found without copying the line, their
// UTF-8 texts, a fast hash of them, and an open-addressing table from words
// to values with a bit filter in front that turns most words away unread.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/checked.hpp"
#include "host/text.hpp"

namespace tallowby::vba {
namespace py = pybind11;


// Classes of the code points of one-byte texts: 0 for no word character, 1
// for an ASCII word character, 2 for any other word character.
inline const std::array<uint8_t, 256>& latin1_classes() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (Py_UCS4 c = 0; c < 256; ++c) t[c] = host::is_word(c) ? (c < 128 ? 1 : 2) : 0;
        return t;
    }();
    return table;
}

template <typename Ch>
inline bool word_at(Ch c, const std::array<uint8_t, 256>& latin1) {
    const Py_UCS4 u = static_cast<Py_UCS4>(c);
    return u < 256 ? latin1[u] != 0 : host::is_word(u);
}

// Sets bit i of `mask` (zeroed, (n + 63) / 64 words) when s[i] is an ASCII
// word character; false when the text holds a byte of 0x80 or more.
inline bool ascii_word_mask(const Py_UCS1* s, Py_ssize_t n, uint64_t* mask) {
    Py_ssize_t i = 0;
#if defined(__SSE2__)
    const __m128i lower_bit = _mm_set1_epi8(0x20);
    const __m128i to_letters = _mm_set1_epi8(static_cast<char>(-'a' - 128));
    const __m128i letters_end = _mm_set1_epi8(static_cast<char>(-128 + 26));
    const __m128i to_digits = _mm_set1_epi8(static_cast<char>(-'0' - 128));
    const __m128i digits_end = _mm_set1_epi8(static_cast<char>(-128 + 10));
    const __m128i underscore = _mm_set1_epi8('_');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        if (_mm_movemask_epi8(v)) return false;
        const __m128i letter =
            _mm_cmplt_epi8(_mm_add_epi8(_mm_or_si128(v, lower_bit), to_letters), letters_end);
        const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(v, to_digits), digits_end);
        const __m128i word = _mm_or_si128(_mm_or_si128(letter, digit), _mm_cmpeq_epi8(v, underscore));
        mask[i >> 6] |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(word))} << (i & 63);
    }
    if (i < n && n >= 16) {
        // The last 16 characters, of which the first 16 - (n - i) are done.
        const Py_ssize_t done = 16 - (n - i);
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16));
        if (_mm_movemask_epi8(v)) return false;
        const __m128i letter =
            _mm_cmplt_epi8(_mm_add_epi8(_mm_or_si128(v, lower_bit), to_letters), letters_end);
        const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(v, to_digits), digits_end);
        const __m128i word = _mm_or_si128(_mm_or_si128(letter, digit), _mm_cmpeq_epi8(v, underscore));
        // i is a multiple of 16: positions i .. n-1 lie in one mask word.
        const uint64_t bits = static_cast<uint16_t>(_mm_movemask_epi8(word)) >> done;
        mask[i >> 6] |= bits << (i & 63);
        return true;
    }
#endif
    const auto& cls = latin1_classes();
    for (; i < n; ++i) {
        const Py_UCS1 c = s[i];
        if (c >= 0x80) return false;
        if (cls[c]) mask[i >> 6] |= uint64_t{1} << (i & 63);
    }
    return true;
}

// The runs of an ASCII text up to 4096 characters, found with a bit mask of
// its word characters; false (nothing called) for any other text.
template <typename F>
bool ascii_runs(const Py_UCS1* s, Py_ssize_t n, F& f) {
    constexpr Py_ssize_t kMaxWords = 64;
    if (n > kMaxWords * 64) return false;
    const size_t words = static_cast<size_t>((n + 63) / 64);
    uint64_t mask[kMaxWords];
    std::fill(mask, mask + words, uint64_t{0});
    if (!ascii_word_mask(s, n, mask)) return false;
    Py_ssize_t at = 0;
    while (at < n) {
        size_t w = static_cast<size_t>(at >> 6);
        uint64_t bits = mask[w] & (~uint64_t{0} << (at & 63));
        while (!bits) {
            if (++w >= words) return true;
            bits = mask[w];
        }
        const Py_ssize_t start = static_cast<Py_ssize_t>(w * 64) + __builtin_ctzll(bits);
        uint64_t gaps = ~mask[w] & (~uint64_t{0} << (start & 63));
        while (!gaps && ++w < words) gaps = ~mask[w];
        const Py_ssize_t end =
            gaps ? std::min(n, static_cast<Py_ssize_t>(w * 64) + __builtin_ctzll(gaps)) : n;
        f(s, start, end, true);
        at = end;
    }
    return true;
}

// Calls f(data, start, end, all_ascii) for every run of the text's code points.
template <typename Ch, typename F>
void runs_of(const Ch* s, Py_ssize_t n, F& f) {
    if constexpr (sizeof(Ch) == 1) {
        if (ascii_runs(s, n, f)) return;
        const auto& cls = latin1_classes();
        const Ch* p = s;
        const Ch* const e = s + n;
        for (;;) {
            while (p < e && !cls[*p]) ++p;
            if (p == e) return;
            const Ch* const b = p;
            uint8_t seen = 0;
            do {
                seen |= cls[*p];
                ++p;
            } while (p < e && cls[*p]);
            f(s, b - s, p - s, seen == 1);
        }
    }
    const auto& latin1 = latin1_classes();
    Py_ssize_t i = 0;
    for (;;) {
        while (i < n && !word_at(s[i], latin1)) ++i;
        if (i >= n) return;
        const Py_ssize_t start = i;
        bool ascii = true;
        while (i < n && word_at(s[i], latin1)) {
            if (static_cast<Py_UCS4>(s[i]) >= 128) ascii = false;
            ++i;
        }
        f(s, start, i, ascii);
    }
}

template <typename F>
void for_each_run(PyObject* text, F&& f) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    const void* data = PyUnicode_DATA(text);
    switch (PyUnicode_KIND(text)) {
        case PyUnicode_1BYTE_KIND: runs_of(static_cast<const Py_UCS1*>(data), n, f); break;
        case PyUnicode_2BYTE_KIND: runs_of(static_cast<const Py_UCS2*>(data), n, f); break;
        default: runs_of(static_cast<const Py_UCS4*>(data), n, f); break;
    }
}

// The run's text as UTF-8: a view of the str's own bytes when they are ASCII
// in a one-byte str, otherwise encoded into `buffer`.
template <typename Ch>
std::string_view run_text(const Ch* s, Py_ssize_t start, Py_ssize_t end, bool ascii, std::string& buffer) {
    if constexpr (sizeof(Ch) == 1) {
        if (ascii) return {reinterpret_cast<const char*>(s) + start, static_cast<size_t>(end - start)};
    }
    buffer.clear();
    for (Py_ssize_t i = start; i < end; ++i) {
        const Py_UCS4 c = static_cast<Py_UCS4>(s[i]);
        if (c < 0x80) {
            buffer += static_cast<char>(c);
        } else if (c < 0x800) {
            buffer += static_cast<char>(0xC0 | (c >> 6));
            buffer += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            buffer += static_cast<char>(0xE0 | (c >> 12));
            buffer += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buffer += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            buffer += static_cast<char>(0xF0 | (c >> 18));
            buffer += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            buffer += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buffer += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return buffer;
}

// The UTF-8 text of a str whose code points are all word characters (so no
// surrogates), or false for any other str.
inline bool word_run_text(PyObject* s, std::string& out) {
    host::StrView v{py::handle(s)};
    if (v.size() == 0) return false;
    for (Py_ssize_t i = 0; i < v.size(); ++i)
        if (!host::is_word(v[i])) return false;
    Py_ssize_t size = 0;
    const char* utf8 = host::check(PyUnicode_AsUTF8AndSize(s, &size));
    out.assign(utf8, static_cast<size_t>(size));
    return true;
}

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;

// A hash of a word's UTF-8 text, eight bytes at a time (the last chunk may
// overlap the one before it).
inline uint64_t load8(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline uint64_t load4(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

[[gnu::always_inline]] inline uint64_t word_hash(std::string_view s) {
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    const char* p = s.data();
    const size_t n = s.size();
    uint64_t h = n * kMul;
    auto mix = [&](uint64_t chunk) {
        h = (h ^ chunk) * kMul;
        h ^= h >> 32;
    };
    if (n >= 8) {
        size_t i = 0;
        for (; i + 8 < n; i += 8) mix(load8(p + i));
        mix(load8(p + n - 8));
    } else if (n >= 4) {
        mix(load4(p) | (load4(p + n - 4) << 32));
    } else if (n > 0) {
        mix((uint64_t{static_cast<unsigned char>(p[0])} << 16) |
            (uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) | static_cast<unsigned char>(p[n - 1]));
    }
    h *= 0xD6E8FEB86659FD93ull;
    return h ^ (h >> 29);
}

// Words of a pass and their values: open addressing over the words' hashes,
// with a small bit table in front that turns away most words of a line (no
// name at all) without touching the slots.
template <typename V>
class WordTable {
public:
    struct Item {
        std::string text;
        V value;
    };

    bool empty() const { return items_.empty(); }

    template <typename F>
    void for_each(F&& f) {
        for (Item& item : items_) f(item.value);
    }

    V* find(std::string_view word) { return find(word, word_hash(word)); }

    [[gnu::always_inline]] V* find(std::string_view word, uint64_t h) {
        if (!((bits_[(h >> 6) & kBitMask] >> (h & 63)) & 1)) return nullptr;
        for (size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.index == 0) return nullptr;
            if (slot.hash == h) {
                Item& item = items_[slot.index - 1];
                if (item.text == word) return &item.value;
            }
        }
    }

    // Adds a word not in the table yet; the pointer is valid until the next add.
    V* add(std::string_view word, V value) {
        if ((items_.size() + 1) * 2 > slots_.size()) grow();
        const uint64_t h = word_hash(word);
        items_.push_back({std::string(word), std::move(value)});
        place(h, items_.size());
        return &items_.back().value;
    }

private:
    struct Slot {
        uint64_t hash = 0;
        size_t index = 0;  // 1 + position in items_, 0 for a free slot
    };
    static constexpr size_t kBitWords = 1024;  // 64 Kib
    static constexpr size_t kBitMask = kBitWords - 1;

    void place(uint64_t h, size_t index) {
        bits_[(h >> 6) & kBitMask] |= uint64_t{1} << (h & 63);
        size_t i = h & mask_;
        while (slots_[i].index != 0) i = (i + 1) & mask_;
        slots_[i] = {h, index};
    }

    void grow() {
        const size_t size = slots_.empty() ? 64 : slots_.size() * 2;
        slots_.assign(size, Slot{});
        mask_ = size - 1;
        for (size_t k = 0; k < items_.size(); ++k) place(word_hash(items_[k].text), k + 1);
    }

    std::vector<Item> items_;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
    std::array<uint64_t, kBitWords> bits_{};
};

}  // namespace tallowby::vba
