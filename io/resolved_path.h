// Where a path lands, whether it exists yet or not: its deepest existing
// folder with every symlink on the way followed (a link to a folder that
// does not exist yet included), and the names below it still to be made.
// Two paths land on one file exactly when both parts are the same, which
// also holds through bind mounts and hard-linked names.
#pragma once

#include <sys/types.h>

#include <string>

namespace talvik::io {

struct ResolvedPath {
    std::string existing;  // absolute, symlinks followed: the deepest part that exists
    dev_t device = 0;      // its identity (0, 0 when it cannot be read)
    ino_t inode = 0;
    std::string rest;      // the names below it that do not exist yet, "a/b.exr"; "" when it all exists
    // The path passes through a process's file descriptors (/dev/stdout,
    // /dev/fd/1, /proc/self/fd/1): it names an open descriptor, not a file.
    bool descriptor = false;

    // The same file for any two paths that land on it: identity and rest.
    std::string key() const;
};

// Resolves `path` (relative to the working folder) component by component,
// as the system would on open, but going on through names that do not
// exist: a symlink whose target is missing leads into that target's names.
// A symlink loop (over 40 links) stops where it is, like a missing name.
ResolvedPath resolve_path(const std::string& path);

}  // namespace talvik::io
