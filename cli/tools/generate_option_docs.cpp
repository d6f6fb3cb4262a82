// talvik-option-docs: writes the documents made from talvik-stmap's option
// table. Run by the build for the man page and the completion; by hand for
// docs/reference.md:
//   talvik-option-docs --reference docs/reference.md
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "cli/options/option_docs.h"

namespace {

// Whole or not at all: a build stopped midway leaves the old file.
void write_file(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) throw std::runtime_error("cannot write " + temporary);
    }
    std::filesystem::rename(temporary, path);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 3 || argc % 2 == 0) throw std::invalid_argument("usage");
        for (int i = 1; i + 1 < argc; i += 2) {
            const std::string what = argv[i];
            const std::string text = what == "--reference"    ? talvik::cli::reference_markdown()
                                     : what == "--man"        ? talvik::cli::man_page()
                                     : what == "--completion" ? talvik::cli::bash_completion()
                                                              : throw std::invalid_argument("usage");
            write_file(argv[i + 1], text);
        }
        return 0;
    } catch (const std::invalid_argument&) {
        std::fputs("usage: talvik-option-docs [--reference FILE.md] [--man FILE.1] [--completion FILE]...\n", stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "talvik-option-docs: %s\n", e.what());
        return 1;
    }
}
