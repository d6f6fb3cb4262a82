// Paths of the FBX fixtures and readers for the CSVs their generators write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talvik::fbx::testing {

std::string fixture(const std::string& name);  // tests/fixtures/fbx/<name>
std::string sample(const std::string& name);   // sample/<name>

std::vector<uint8_t> read_bytes(const std::string& path);

// A row of make_blender_fixtures.py's CSV: a model's location at a frame.
struct KeyedFrame {
    std::string model;
    int frame = 0;
    double xyz[3] = {0, 0, 0};
};
std::vector<KeyedFrame> read_keyed_frames(const std::string& csv_path);

// A row of make_crafted_fixtures.py's CSV: one key of one channel.
struct KeyedValue {
    std::string model;
    int axis = 0;  // 0 X, 1 Y, 2 Z
    int64_t time = 0;
    double value = 0;
};
std::vector<KeyedValue> read_keyed_values(const std::string& csv_path);

}  // namespace talvik::fbx::testing
