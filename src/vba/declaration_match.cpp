#include "vba/declaration_match.hpp"

#include <string_view>

#include "vba/line_tests.hpp"

namespace tallowby::vba {

namespace {

using host::is_space;
using host::StrView;

// \s*(?:=\s*.+)?$ from p.
bool value_then_end(const StrView& v, Py_ssize_t p) {
    const Py_ssize_t n = v.size();
    const Py_ssize_t w = space_run_end(v, p);
    if (w < n && v[w] == '=') {
        // =\s*.+$ : after the "=", some white space, then at least one
        // character other than "\n" up to the end or up to a final "\n".
        const Py_ssize_t t = w + 1;
        const Py_ssize_t first_solid = space_run_end(v, t);
        for (Py_ssize_t end_b : {n, (n > t && v[n - 1] == '\n') ? n - 1 : Py_ssize_t(-1)}) {
            if (end_b < 0) continue;
            Py_ssize_t last_nl = t - 1;
            for (Py_ssize_t i = t; i < end_b; ++i)
                if (v[i] == '\n') last_nl = i;
            const Py_ssize_t lo = last_nl + 1;
            const Py_ssize_t hi = first_solid < end_b - 1 ? first_solid : end_b - 1;
            if (lo <= hi) return true;
        }
    }
    // $ after the white space (which takes a final "\n" too).
    return w == n;
}

// (?:\s*\([^)]*\))?\s*(?:=\s*.+)?$ from p.
bool rest_after_type(const StrView& v, Py_ssize_t p) {
    const Py_ssize_t q = space_run_end(v, p);
    if (q < v.size() && v[q] == '(') {
        const Py_ssize_t close = v.find(')', q + 1);
        if (close >= 0 && value_then_end(v, close + 1)) return true;
    }
    return value_then_end(v, p);
}

// \s+As\s+(?:New\s+)?(?P<type>\w+) and the rest, from e.
bool tail(const StrView& v, Py_ssize_t e, DeclarationMatch& m) {
    if (e >= v.size() || !is_space(v[e])) return false;
    const Py_ssize_t a = space_run_end(v, e);
    if (!v.starts_with_ignorecase(a, "as")) return false;
    if (a + 2 >= v.size() || !is_space(v[a + 2])) return false;
    const Py_ssize_t t0 = space_run_end(v, a + 2);
    if (v.starts_with_ignorecase(t0, "new") && t0 + 3 < v.size() && is_space(v[t0 + 3])) {
        const Py_ssize_t t1 = space_run_end(v, t0 + 3);
        const Py_ssize_t t1_end = word_run_end(v, t1);
        if (t1_end > t1 && rest_after_type(v, t1_end)) {
            m.type_start = t1;
            m.type_end = t1_end;
            return true;
        }
    }
    const Py_ssize_t t_end = word_run_end(v, t0);
    if (t_end > t0 && rest_after_type(v, t_end)) {
        m.type_start = t0;
        m.type_end = t_end;
        return true;
    }
    return false;
}

// (?P<names>.+?) from ns and the tail: the shortest names that leave a tail.
bool names_then_tail(const StrView& v, Py_ssize_t ns, DeclarationMatch& m) {
    for (Py_ssize_t e = ns + 1; e <= v.size(); ++e) {
        if (v[e - 1] == '\n') return false;  // "." does not take a line feed
        if (tail(v, e, m)) {
            m.names_start = ns;
            m.names_end = e;
            return true;
        }
    }
    return false;
}

}  // namespace

bool match_declaration(const StrView& v, DeclarationMatch& m) {
    const Py_ssize_t p0 = space_run_end(v, 0);
    for (std::string_view kw : kDeclarationKeywords) {
        if (!v.starts_with_ignorecase(p0, kw)) continue;
        const Py_ssize_t k_from = p0 + len(kw);
        const Py_ssize_t k_max = space_run_end(v, k_from);
        // \s+ after the keyword gives back white space from the end when the
        // rest does not match.
        for (Py_ssize_t pos = k_max; pos > k_from; --pos) {
            m.keyword_start = p0;
            m.keyword_end = k_from;
            if (v.starts_with_ignorecase(pos, "const")) {
                const Py_ssize_t c_from = pos + 5;
                const Py_ssize_t c_max = space_run_end(v, c_from);
                for (Py_ssize_t ns = c_max; ns > c_from; --ns) {
                    if (names_then_tail(v, ns, m)) {
                        m.const_start = pos;
                        m.const_end = c_from;
                        return true;
                    }
                }
            }
            m.const_start = m.const_end = -1;
            if (names_then_tail(v, pos, m)) return true;
        }
    }
    return false;
}

}  // namespace tallowby::vba
