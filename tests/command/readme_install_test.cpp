// The README's install lines, run as an artist would run them: the menu
// entry is added once however often the install is rerun.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

// The README's lines that start with each prefix, in order.
std::string readme_lines(const std::vector<std::string>& prefixes) {
    std::ifstream readme(TALVIK_README);
    std::string line, out;
    size_t next = 0;
    while (next < prefixes.size() && std::getline(readme, line))
        if (line.rfind(prefixes[next], 0) == 0) {
            out += line + "\n";
            ++next;
        }
    return next == prefixes.size() ? out : "";
}

TEST(ReadmeInstall, MenuEntryIsAddedOnce) {
    const std::string lines = readme_lines({"line=\"nuke.menu(", "grep -qxF \"$line\" ~/.nuke/talvik/menu.py"});
    ASSERT_FALSE(lines.empty()) << "the README no longer has the menu.py lines";
    test::ScratchFolder home;
    std::filesystem::create_directories(home.file(".nuke/talvik"));
    test::write_bytes(home.file(".nuke/talvik/menu.py"), "import nuke\n");
    test::write_bytes(home.file("install.sh"), "set -e\nHOME='" + home.path() + "'\n" + lines);
    for (int run = 0; run < 3; ++run)
        ASSERT_EQ(std::system(("sh '" + home.file("install.sh") + "'").c_str()), 0);
    EXPECT_EQ(test::read_bytes(home.file(".nuke/talvik/menu.py")),
              "import nuke\n"
              "nuke.menu('Nodes').addCommand('Transform/TalvikDistort', lambda: nuke.createNode('TalvikDistort'))\n");
}

}  // namespace
}  // namespace talvik::test
