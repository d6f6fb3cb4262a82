// The README's Nuke install, run as written: the component install of the
// plug-in adds the Nodes-menu entry to menu.py once, however often it is
// rerun, and keeps what the file held.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

const char* const kEntry =
    "nuke.menu('Nodes').addCommand('Transform/TalvikDistort', lambda: nuke.createNode('TalvikDistort'))\n";

// The README's first line that starts with prefix, "" when there is none.
std::string readme_line(const std::string& prefix) {
    std::ifstream readme(TALVIK_README);
    std::string line;
    while (std::getline(readme, line))
        if (line.rfind(prefix, 0) == 0) return line;
    return "";
}

// What `cmake --install <build> --component nuke --prefix <folder>` runs
// after copying the plug-in.
void install_menu(const std::string& prefix) {
    const std::string command = std::string("'") + TALVIK_CMAKE + "' -DCMAKE_INSTALL_PREFIX='" + prefix + "' -P '" +
                                TALVIK_NUKE_MENU_SCRIPT + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(ReadmeInstall, NukeSectionInstallsTheComponent) {
    const std::string line = readme_line("cmake --install build-nuke");
    ASSERT_FALSE(line.empty()) << "the README no longer shows the plug-in's install";
    EXPECT_NE(line.find("--component nuke"), std::string::npos) << line;
    EXPECT_NE(line.find("--prefix "), std::string::npos) << line;
}

TEST(ReadmeInstall, MenuEntryIsAddedOnce) {
    test::ScratchFolder home;
    const std::string prefix = home.file(".nuke/talvik/15.2");
    for (int run = 0; run < 3; ++run) install_menu(prefix);
    EXPECT_EQ(test::read_bytes(prefix + "/menu.py"), std::string("import nuke\n") + kEntry);
}

TEST(ReadmeInstall, MenuKeepsWhatTheFileHeld) {
    test::ScratchFolder home;
    // A studio's own menu.py, its last line without a newline.
    test::write_bytes(home.file("menu.py"), "import nuke\nnuke.menu('Nodes').addMenu('Studio')");
    for (int run = 0; run < 2; ++run) install_menu(home.path());
    EXPECT_EQ(test::read_bytes(home.file("menu.py")),
              std::string("import nuke\nnuke.menu('Nodes').addMenu('Studio')\n") + kEntry);
}

}  // namespace
}  // namespace talvik::test
