#include "python/host_lock.h"

#include <mutex>
#include <vector>

namespace talvik::python {
namespace {

std::mutex& host_lock() {
    static std::mutex lock;
    return lock;
}

// Hosts of takes that went while host_lock() was taken: the garbage
// collector may free a take while a script runs under that lock, on the
// very thread that holds it, so a take never waits for it. Whoever releases
// the lock next destroys them. The list is never destroyed: a static's
// destructor would run after the interpreter it scripts is gone.
std::mutex& orphans_lock() {
    static std::mutex lock;
    return lock;
}
std::vector<std::unique_ptr<host::Host>>& orphan_hosts() {
    static auto* hosts = new std::vector<std::unique_ptr<host::Host>>;
    return *hosts;
}

bool orphans_waiting() {
    std::lock_guard<std::mutex> hold(orphans_lock());
    return !orphan_hosts().empty();
}

// Whether this thread holds host_lock(): a script's garbage may go on it.
thread_local bool holding_host_lock = false;

bool try_host_lock() {
    if (holding_host_lock || !host_lock().try_lock()) return false;
    holding_host_lock = true;
    return true;
}

// Releases host_lock(), destroying the orphans first; an orphan handed over
// meanwhile is destroyed here too, or by whoever took the lock in between.
void release_host_lock() {
    do {
        std::vector<std::unique_ptr<host::Host>> doomed;
        {
            std::lock_guard<std::mutex> hold(orphans_lock());
            doomed.swap(orphan_hosts());
        }
        doomed.clear();
        holding_host_lock = false;
        host_lock().unlock();
    } while (orphans_waiting() && try_host_lock());
}

}  // namespace

HostLock::HostLock() {
    host_lock().lock();
    holding_host_lock = true;
}

HostLock::~HostLock() { release_host_lock(); }

void let_go(std::unique_ptr<host::Host> host) {
    if (!host) return;
    {
        std::lock_guard<std::mutex> hold(orphans_lock());
        orphan_hosts().push_back(std::move(host));
    }
    if (try_host_lock()) release_host_lock();
}

}  // namespace talvik::python
