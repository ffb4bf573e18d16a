// run: the check workbook of the selected jobs, its summary sheets and the
// optional VBT step, inside one guard that saves what was written.
#include <ctime>
#include <string>

#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "engine/run_cache.hpp"
#include "engine/state.hpp"
#include "host/args.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/gc_pause.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

namespace {

const char* const kEndLine = "===============================END===============================";

// "Marlet_" + local date + "__" + hour, minute and second without leading
// zeros + ".xlsm".
std::string workbook_name() {
    static const bool zone_read = (tzset(), true);
    (void)zone_read;
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", &t);
    return "Marlet_" + std::string(date) + "__" + std::to_string(t.tm_hour) + std::to_string(t.tm_min) +
           std::to_string(t.tm_sec) + ".xlsm";
}

py::dict format_of(const char* key, py::object value) {
    py::dict d;
    d[key] = value;
    return d;
}

py::str text_of(py::handle value) { return py::str(value); }

// The VBA project embedded into every check workbook: bin/vbaProject.bin
// beside the engine module's file.
py::object vba_project_path() {
    py::object path = py::module_::import("os").attr("path");
    py::object folder = path.attr("dirname")(path.attr("abspath")(engine_global("__file__")));
    return path.attr("join")(folder, "bin", "vbaProject.bin");
}

void vbt_step(py::handle self, py::handle work_dir, py::list& written) {
    progress(self, py::int_(0));
    py::object folder = state(self).device_directory();
    put_log(self, py::str("开始处理目录中的BAS文件: ") + text_of(folder));
    py::object parser = engine_global("VBAParser")();
    parser.attr("parse_files")(folder);
    put_log(self, std::string("解析完成！"));
    const struct {
        const char* member;
        const char* label;
    } counts[] = {{"global_variables", " 个全局变量"}, {"functions", " 个函数"}, {"types", " 个Type定义"},
                  {"enums", " 个Enum定义"}};
    for (const auto& c : counts) {
        const Py_ssize_t n = host::size(py::object(parser.attr(c.member)));
        put_log(self, "发现 " + std::to_string(n) + c.label);
    }
    py::object writer = py::module_::import("tallowby.quillon.tabwick").attr("Tabwick")();
    py::object report = writer.attr("generate_dry_run_report")(self.attr("update_progressbar"), parser, work_dir);
    written.append(report);
    progress(self, py::int_(100));
    put_log(self, py::str("\n✓ 检查报告已生成: ") + text_of(report));
    put_log(self, std::string(kEndLine));
}

// The steps of a run, each replaceable by a subclass or the object.
const host::OwnOperation job_step("_Marlet__run_each_flow", marlet_class);
const host::OwnOperation finish_step("excel_file_optimise", marlet_class);
const host::OwnOperation map_step("write_pat_tset_map", marlet_class);
const host::OwnOperation bins_step("write_bin_descrp", marlet_class);
const host::OwnOperation parameters_step("write_inst_para", marlet_class);
const host::OwnOperation clamps_step("write_power_pin_clamp", marlet_class);

void check_jobs(py::handle self, py::handle book, py::handle job_name_set, py::handle work_dir, const py::object& path,
                py::list& written) {
    py::object last_job;
    for (py::handle job : py::iter(job_name_set)) {
        last_job = py::reinterpret_borrow<py::object>(job);
        py::object sheet = book.attr("add_worksheet")(job);
        state(self).work_sheet() = sheet;
        sheet.attr("outline_settings")(true, false, true, false);
        job_step(self, [&] { run_each_flow(self, host::arg_str(job, "job_name")); }, job);
        const py::object work_sheet = state(self).work_sheet();
        const py::str freeze_pane("C2");
        finish_step(self, [&] { excel_file_optimise(self, work_sheet, freeze_pane); }, work_sheet,
                    freeze_pane);
    }
    if (!last_job) {
        host::raise(PyExc_UnboundLocalError,
                    "cannot access local variable 'job_name' where it is not associated with a value");
    }
    py::object first_letters = last_job[py::slice(0, 20, 1)];
    py::object map_name = py::str("PatTsetMap_") + first_letters;
    {
        const py::object users = state(self).pat2inst_dict();
        const py::object time_sets = state(self).tset_dict();
        const py::object sheet = book.attr("add_worksheet")(map_name);
        map_step(self, [&] { write_pat_tset_map(self, users, time_sets, sheet); }, users, time_sets,
                 sheet);
    }
    auto one_sheet = [&](const host::OwnOperation& step, void (*write)(py::handle, py::handle), const char* name) {
        const py::object sheet = book.attr("add_worksheet")(name);
        step(self, [&] { write(self, sheet); }, sheet);
    };
    one_sheet(bins_step, write_bin_descrp, "SortBinDescrp");
    one_sheet(parameters_step, write_inst_para, "InstParametersCheck");
    book.attr("add_vba_project")(vba_project_path());
    one_sheet(clamps_step, write_power_pin_clamp, "PowerPinClampCheck");
    book.attr("close")();
    written.append(path);
    put_log(self, py::str("Output file path is: ") + text_of(path));
    put_log(self, std::string("Execution successful!!!"));
    put_log(self, std::string(kEndLine));
    if (py::bool_(state(self).enable_quillon())) vbt_step(self, work_dir, written);
}

}  // namespace

py::list run(py::handle self, py::handle job_name_set, py::handle work_dir) {
    // The run makes many containers that cannot form cycles (cell texts,
    // rows, the sheets' results): the collector waits until it ends.
    const host::GcPause no_collection;
    const RunCache sheets_read;
    py::list written;
    py::object path = py::module_::import("os").attr("path").attr("join")(work_dir, workbook_name());
    py::dict options;
    options["nan_inf_to_errors"] = true;
    py::object book = engine_global("xlsxwriter").attr("Workbook")(path, options);
    state(self).format_red() = book.attr("add_format")(format_of("bg_color", py::str("#FFC7CE")));
    state(self).format_yellow() = book.attr("add_format")(format_of("bg_color", py::str("#F7D674")));
    state(self).format_orange() = book.attr("add_format")(format_of("bg_color", py::str("#FFAA33")));
    state(self).format_bold() = book.attr("add_format")(format_of("bold", py::bool_(true)));
    progress(self, py::int_(0));
    try {
        try {
            check_jobs(self, book, job_name_set, work_dir, path, written);
        } catch (py::builtin_exception& e) {
            e.set_error();
            host::raise_error();
        }
    } catch (py::error_already_set& e) {
        // Ordinary errors end the run here; interruptions go on.
        if (!e.matches(PyExc_Exception)) throw;
        put_log(self, std::string("An exception occurred!Please check!!!"));
        put_log(self, text_of(e.value()));
        py::object trace = e.trace() ? e.trace() : py::none();
        py::module_::import("traceback")
            .attr("print_exception")(e.type(), e.value(), trace, py::arg("file") = py::module_::import("sys").attr("stderr"));
        // A workbook already closed in the regular way stays as it is.
        if (!py::bool_(py::getattr(book, "fileclosed", py::bool_(false)))) book.attr("close")();
    }
    return written;
}

}  // namespace tallowby::engine
