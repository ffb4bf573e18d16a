#include "sheets/pattern_tool.hpp"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/checked.hpp"

extern char** environ;

namespace tallowby::sheets {

namespace {

// os.fsencode(path) as bytes; ValueError for an embedded NUL, as open() gives.
py::bytes fs_encoded(const py::str& path) {
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &encoded)) host::raise_error();
    return py::reinterpret_steal<py::bytes>(encoded);
}

// Creates or truncates the output file, like the ">" of a shell, but never
// through a symbolic link: a link there is refused with the open error
// (ELOOP). Raises the host's OSError subclass for errno with the path.
int open_output(const py::str& output_path) {
    py::bytes raw = fs_encoded(output_path);
    int fd;
    Py_BEGIN_ALLOW_THREADS
    do {
        fd = ::open(PyBytes_AS_STRING(raw.ptr()), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    Py_END_ALLOW_THREADS
    if (fd < 0) {
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, output_path.ptr());
        host::raise_error();
    }
    // Keep the descriptor clear of 0-2 so that the redirection below never
    // lands on itself.
    if (fd <= 2) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        const int saved = errno;
        ::close(fd);
        if (moved < 0) {
            errno = saved;
            PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, output_path.ptr());
            host::raise_error();
        }
        fd = moved;
    }
    return fd;
}

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// Waits for the child without the GIL. Signals that arrive meanwhile are
// handed to the host's handlers, but the wait goes on until the child has
// ended, so no child is left behind; a handler's exception (such as
// KeyboardInterrupt) is raised afterwards.
void wait_for(pid_t pid) {
    bool interrupted = false;
    for (;;) {
        int status = 0;
        pid_t r;
        Py_BEGIN_ALLOW_THREADS r = ::waitpid(pid, &status, 0);
        Py_END_ALLOW_THREADS
        if (r == pid || (r < 0 && errno != EINTR)) break;
        if (!interrupted && PyErr_CheckSignals() < 0) interrupted = true;
    }
    if (interrupted) host::raise_error();
}

}  // namespace

void run_pattern_tool(const py::str& pattern_path, const py::str& output_path) {
    // A path that starts with "-" would be read by the tool as an option.
    const bool option_like =
        PyUnicode_GET_LENGTH(pattern_path.ptr()) > 0 && PyUnicode_READ_CHAR(pattern_path.ptr(), 0) == '-';
    py::bytes pattern = fs_encoded(option_like ? py::str(py::str("./") + pattern_path) : pattern_path);
    const int fd = open_output(output_path);

    char program[] = "patinfo";
    char option[] = "-tset";
    char* argv[] = {program, PyBytes_AS_STRING(pattern.ptr()), option, nullptr};

    FileActions actions;
    int rc = posix_spawn_file_actions_adddup2(actions.get(), fd, STDOUT_FILENO);
    if (rc != 0) {
        ::close(fd);
        errno = rc;
        PyErr_SetFromErrno(PyExc_OSError);
        host::raise_error();
    }
    pid_t pid = -1;
    rc = ::posix_spawnp(&pid, program, actions.get(), nullptr, argv, environ);
    ::close(fd);
    // A tool that cannot be started leaves the output file empty; the caller
    // reads it all the same.
    if (rc != 0) return;
    wait_for(pid);
}

}  // namespace tallowby::sheets
