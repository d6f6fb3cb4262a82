// Names of the temporary files outputs are written under, and the cleanup of
// those left behind by a process that was killed (SIGKILL cannot be caught).
//
// A temporary of "m.1004.exr" is ".m.1004.exr.talvik-tmp-<host>-<pid>-<n>":
// hidden, beside the final file (so the rename stays on one file system),
// naming the machine (8 hex digits) and the process that writes it. When
// that would be longer than the folder allows, the copy of the final name is
// shortened, so a temporary fits wherever its final name fits.
//
// The name only keeps writers apart. Whether a temporary is still being
// written is told by a lock, not by its process id, which means nothing in
// another PID namespace or on another machine: the writer holds an exclusive
// flock on its temporary from creation to rename, and a temporary is removed
// only by whoever can take that lock.
#pragma once

#include <string>
#include <sys/types.h>

namespace talvik::io {

struct TemporaryName {
    std::string final_name;  // as embedded: possibly shortened
    std::string host;        // 8 hex digits
    pid_t pid = 0;
};

// The temporary's path for `final_path`, with this process's id and the
// serial number `serial`. `name_max` and `path_max` are the folder's limits
// (from pathconf when 0).
std::string temporary_path_for(const std::string& final_path, unsigned serial, long name_max = 0,
                               long path_max = 0);

// Whether `file_name` (no folder) is a temporary's name; fills `out`.
bool parse_temporary_name(const std::string& file_name, TemporaryName& out);

// This machine's 8 hex digits.
const std::string& this_host_tag();

// Creates the temporary at `temp_path` (which must not exist) already
// holding its lock, and returns the descriptor that holds it (close it after
// the rename or the removal); -1 with errno set when it cannot be created.
int create_locked_temporary(const std::string& temp_path);

// Removes, in `folder`, every temporary of ours, of any output, that no
// process holds locked: abandoned by a writer that was killed. Returns how
// many were removed; failures are ignored (another render may be removing
// the same file).
int remove_stale_temporaries(const std::string& folder);

}  // namespace talvik::io
