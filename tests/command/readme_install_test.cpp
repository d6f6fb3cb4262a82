// The README's Nuke install, run as written: the component install of the
// plug-in adds the Nodes-menu entry to menu.py once, however often it is
// rerun, and keeps what the file held; the uninstall takes out that entry
// and the plug-in, and nothing else.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

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

// What the README's uninstall line runs.
int uninstall(const std::string& prefix) {
    const std::string command = std::string("'") + TALVIK_CMAKE + "' -DCMAKE_INSTALL_PREFIX='" + prefix + "' -P '" +
                                TALVIK_NUKE_UNINSTALL_SCRIPT + "' >/dev/null 2>&1";
    return std::system(command.c_str());
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

TEST(ReadmeInstall, UninstallLineAsWrittenUndoesTheInstall) {
    const std::string line = readme_line(R"(cmake -DCMAKE_INSTALL_PREFIX="$HOME/.nuke/talvik/15.2" -P cmake/uninstall_nuke.cmake)");
    ASSERT_FALSE(line.empty()) << "the README no longer shows how to uninstall the plug-in";
    test::ScratchFolder home;
    const std::string prefix = home.file(".nuke/talvik/15.2");
    install_menu(prefix);
    test::write_bytes(prefix + "/TalvikDistort.so", "plug-in");
    // From the source folder, with this scratch folder as $HOME.
    const std::string command =
        "cd '" TALVIK_SOURCE_DIR "' && export HOME='" + home.path() + "' && " + line + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(test::read_bytes(prefix + "/menu.py"), "import nuke\n");
    EXPECT_FALSE(std::filesystem::exists(prefix + "/TalvikDistort.so"));
}

TEST(ReadmeInstall, UninstallTakesOutOnlyTheEntry) {
    test::ScratchFolder home;
    // Lines a list-minded script would split or join (';', '['), the entry
    // commented out, indented, or with more after it: all the studio's own.
    const std::string before = "import nuke\nx = [1; 2\n";
    const std::string after = std::string("# ") + kEntry + "    " + kEntry +
                              "nuke.menu('Nodes').addCommand('Transform/TalvikDistort', lambda: nuke.createNode('TalvikDistort'))  # ours\n"
                              "]\nlast = 1";
    test::write_bytes(home.file("menu.py"), before + kEntry + after);
    ASSERT_EQ(chmod(home.file("menu.py").c_str(), 0640), 0);
    ASSERT_EQ(uninstall(home.path()), 0);
    EXPECT_EQ(test::read_bytes(home.file("menu.py")), before + after);
    struct stat st {};
    ASSERT_EQ(stat(home.file("menu.py").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Nothing left of ours: a second run changes nothing and succeeds.
    ASSERT_EQ(uninstall(home.path()), 0);
    EXPECT_EQ(test::read_bytes(home.file("menu.py")), before + after);
    EXPECT_EQ(home.entries(), std::vector<std::string>{"menu.py"});
}

TEST(ReadmeInstall, UninstallKeepsALinkedMenu) {
    // A studio's shared menu.py, linked into the folder: the link stays.
    test::ScratchFolder home;
    test::write_bytes(home.file("shared.py"), "import nuke\n");
    std::filesystem::create_directory(home.file("nuke"));
    std::filesystem::create_symlink("../shared.py", home.file("nuke/menu.py"));
    install_menu(home.file("nuke"));
    ASSERT_EQ(uninstall(home.file("nuke")), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(home.file("nuke/menu.py")));
    EXPECT_EQ(test::read_bytes(home.file("shared.py")), "import nuke\n");
    EXPECT_EQ(home.entries(), (std::vector<std::string>{"nuke", "shared.py"}));
}

TEST(ReadmeInstall, UninstallFromAMissingFolderFails) {
    test::ScratchFolder home;
    EXPECT_NE(uninstall(home.file("not-there")), 0);
    EXPECT_FALSE(std::filesystem::exists(home.file("not-there")));
}

}  // namespace
}  // namespace talvik::test
