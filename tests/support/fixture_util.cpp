#include "tests/support/fixture_util.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace talvik::fbx::testing {

namespace {

std::vector<std::vector<std::string>> read_csv(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, ',')) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

}  // namespace

std::string fixture(const std::string& name) { return std::string(TALVIK_FBX_FIXTURES) + "/" + name; }
std::string sample(const std::string& name) { return std::string(TALVIK_SAMPLE_DIR) + "/" + name; }

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<KeyedFrame> read_keyed_frames(const std::string& csv_path) {
    std::vector<KeyedFrame> out;
    for (const auto& r : read_csv(csv_path)) {
        if (r.size() != 5) throw std::runtime_error("bad row in " + csv_path);
        KeyedFrame k;
        k.model = r[0];
        k.frame = std::stoi(r[1]);
        for (int a = 0; a < 3; ++a) k.xyz[a] = std::stod(r[2 + a]);
        out.push_back(k);
    }
    return out;
}

std::vector<KeyedValue> read_keyed_values(const std::string& csv_path) {
    std::vector<KeyedValue> out;
    for (const auto& r : read_csv(csv_path)) {
        if (r.size() != 4 || r[1].size() != 1) throw std::runtime_error("bad row in " + csv_path);
        KeyedValue k;
        k.model = r[0];
        k.axis = r[1][0] - 'X';
        k.time = std::stoll(r[2]);
        k.value = std::stod(r[3]);
        out.push_back(k);
    }
    return out;
}

}  // namespace talvik::fbx::testing
