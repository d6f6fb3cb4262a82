// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

namespace talvik::test {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of everything in the folder, hidden files included, sorted.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

void write_bytes(const std::string& path, const std::string& bytes);
std::string read_bytes(const std::string& path);

}  // namespace talvik::test
