#include "refactor/rename_collisions.hpp"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "host/text.hpp"

namespace tallowby::refactor {

namespace {

using host::concat;
using host::from_utf8;

// Roles that take part in the names of a scope (members, named arguments,
// labels, fields and the parameters of Declare statements do not).
bool counts_for_collision(const Ident& id) {
    switch (id.role) {
        case Role::Use:
        case Role::Variable:
        case Role::Procedure:
        case Role::TypeName:
        case Role::EnumName:
        case Role::EnumMember:
            return true;
        case Role::Parameter:
            return id.unit >= 0;
        default:
            return false;
    }
}

class CollisionCheck {
public:
    CollisionCheck(const std::vector<Module>& modules, const std::vector<Change>& changes,
                   const std::vector<std::vector<int>>& owner, const std::unordered_set<Text>& module_names)
        : modules_(modules), changes_(changes), owner_(owner), module_names_(module_names) {}

    std::vector<py::object> run() const {
        const FinalIndex index = final_names();
        std::vector<py::object> reasons(changes_.size());
        for (size_t c = 0; c < changes_.size(); ++c)
            if (changes_[c].accepted()) reasons[c] = collision(changes_[c], index);
        return reasons;
    }

private:
    struct FinalIndex {
        std::vector<std::unordered_map<Text, std::vector<int>>> tokens;  // per module: name -> idents
        std::unordered_map<Text, std::vector<int>> modules;              // name -> modules holding it, in order
        const std::unordered_map<Text, std::vector<int>>& operator[](size_t m) const { return tokens[m]; }
    };

    // Per module, the tokens by the name they will have, for the new names only.
    FinalIndex final_names() const {
        std::unordered_set<Text> wanted;
        for (const Change& c : changes_)
            if (c.accepted()) wanted.insert(c.new_lower);
        FinalIndex index;
        index.tokens.resize(modules_.size());
        std::vector<char> wanted_here;  // per name of a module: whether it is one of the new names
        for (size_t m = 0; m < modules_.size(); ++m) {
            const ModuleScan& scan = modules_[m].scan;
            wanted_here.assign(scan.names.size(), 0);
            if (scan.names.size() <= wanted.size()) {
                for (size_t k = 0; k < scan.names.size(); ++k) wanted_here[k] = wanted.count(scan.names[k]) ? 1 : 0;
            } else {
                for (const Text& name : wanted) {
                    auto it = scan.name_ids.find(name);
                    if (it != scan.name_ids.end()) wanted_here[static_cast<size_t>(it->second)] = 1;
                }
            }
            for (size_t i = 0; i < scan.idents.size(); ++i) {
                const Ident& id = scan.idents[i];
                if (!counts_for_collision(id)) continue;
                const int o = owner_[m][i];
                if (o < 0 && !wanted_here[static_cast<size_t>(id.name)]) continue;
                const Text& name = o >= 0 ? changes_[o].new_lower : scan.lower(id);
                if (o >= 0 && !wanted.count(name)) continue;
                std::vector<int>& here = index.tokens[m][name];
                if (here.empty()) index.modules[name].push_back(static_cast<int>(m));
                here.push_back(static_cast<int>(i));
            }
        }
        return index;
    }

    py::object collision_with(const Change& c, int n, int i) const {
        const Ident& id = modules_[n].scan.idents[i];
        const int o = owner_[n][i];
        if (o >= 0 && &changes_[o] != &c) {
            return concat({from_utf8("与 '"), changes_[o].old_obj, from_utf8("' 重命名为同一名称 '"), c.new_obj,
                           py::str("'")});
        }
        return concat({from_utf8("新名称 '"), c.new_obj, from_utf8("' 与 "), modules_[n].path, from_utf8(" 第 "),
                       line_text(id.line + 1), from_utf8(" 行的 '"),
                       to_str(parsed_line(modules_[n], id.line).substr(id.col, id.len)), from_utf8("' 冲突")});
    }

    // The tokens of module n that will be spelled as c's new name and are not c's.
    std::vector<int> others_named(const Change& c, const FinalIndex& index, int n) const {
        std::vector<int> hits;
        auto it = index[n].find(c.new_lower);
        if (it == index[n].end()) return hits;
        for (int i : it->second)
            if (!contains_sorted(c.tokens, {n, i})) hits.push_back(i);
        return hits;
    }

    // A name of module n's procedures or module level that c's new name would
    // take over, or that would take over c's tokens.
    py::object collision_in_units(const Change& c, int n, const std::vector<int>& hits) const {
        const ModuleScan& scan = modules_[n].scan;
        for (int i : hits) {
            const Ident& id = scan.idents[i];
            if (id.unit < 0) return collision_with(c, n, i);
            const bool declared_there = std::any_of(hits.begin(), hits.end(), [&](int j) {
                const Ident& d = scan.idents[j];
                return d.unit == id.unit && (d.role == Role::Variable || d.role == Role::Parameter);
            });
            if (!declared_there || contains_sorted(c.token_units, {n, id.unit})) return collision_with(c, n, i);
        }
        return py::object();
    }

    py::object collision(const Change& c, const FinalIndex& index) const {
        if (c.new_lower == c.old_lower) return py::object();
        if (c.unit >= 0) {
            const ModuleScan& scan = modules_[c.module].scan;
            for (int i : others_named(c, index, c.module))
                if (scan.idents[i].unit == c.unit) return collision_with(c, c.module, i);
            // A local may not take the name of the procedure that holds it.
            const int name = scan.procedures[c.unit].name;
            if (name >= 0 && scan.lower(scan.idents[name]) == c.new_lower) return collision_with(c, c.module, name);
            return py::object();
        }
        if (module_names_.count(c.new_lower))
            return concat({from_utf8("新名称 '"), c.new_obj, from_utf8("' 与模块名相同")});
        const std::vector<int> home{c.module};
        for (int n : c.is_public ? modules_with(index.modules, c.new_lower) : home) {
            const std::vector<int> hits = others_named(c, index, n);
            const ModuleScan& scan = modules_[n].scan;
            const auto decl = std::find_if(hits.begin(), hits.end(), [&](int i) {
                const Ident& id = scan.idents[i];
                return id.unit < 0 && declares_name(id.role) && id.role != Role::Parameter;
            });
            if (decl != hits.end()) {
                // The module has its own declaration of the new name.
                const bool tokens_there = std::any_of(c.token_units.begin(), c.token_units.end(),
                                                      [&](const Place& p) { return p.first == n; });
                if (n == c.module || scan.idents[*decl].is_public || tokens_there) return collision_with(c, n, *decl);
                continue;
            }
            if (py::object r = collision_in_units(c, n, hits)) return r;
        }
        return py::object();
    }

    const std::vector<Module>& modules_;
    const std::vector<Change>& changes_;
    const std::vector<std::vector<int>>& owner_;
    const std::unordered_set<Text>& module_names_;
};

}  // namespace

std::vector<py::object> find_collisions(const std::vector<Module>& modules, const std::vector<Change>& changes,
                                        const std::vector<std::vector<int>>& owner,
                                        const std::unordered_set<Text>& module_names) {
    return CollisionCheck(modules, changes, owner, module_names).run();
}

}  // namespace tallowby::refactor
