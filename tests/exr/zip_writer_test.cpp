// ZIP and ZIPS files from our own chunk writer, checked against OpenEXR:
// its reader, its file check, and the chunks its own ZIP writer makes.
#include <gtest/gtest.h>

#include <ImfCheckFile.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>
#include <tuple>

#include "exr/st_map_exr_writer.h"
#include "exr/chunk_st_map_writer.h"
#include "exr/zip_chunk.h"
#include "deflate/stream_deflater.h"
#include "exr_chunks.h"
#include "tests/support/scratch_folder.h"

namespace talvik::exr::test {
namespace {

using talvik::test::ScratchFolder;

struct Size { int width, height; };

// Restores single-threaded compression after a test that changed it.
struct Threads {
    explicit Threads(int n) { set_exr_thread_count(n); }
    ~Threads() { set_exr_thread_count(0); }
};

StMapExrOptions with(StMapCompression compression) {
    StMapExrOptions options;
    options.compression = compression;
    return options;
}

// Odd widths, heights short of and beyond whole 16-line chunks, single
// lines and single columns, on the calling thread and on three more.
TEST(ZipWriter, ReadsBackBitExactAndPassesOpenExrCheck) {
    const Size sizes[] = {{1, 1}, {7, 1}, {1, 40}, {33, 17}, {5, 16}, {101, 33}, {64, 47}};
    for (int threads : {0, 3}) {
        Threads pool(threads);
        for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::Zips}) {
            for (const Size& size : sizes) {
                SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " " +
                             st_map_compression_name(compression) + " threads " + std::to_string(threads));
                ScratchFolder folder;
                const Planes map = smooth_planes(size.width, size.height);
                const std::string path = folder.file("st.exr");
                write_st_map_exr(path, map.view(), with(compression));

                EXPECT_FALSE(Imf::checkOpenEXRFile(path.c_str(), true, true));
                const ReadBack file = read_with_openexr(path);
                EXPECT_EQ(file.header.compression(),
                          compression == StMapCompression::Zip ? Imf::ZIP_COMPRESSION : Imf::ZIPS_COMPRESSION);
                EXPECT_EQ(first_difference(file, map), "");
                const size_t lines_per_chunk = compression == StMapCompression::Zip ? 16 : 1;
                EXPECT_EQ(read_chunks(path).size(), (size.height + lines_per_chunk - 1) / lines_per_chunk);
                EXPECT_EQ(folder.entries(), std::vector<std::string>{"st.exr"});
            }
        }
    }
}

// The same chunks as OpenEXR's own ZIP writer, line for line: the zlib
// streams differ (another deflater) but inflate to the same bytes. Smooth
// lines deflate, noise lines are stored; both are compared.
TEST(ZipWriter, ChunksInflateToWhatOpenExrDeflates) {
    Threads pool(2);
    Planes map = smooth_planes(203, 70);
    const Planes noise = noise_planes(203, 70, 7);
    // Host rows 0-19 (the file's last chunks) are noise.
    std::copy(noise.s.begin(), noise.s.begin() + 203 * 20, map.s.begin());
    std::copy(noise.t.begin(), noise.t.begin() + 203 * 20, map.t.begin());
    for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::Zips}) {
        SCOPED_TRACE(st_map_compression_name(compression));
        ScratchFolder folder;
        write_st_map_exr(folder.file("ours.exr"), map.view(), with(compression));
        write_st_map_exr_with_openexr(folder.file("openexr.exr"), map.view(), with(compression));
        const std::vector<FileChunk> ours = read_chunks(folder.file("ours.exr"));
        const std::vector<FileChunk> reference = read_chunks(folder.file("openexr.exr"));
        ASSERT_EQ(ours.size(), reference.size());
        int deflated = 0, stored = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            SCOPED_TRACE("chunk at line " + std::to_string(ours[i].y));
            EXPECT_EQ(ours[i].y, reference[i].y);
            ASSERT_EQ(ours[i].unpacked_size, reference[i].unpacked_size);
            EXPECT_LE(ours[i].packed.size(), ours[i].unpacked_size);
            (ours[i].packed.size() < ours[i].unpacked_size ? deflated : stored)++;
            EXPECT_TRUE(deflated_bytes(ours[i]) == deflated_bytes(reference[i]));
        }
        EXPECT_GT(deflated, 0);
        EXPECT_GT(stored, 0);
        EXPECT_EQ(first_difference(read_with_openexr(folder.file("ours.exr")), map), "");
    }
}

TEST(ZipWriter, IncompressibleLinesAreStoredRaw) {
    ScratchFolder folder;
    const Planes map = noise_planes(96, 35, 11);
    write_st_map_exr(folder.file("noise.exr"), map.view(), with(StMapCompression::Zip));
    for (const FileChunk& chunk : read_chunks(folder.file("noise.exr")))
        EXPECT_EQ(chunk.packed.size(), chunk.unpacked_size) << "chunk at line " << chunk.y;
    EXPECT_FALSE(Imf::checkOpenEXRFile(folder.file("noise.exr").c_str(), true, true));
    EXPECT_EQ(first_difference(read_with_openexr(folder.file("noise.exr")), map), "");
}

// One chunk of `lines` lines whose first `noisy` bytes, in the order a chunk
// stores them (each line's G values, then its R values, little-endian), are
// random and the rest zero: deflate shrinks it the less the more is noise.
Planes partly_noise(int width, int lines, size_t noisy, uint32_t seed) {
    Planes map(width, lines);
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * lines * 8);
    for (size_t i = 0; i < noisy; ++i) {
        bytes[i] = static_cast<uint8_t>(random());
        // No exponent of all ones in a float's top byte: finite values.
        if (i % 4 == 3 && (bytes[i] & 0x7f) == 0x7f) bytes[i] &= 0xbf;
    }
    const size_t plane_line = static_cast<size_t>(width) * 4;
    for (int line = 0; line < lines; ++line) {
        const uint8_t* stored = bytes.data() + 2 * plane_line * static_cast<size_t>(line);
        const size_t row = static_cast<size_t>(lines - 1 - line) * static_cast<size_t>(width);
        std::memcpy(map.t.data() + row, stored, plane_line);
        std::memcpy(map.s.data() + row, stored + plane_line, plane_line);
    }
    return map;
}

// The size of the zlib stream `library` makes of a one-chunk map, with
// codes fitted to the chunk itself (the frame's top chunk, as the writer
// fits them), from the lines as the ZIP predictor hands them to deflate.
size_t deflated_size(const Planes& map, deflate::Library library) {
    FileChunk chunk;
    chunk.unpacked_size = static_cast<uint64_t>(map.width) * map.height * 8;
    chunk.packed.resize(chunk.unpacked_size);
    for (int line = 0; line < map.height; ++line) {
        const size_t row = static_cast<size_t>(map.height - 1 - line) * static_cast<size_t>(map.width);
        char* stored = chunk.packed.data() + static_cast<size_t>(line) * map.width * 8;
        std::memcpy(stored, map.t.data() + row, static_cast<size_t>(map.width) * 4);
        std::memcpy(stored + static_cast<size_t>(map.width) * 4, map.s.data() + row, static_cast<size_t>(map.width) * 4);
    }
    const std::string predicted = deflated_bytes(chunk);
    const auto* in = reinterpret_cast<const uint8_t*>(predicted.data());
    deflate::FittedCodes codes;
    codes.fit(in, predicted.size());
    std::vector<uint8_t> out(2 * predicted.size() + 1024);
    return deflate::StreamDeflater(library).compress(in, predicted.size(), out.data(), out.size(), &codes);
}

// Readers take a chunk as large as its lines for stored lines, so one that
// deflates to exactly that size must be stored raw; it reads back with
// OpenEXR as written. With each deflate library (ISA-L wants a few bytes of
// room beyond its stream, libdeflate none).
TEST(ZipWriter, ChunkDeflatingToItsRawSizeIsStoredRaw) {
    for (deflate::Library library : deflate::stream_libraries()) {
        // One chunk of 8 KiB in either layout.
        for (const auto& [compression, width, lines] : {std::tuple{Imf::ZIP_COMPRESSION, 64, kZipChunkLines},
                                                        std::tuple{Imf::ZIPS_COMPRESSION, 1024, kZipsChunkLines}}) {
            SCOPED_TRACE(std::string(deflate::library_name(library)) + (lines == 1 ? " ZIPS" : " ZIP"));
            const size_t raw = static_cast<size_t>(width) * lines * 8;
            std::optional<Planes> boundary;
            for (size_t noisy = raw / 2; noisy <= raw && !boundary; ++noisy) {
                Planes map = partly_noise(width, lines, noisy, 5);
                if (deflated_size(map, library) == raw) boundary = std::move(map);
            }
            ASSERT_TRUE(boundary) << "no amount of noise deflates to the chunk's size";
            ScratchFolder folder;
            ChunkStMapWriter writer(library);
            io::WholeStMap bands(boundary->view(), 1);
            write_chunk_file(folder.file("st.exr"), writer, bands, compression);
            const std::vector<FileChunk> chunks = read_chunks(folder.file("st.exr"));
            ASSERT_EQ(chunks.size(), 1u);
            EXPECT_EQ(chunks[0].packed.size(), raw);
            EXPECT_EQ(first_difference(read_with_openexr(folder.file("st.exr")), *boundary), "");
        }
    }
}

// Overscan: the planes reach beyond the format on every side, so EXR lines
// and columns go negative; chunks start at the data window's first line.
TEST(ZipWriter, DataWindowBeyondTheDisplayWindow) {
    Threads pool(2);
    for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::Zips}) {
        ScratchFolder folder;
        const Planes map = smooth_planes(13, 37);
        io::StMapView view = map.view();
        view.x = -3;
        view.y = -5;
        view.format_width = 6;
        view.format_height = 20;
        write_st_map_exr(folder.file("st.exr"), view, with(compression));

        const std::string path = folder.file("st.exr");
        EXPECT_FALSE(Imf::checkOpenEXRFile(path.c_str(), true, true));
        const ReadBack file = read_with_openexr(path);
        EXPECT_EQ(file.header.displayWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(5, 19)));
        // Top line: 20 - 1 - (-5 + 36) = -12; bottom: 20 - 1 + 5 = 24.
        EXPECT_EQ(file.header.dataWindow(), Imath::Box2i(Imath::V2i(-3, -12), Imath::V2i(9, 24)));
        EXPECT_EQ(first_difference(file, map), "");
        EXPECT_EQ(read_chunks(path).front().y, -12);
    }
}

// A frame whose map equals the last one's writes the same chunks without
// compressing, under its own header.
TEST(ZipWriter, UnchangedMapReusesTheChunks) {
    Threads pool(2);
    ScratchFolder folder;
    const Planes map = smooth_planes(50, 40);
    StMapExrWriter writer;
    StMapExrOptions options;
    options.extra = {{"talvik/frame", 1}};
    writer.write(folder.file("f1.exr"), map.view(), options);
    EXPECT_FALSE(writer.last_write_reused());
    options.extra = {{"talvik/frame", 2}};
    writer.write(folder.file("f2.exr"), map.view(), options, true);
    EXPECT_TRUE(writer.last_write_reused());

    const ReadBack second = read_with_openexr(folder.file("f2.exr"));
    EXPECT_EQ(second.header.typedAttribute<Imf::IntAttribute>("talvik/frame").value(), 2);
    EXPECT_EQ(first_difference(second, map), "");
    const std::vector<FileChunk> first_chunks = read_chunks(folder.file("f1.exr"));
    const std::vector<FileChunk> second_chunks = read_chunks(folder.file("f2.exr"));
    ASSERT_EQ(first_chunks.size(), second_chunks.size());
    for (size_t i = 0; i < first_chunks.size(); ++i) EXPECT_TRUE(first_chunks[i].packed == second_chunks[i].packed);

    // Another chunk layout cannot reuse them, whatever the caller says.
    options.compression = StMapCompression::Zips;
    writer.write(folder.file("f3.exr"), map.view(), options, true);
    EXPECT_FALSE(writer.last_write_reused());
    EXPECT_EQ(first_difference(read_with_openexr(folder.file("f3.exr")), map), "");
    io::StMapView moved = map.view();
    moved.y = 3;
    moved.format_width = 50;
    moved.format_height = 40;
    writer.write(folder.file("f4.exr"), moved, options, true);
    EXPECT_FALSE(writer.last_write_reused());
    EXPECT_EQ(read_with_openexr(folder.file("f4.exr")).header.dataWindow().min.y, -3);

    // A new map is compressed again, even when its first write failed
    // before compressing anything and the next one calls it unchanged.
    const Planes other = noise_planes(50, 40, 3);
    io::StMapView other_moved = other.view();
    other_moved.y = moved.y;
    other_moved.format_width = moved.format_width;
    other_moved.format_height = moved.format_height;
    EXPECT_THROW(writer.write(folder.file("no/such/folder/f5.exr"), other_moved, options), std::runtime_error);
    writer.write(folder.file("f5.exr"), other_moved, options, true);
    EXPECT_FALSE(writer.last_write_reused());
    EXPECT_EQ(first_difference(read_with_openexr(folder.file("f5.exr")), other), "");
}

TEST(ZipWriter, CancelLeavesNothingBehind) {
    const Planes map = smooth_planes(40, 40);
    std::atomic<bool> cancel{true};
    for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::Piz}) {
        ScratchFolder folder;
        StMapExrOptions options = with(compression);
        options.cancel = &cancel;
        EXPECT_THROW(write_st_map_exr(folder.file("st.exr"), map.view(), options), io::WriteCancelled);
        EXPECT_TRUE(folder.entries().empty());
    }
}

// A cancel arriving while chunks compress (set as soon as the temporary
// file exists) stops the write between chunks and removes the temporary;
// a cached frame is not reused after it.
TEST(ZipWriter, CancelWhileCompressing) {
    Threads pool(2);
    ScratchFolder folder;
    const Planes map = smooth_planes(2048, 1024);
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::thread canceller([&] {
        while (!finished && folder.entries().empty()) std::this_thread::yield();
        cancel = true;
    });
    StMapExrWriter writer;
    StMapExrOptions options = with(StMapCompression::Zips);
    options.cancel = &cancel;
    bool cancelled = false;
    try {
        writer.write(folder.file("st.exr"), map.view(), options);
    } catch (const io::WriteCancelled& e) {
        cancelled = true;
        EXPECT_NE(std::string(e.what()).find(folder.file("st.exr")), std::string::npos) << e.what();
    }
    finished = true;
    canceller.join();
    if (cancelled) {
        EXPECT_TRUE(folder.entries().empty());
        options.cancel = nullptr;
        writer.write(folder.file("st.exr"), map.view(), options, true);
        EXPECT_FALSE(writer.last_write_reused());
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"st.exr"});
    EXPECT_EQ(first_difference(read_with_openexr(folder.file("st.exr")), map), "");
}

// The header is OpenEXR's own, byte for byte, with the plate's attributes
// and names longer than 31 characters (the version field's long-names flag).
TEST(ZipWriter, HeaderIsOpenExrsOwn) {
    ScratchFolder folder;
    const Planes map = smooth_planes(30, 20);
    const Imf::Header plate = Imf::InputFile(TALVIK_SAMPLE_PLATE).header();
    StMapExrOptions options;
    options.plate_attributes = &plate;
    const std::string name = "talvik/an_attribute_name_longer_than_31";
    options.extra = {{name, std::string("kept")}, {"talvik/frame", 12}};
    for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::Zips}) {
        options.compression = compression;
        write_st_map_exr(folder.file("ours.exr"), map.view(), options);
        write_st_map_exr_with_openexr(folder.file("openexr.exr"), map.view(), options);
        const std::string ours = header_bytes(folder.file("ours.exr"));
        EXPECT_TRUE(ours == header_bytes(folder.file("openexr.exr")));
        EXPECT_EQ(ours[5] & 0x04, 0x04) << "long-names flag (0x400) in the version field";
        EXPECT_EQ(read_with_openexr(folder.file("ours.exr")).header.typedAttribute<Imf::StringAttribute>(name).value(),
                  "kept");
    }
}

}  // namespace
}  // namespace talvik::exr::test
