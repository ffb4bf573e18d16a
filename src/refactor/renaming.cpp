#include "refactor/renaming.hpp"

#include <string>
#include <unordered_set>
#include <vector>

#include "host/checked.hpp"
#include "host/console.hpp"
#include "host/failure.hpp"
#include "host/gc_pause.hpp"
#include "refactor/rename_plan.hpp"
#include "vba/line_tests.hpp"

namespace tallowby::refactor {

namespace {

using host::from_utf8;

struct Written {
    const ModuleRewrite* module;
    py::str backup;
    py::str temporary;
};

// Puts a module that was rewritten back as it was.
void restore(const ModuleRewrite& done, const py::str& backup) {
    py::object temporary;  // null until written
    try {
        temporary = write_temporary(done.disk, done.disk.data);
        replace_module(done.disk, py::reinterpret_borrow<py::str>(temporary), done.new_data);
        host::print_parts({from_utf8("已恢复文件: "), done.disk.path});
    } catch (...) {
        py::str message = host::failure_text();
        if (temporary) remove_quietly(py::reinterpret_borrow<py::str>(temporary));
        host::print_parts({from_utf8("恢复文件失败 "), done.disk.path, py::str(": "), message,
                           from_utf8("（原文件的备份: "), backup, from_utf8("）")});
    }
}

// Backs up every module and writes its new bytes beside it; then puts them
// all in place. Either every module is rewritten or none is (a module put
// in place before a later one failed is put back). True when all were.
bool write_all(const std::vector<ModuleRewrite>& rewrites) {
    std::vector<Written> ready;
    auto drop_temporaries = [&](size_t from) {
        for (size_t k = from; k < ready.size(); ++k) remove_quietly(ready[k].temporary);
    };
    for (const ModuleRewrite& r : rewrites) {
        Written w{&r, py::str(), py::str()};
        try {
            w.backup = write_backup(r.disk.path, r.disk.data);
        } catch (...) {
            host::print_parts({from_utf8("备份文件失败 "), r.disk.path, py::str(": "), host::failure_text()});
            drop_temporaries(0);
            return false;
        }
        host::print_parts({from_utf8("已备份文件: "), w.backup});
        try {
            w.temporary = write_temporary(r.disk, r.new_data);
        } catch (...) {
            host::print_parts({from_utf8("写入文件失败 "), r.disk.path, py::str(": "), host::failure_text()});
            drop_temporaries(0);
            return false;
        }
        ready.push_back(w);
    }
    for (size_t k = 0; k < ready.size(); ++k) {
        const ModuleRewrite& r = *ready[k].module;
        try {
            replace_module(r.disk, ready[k].temporary, r.disk.data);
        } catch (...) {
            host::print_parts({from_utf8("写入文件失败 "), r.disk.path, py::str(": "), host::failure_text()});
            drop_temporaries(k);
            for (size_t j = 0; j < k; ++j) restore(*ready[j].module, ready[j].backup);
            return false;
        }
        host::print_parts({from_utf8("已修改文件: "), r.disk.path});
        host::print_parts({from_utf8("  - 更新了 "), py::str(py::int_(r.names)), from_utf8(" 个变量名的所有引用")});
    }
    return true;
}

// Keeps in `changes_made` only the records in `keep`; a type left without
// records is taken out.
void keep_only(py::handle changes_made, const std::unordered_set<PyObject*>& keep) {
    py::list types(changes_made.attr("keys")());
    for (py::handle type : types) {
        py::list records = changes_made[type];
        py::list kept;
        for (py::handle record : records)
            if (keep.count(record.ptr())) kept.append(record);
        if (PyList_GET_SIZE(kept.ptr()) == 0) {
            changes_made.attr("__delitem__")(type);
        } else if (PyList_GET_SIZE(kept.ptr()) != PyList_GET_SIZE(records.ptr())) {
            host::check(PyList_SetSlice(records.ptr(), 0, PY_SSIZE_T_MAX, kept.ptr()));
        }
    }
}

}  // namespace

bool is_function_header(const host::StrView& line) { return vba::is_function_definition(line); }
bool is_declaration(const host::StrView& line) { return vba::opens_with_declaration_keyword(line); }

void apply_all_changes(py::handle, Refactorer& state) {
    std::unordered_set<PyObject*> written;
    for (py::handle record : state.written) written.insert(record.ptr());
    std::vector<PendingChange> pending;
    for (py::handle entry : py::iter(state.changes_made.attr("items")())) {
        py::object type = entry[py::int_(0)];
        for (py::handle record : py::iter(entry[py::int_(1)]))
            if (!written.count(record.ptr())) pending.push_back({type, py::reinterpret_borrow<py::object>(record)});
    }
    state.failed = false;
    if (pending.empty()) return;

    // Planning makes many small objects and no cycles.
    Plan plan = [&] {
        host::GcPause pause;
        return plan_renames(state.parser, pending);
    }();
    const bool all_written = write_all(plan.rewrites);
    for (size_t c = 0; c < pending.size(); ++c) {
        if (!plan.accepted[c]) {
            state.failed = true;
        } else if (!all_written) {
            print_not_applied(pending[c], from_utf8("有文件无法备份或写入，本次没有修改任何文件"));
            state.failed = true;
        } else {
            state.written.append(pending[c].record);
            written.insert(pending[c].record.ptr());
        }
    }
    keep_only(state.changes_made, written);
}

}  // namespace tallowby::refactor
