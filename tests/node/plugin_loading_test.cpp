// What the host says when the file a node class is looked up in is not a
// plug-in it can use.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "host/runtime/host.h"

namespace talvik::test {
namespace {

namespace fs = std::filesystem;

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "talvik_plugins_XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The message of creating `class_name` with `folder` as the plug-in path.
std::string create_error(const std::string& folder, const std::string& class_name) {
    host::Host host{{folder}};
    try {
        host.create_node(class_name);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "created";
}

// Opening a FIFO blocks until someone writes to it, so each case runs in a
// child with an alarm: a loader that opens the file fails the case instead
// of hanging the suite.
TEST(PluginLoadingDeathTest, PluginThatIsNotARegularFileIsRefusedUnopened) {
    struct Case {
        const char* kind;
        std::function<void(const std::string&)> make;
    };
    const Case cases[] = {
        {"a FIFO", [](const std::string& f) { ASSERT_EQ(mkfifo(f.c_str(), 0600), 0) << f; }},
        {"a folder", [](const std::string& f) { ASSERT_TRUE(fs::create_directory(f)) << f; }},
    };
    for (const Case& c : cases) {
        ScratchFolder dir;
        // A class name of its own: TalvikDistort may already be registered
        // in this process, and then the path is never searched.
        const std::string fake = dir.path() + "/FakePlugin.so";
        c.make(fake);
        EXPECT_EXIT(
            {
                alarm(5);
                std::fprintf(stderr, "%s\n", create_error(dir.path(), "FakePlugin").c_str());
                std::fflush(stderr);
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(0),
            "cannot load plug-in " + fake + ": it is " + c.kind + ", not a regular file")
            << c.kind;
    }
}

TEST(PluginLoading, LibraryThatRegistersNoClassIsNamed) {
    const std::string folder = TALVIK_EMPTY_PLUGIN_DIR;
    const std::string file = folder + "/EmptyPlugin.so";
    const std::string expected = "unknown node class EmptyPlugin (plug-in path: " + folder +
                                 "): loaded " + file + ", which registers no such class";
    host::Host host{{folder}};
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            host.create_node("EmptyPlugin");
            FAIL() << "a node from a library that registers none";
        } catch (const std::runtime_error& e) {
            // The second time the library is already loaded and still named.
            EXPECT_EQ(e.what(), expected) << "attempt " << attempt;
        }
    }
    // No file at all: only the path is named.
    ScratchFolder empty;
    EXPECT_EQ(create_error(empty.path(), "EmptyPlugin"),
              "unknown node class EmptyPlugin (plug-in path: " + empty.path() + ")");
}

}  // namespace
}  // namespace talvik::test
