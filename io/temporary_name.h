// Names of the temporary files outputs are written under, and the cleanup of
// those left behind by a process that was killed (SIGKILL cannot be caught).
//
// A temporary of "m.1004.exr" is ".m.1004.exr.talvik-tmp-<host>-<pid>-<n>":
// hidden, beside the final file (so the rename stays on one file system),
// naming the machine (8 hex digits) and the process that writes it. When
// that would be longer than the folder allows, the copy of the final name is
// shortened, so a temporary fits wherever its final name fits.
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

// Removes, in `folder`, the temporaries this machine's processes left behind
// whose process is gone and whose final name may start with `name_prefix`
// (the part of an output pattern's file name before its frame field).
// Returns how many were removed; failures are ignored (another render may
// be removing the same file).
int remove_stale_temporaries(const std::string& folder, const std::string& name_prefix);

}  // namespace talvik::io
