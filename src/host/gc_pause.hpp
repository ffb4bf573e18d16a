// Pauses the host's cyclic garbage collector for a scope that allocates many
// container objects that cannot form cycles (records in lists), so that the
// collector does not walk the growing heap again and again. The previous
// state is restored when the scope ends, also by an exception.
#pragma once

#include <Python.h>

namespace tallowby::host {

class GcPause {
public:
    GcPause() : was_enabled_(PyGC_Disable() != 0) {}
    ~GcPause() {
        if (was_enabled_) PyGC_Enable();
    }
    GcPause(const GcPause&) = delete;
    GcPause& operator=(const GcPause&) = delete;

private:
    bool was_enabled_;
};

}  // namespace tallowby::host
