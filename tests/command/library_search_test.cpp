// The command loads no library from the folder it is run from: its search
// path holds its own tree only, never an empty entry (the current folder).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "run_command.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

// Names of libraries the command needs. (A decoy for a library whose
// symbols are bound at load, such as libz.so.1, would stop the loader before
// any constructor runs, and prove nothing.)
const char* const kNeeded[] = {"libdeflate.so.0", "libisal.so.2", "libpng16.so.16", "libDDImage.so"};

// Runs in `folder` until the end of the scope.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

CommandResult version_and_render() {
    const CommandResult version = run_stmap({"--version"});
    if (version.status != 0) return version;
    return run_stmap({"render", "--size", "16x9", "--set", "k1=0.02", "-o", "m.exr", "--quiet"});
}

TEST(LibrarySearch, LibrariesInTheWorkingFolderAreNeverLoaded) {
    ScratchFolder dir;
    for (const char* name : kNeeded) std::filesystem::copy_file(TALVIK_WORKING_FOLDER_DECOY, dir.file(name));
    InFolder in(dir.path());

    // The decoys are a real threat: reached through the search path, they
    // are loaded and leave their mark or, where the command binds every
    // symbol at start (-z now), stop it before any constructor runs.
    ASSERT_EQ(setenv("LD_LIBRARY_PATH", ".", 1), 0);
    const CommandResult reached = version_and_render();
    unsetenv("LD_LIBRARY_PATH");
    ASSERT_TRUE(std::filesystem::exists(dir.file("decoy-loaded")) ||
                (reached.status != 0 && reached.err.find("undefined symbol") != std::string::npos))
        << "the decoy proves nothing: " << reached.err;
    std::filesystem::remove(dir.file("decoy-loaded"));

    const CommandResult r = version_and_render();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("m.exr")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("decoy-loaded")))
        << "a library in the working folder was loaded";
}

}  // namespace
}  // namespace talvik::test
