// Bakes the same 4320 x 2160 lens maps through each EXR writer in one run
// and prints milliseconds, frames and megabytes per second, with time
// ratios to the uncompressed bake and to OpenEXR's own ZIP writer, beside
// the floor: one plain write() of as many bytes as each file holds. The
// "rendered in bands" rows make the map band by band as the command does,
// rendering beside compression. A plain timed tool:
//
//   exr_bake_bench [--frames N] [--threads N] [--folder DIR]
//
// The maps are rendered before any timing; each frame's file is removed
// after it is timed. Then every deflate library this build has, and zlib,
// compresses one frame's chunks on one thread, for the choice of library
// and level.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "exr/st_map_exr_writer.h"
#include "exr/zip_chunk.h"
#include "deflate/stream_deflater.h"
#include "bench/timed_tool.h"
#include "lens/st_map_row.h"

namespace talvik::bench {
namespace {

constexpr int kWidth = 4320;
constexpr int kHeight = 2160;
using Clock = std::chrono::steady_clock;

using Map = RenderedMap;

// Undistort maps of a barrel lens whose k1 drifts a little per frame, as a
// zoom or breathing take does: every frame differs.
LensModel lens_at(int frame) {
    LensModel lens;
    lens.cx = 10.0f;
    lens.cy = -5.0f;
    lens.fx = 1500.0f;
    lens.fy = 1500.0f;
    lens.k1 = -0.05f + 0.0005f * static_cast<float>(frame);
    lens.k2 = 0.01f;
    lens.mode = 1;
    lens.normalize();
    return lens;
}

// The lens of render_map, made band by band on the writer's threads: what
// the command's bake does with the host's rows.
class RenderedBands : public io::StMapBands {
public:
    RenderedBands(int frame, int threads) : lens_(lens_at(frame)), threads_(threads) {}
    io::StMapView geometry() const override { return {kWidth, kHeight, nullptr, nullptr}; }
    int threads() const override { return threads_; }
    void reserve(int rows) override {
        s_.assign(static_cast<size_t>(threads_), std::vector<float>(static_cast<size_t>(kWidth) * rows));
        t_ = s_;
    }
    void run(int tasks, const std::function<void(int, int)>& work) override {
        io::WholeStMap(geometry(), threads_).run(tasks, work);
    }
    io::StMapView band(int worker, int first_row, int rows) override {
        const FrameSize size = frame_size_from(kWidth, kHeight);
        float* s = s_[static_cast<size_t>(worker)].data();
        float* t = t_[static_cast<size_t>(worker)].data();
        for (int y = 0; y < rows; ++y)
            st_map_row(lens_, size, first_row + y, 0, kWidth, s + static_cast<size_t>(y) * kWidth,
                       t + static_cast<size_t>(y) * kWidth);
        return {kWidth, rows, s, t, 0, first_row, kWidth, kHeight};
    }

private:
    LensModel lens_;
    int threads_;
    std::vector<std::vector<float>> s_, t_;
};

// One write() of `bytes` bytes into a new file, closed: the floor of any
// writer of a file that size.
void write_floor(const std::string& path, const std::vector<char>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) throw std::runtime_error("cannot write " + path);
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

struct Result {
    std::string name;
    double ms = 0, mb = 0;  // per frame
};

using WriteFn = std::function<void(const std::string& path, const Map& map, int frame)>;

Result bake(const std::string& name, const std::string& folder, const std::vector<Map>& maps, int frames,
            const WriteFn& write) {
    Result result{name};
    for (int frame = 0; frame < frames; ++frame) {
        const std::string path = folder + "/bake." + std::to_string(frame) + ".exr";
        const Clock::time_point start = Clock::now();
        write(path, maps[static_cast<size_t>(frame) % maps.size()], frame);
        result.ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        result.mb += static_cast<double>(std::filesystem::file_size(path)) / 1e6;
        std::filesystem::remove(path);
    }
    result.ms /= frames;
    result.mb /= frames;
    return result;
}

// One frame's chunks on one thread through each library at each level:
// deflate alone, to choose the library and level.
// Seconds and megabytes of one frame's chunks through `deflate`, which
// returns a chunk's deflated size (0: stored raw).
template <typename Deflate>
void time_deflate(const io::StMapView& view, const char* name, int level, bool starred, Deflate deflate) {
    std::vector<uint8_t> predicted(exr::chunk_bytes(view, exr::kZipChunkLines));
    double ms = 0, mb = 0;
    for (int first = 0; first < kHeight; first += exr::kZipChunkLines) {
        const int lines = std::min(exr::kZipChunkLines, kHeight - first);
        const size_t raw = exr::chunk_bytes(view, lines);
        exr::predicted_zip_chunk(view, first, lines, predicted.data());
        const Clock::time_point start = Clock::now();
        const size_t size = deflate(predicted.data(), raw);
        ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        mb += static_cast<double>(size ? size : raw) / 1e6;
    }
    std::printf("  %-12s level %d%s %8.1f ms %8.1f MB\n", name, level, starred ? "*" : " ", ms, mb);
}

void deflate_only(const Map& map) {
    const io::StMapView view = map.view();
    std::vector<uint8_t> stream(exr::chunk_bytes(view, exr::kZipChunkLines));
    std::printf("\ndeflate alone, one thread, one frame of 16-line ZIP chunks (* the writer's choice):\n");
    // What the writer does: codes fitted to the frame's top chunk (ISA-L
    // level 0 with them; libdeflate ignores them and keeps its level).
    deflate::FittedCodes codes;
    {
        std::vector<uint8_t> top(exr::chunk_bytes(view, exr::kZipChunkLines));
        exr::predicted_zip_chunk(view, 0, exr::kZipChunkLines, top.data());
        codes.fit(top.data(), top.size());
    }
    for (deflate::Library library : deflate::stream_libraries()) {
        const bool fits = library == deflate::Library::Isal;
        if (fits) {
            deflate::StreamDeflater deflater(library);
            time_deflate(view, "ISA-L fitted", 0, true, [&](const uint8_t* in, size_t size) {
                return deflater.compress(in, size, stream.data(), size - 1, &codes);
            });
        }
        for (int level = 1; level <= std::min(deflate::max_level(library), 6); ++level) {
            deflate::StreamDeflater deflater(library, level);
            time_deflate(view, deflate::library_name(library), level,
                         !fits && level == deflate::default_stream_level(library), [&](const uint8_t* in, size_t size) {
                             return deflater.compress(in, size, stream.data(), size - 1);
                         });
        }
    }
    // OpenEXR 3.1's ZIP compressor: zlib's compress2 at level 4.
    time_deflate(view, "zlib", 4, false, [&](const uint8_t* in, size_t size) -> size_t {
        uLongf length = static_cast<uLongf>(size - 1);
        return compress2(stream.data(), &length, in, static_cast<uLong>(size), 4) == Z_OK ? length : 0;
    });
}

int run(int argc, char** argv) {
    int frames = 12;
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 < argc && arg == "--frames") {
            frames = std::atoi(argv[++i]);
        } else if (i + 1 < argc && arg == "--threads") {
            threads = std::atoi(argv[++i]);
        } else if (i + 1 < argc && arg == "--folder") {
            folder = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--threads N] [--folder DIR]\n", argv[0]);
            return 2;
        }
    }
    if (frames < 1 || threads < 1) throw std::invalid_argument("--frames and --threads must be at least 1");
    folder = files_folder(folder, "exr_bake_bench");
    exr::set_exr_thread_count(threads);

    std::vector<Map> maps;
    for (int frame = 0; frame < std::min(frames, 4); ++frame) maps.push_back(render_map(lens_at(frame), kWidth, kHeight));
    std::printf("%d frames of %dx%d, %d threads, files in %s\n\n", frames, kWidth, kHeight, threads,
                folder.c_str());

    // As the command bakes: one writer for the whole sequence.
    auto sequence = [](exr::StMapCompression compression) -> WriteFn {
        auto writer = std::make_shared<exr::StMapExrWriter>();
        return [=](const std::string& path, const Map& map, int) {
            exr::StMapExrOptions options;
            options.compression = compression;
            writer->write(path, map.view(), options);
        };
    };
    const WriteFn openexr_zip = [](const std::string& path, const Map& map, int) {
        exr::StMapExrOptions options;
        options.compression = exr::StMapCompression::Zip;
        exr::write_st_map_exr_with_openexr(path, map.view(), options);
    };
    // A writer that has compressed the first map once, untimed, then is
    // told each frame that the map is unchanged.
    exr::StMapExrWriter reusing;
    reusing.write(folder + "/first.exr", maps[0].view(), {});
    std::filesystem::remove(folder + "/first.exr");
    const WriteFn unchanged = [&](const std::string& path, const Map& map, int) {
        reusing.write(path, map.view(), {}, true);
    };
    const std::vector<Map> one_map(maps.begin(), maps.begin() + 1);

    const WriteFn openexr_none = [](const std::string& path, const Map& map, int) {
        exr::StMapExrOptions options;
        options.compression = exr::StMapCompression::None;
        exr::write_st_map_exr_with_openexr(path, map.view(), options);
    };
    auto rendered = [&](exr::StMapCompression compression) -> WriteFn {
        auto writer = std::make_shared<exr::StMapExrWriter>();
        return [=](const std::string& path, const Map&, int frame) {
            exr::StMapExrOptions options;
            options.compression = compression;
            RenderedBands bands(frame, threads);
            writer->write(path, bands, options);
        };
    };
    auto floor_of = [&](const Result& file) -> WriteFn {
        auto bytes = std::make_shared<std::vector<char>>(static_cast<size_t>(file.mb * 1e6), 'x');
        return [=](const std::string& path, const Map&, int) { write_floor(path, *bytes); };
    };

    // Untimed: the first files of a run meet a cold page cache and the last
    // run's writeback.
    bake("warm-up", folder, maps, frames, sequence(exr::StMapCompression::None));
    std::vector<Result> results;
    results.push_back(bake("none, own chunks", folder, maps, frames, sequence(exr::StMapCompression::None)));
    results.push_back(bake("none, OpenEXR's writer", folder, maps, frames, openexr_none));
    results.push_back(bake("none, rendered in bands", folder, maps, frames, rendered(exr::StMapCompression::None)));
    results.push_back(bake("  floor: write() of as many", folder, maps, frames, floor_of(results[0])));
    results.push_back(bake("zip, OpenEXR's writer", folder, maps, frames, openexr_zip));
    results.push_back(bake("zip, own chunks", folder, maps, frames, sequence(exr::StMapCompression::Zip)));
    results.push_back(bake("zip, rendered in bands", folder, maps, frames, rendered(exr::StMapCompression::Zip)));
    results.push_back(bake("  floor: write() of as many", folder, maps, frames, floor_of(results.back())));
    results.push_back(bake("zip, unchanged map", folder, one_map, frames, unchanged));
    results.push_back(bake("zips, own chunks", folder, maps, frames, sequence(exr::StMapCompression::Zips)));
    results.push_back(bake("piz (OpenEXR)", folder, maps, frames, sequence(exr::StMapCompression::Piz)));
    std::filesystem::remove(folder);

    const double none_ms = results[0].ms, openexr_zip_ms = results[4].ms;
    std::printf("%-28s %9s %8s %9s %9s %8s %14s\n", "writer", "ms/frame", "fps", "MB/frame", "MB/s", "x none",
                "x OpenEXR zip");
    for (const Result& r : results)
        std::printf("%-28s %9.1f %8.2f %9.1f %9.0f %8.2f %14.2f\n", r.name.c_str(), r.ms, 1000.0 / r.ms, r.mb,
                    r.mb * 1000.0 / r.ms, r.ms / none_ms, r.ms / openexr_zip_ms);
    std::printf("\nnone, own chunks: %.2f x its floor; zip rendered in bands: %.2f x its floor\n",
                results[0].ms / results[3].ms, results[6].ms / results[7].ms);
    deflate_only(maps[0]);
    return 0;
}

}  // namespace
}  // namespace talvik::bench

int main(int argc, char** argv) { return talvik::bench::run_timed_tool("exr_bake_bench", talvik::bench::run, argc, argv); }
