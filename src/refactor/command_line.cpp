#include "refactor/command_line.hpp"

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/console.hpp"
#include "host/failure.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"

namespace tallowby::refactor {

namespace {

using host::from_utf8;
using host::print_line;
using host::print_parts;

// SystemExit(1): a usage error, or renames that were not all applied.
[[noreturn]] void exit_with_failure() {
    PyErr_SetObject(PyExc_SystemExit, py::int_(1).ptr());
    host::raise_error();
}

py::str count_text(py::handle collection) { return py::str(py::int_(py::len(collection))); }

bool is_text(py::handle value, const char* ascii) {
    return PyUnicode_Check(value.ptr()) && host::equals(value, ascii);
}

void write_dry_run_report(py::handle writer, py::handle parser, py::handle directory) {
    py::cpp_function no_progress([](py::args, py::kwargs) {});
    py::object path = writer.attr("generate_dry_run_report")(no_progress, parser, directory);
    print_parts({from_utf8("\n✓ Dry-run报告已生成: "), py::str(path)});
    print_line("\n请查看报告并确认修改，然后使用refactor模式应用修改");
}

// `applied` turns false when a confirmed rename was not applied.
void refactor_from_report(py::module_ quillon, py::handle writer, py::handle parser, py::handle directory,
                          py::handle report_path, bool& applied) {
    if (report_path.is_none() || is_text(report_path, "")) {
        print_line("错误：refactor模式需要指定报告路径");
        print_line("用法: python quillon.py <目录路径> refactor <报告路径>");
        exit_with_failure();
    }
    if (!host::path_exists(report_path)) {
        print_parts({from_utf8("错误：指定的报告文件 '"), report_path, from_utf8("' 不存在")});
        exit_with_failure();
    }
    print_parts({from_utf8("使用已有报告: "), report_path});

    py::object input = py::module_::import("builtins").attr("input");
    py::object answer = input(from_utf8("\n是否继续自动重构？(y/N): "));
    if (!host::equals(host::lower(host::strip(answer)), "y")) {
        print_line("重构已取消");
        return;
    }

    py::object refactorer = quillon.attr("VBTRefactorer")(parser);
    py::object result = refactorer.attr("apply_changes_from_excel")(report_path);
    const bool ok = host::truthy(result);
    applied = ok;
    print_line(ok ? "重构应用成功！" : "重构应用失败");
    // The renames that were written are listed even when others were not.
    py::object changes = refactorer.attr("changes_made");
    if (ok || py::len(changes) > 0) {
        py::object path = writer.attr("generate_refactor_report")(changes, directory);
        print_parts({from_utf8("✓ 重构报告已生成: "), py::str(path)});
    }
}

void reject_mode(py::handle mode) {
    print_parts({from_utf8("错误：无效的模式 '"), py::str(mode), from_utf8("'")});
    print_line("支持的模式:");
    print_line("  dry-run  - 仅检查并生成报告 (默认)");
    print_line("  refactor - 使用已有报告进行重构");
    print_line("用法: python quillon.py <目录路径> [模式] [报告路径]");
    exit_with_failure();
}

}  // namespace

void run_command_line(py::module_ quillon) {
    py::object argv = py::module_::import("sys").attr("argv");
    const size_t argc = py::len(argv);
    if (argc < 2) {
        print_line("用法: python quillon.py <目录路径> [模式] [报告路径]");
        print_line("模式:");
        print_line("  dry-run  - 仅检查并生成报告 (默认)");
        print_line("  refactor - 使用已有报告进行重构，不生成新报告");
        print_line("报告路径:");
        print_line("  在refactor模式下，指定dry-run模式生成的Excel报告路径");
        exit_with_failure();
    }
    py::object directory = argv[py::int_(1)];
    py::object mode = argc > 2 ? py::object(argv[py::int_(2)]) : py::object(py::str("dry-run"));
    py::object report_path = argc > 3 ? py::object(argv[py::int_(3)]) : py::object(py::none());

    if (!host::path_exists(directory)) {
        print_parts({from_utf8("错误：目录 '"), directory, from_utf8("' 不存在")});
        exit_with_failure();
    }
    print_parts({from_utf8("开始处理目录: "), directory});
    print_parts({from_utf8("模式: "), py::str(mode)});

    py::object parser = quillon.attr("VBAParser")();
    parser.attr("parse_files")(directory);
    print_line("解析完成！");
    print_parts({from_utf8("发现 "), count_text(parser.attr("global_variables")), from_utf8(" 个全局变量")});
    print_parts({from_utf8("发现 "), count_text(parser.attr("functions")), from_utf8(" 个函数")});
    print_parts({from_utf8("发现 "), count_text(parser.attr("types")), from_utf8(" 个Type定义")});
    print_parts({from_utf8("发现 "), count_text(parser.attr("enums")), from_utf8(" 个Enum定义")});

    bool refactored = true;
    try {
        py::object writer = py::module_::import("tallowby.quillon.tabwick").attr("Tabwick")();
        if (is_text(mode, "dry-run")) {
            write_dry_run_report(writer, parser, directory);
        } else if (is_text(mode, "refactor")) {
            refactor_from_report(quillon, writer, parser, directory, report_path, refactored);
        } else {
            reject_mode(mode);
        }
    } catch (...) {
        py::object error = host::failure_object();
        if (PyObject_IsInstance(error.ptr(), PyExc_ImportError) == 1) {
            // A compiled module that fails to load says only "initialization
            // failed"; what failed is its cause.
            py::object cause = error.attr("__cause__");
            if (!cause.is_none() && host::equals(py::str(error), "initialization failed")) error = cause;
            print_parts({from_utf8("无法导入Excel报告生成器: "), py::str(error)});
            print_line("请安装所需依赖: pip install pandas openpyxl");
        } else {
            print_parts({from_utf8("生成报告时出错: "), py::str(error)});
        }
    }
    if (!refactored) exit_with_failure();
}

}  // namespace tallowby::refactor
