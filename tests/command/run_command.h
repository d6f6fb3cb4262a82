// Runs the built talvik-stmap with arguments and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace talvik::test {

struct CommandResult {
    int status = -1;  // exit status
    std::string out;
    std::string err;
};

CommandResult run_stmap(const std::vector<std::string>& args);

// A fresh empty folder for one test, removed at exit of the test object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Names of the files in the folder and its subfolders, sorted.
    std::vector<std::string> files() const;

private:
    std::string path_;
};

}  // namespace talvik::test
