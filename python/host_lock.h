// One host at a time in this process: the reload's script runs in the
// process's one interpreter with a current node of its own, and plug-in
// registration is process-wide. Takes and shot calls share the lock.
#pragma once

#include <memory>

#include "host/runtime/host.h"

namespace talvik::python {

// Held with the GIL released, so a script can take the GIL.
struct HostLock {
    HostLock();
    ~HostLock();
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;
};

// Destroys `host` now if no script runs, else hands it to the lock's holder.
void let_go(std::unique_ptr<host::Host> host);

}  // namespace talvik::python
