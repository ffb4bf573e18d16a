// The uses of the Type and Enum names (reference_count, referenced_files):
// a name counts once per line it is found in as a whole word, definition
// header lines not counted. The variable reference scan counts them in the
// same walk over the lines when it can (see TypeCounter::plain); otherwise
// collect_type_enum_references walks the lines on its own.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/text.hpp"
#include "vba/module_parser.hpp"
#include "vba/word_index.hpp"

namespace tallowby::vba {
namespace py = pybind11;

// ^\s*(Public|Private)?\s*(Type|Enum)\s+, ignoring case.
bool definition_header(const host::StrView& v);

// type_info.reference_count += 1; type_info.referenced_files.add(file_path)
void count_use(py::handle info, py::handle file_path);

// Counts the uses of the Type and Enum names, line by line.
class TypeCounter {
public:
    explicit TypeCounter(ModuleParser& parser);

    // Whether the counts can be taken while the variable references are
    // scanned: every name a str, every record a plain TypeInfo whose count
    // and file set are a plain int and set (so that counting runs no code of
    // a caller's).
    bool plain() const;

    // Whether any run of a line needs looking up.
    bool by_runs() const { return !by_text_->empty(); }

    // One line (not a definition header) of `file_path`.
    void line(py::handle line, const host::StrView& v, py::handle file_path);

    // The same in steps, for a scan that splits the line into runs itself.
    void begin_line() { ++line_id_; }
    [[gnu::always_inline]] void run(std::string_view text, uint64_t hash, py::handle file_path) {
        TypeName** found = by_text_->find(text, hash);
        if (!found || (*found)->counted_line == line_id_) return;
        (*found)->counted_line = line_id_;
        count_use((*found)->record, file_path);
    }
    void end_line(const host::StrView& v, py::handle file_path);

private:
    struct TypeName {
        PyObject* name;    // borrowed from all_types
        PyObject* record;  // borrowed from all_types
        uint64_t counted_line = 0;
    };

    py::dict all_types_;
    std::vector<TypeName> names_;
    // Names that are one run of word characters are found by looking up the
    // line's runs; any other text goes through a literal search.
    std::unique_ptr<WordTable<TypeName*>> by_text_ = std::make_unique<WordTable<TypeName*>>();
    std::vector<TypeName*> literal_;
    bool non_text_ = false;
    py::module_ re_;
    std::string buffer_;
    uint64_t line_id_ = 0;
};

}  // namespace tallowby::vba
