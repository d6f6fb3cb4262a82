// Writes a file under a temporary name in the same folder and renames it into
// place only when complete, so a reader never sees half a file and a failed
// write leaves nothing behind. Only a regular file is ever replaced; a
// symlink's target is replaced, not the link.
#pragma once

#include <string>

#include "io/file_seal.h"

namespace talvik::io {

class ReplaceFile {
public:
    // Creates the temporary, empty and locked (see temporary_name.h).
    // Throws std::runtime_error when the path (or its symlink's target)
    // exists and is not a regular file, or the temporary cannot be created.
    explicit ReplaceFile(const std::string& final_path);
    ~ReplaceFile();  // removes the temporary unless committed
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // The file replaced: the path given, or its symlink's target.
    const std::string& final_path() const { return final_path_; }
    // Beside the final file, named as temporary_name.h says: unique per
    // process and per write, so parallel frames never share one. Writers
    // open it again to write; the lock stays with this object.
    const std::string& temp_path() const { return temp_path_; }

    // Throws std::runtime_error saying the temporary could not be created,
    // naming the final file, its folder and the errno reason.
    [[noreturn]] void fail_to_create(int error) const;

    // Flushes the temporary to the disk, renames it onto the final path,
    // then flushes the folder; throws std::runtime_error naming the file
    // and the reason (and removes the temporary) on failure.
    void commit();
    // The same, the temporary's size and hash taken first: the record of
    // exactly the bytes that are renamed into place.
    FileSeal commit_sealed();

private:
    std::string given_path_;
    std::string final_path_;
    std::string temp_path_;
    int lock_fd_ = -1;  // holds the temporary's lock until it is renamed or removed
    bool committed_ = false;
};

}  // namespace talvik::io
