#include "refactor/rename_plan.hpp"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "host/checked.hpp"
#include "host/console.hpp"
#include "host/text.hpp"
#include "vba/identifiers.hpp"
#include "refactor/change_records.hpp"
#include "refactor/rename_collisions.hpp"
#include "refactor/rename_state.hpp"

namespace tallowby::refactor {

namespace {

using host::concat;
using host::from_utf8;

std::optional<ChangeKind> kind_of(py::handle type) {
    if (!PyUnicode_Check(type.ptr())) return std::nullopt;
    for (size_t k = 0; k < kChangeKinds; ++k) {
        const auto kind = static_cast<ChangeKind>(k);
        if (host::equals(type, change_type(kind))) return kind;
    }
    return std::nullopt;
}

py::object field(py::handle record, const char* key) {
    PyObject* v = PyObject_GetItem(record.ptr(), py::str(key).ptr());
    if (v) return py::reinterpret_steal<py::object>(v);
    if (!PyErr_ExceptionMatches(PyExc_KeyError)) host::raise_error();
    PyErr_Clear();
    return py::object();
}

py::str text_form(py::handle v) { return v ? py::str(v) : py::str(""); }

class Planner {
public:
    Planner(py::handle parser, const std::vector<PendingChange>& pending) : pending_(pending) {
        load_modules(parser);
        changes_.resize(pending.size());
        for (size_t c = 0; c < pending.size(); ++c) read_change(c);
    }

    Plan run() {
        for (size_t c = 0; c < changes_.size(); ++c)
            if (changes_[c].accepted()) find_declaration(changes_[c]);
        for (Change& c : changes_)
            if (c.accepted()) collect_tokens(c);
        refuse_overlaps();
        for (;;) {
            rebuild_owners();
            if (refuse_collisions()) continue;
            if (refuse_unwritable_modules()) continue;
            break;
        }
        Plan plan;
        for (size_t c = 0; c < changes_.size(); ++c) {
            plan.accepted.push_back(changes_[c].accepted());
            if (!changes_[c].accepted()) print_not_applied(pending_[c], changes_[c].reason);
        }
        build_rewrites(plan);
        return plan;
    }

private:
    const std::vector<PendingChange>& pending_;
    std::vector<Module> modules_;
    py::dict module_index_;  // path -> module
    std::vector<Change> changes_;
    std::vector<std::vector<int>> owner_;  // per module and ident: the accepted change renaming it, or -1
    // The modules, in order, that hold a name (folded) in code, and a word (as written) in comments.
    std::unordered_map<Text, std::vector<int>> modules_naming_, modules_writing_;
    std::unordered_set<Text> module_names_;

    void load_modules(py::handle parser) {
        py::object encodings = py::getattr(parser, "file_encodings", py::none());
        py::object stem_of = py::module_::import("os").attr("path");
        for (auto [path, lines] : py::reinterpret_borrow<py::dict>(parser.attr("files"))) {
            Module m;
            m.path = py::reinterpret_borrow<py::str>(path);
            m.encoding = "utf-8";
            if (!encodings.is_none()) {
                py::object e = encodings.attr("get")(path, py::none());
                if (!e.is_none()) m.encoding = py::str(e).cast<std::string>();
            }
            std::vector<Text> texts;
            for (py::handle line : lines) {
                host::check(PyList_Append(m.parsed.ptr(), line.ptr()));
                Text t = to_text(line);
                const bool ended = !t.empty() && t.back() == U'\n';
                if (ended) t.pop_back();
                texts.push_back(std::move(t));
                m.parsed_ends.push_back(ended);
            }
            py::object stem = stem_of.attr("splitext")(stem_of.attr("basename")(path))[py::int_(0)];
            m.scan = scan_module(std::move(texts), to_text(stem));
            for (const CommentSpan& c : m.scan.comments) {
                const Text& s = m.scan.lines[c.line];
                for (int k = c.col, end = c.col + c.len; k < end;) {
                    if (!host::is_word(s[k])) {
                        ++k;
                        continue;
                    }
                    int e = k;
                    while (e < end && host::is_word(s[e])) ++e;
                    m.comment_words[s.substr(k, e - k)].push_back({c.line, k});
                    k = e;
                }
            }
            m.line_count = m.scan.lines.size();
            std::vector<Text>().swap(m.scan.lines);
            const int index = static_cast<int>(modules_.size());
            module_index_[m.path] = py::int_(index);
            for (const Text& name : m.scan.names) modules_naming_[name].push_back(index);
            for (const auto& word : m.comment_words) modules_writing_[word.first].push_back(index);
            module_names_.insert(m.scan.name_lower);
            modules_.push_back(std::move(m));
        }
        owner_.resize(modules_.size());
    }

    void refuse(Change& c, py::object reason) {
        if (c.accepted()) c.reason = std::move(reason);
    }

    // --- the record itself ---

    void read_change(size_t index) {
        Change& c = changes_[index];
        const PendingChange& p = pending_[index];
        c.kind = kind_of(p.type);
        c.file_path = field(p.record, "file_path");
        c.line_number = field(p.record, "line_number");
        c.old_obj = field(p.record, "original_name");
        c.new_obj = field(p.record, "new_name");
        if (!c.kind) return refuse(c, concat({from_utf8("未知的修改类型 '"), text_form(p.type), py::str("'")}));
        const std::initializer_list<std::pair<const py::object*, const char*>> fields = {
            {&c.file_path, "file_path"}, {&c.line_number, "line_number"}, {&c.old_obj, "original_name"},
            {&c.new_obj, "new_name"}};
        for (const auto& [value, key] : fields)
            if (!*value) return refuse(c, concat({from_utf8("修改记录缺少 "), py::str(key)}));
        if (!PyUnicode_Check(c.file_path.ptr())) return refuse(c, from_utf8("文件路径不是文本"));
        if (!PyLong_Check(c.line_number.ptr()) || PyBool_Check(c.line_number.ptr()))
            return refuse(c, from_utf8("行号不是整数"));
        if (!PyUnicode_Check(c.old_obj.ptr()) || !PyUnicode_Check(c.new_obj.ptr()))
            return refuse(c, from_utf8("名称不是文本"));
        c.old_name = to_text(c.old_obj);
        c.new_name = to_text(c.new_obj);
        c.old_lower = fold(c.old_name);
        c.new_lower = fold(c.new_name);
        if (!vba::is_vba_identifier(c.old_name))
            return refuse(c, concat({from_utf8("原名称 '"), c.old_obj, from_utf8("' 不是合法的VBA标识符")}));
        if (!vba::has_name_form(c.new_name))
            return refuse(c, concat({from_utf8("新名称 '"), c.new_obj,
                                     from_utf8("' 不是合法的VBA标识符（须以字母开头，只含字母、数字和下划线，最多255个字符）")}));
        if (vba::is_vba_keyword(c.new_name))
            return refuse(c, concat({from_utf8("新名称 '"), c.new_obj, from_utf8("' 是VBA的保留字")}));
        PyObject* found = PyDict_GetItemWithError(module_index_.ptr(), c.file_path.ptr());
        if (!found) host::check_error();
        if (!found) return refuse(c, from_utf8("文件不在本次解析的模块中"));
        c.module = py::reinterpret_borrow<py::int_>(found).cast<int>();
        int overflow = 0;
        const long long line = PyLong_AsLongLongAndOverflow(c.line_number.ptr(), &overflow);
        if (overflow || line < 1 || line > static_cast<long long>(modules_[c.module].line_count))
            return refuse(c, from_utf8("行号不在文件之内"));
        c.line = static_cast<int>(line) - 1;
    }

    bool matches_kind(const Change& c, const Ident& id) const {
        switch (*c.kind) {
            case ChangeKind::kGlobal: return id.role == Role::Variable && id.unit < 0 && id.is_public;
            case ChangeKind::kModule: return id.role == Role::Variable && id.unit < 0 && !id.is_public;
            case ChangeKind::kLocal: return id.role == Role::Variable && id.unit >= 0;
            case ChangeKind::kType: return id.role == Role::TypeName;
            case ChangeKind::kEnum: return id.role == Role::EnumName;
        }
        return false;
    }

    // The record's line declares its name, as its kind says, and nothing
    // else of that name is declared beside it.
    void find_declaration(Change& c) {
        const ModuleScan& scan = modules_[c.module].scan;
        const int line = c.line;
        int found = -1;
        for (int i : scan.named(c.old_lower)) {
            const Ident& id = scan.idents[i];
            const LogicalLine& holder = scan.logical_lines[static_cast<size_t>(id.logical)];
            if (holder.first_line <= line && line <= holder.last_line && matches_kind(c, id)) {
                found = i;
                break;
            }
        }
        if (found < 0) {
            return refuse(c, concat({from_utf8("第 "), line_text(line + 1), from_utf8(" 行没有声明"),
                                     from_utf8(change_label(*c.kind)), from_utf8(" '"), c.old_obj, py::str("'")}));
        }
        const Ident& decl = scan.idents[found];
        c.unit = decl.unit;
        c.role = decl.role;
        c.is_public = decl.is_public;
        for (int i : scan.named(c.old_lower)) {
            const Ident& id = scan.idents[i];
            if (id.unit == c.unit && declares_name(id.role) && id.role != c.role &&
                !(id.role == Role::Parameter && id.unit < 0)) {
                return refuse(c, concat({from_utf8("第 "), line_text(id.line + 1), from_utf8(" 行另有同名的声明 '"),
                                         to_str(parsed_line(modules_[c.module], id.line).substr(id.col, id.len)),
                                         py::str("'")}));
            }
        }
    }

    // --- scope and tokens ---

    // Comments take the new name where they spell the old one as a word, as
    // written, in the procedures and module levels of its scope.
    void collect_comments(Change& c, int n, const std::unordered_set<int>& left_out, int only_unit) {
        const Module& m = modules_[n];
        auto it = m.comment_words.find(c.old_name);
        if (it == m.comment_words.end()) return;
        for (const auto& at : it->second) {
            const int u = m.scan.unit_of_line(at.first);
            if ((only_unit >= 0 && u != only_unit) || left_out.count(u)) continue;
            c.comment_edits.push_back({n, at});
        }
    }

    // The modules where a module-level name may be renamed: its own, and for a
    // public one every module that holds the name in code or in a comment.
    std::vector<int> modules_of_scope(const Change& c) const {
        if (!c.is_public) return {c.module};
        const std::vector<int>& code = modules_with(modules_naming_, c.old_lower);
        const std::vector<int>& words = modules_with(modules_writing_, c.old_name);
        std::vector<int> all;
        std::set_union(code.begin(), code.end(), words.begin(), words.end(), std::back_inserter(all));
        return all;
    }

    void collect_tokens(Change& c) {
        const Module& home = modules_[c.module];
        if (c.unit >= 0) {
            for (int i : home.scan.named(c.old_lower)) {
                const Ident& id = home.scan.idents[i];
                if (id.unit == c.unit && (id.role == Role::Use || id.role == Role::Variable))
                    c.tokens.push_back({c.module, i});
            }
            collect_comments(c, c.module, {}, c.unit);
        } else {
            for (int n : modules_of_scope(c)) {
                const ModuleScan& scan = modules_[n].scan;
                // "Module.Name" names this module's own declaration wherever it stands.
                for (int i : scan.named(c.old_lower)) {
                    const Ident& id = scan.idents[i];
                    if (id.role != Role::Member || id.qualifier < 0) continue;
                    const Ident& q = scan.idents[id.qualifier];
                    if (q.role == Role::Use && scan.lower(q) == home.scan.name_lower) c.tokens.push_back({n, i});
                }
                if (n != c.module && scan.declares_at_module_level(c.old_lower)) continue;
                std::unordered_set<int> shadowing;  // procedures with a local or parameter of the name
                for (int i : scan.named(c.old_lower)) {
                    const Ident& id = scan.idents[i];
                    if (id.unit >= 0 && (id.role == Role::Variable || id.role == Role::Parameter))
                        shadowing.insert(id.unit);
                }
                for (int i : scan.named(c.old_lower)) {
                    const Ident& id = scan.idents[i];
                    if (shadowing.count(id.unit)) continue;
                    if (id.role == Role::Use || (n == c.module && id.unit < 0 && id.role == c.role))
                        c.tokens.push_back({n, i});
                }
                collect_comments(c, n, shadowing, -1);
            }
        }
        std::sort(c.tokens.begin(), c.tokens.end());
        c.tokens.erase(std::unique(c.tokens.begin(), c.tokens.end()), c.tokens.end());
        for (const auto& [n, i] : c.tokens) {
            c.token_units.push_back({n, modules_[n].scan.idents[i].unit});
            c.modules.push_back(n);
        }
        for (const auto& e : c.comment_edits) c.modules.push_back(e.first);
        std::sort(c.token_units.begin(), c.token_units.end());
        c.token_units.erase(std::unique(c.token_units.begin(), c.token_units.end()), c.token_units.end());
        std::sort(c.modules.begin(), c.modules.end());
        c.modules.erase(std::unique(c.modules.begin(), c.modules.end()), c.modules.end());
    }

    // Two records that would give one token two different new names: neither is applied.
    void refuse_overlaps() {
        std::vector<std::vector<int>> first(modules_.size());
        for (size_t m = 0; m < modules_.size(); ++m) first[m].assign(modules_[m].scan.idents.size(), -1);
        std::vector<py::object> reasons(changes_.size());
        for (size_t c = 0; c < changes_.size(); ++c) {
            if (!changes_[c].accepted()) continue;
            for (const auto& [n, i] : changes_[c].tokens) {
                int& other = first[n][i];
                if (other < 0) {
                    other = static_cast<int>(c);
                } else if (changes_[other].new_name != changes_[c].new_name) {
                    reasons[c] = overlap_reason(changes_[other]);
                    if (!reasons[other]) reasons[other] = overlap_reason(changes_[c]);
                }
            }
        }
        for (size_t c = 0; c < changes_.size(); ++c)
            if (reasons[c]) refuse(changes_[c], reasons[c]);
    }

    py::object overlap_reason(const Change& other) const {
        return concat({from_utf8("另一条修改 '"), other.old_obj, py::str("' -> '"), other.new_obj,
                       from_utf8("' 要把同一名称改成别的名字")});
    }

    void rebuild_owners() {
        for (size_t m = 0; m < modules_.size(); ++m) owner_[m].assign(modules_[m].scan.idents.size(), -1);
        for (size_t c = 0; c < changes_.size(); ++c) {
            if (!changes_[c].accepted()) continue;
            for (const auto& [n, i] : changes_[c].tokens)
                if (owner_[n][i] < 0) owner_[n][i] = static_cast<int>(c);
        }
    }

    // --- collisions ---

    bool refuse_collisions() {
        const std::vector<py::object> reasons = find_collisions(modules_, changes_, owner_, module_names_);
        bool any = false;
        for (size_t c = 0; c < changes_.size(); ++c) {
            if (!reasons[c]) continue;
            refuse(changes_[c], reasons[c]);
            any = true;
        }
        return any;
    }

    // --- the modules on disk ---

    static bool touches(const Change& c, int n) { return std::binary_search(c.modules.begin(), c.modules.end(), n); }

    bool refuse_unwritable_modules() {
        bool any = false;
        std::vector<bool> touched(modules_.size(), false);
        for (const Change& c : changes_)
            if (c.accepted())
                for (int n : c.modules) touched[n] = true;
        for (int n = 0; n < static_cast<int>(modules_.size()); ++n) {
            Module& m = modules_[n];
            if (!touched[n]) continue;
            if (!m.checked) {
                m.checked = true;
                CheckedModule checked = read_module(m.path, m.encoding, parsed_lines(m), m.parsed_ends);
                if (checked.module) {
                    m.disk = std::move(checked.module);
                } else {
                    m.refusal = checked.refusal;
                    host::print_parts({from_utf8("无法修改文件 "), m.path, py::str(": "), checked.refusal});
                }
            }
            if (!m.refusal) continue;
            for (Change& c : changes_) {
                if (!c.accepted() || !touches(c, n)) continue;
                refuse(c, concat({from_utf8("文件 "), m.path, from_utf8(" 无法修改: "), m.refusal}));
                any = true;
            }
        }
        return any;
    }

    // --- the new bytes ---

    struct Edit {
        int line, col, len;
        const Text* text;
    };

    void build_rewrites(Plan& plan) {
        std::vector<std::vector<Edit>> edits(modules_.size());
        std::vector<std::unordered_set<Text>> names(modules_.size());
        std::vector<std::unordered_set<long long>> taken(modules_.size());  // comment words already renamed
        for (const Change& c : changes_) {
            if (!c.accepted()) continue;
            int counted = -1;  // the module c's name was last counted in (tokens come sorted by module)
            auto count_name = [&](int n) {
                if (n == counted) return;
                names[n].insert(c.old_name);
                counted = n;
            };
            for (const auto& [n, i] : c.tokens) {
                const Ident& id = modules_[n].scan.idents[i];
                if (owner_[n][i] >= 0 && &changes_[owner_[n][i]] != &c) continue;  // the same rename by another record
                edits[n].push_back({id.line, id.col, id.len, &c.new_name});
                count_name(n);
            }
            counted = -1;
            for (const auto& [n, at] : c.comment_edits) {
                if (!taken[n].insert((static_cast<long long>(at.first) << 32) | at.second).second) continue;
                edits[n].push_back({at.first, at.second, static_cast<int>(c.old_name.size()), &c.new_name});
                count_name(n);
            }
        }
        for (size_t n = 0; n < modules_.size(); ++n) {
            if (edits[n].empty()) continue;
            std::vector<Text> lines = parsed_lines(modules_[n]);
            std::sort(edits[n].begin(), edits[n].end(), [](const Edit& a, const Edit& b) {
                return a.line != b.line ? a.line < b.line : a.col > b.col;
            });
            for (const Edit& e : edits[n]) lines[e.line].replace(e.col, e.len, *e.text);
            ModuleRewrite r{*modules_[n].disk, encode_module(*modules_[n].disk, lines), names[n].size()};
            if (!r.new_data.equal(r.disk.data)) plan.rewrites.push_back(std::move(r));
        }
    }
};

}  // namespace

Plan plan_renames(py::handle parser, const std::vector<PendingChange>& changes) {
    return Planner(parser, changes).run();
}

void print_not_applied(const PendingChange& change, py::handle reason) {
    const std::optional<ChangeKind> kind = kind_of(change.type);
    py::str label = kind ? from_utf8(change_label(*kind)) : text_form(change.type);
    host::print_parts({from_utf8("未应用 "), label, py::str(" '"), text_form(field(change.record, "original_name")),
                       py::str("' -> '"), text_form(field(change.record, "new_name")), py::str("' ("),
                       text_form(field(change.record, "file_path")), from_utf8(" 第 "),
                       text_form(field(change.record, "line_number")), from_utf8(" 行): "), reason});
}

}  // namespace tallowby::refactor
