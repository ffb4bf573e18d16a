// Job list sheet: job name to the names of the sheets that make up the job.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// The job record of one row given as a sequence of field texts.
py::dict job_list_content(py::handle line_list);

class JobListReader {
public:
    // Adds the jobs of the sheet at `path` (anything the host's open() takes).
    void read(py::handle path);
    py::dict& jobs() { return jobs_; }

private:
    py::dict jobs_;
};

}  // namespace tallowby::sheets
