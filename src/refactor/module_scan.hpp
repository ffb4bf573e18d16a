// What the refactorer reads of a VBA module's text: every identifier token of
// its code with the part it plays (a use, a member after ".", a named
// argument, a label, or one of the kinds of declaration), the comments, and
// where each procedure begins and ends. String and date literals, numbers,
// and lines of Attribute, Option, Def... and "#" directives hold no tokens.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tallowby::refactor {

using Text = std::u32string;

enum class Role : uint8_t {
    Use,         // a name in code: a variable, a constant, a type, a procedure called
    Member,      // after "." (also ".X" inside With) or after "!"
    NamedArg,    // before ":="
    Label,       // a line label, or the target of GoTo, GoSub, Resume
    Variable,    // declared by Dim, Static, Const, Public, Private, Global
    Parameter,   // in a procedure header's (or a Declare statement's) parameter list
    Procedure,   // the name in a procedure header or Declare statement
    TypeName,    // the name in a Type header
    EnumName,    // the name in an Enum header
    Field,       // a member declared inside a Type block
    EnumMember,  // a member declared inside an Enum block
};

// (A program has millions of these: the fields are laid out without padding.)
struct Ident {
    int line = 0, col = 0, len = 0;  // 0-based line, column and length in code points
    int unit = -1;                   // the procedure holding it; -1 outside every procedure
    int qualifier = -1;              // a Member right after "X.": the ident X (when X is no member itself)
    int name = -1;                   // its folded name: an index into ModuleScan::names
    int logical = 0;                 // the logical line that holds it: an index into ModuleScan::logical_lines
    Role role = Role::Use;
    bool is_public = false;          // a module-level declaration other modules see
};

// A logical line: physical lines joined by continuations.
struct LogicalLine {
    int first_line, last_line;
};

struct ProcedureSpan {
    int first_line, last_line;  // header to End line, inclusive
    int name = -1;              // the ident of its name in the header
};

struct CommentSpan {
    int line, col, len;  // the text after ' or Rem
    int unit;
};

struct ModuleScan {
    std::vector<Text> lines;  // the module's lines without their line ends
    std::vector<Ident> idents;
    std::vector<LogicalLine> logical_lines;  // those that hold idents, in order
    std::vector<ProcedureSpan> procedures;
    std::vector<CommentSpan> comments;
    Text name_lower;  // the module's VB_Name, else its file name without extension
    // Each folded name met once, in order of first use, with its idents in order.
    std::vector<Text> names;
    std::vector<std::vector<int>> idents_of_name;
    std::unordered_map<Text, int> name_ids;  // folded name -> its index in names

    // The folded name of an ident.
    const Text& lower(const Ident& id) const { return names[static_cast<size_t>(id.name)]; }
    const std::vector<int>& named(const Text& lower) const;
    // The procedure holding a 0-based line, or -1.
    int unit_of_line(int line) const;
    // Whether the module declares `lower` outside its procedures (a variable,
    // constant, procedure, Type, Enum or Enum member), leaving out `except`.
    bool declares_at_module_level(const Text& lower, int except = -1) const;
    // Whether procedure `unit` declares `lower` as a local or a parameter.
    bool procedure_declares(int unit, const Text& lower) const;
};

// Scans the lines (without line ends) of one module.
ModuleScan scan_module(std::vector<Text> lines, const Text& file_stem);

// Simple lower-case mapping of each code point, as VBA compares names.
Text fold(const Text& text);

// Roles that declare a name in a scope (a procedure's or a module's).
bool declares_name(Role role);

}  // namespace tallowby::refactor
