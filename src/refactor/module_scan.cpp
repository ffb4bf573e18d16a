#include "refactor/module_scan.hpp"

#include <Python.h>

#include <algorithm>
#include <string_view>

#include "host/text.hpp"

namespace tallowby::refactor {

namespace {

bool is_space(char32_t c) { return Py_UNICODE_ISSPACE(c) || c == 0xFEFF; }
bool is_word(char32_t c) { return host::is_word(c); }
bool is_letter(char32_t c) {
    if (c < 128) return (c | 32) >= 'a' && (c | 32) <= 'z';
    return Py_UNICODE_ISALPHA(c);
}
bool is_hex(char32_t c) { return (c >= '0' && c <= '9') || ((c | 32) >= 'a' && (c | 32) <= 'f'); }
bool is_ascii_digit(char32_t c) { return c >= '0' && c <= '9'; }

// Whether text[from, from + word.size()) is the ASCII word (given in lower case), ignoring case.
bool word_is(const Text& text, size_t from, size_t end, std::string_view word) {
    if (end - from != word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        const char32_t c = text[from + i];
        const char32_t lower = c >= 'A' && c <= 'Z' ? c + 32 : c;
        if (lower != static_cast<char32_t>(word[i])) return false;
    }
    return true;
}

size_t word_end(const Text& s, size_t i) {
    while (i < s.size() && is_word(s[i])) ++i;
    return i;
}

// A " _" line continuation: an underscore standing alone with only white
// space after it, at or after `from`.
bool continues_at(const Text& s, size_t at) {
    if (s[at] != '_' || (at > 0 && is_word(s[at - 1]))) return false;
    for (size_t k = at + 1; k < s.size(); ++k)
        if (!is_space(s[k])) return false;
    return true;
}
bool ends_with_continuation(const Text& s, size_t from) {
    size_t end = s.size();
    while (end > from && is_space(s[end - 1])) --end;
    return end > from && s[end - 1] == '_' && (end - 1 == from || is_space(s[end - 2]));
}

bool is_month_word(const Text& s, size_t a, size_t b) {
    static const char* months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (b - a < 3) return false;
    for (const char* m : months)
        if (word_is(s, a, a + 3, m)) return true;
    return false;
}

// A date literal #...# starting at `at`: the position after its closing
// "#", or 0. Its content holds only what dates and times are written with,
// a digit, and a date or time separator or a month name.
size_t date_literal_end(const Text& s, size_t at) {
    size_t k = at + 1;
    bool digit = false, separator = false;
    while (k < s.size() && s[k] != '#') {
        const char32_t c = s[k];
        if (is_ascii_digit(c)) {
            digit = true;
        } else if (c == '/' || c == '-' || c == ':') {
            separator = true;
        } else if (c < 128 && is_letter(c)) {
            const size_t e = word_end(s, k);
            if (is_month_word(s, k, e)) separator = true;
            k = e;
            continue;
        } else if (c != ' ' && c != '\t' && c != ',' && c != '.') {
            return 0;
        }
        ++k;
    }
    if (k >= s.size() || !digit || !separator) return 0;
    return k + 1;
}

constexpr char32_t kAssign = 0x2254;  // ":=" as one operator

enum class Tok : uint8_t { Ident, Word, Literal, Op };
struct Token {
    Tok kind;
    char32_t op;
    int line, col, len;
};

struct Modifiers {
    bool is_public = false, is_private = false, any = false;
};

class Scanner {
public:
    explicit Scanner(ModuleScan& m) : m_(m) {}

    void run() {
        for (int i = 0; i < static_cast<int>(m_.lines.size()); ++i) scan_line(i);
        finish_statement(true, static_cast<int>(m_.lines.size()) - 1);
        if (open_ >= 0) m_.procedures[open_].last_line = static_cast<int>(m_.lines.size()) - 1;
    }

private:
    ModuleScan& m_;
    Text folded_;  // the name being emitted, folded
    std::vector<Token> stmt_;
    bool first_of_line_ = true;  // the statement is the first of its logical line
    bool continued_ = false;     // the previous physical line ended in " _"
    bool comment_continues_ = false;
    int logical_first_ = 0;
    enum class Block { None, Type, Enum } block_ = Block::None;
    bool block_public_ = false;
    int open_ = -1;  // the procedure being read
    bool open_has_body_ = false;

    void scan_line(int i) {
        const Text& s = m_.lines[i];
        const size_t n = s.size();
        if (comment_continues_) {
            m_.comments.push_back({i, 0, static_cast<int>(n), -1});
            comment_continues_ = ends_with_continuation(s, 0);
            return;
        }
        size_t p = 0;
        if (!continued_) {
            logical_first_ = i;
            first_of_line_ = true;
            while (p < n && is_space(s[p])) ++p;
            if (skipped_line(s, p)) return;
        }
        continued_ = false;
        while (p < n) {
            const char32_t c = s[p];
            if (is_space(c)) {
                ++p;
            } else if (c == '"') {
                size_t k = p + 1;
                while (k < n) {
                    if (s[k] == '"') {
                        if (k + 1 < n && s[k + 1] == '"') {
                            k += 2;
                            continue;
                        }
                        ++k;
                        break;
                    }
                    ++k;
                }
                if (k > n) k = n;
                push(Tok::Literal, 0, i, p, k);
                p = k;
            } else if (c == '\'') {
                comment(i, p + 1);
                return;
            } else if (is_word(c)) {
                const size_t e = word_end(s, p);
                if (is_letter(c)) {
                    if (stmt_.empty() && word_is(s, p, e, "rem") && (e == n || !is_word(s[e]))) {
                        comment(i, e);
                        return;
                    }
                    push(Tok::Ident, 0, i, p, e);
                } else if (continues_at(s, p)) {
                    continued_ = true;
                    return;
                } else {
                    push(Tok::Word, 0, i, p, e);
                }
                p = e;
            } else if (c == '&' && p + 2 < n && (p == 0 || !is_word(s[p - 1])) &&
                       (((s[p + 1] | 32) == 'h' && is_hex(s[p + 2])) ||
                        ((s[p + 1] | 32) == 'o' && s[p + 2] >= '0' && s[p + 2] <= '7'))) {
                size_t k = p + 2;
                while (k < n && is_hex(s[k])) ++k;
                push(Tok::Literal, 0, i, p, k);
                p = k;
            } else if (c == '#' && !(p > 0 && is_word(s[p - 1])) && date_literal_end(s, p)) {
                const size_t k = date_literal_end(s, p);
                push(Tok::Literal, 0, i, p, k);
                p = k;
            } else if (c == '[') {
                size_t k = p + 1;
                while (k < n && s[k] != ']') ++k;
                if (k < n) ++k;
                push(Tok::Literal, 0, i, p, k);
                p = k;
            } else if (c == ':' && p + 1 < n && s[p + 1] == '=') {
                push(Tok::Op, kAssign, i, p, p + 2);
                p += 2;
            } else if (c == ':') {
                finish_statement(false, i);
                ++p;
            } else {
                push(Tok::Op, c, i, p, p + 1);
                ++p;
            }
        }
        finish_statement(true, i);
    }

    // Lines that hold no code to rename: Attribute (where the module's name
    // is read), Option, Def<type> and conditional compilation directives.
    bool skipped_line(const Text& s, size_t p) {
        if (p < s.size() && s[p] == '#') return true;
        const size_t e = word_end(s, p);
        if (e == p || (e < s.size() && !is_space(s[e]))) return false;
        if (word_is(s, p, e, "option")) return true;
        if (word_is(s, p, e, "attribute")) {
            read_module_name(s, e);
            return true;
        }
        static const char* defs[] = {"defbool", "defbyte", "defint", "deflng", "deflnglng", "deflngptr", "defcur",
                                     "defsng", "defdbl", "defdec", "defdate", "defstr", "defobj", "defvar"};
        for (const char* d : defs)
            if (word_is(s, p, e, d)) return true;
        return false;
    }

    void read_module_name(const Text& s, size_t p) {
        while (p < s.size() && is_space(s[p])) ++p;
        const size_t e = word_end(s, p);
        if (!word_is(s, p, e, "vb_name")) return;
        const size_t open = s.find(U'"', e), close = open == Text::npos ? open : s.find(U'"', open + 1);
        if (close == Text::npos) return;
        m_.name_lower = fold(s.substr(open + 1, close - open - 1));
    }

    void comment(int line, size_t from) {
        const Text& s = m_.lines[line];
        m_.comments.push_back({line, static_cast<int>(from), static_cast<int>(s.size() - from), -1});
        comment_continues_ = ends_with_continuation(s, from);
        finish_statement(true, line);
        continued_ = false;
    }

    void push(Tok kind, char32_t op, int line, size_t from, size_t to) {
        stmt_.push_back({kind, op, line, static_cast<int>(from), static_cast<int>(to - from)});
    }

    // --- statements ---

    bool is_word_tok(size_t k, std::string_view word) const {
        if (k >= stmt_.size() || stmt_[k].kind != Tok::Ident) return false;
        const Token& t = stmt_[k];
        return word_is(m_.lines[t.line], t.col, t.col + t.len, word);
    }
    bool is_op(size_t k, char32_t op) const {
        return k < stmt_.size() && stmt_[k].kind == Tok::Op && stmt_[k].op == op;
    }

    void finish_statement(bool end_of_line, int last_line) {
        if (!stmt_.empty()) analyse(end_of_line, last_line);
        stmt_.clear();
        first_of_line_ = end_of_line;
    }

    int emit(size_t k, Role role, int last_line, bool is_public = false) {
        const Token& t = stmt_[k];
        Ident id;
        id.line = t.line;
        id.col = t.col;
        id.len = t.len;
        id.role = role;
        id.is_public = is_public;
        if (m_.logical_lines.empty() || m_.logical_lines.back().first_line != logical_first_ ||
            m_.logical_lines.back().last_line != last_line)
            m_.logical_lines.push_back({logical_first_, last_line});
        id.logical = static_cast<int>(m_.logical_lines.size()) - 1;
        folded_.assign(m_.lines[t.line], static_cast<size_t>(t.col), static_cast<size_t>(t.len));
        for (char32_t& c : folded_) c = c < 128 ? (c >= 'A' && c <= 'Z' ? c | 32 : c) : Py_UNICODE_TOLOWER(c);
        auto [it, added] = m_.name_ids.try_emplace(folded_, static_cast<int>(m_.names.size()));
        if (added) {
            m_.names.push_back(folded_);
            m_.idents_of_name.emplace_back();
        }
        id.name = it->second;
        const int index = static_cast<int>(m_.idents.size());
        m_.idents.push_back(id);
        m_.idents_of_name[static_cast<size_t>(id.name)].push_back(index);
        return index;
    }

    // The part an identifier plays in an expression.
    void emit_expression(size_t k, int last_line, std::vector<int>& ids) {
        Role role = Role::Use;
        int qualifier = -1;
        if (k > 0 && stmt_[k - 1].kind == Tok::Op && (stmt_[k - 1].op == '.' || stmt_[k - 1].op == '!')) {
            const Token& dot = stmt_[k - 1];
            const bool bang = dot.op == '!';
            if (!bang || (dot.line == stmt_[k].line && dot.col + 1 == stmt_[k].col)) {
                role = Role::Member;
                if (k >= 2 && stmt_[k - 2].kind == Tok::Ident && !bang &&
                    !(k >= 3 && stmt_[k - 3].kind == Tok::Op && (stmt_[k - 3].op == '.' || stmt_[k - 3].op == '!')))
                    qualifier = ids[k - 2];
            }
        } else if (is_op(k + 1, kAssign)) {
            role = Role::NamedArg;
        }
        ids[k] = emit(k, role, last_line);
        m_.idents[ids[k]].qualifier = qualifier;
    }

    // Every identifier from `from` on, as expression parts.
    void emit_rest(size_t from, int last_line, std::vector<int>& ids) {
        for (size_t k = from; k < stmt_.size(); ++k)
            if (stmt_[k].kind == Tok::Ident && ids[k] < 0) emit_expression(k, last_line, ids);
    }

    // A list of declared names from `from` to `to`: the first name of each
    // top-level comma-separated item takes `role`; bounds, types and values
    // are expressions.
    void emit_declarations(size_t from, size_t to, Role role, bool is_public, int last_line, std::vector<int>& ids) {
        int depth = 0;
        bool expect_name = true;
        for (size_t k = from; k < to; ++k) {
            const Token& t = stmt_[k];
            if (t.kind == Tok::Op) {
                if (t.op == '(') ++depth;
                if (t.op == ')') --depth;
                if (t.op == ',' && depth == 0) expect_name = true;
                continue;
            }
            if (t.kind != Tok::Ident) {
                expect_name = false;
                continue;
            }
            if (expect_name && depth == 0) {
                if (is_word_tok(k, "withevents") || is_word_tok(k, "optional") || is_word_tok(k, "byval") ||
                    is_word_tok(k, "byref") || is_word_tok(k, "paramarray"))
                    continue;
                ids[k] = emit(k, role, last_line, is_public);
                expect_name = false;
                continue;
            }
            emit_expression(k, last_line, ids);
        }
    }

    // The parameter list that opens at `k` (a "("): its end.
    size_t emit_parameters(size_t k, int last_line, std::vector<int>& ids) {
        int depth = 0;
        size_t end = k;
        for (; end < stmt_.size(); ++end) {
            if (is_op(end, '(')) ++depth;
            if (is_op(end, ')') && --depth == 0) break;
        }
        emit_declarations(k + 1, end, Role::Parameter, false, last_line, ids);
        return end;
    }

    void open_procedure(int first_line) {
        if (open_ >= 0 && !open_has_body_) return;  // another header of the same procedure (#If ... #Else)
        if (open_ >= 0) m_.procedures[open_].last_line = first_line - 1;
        m_.procedures.push_back({first_line, first_line, -1});
        open_ = static_cast<int>(m_.procedures.size()) - 1;
        open_has_body_ = false;
    }

    void analyse(bool end_of_line, int last_line) {
        std::vector<int> ids(stmt_.size(), -1);
        size_t k = 0;
        if (first_of_line_ && stmt_[0].kind == Tok::Word) {  // a line number
            if (stmt_.size() == 1) return;
            k = 1;
        }
        if (stmt_[k].kind != Tok::Ident) {
            body_statement();
            emit_rest(k, last_line, ids);
            return;
        }
        if (first_of_line_ && !end_of_line && k + 1 == stmt_.size()) {  // "Label:"
            emit(k, Role::Label, last_line);
            return;
        }
        if (block_ != Block::None) {
            const bool is_enum = block_ == Block::Enum;
            if (is_word_tok(k, "end") && is_word_tok(k + 1, is_enum ? "enum" : "type")) {
                block_ = Block::None;
            } else {
                ids[k] = emit(k, is_enum ? Role::EnumMember : Role::Field, last_line, is_enum && block_public_);
            }
            emit_rest(k, last_line, ids);
            return;
        }

        Modifiers mods;
        while (is_word_tok(k, "public") || is_word_tok(k, "private") || is_word_tok(k, "friend") ||
               is_word_tok(k, "global") || is_word_tok(k, "static")) {
            mods.any = true;
            if (is_word_tok(k, "public") || is_word_tok(k, "global") || is_word_tok(k, "friend")) mods.is_public = true;
            if (is_word_tok(k, "private")) mods.is_private = true;
            ++k;
        }
        const bool at_module_level = open_ < 0;
        const bool property = is_word_tok(k, "property") &&
                              (is_word_tok(k + 1, "get") || is_word_tok(k + 1, "let") || is_word_tok(k + 1, "set"));
        if (is_word_tok(k, "function") || is_word_tok(k, "sub") || property) {
            open_procedure(logical_first_);
            const size_t name = k + (property ? 2 : 1);
            header(name, !mods.is_private, last_line, ids);
            if (m_.procedures[open_].name < 0 && name < stmt_.size()) m_.procedures[open_].name = ids[name];
            return;
        }
        if (at_module_level && (is_word_tok(k, "declare") || is_word_tok(k, "event"))) {
            size_t j = k + 1;
            if (is_word_tok(j, "ptrsafe")) ++j;
            if (is_word_tok(j, "function") || is_word_tok(j, "sub")) ++j;
            header(j, !mods.is_private, last_line, ids);
            return;
        }
        if (at_module_level && (is_word_tok(k, "type") || is_word_tok(k, "enum")) && k + 1 < stmt_.size() &&
            stmt_[k + 1].kind == Tok::Ident) {
            const bool is_enum = is_word_tok(k, "enum");
            ids[k + 1] = emit(k + 1, is_enum ? Role::EnumName : Role::TypeName, last_line, !mods.is_private);
            block_ = is_enum ? Block::Enum : Block::Type;
            block_public_ = !mods.is_private;
            emit_rest(k, last_line, ids);
            return;
        }
        if (is_word_tok(k, "end") &&
            (is_word_tok(k + 1, "function") || is_word_tok(k + 1, "sub") || is_word_tok(k + 1, "property"))) {
            emit_rest(k, last_line, ids);
            if (open_ >= 0) m_.procedures[open_].last_line = last_line;
            open_ = -1;
            return;
        }
        const bool declaration = is_word_tok(k, "dim") || is_word_tok(k, "const") || is_word_tok(k, "withevents") ||
                                 (mods.any && k < stmt_.size() && stmt_[k].kind == Tok::Ident);
        if (declaration) {
            body_statement();
            if (is_word_tok(k, "dim") || is_word_tok(k, "const")) ++k;
            if (is_word_tok(k, "const")) ++k;
            emit_declarations(k, stmt_.size(), Role::Variable, at_module_level && mods.is_public, last_line, ids);
            emit_rest(0, last_line, ids);
            return;
        }
        body_statement();
        emit_jump_targets(last_line, ids);
        emit_rest(0, last_line, ids);
    }

    // The labels after GoTo and GoSub (a comma-separated list after On ...)
    // and after Resume, also inside a one-line If.
    void emit_jump_targets(int last_line, std::vector<int>& ids) {
        for (size_t j = 0; j + 1 < stmt_.size(); ++j) {
            const bool go = is_word_tok(j, "goto") || is_word_tok(j, "gosub");
            if (!go && !(is_word_tok(j, "resume") && !is_word_tok(j + 1, "next"))) continue;
            for (size_t l = j + 1; l < stmt_.size() && stmt_[l].kind == Tok::Ident; l += 2) {
                ids[l] = emit(l, Role::Label, last_line);
                if (!go || !is_op(l + 1, ',')) break;
            }
        }
    }

    void body_statement() {
        if (open_ >= 0) open_has_body_ = true;
    }

    // From the name of a procedure header or Declare statement on.
    void header(size_t name, bool is_public, int last_line, std::vector<int>& ids) {
        if (name < stmt_.size() && stmt_[name].kind == Tok::Ident) {
            ids[name] = emit(name, Role::Procedure, last_line, is_public);
            for (size_t k = name + 1; k < stmt_.size(); ++k) {
                if (is_op(k, '(')) {
                    emit_parameters(k, last_line, ids);
                    break;
                }
                if (stmt_[k].kind == Tok::Ident && !is_word_tok(k, "lib") && !is_word_tok(k, "alias")) break;
            }
        }
        emit_rest(0, last_line, ids);
    }
};

const std::vector<int> kNone;

}  // namespace

Text fold(const Text& text) {
    Text out(text);
    for (char32_t& c : out) c = Py_UNICODE_TOLOWER(c);
    return out;
}

bool declares_name(Role role) {
    switch (role) {
        case Role::Variable:
        case Role::Parameter:
        case Role::Procedure:
        case Role::TypeName:
        case Role::EnumName:
        case Role::EnumMember:
            return true;
        default:
            return false;
    }
}

const std::vector<int>& ModuleScan::named(const Text& lower) const {
    auto it = name_ids.find(lower);
    return it == name_ids.end() ? kNone : idents_of_name[static_cast<size_t>(it->second)];
}

int ModuleScan::unit_of_line(int line) const {
    auto it = std::upper_bound(procedures.begin(), procedures.end(), line,
                               [](int l, const ProcedureSpan& p) { return l < p.first_line; });
    if (it == procedures.begin()) return -1;
    --it;
    return line <= it->last_line ? static_cast<int>(it - procedures.begin()) : -1;
}

bool ModuleScan::declares_at_module_level(const Text& lower, int except) const {
    for (int i : named(lower)) {
        const Ident& id = idents[i];
        if (i != except && id.unit < 0 && declares_name(id.role) && id.role != Role::Parameter) return true;
    }
    return false;
}

bool ModuleScan::procedure_declares(int unit, const Text& lower) const {
    for (int i : named(lower)) {
        const Ident& id = idents[i];
        if (id.unit == unit && (id.role == Role::Variable || id.role == Role::Parameter)) return true;
    }
    return false;
}

ModuleScan scan_module(std::vector<Text> lines, const Text& file_stem) {
    ModuleScan m;
    m.lines = std::move(lines);
    m.idents.reserve(m.lines.size() * 4);  // a typical module's identifiers per line
    Scanner(m).run();
    if (m.name_lower.empty()) m.name_lower = fold(file_stem);
    for (size_t i = 0; i < m.idents.size(); ++i) {
        Ident& id = m.idents[i];
        id.unit = id.role == Role::Procedure ? -1 : m.unit_of_line(id.line);
    }
    for (CommentSpan& c : m.comments) c.unit = m.unit_of_line(c.line);
    return m;
}

}  // namespace tallowby::refactor
