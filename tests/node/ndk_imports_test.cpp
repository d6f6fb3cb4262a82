// The plug-in may import from libDDImage only what the real Nuke 15 library
// exports: the DD::Image symbols a build against the real NDK headers imports
// (real-ndk-imports.txt). A header here that puts out of line what the real
// one keeps inline shows up as an import not on that list; anything new the
// plug-in starts to use must be checked against a real NDK before it is added.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

namespace talvik::test {
namespace {

std::set<std::string> listed_symbols(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::set<std::string> out;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') out.insert(line);
    }
    return out;
}

// Undefined dynamic symbols of a library that name something in DD::Image.
std::set<std::string> imported_dd_image_symbols(const std::string& library) {
    const std::string command = "nm -D --undefined-only '" + library + "'";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    std::set<std::string> out;
    if (pipe == nullptr) return out;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::string symbol = line.substr(line.find_last_of(' ') + 1);
        if (symbol.find("2DD5Image") != std::string::npos) out.insert(symbol);
    }
    return out;
}

TEST(NdkImports, PluginNeedsOnlyWhatTheRealLibraryExports) {
    const std::set<std::string> allowed = listed_symbols(TALVIK_REAL_NDK_IMPORTS);
    ASSERT_GT(allowed.size(), 100u) << "the list was read";
    const std::set<std::string> imported =
        imported_dd_image_symbols(std::string(TALVIK_PLUGIN_DIR) + "/TalvikDistort.so");
    ASSERT_FALSE(imported.empty()) << "nm listed the plug-in's imports";
    for (const std::string& symbol : imported) {
#if defined(TALVIK_UBSAN_VPTR)
        // UBSan's vptr check reads type information the shipped build does
        // not; the real library exports it for every exported class.
        if (symbol.rfind("_ZTI", 0) == 0) continue;
#endif
        EXPECT_EQ(allowed.count(symbol), 1u)
            << symbol << " is imported but a build against the real NDK does not need it";
    }
    // The plug-in's own registration and class come from the real library.
    EXPECT_EQ(imported.count("_ZN2DD5Image2Op11Description3addEPNS0_11DescriptionE"), 1u);
    EXPECT_EQ(imported.count("_ZTVN2DD5Image8PixelIopE"), 1u);
}

}  // namespace
}  // namespace talvik::test
