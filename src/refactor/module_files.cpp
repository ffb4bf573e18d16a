#include "refactor/module_files.hpp"

#include <string>

#include "host/checked.hpp"
#include "host/clock.hpp"
#include "host/failure.hpp"
#include "host/text.hpp"

namespace tallowby::refactor {

namespace {

using host::concat;
using host::from_utf8;

constexpr char kBom[] = "\xEF\xBB\xBF";

py::module_ os_module() { return py::module_::import("os"); }

py::str message(std::initializer_list<py::handle> pieces) { return concat(pieces); }

// The codec that reads the module's bytes (after a BOM for "utf-8-sig").
const char* codec_of(const std::string& encoding) {
    if (encoding == "utf-8" || encoding == "utf-8-sig") return "utf-8";
    if (encoding == "gb18030") return "gb18030";
    if (encoding == "cp950") return "cp950";
    return nullptr;
}

// The text split after each "\r\n", "\r" or "\n", as the host's universal
// newlines split it.
void split_lines(const Text& text, std::vector<Text>& lines, std::vector<LineEnd>& ends) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c != '\n' && c != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ends.push_back(LineEnd::CRLF);
            ++i;
        } else {
            ends.push_back(c == '\r' ? LineEnd::CR : LineEnd::LF);
        }
        start = i + 1;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
        ends.push_back(LineEnd::None);
    }
}

// Calls fn(file) on a file object and closes it, also when fn fails.
template <class Fn>
void with_file(py::object file, Fn fn) {
    try {
        fn(file);
    } catch (...) {
        try {
            file.attr("close")();
        } catch (py::error_already_set&) {
        }
        throw;
    }
    file.attr("close")();
}

void write_synced(py::handle file, const py::bytes& data) {
    file.attr("write")(data);
    file.attr("flush")();
    os_module().attr("fsync")(file.attr("fileno")());
}

}  // namespace

py::str to_str(const Text& text) {
    PyObject* s = PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, text.data(), static_cast<Py_ssize_t>(text.size()));
    host::check(s);
    return py::reinterpret_steal<py::str>(s);
}

Text to_text(py::handle str) {
    const host::StrView v(str);
    Text out(static_cast<size_t>(v.size()), U'\0');
    for (Py_ssize_t i = 0; i < v.size(); ++i) out[static_cast<size_t>(i)] = v[i];
    return out;
}

CheckedModule read_module(const py::str& path, const std::string& encoding, const std::vector<Text>& lines,
                          const std::vector<bool>& parsed_ends) {
    CheckedModule result;
    py::module_ os = os_module();
    ModuleOnDisk m;
    m.path = path;
    m.encoding = encoding;
    try {
        m.real_path = os.attr("path").attr("realpath")(path);
        m.stat = os.attr("stat")(m.real_path);
        py::object file = py::module_::import("io").attr("open")(path, "rb");
        with_file(file, [&](py::handle f) { m.data = f.attr("read")(); });
    } catch (...) {
        result.refusal = message({from_utf8("读取文件失败: "), host::failure_text()});
        return result;
    }
    py::module_ stat = py::module_::import("stat");
    const py::object mode = m.stat.attr("st_mode");
    if (!stat.attr("S_ISREG")(mode).cast<bool>()) {
        result.refusal = from_utf8("不是普通文件");
        return result;
    }
    if ((mode.cast<long>() & 0222) == 0 || !os.attr("access")(m.real_path, os.attr("W_OK")).cast<bool>()) {
        result.refusal = from_utf8("文件只读");
        return result;
    }
    if (encoding == "utf-8-lossy") {
        result.refusal = from_utf8("文件含有无法解码的字节，无法原样写回");
        return result;
    }
    const char* codec = codec_of(encoding);
    if (!codec) {
        result.refusal = message({from_utf8("未知的编码 "), py::str(encoding)});
        return result;
    }

    char* bytes = nullptr;
    Py_ssize_t size = 0;
    host::check(PyBytes_AsStringAndSize(m.data.ptr(), &bytes, &size));
    if (encoding == "utf-8-sig") {
        if (size < 3 || std::string_view(bytes, 3) != kBom) {
            result.refusal = from_utf8("文件在解析之后已被修改");
            return result;
        }
        m.bom = true;
        bytes += 3;
        size -= 3;
    }
    PyObject* decoded = PyUnicode_Decode(bytes, size, codec, "strict");
    if (!decoded) {
        py::error_already_set e;
        result.refusal = message({from_utf8("文件无法按 "), py::str(encoding), from_utf8(" 解码: "), py::str(e.value())});
        return result;
    }
    py::str text = py::reinterpret_steal<py::str>(decoded);
    PyObject* again = host::check(PyUnicode_AsEncodedString(text.ptr(), codec, "strict"));
    py::bytes encoded = py::reinterpret_steal<py::bytes>(again);
    if (PyBytes_GET_SIZE(encoded.ptr()) != size ||
        std::string_view(PyBytes_AS_STRING(encoded.ptr()), static_cast<size_t>(size)) != std::string_view(bytes, size)) {
        result.refusal = message({from_utf8("文件按 "), py::str(encoding), from_utf8(" 解码后无法还原为原来的字节")});
        return result;
    }

    std::vector<Text> now;
    split_lines(to_text(text), now, m.ends);
    bool same = now.size() == lines.size();
    for (size_t i = 0; same && i < now.size(); ++i)
        same = now[i] == lines[i] && (m.ends[i] != LineEnd::None) == parsed_ends[i];
    if (!same) {
        result.refusal = from_utf8("文件在解析之后已被修改");
        return result;
    }
    result.module = std::move(m);
    return result;
}

py::bytes encode_module(const ModuleOnDisk& m, const std::vector<Text>& lines) {
    Text text;
    for (size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        switch (m.ends[i]) {
            case LineEnd::LF: text += U'\n'; break;
            case LineEnd::CRLF: text += U"\r\n"; break;
            case LineEnd::CR: text += U'\r'; break;
            case LineEnd::None: break;
        }
    }
    PyObject* encoded = host::check(PyUnicode_AsEncodedString(to_str(text).ptr(), codec_of(m.encoding), "strict"));
    py::bytes body = py::reinterpret_steal<py::bytes>(encoded);
    if (!m.bom) return body;
    return py::bytes(std::string(kBom) + std::string(body));
}

py::str write_backup(const py::str& path, const py::bytes& data) {
    py::object open = py::module_::import("io").attr("open");
    const py::str base = concat({path, py::str(".backup_"), host::local_time_text("%Y%m%d_%H%M%S")});
    for (int n = 1;; ++n) {
        py::str backup = n == 1 ? base : concat(base, py::str("_" + std::to_string(n)));
        py::object file;
        try {
            file = open(backup, "xb");
        } catch (py::error_already_set& e) {
            if (e.matches(PyExc_FileExistsError)) continue;
            throw;
        }
        try {
            with_file(file, [&](py::handle f) { write_synced(f, data); });
        } catch (...) {
            remove_quietly(backup);
            throw;
        }
        return backup;
    }
}

py::str write_temporary(const ModuleOnDisk& m, const py::bytes& data) {
    py::module_ os = os_module();
    py::object os_path = os.attr("path");
    py::tuple made = py::module_::import("tempfile")
                         .attr("mkstemp")(py::arg("prefix") = concat({py::str("."), os_path.attr("basename")(m.real_path),
                                                                      py::str(".")}),
                                          py::arg("suffix") = ".tmp",
                                          py::arg("dir") = os_path.attr("dirname")(m.real_path));
    py::object fd = made[0];
    py::str temporary = made[1];
    try {
        with_file(os.attr("fdopen")(fd, "wb"), [&](py::handle f) { write_synced(f, data); });
        os.attr("chmod")(temporary, py::module_::import("stat").attr("S_IMODE")(m.stat.attr("st_mode")));
        py::object own = os.attr("stat")(temporary);
        if (!own.attr("st_uid").equal(m.stat.attr("st_uid")) || !own.attr("st_gid").equal(m.stat.attr("st_gid"))) {
            try {
                os.attr("chown")(temporary, m.stat.attr("st_uid"), m.stat.attr("st_gid"));
            } catch (py::error_already_set&) {
                // Not allowed to give the file away: it stays ours.
            }
        }
    } catch (...) {
        remove_quietly(temporary);
        throw;
    }
    return temporary;
}

void replace_module(const ModuleOnDisk& m, const py::str& temporary, const py::bytes& expected) {
    py::module_ os = os_module();
    py::bytes now;
    with_file(py::module_::import("io").attr("open")(m.real_path, "rb"), [&](py::handle f) { now = f.attr("read")(); });
    if (!now.equal(expected)) throw py::value_error(from_utf8("文件在解析之后已被修改").cast<std::string>());
    os.attr("replace")(temporary, m.real_path);
    try {
        py::object fd = os.attr("open")(os.attr("path").attr("dirname")(m.real_path), os.attr("O_RDONLY"));
        try {
            os.attr("fsync")(fd);
        } catch (py::error_already_set&) {
        }
        os.attr("close")(fd);
    } catch (py::error_already_set&) {
        // A folder that cannot be synced: the rename itself has happened.
    }
}

void remove_quietly(const py::str& path) {
    try {
        os_module().attr("remove")(path);
    } catch (py::error_already_set&) {
    }
}

}  // namespace tallowby::refactor
