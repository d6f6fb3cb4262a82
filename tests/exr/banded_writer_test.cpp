// Maps written band by band from an io::StMapBands: the same file as from
// the whole map, whatever the threads and band boundaries; reuse by copying
// the last file's chunks; cancels and failures between bands leave nothing.
#include <gtest/gtest.h>

#include <ImfCheckFile.h>
#include <ImfStringAttribute.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "exr/chunk_st_map_writer.h"
#include "exr/st_map_exr_writer.h"
#include "exr/zip_chunk.h"
#include "exr_chunks.h"
#include "tests/support/scratch_folder.h"

namespace talvik::exr::test {
namespace {

using talvik::test::ScratchFolder;

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A whole map handed out in bands on `threads` threads; each band is
// copied into the worker's own buffer, as a renderer's would be, and a
// band can be made to throw or to raise a cancel.
class CopiedBands : public io::StMapBands {
public:
    CopiedBands(const io::StMapView& map, int threads) : whole_(map, threads) {}
    io::StMapView geometry() const override { return whole_.geometry(); }
    int threads() const override { return whole_.threads(); }
    void reserve(int band_rows) override {
        reserved_ = band_rows;
        const size_t size = static_cast<size_t>(geometry().width) * static_cast<size_t>(band_rows);
        buffers_.assign(static_cast<size_t>(threads()), {std::vector<float>(size), std::vector<float>(size)});
    }
    void run(int tasks, const std::function<void(int, int)>& work) override { whole_.run(tasks, work); }
    io::StMapView band(int worker, int first_row, int rows) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++bands_made_;
            rows_seen_ += rows;
        }
        if (rows > reserved_) throw std::logic_error("band beyond the reserve");
        if (first_row == fail_at_row) throw std::runtime_error("band at row " + std::to_string(first_row) + " refused");
        if (first_row == cancel_at_row && cancel) *cancel = true;
        if (on_band) on_band(first_row);
        io::StMapView v = whole_.band(worker, first_row, rows);
        auto& [s, t] = buffers_[static_cast<size_t>(worker)];
        std::copy(v.s, v.s + v.index(0, rows), s.begin());
        std::copy(v.t, v.t + v.index(0, rows), t.begin());
        v.s = s.data();
        v.t = t.data();
        return v;
    }

    int fail_at_row = -1, cancel_at_row = -1;
    std::atomic<bool>* cancel = nullptr;
    std::function<void(int first_row)> on_band;  // called as each band is made
    int bands_made_ = 0, rows_seen_ = 0;

private:
    io::WholeStMap whole_;
    int reserved_ = 0;
    std::mutex mutex_;
    std::vector<std::pair<std::vector<float>, std::vector<float>>> buffers_;
};

StMapExrOptions with(StMapCompression compression) {
    StMapExrOptions options;
    options.compression = compression;
    return options;
}

struct Case {
    int width, height;
    StMapCompression compression;
};

// Heights that are no multiple of a band (ZIP bands of 4096-wide maps are
// 64 lines), several bands per thread, single-line bands, and a box
// reaching left of and below the format.
TEST(BandedWriter, SameFileAsTheWholeMap) {
    const Case cases[] = {{4096, 203, StMapCompression::Zip}, {4096, 203, StMapCompression::Zips},
                          {4096, 203, StMapCompression::None}, {70000, 5, StMapCompression::Zip},
                          {9, 1, StMapCompression::None},      {33, 17, StMapCompression::Zip}};
    for (const Case& c : cases) {
        for (int threads : {1, 3}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                         st_map_compression_name(c.compression) + " threads " + std::to_string(threads));
            ScratchFolder folder;
            const Planes map = smooth_planes(c.width, c.height);
            io::StMapView placed = map.view();
            placed.x = -3;
            placed.y = -5;
            placed.format_width = c.width - 2 > 0 ? c.width - 2 : 1;
            placed.format_height = c.height;
            write_st_map_exr(folder.file("whole.exr"), placed, with(c.compression));
            CopiedBands bands(placed, threads);
            StMapExrWriter writer;
            writer.write(folder.file("banded.exr"), bands, with(c.compression));

            EXPECT_EQ(bands.rows_seen_, c.height);
            EXPECT_FALSE(Imf::checkOpenEXRFile(folder.file("banded.exr").c_str(), true, true));
            {
                const std::string a = file_bytes(folder.file("banded.exr")), b = file_bytes(folder.file("whole.exr"));
                size_t i = 0;
                while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
                EXPECT_EQ(i, a.size()) << "sizes " << a.size() << " " << b.size();
            }
            const ReadBack back = read_with_openexr(folder.file("banded.exr"));
            EXPECT_EQ(first_difference(back, map), "");
            EXPECT_EQ(back.header.dataWindow().min.x, -3);
            EXPECT_EQ(back.header.dataWindow().max.y, placed.format_height - 1 + 5);
        }
    }
}

// Uncompressed files are OpenEXR's own, byte for byte.
TEST(BandedWriter, UncompressedIsOpenExrsOwnFile) {
    ScratchFolder folder;
    const Planes map = noise_planes(1500, 77, 9);
    StMapExrOptions options = with(StMapCompression::None);
    options.extra = {{"talvik/frame", 12}};
    CopiedBands bands(map.view(), 2);
    StMapExrWriter().write(folder.file("ours.exr"), bands, options);
    write_st_map_exr_with_openexr(folder.file("openexr.exr"), map.view(), options);
    EXPECT_TRUE(file_bytes(folder.file("ours.exr")) == file_bytes(folder.file("openexr.exr")));
}

// An unchanged map copies the last file's chunks under a header of another
// size: offsets move with it, pixels stay.
TEST(BandedWriter, WriteAgainCopiesChunksUnderAnyHeader) {
    for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::None}) {
        SCOPED_TRACE(st_map_compression_name(compression));
        ScratchFolder folder;
        const Planes map = smooth_planes(300, 70);
        StMapExrWriter writer;
        StMapExrOptions options = with(compression);
        options.extra = {{"talvik/note", std::string("short")}};
        CopiedBands bands(map.view(), 2);
        writer.write(folder.file("f1.exr"), bands, options);
        options.extra = {{"talvik/note", std::string(500, 'x')}};
        ASSERT_TRUE(writer.write_again(folder.file("f2.exr"), bands.geometry(), options));
        EXPECT_TRUE(writer.last_write_reused());
        options.extra = {{"talvik/note", std::string("s")}};
        ASSERT_TRUE(writer.write_again(folder.file("f3.exr"), bands.geometry(), options));
        for (const char* name : {"f2.exr", "f3.exr"}) {
            const std::string path = folder.file(name);
            EXPECT_FALSE(Imf::checkOpenEXRFile(path.c_str(), true, true)) << name;
            EXPECT_EQ(first_difference(read_with_openexr(path), map), "") << name;
            const std::vector<FileChunk> first = read_chunks(folder.file("f1.exr")), again = read_chunks(path);
            ASSERT_EQ(first.size(), again.size());
            for (size_t i = 0; i < first.size(); ++i) EXPECT_TRUE(first[i].packed == again[i].packed) << i;
        }
        EXPECT_EQ(read_with_openexr(folder.file("f2.exr")).header.typedAttribute<Imf::StringAttribute>("talvik/note")
                      .value().size(), 500u);

        // Another compression or place cannot copy them, and writes nothing.
        StMapExrOptions zips = with(StMapCompression::Zips);
        EXPECT_FALSE(writer.write_again(folder.file("f4.exr"), bands.geometry(), zips));
        io::StMapView moved = bands.geometry();
        moved.y = 2;
        moved.format_width = 300;
        moved.format_height = 70;
        EXPECT_FALSE(writer.write_again(folder.file("f5.exr"), moved, options));
        EXPECT_EQ(folder.entries(), (std::vector<std::string>{"f1.exr", "f2.exr", "f3.exr"}));
        // Nor after the writer let its file go.
        writer.forget();
        EXPECT_FALSE(writer.write_again(folder.file("f6.exr"), bands.geometry(), options));
    }
}

// The kept file is the one just written, open: replacing or removing it by
// name afterwards changes nothing in the copy.
TEST(BandedWriter, WriteAgainReadsTheFileWrittenNotItsName) {
    ScratchFolder folder;
    const Planes map = smooth_planes(200, 40);
    StMapExrWriter writer;
    CopiedBands bands(map.view(), 2);
    writer.write(folder.file("f1.exr"), bands, with(StMapCompression::Zip));
    std::filesystem::remove(folder.file("f1.exr"));
    ASSERT_TRUE(writer.write_again(folder.file("f2.exr"), bands.geometry(), with(StMapCompression::Zip)));
    EXPECT_EQ(first_difference(read_with_openexr(folder.file("f2.exr")), map), "");
}

// A cancel raised while a middle band is made, and a band that fails late,
// stop the write with nothing left behind; the next write starts afresh.
TEST(BandedWriter, CancelOrFailureBetweenBandsLeavesNothing) {
    for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::None, StMapCompression::Piz}) {
        // A failure in the last band in file order, and in the first (whose
        // top chunk the frame's codes are fitted to, while others wait).
        for (int fail_row : {-1, 0, 640 - ChunkStMapWriter::band_lines(4096, kZipChunkLines)}) {
            const bool fail = fail_row >= 0;
            SCOPED_TRACE(std::string(st_map_compression_name(compression)) +
                         (fail ? " failing at row " + std::to_string(fail_row) : " cancelled"));
            ScratchFolder folder;
            const Planes map = smooth_planes(4096, 640);
            std::atomic<bool> cancel{false};
            CopiedBands bands(map.view(), 2);
            StMapExrOptions options = with(compression);
            options.cancel = &cancel;
            bands.cancel = &cancel;
            if (fail) {
                bands.fail_at_row = fail_row;
            } else {
                bands.cancel_at_row = 320;
            }
            StMapExrWriter writer;
            if (fail) {
                try {
                    writer.write(folder.file("st.exr"), bands, options);
                    ADD_FAILURE() << "no error";
                } catch (const std::runtime_error& e) {
                    // The map's own reason, not a failure of the file.
                    EXPECT_EQ(std::string(e.what()), "band at row " + std::to_string(fail_row) + " refused");
                }
            } else {
                EXPECT_THROW(writer.write(folder.file("st.exr"), bands, options), io::WriteCancelled);
                EXPECT_LT(bands.rows_seen_, map.height);
            }
            EXPECT_TRUE(folder.entries().empty());
            cancel = false;
            EXPECT_FALSE(writer.write_again(folder.file("st.exr"), bands.geometry(), options));
        }
    }
}

// A slot is free again only once its band is in the file. Band 0's write
// is held until band kSlots, which finds every slot taken (band 0's still
// being written), either waits for one (as it must) or is made anyway.
// The order is fixed: band 0 alone on worker 0, then, once its write is
// held, every other band in turn on worker 1.
class HeldFirstWrite : public io::StMapBands, public BandHandOver {
public:
    // Two threads hold two bands each.
    static constexpr int kSlots = 4;

    explicit HeldFirstWrite(const io::StMapView& map) : whole_(map, 2) {}
    io::StMapView geometry() const override { return whole_.geometry(); }
    int threads() const override { return 2; }
    void reserve(int) override {}
    void run(int tasks, const std::function<void(int, int)>& work) override {
        std::thread first([&] { work(0, 0); });
        if (wait([&] { return held_; })) {
            for (int task = 1; task < tasks; ++task) work(1, task);
        } else {
            ADD_FAILURE() << "band 0 was never written";
        }
        first.join();
    }
    io::StMapView band(int worker, int first_row, int rows) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_ && !released_) ++made_while_held_;
        changed_.notify_all();
        return whole_.band(worker, first_row, rows);
    }

    void waiting_for_slot(int band) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_ && !released_ && band == kSlots) waited_ = true;
        changed_.notify_all();
    }
    void writing(int first, int) override {
        if (first != 0) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_ = true;
        }
        changed_.notify_all();
        if (!wait([&] { return waited_ || made_while_held_ >= kSlots; })) ADD_FAILURE() << "nothing happened";
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }

    bool waited_ = false;      // band kSlots waited for its slot
    int made_while_held_ = 0;  // bands made while band 0's write was held

private:
    // Whether `done` came true within a minute (it does at once unless the
    // writer is broken).
    template <typename Done>
    bool wait(Done done) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::minutes(1), done);
    }

    io::WholeStMap whole_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false, released_ = false;
};

TEST(BandedWriter, NoBandIsPackedIntoASlotStillBeingWritten) {
    // Six bands of 64 lines.
    const Planes map = smooth_planes(4096, 6 * 64);
    ASSERT_EQ(ChunkStMapWriter::band_lines(4096, kZipChunkLines), 64);
    ASSERT_EQ(ChunkStMapWriter::band_lines(4096, 1), 64);
    for (Imf::Compression compression : {Imf::ZIP_COMPRESSION, Imf::NO_COMPRESSION}) {
        SCOPED_TRACE(compression == Imf::ZIP_COMPRESSION ? "ZIP" : "none");
        ScratchFolder folder;
        HeldFirstWrite bands(map.view());
        ChunkStMapWriter writer;
        writer.watch_hand_over(&bands);
        write_chunk_file(folder.file("st.exr"), writer, bands, compression);
        EXPECT_TRUE(bands.waited_);
        EXPECT_EQ(bands.made_while_held_, HeldFirstWrite::kSlots - 1) << "bands 1 to 3 fill the other slots";
        EXPECT_EQ(first_difference(read_with_openexr(folder.file("st.exr")), map), "");
    }
}

// What stands at the output path is looked at again when the map is renamed
// into place: a FIFO, socket or device node that appears there while the map
// is written (made here as the first band is, after the temporary was
// opened) is refused and left as it is, and the temporary removed.
TEST(BandedWriter, SpecialFileAppearingWhileWritingIsNotReplaced) {
    using std::filesystem::file_type;
    struct Kind {
        std::string name;
        file_type type;
        std::function<bool(const std::string&)> make;
    };
    std::vector<Kind> kinds = {
        {"a FIFO", file_type::fifo, [](const std::string& path) { return mkfifo(path.c_str(), 0644) == 0; }},
        {"a socket", file_type::socket,
         [](const std::string& path) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             if (path.size() >= sizeof address.sun_path) return false;
             path.copy(address.sun_path, path.size());
             const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
             const bool bound = bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             close(sock);  // the socket file stays
             return bound;
         }},
    };
    // A device node needs root to make; CI runs as root.
    if (geteuid() == 0) {
        kinds.push_back({"a device node", file_type::character, [](const std::string& path) {
                             return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
                         }});
    }
    const Planes map = smooth_planes(64, 40);
    for (const Kind& kind : kinds) {
        for (StMapCompression compression : {StMapCompression::Zip, StMapCompression::None}) {
            SCOPED_TRACE(kind.name + " " + st_map_compression_name(compression));
            ScratchFolder folder;
            const std::string path = folder.file("st.exr");
            CopiedBands bands(map.view(), 1);
            bool made = false;
            bands.on_band = [&](int) {
                if (!made) made = kind.make(path);
            };
            StMapExrWriter writer;
            try {
                writer.write(path, bands, with(compression));
                ADD_FAILURE() << "written over " << kind.name;
            } catch (const std::runtime_error& e) {
                EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
            }
            ASSERT_TRUE(made);
            EXPECT_EQ(std::filesystem::symlink_status(path).type(), kind.type);
            EXPECT_EQ(folder.entries(), std::vector<std::string>{"st.exr"}) << "no temporary left";
        }
    }
}

// Bands hold whole chunks of about ChunkStMapWriter::kBandBytes.
TEST(BandedWriter, BandsAreWholeChunksOfBoundedSize) {
    for (int width : {1, 100, 4320, 8640, 100000}) {
        for (int chunk : {1, 16}) {
            const int lines = ChunkStMapWriter::band_lines(width, chunk);
            EXPECT_EQ(lines % chunk, 0) << width;
            const size_t bytes = static_cast<size_t>(lines) * static_cast<size_t>(width) * 8;
            EXPECT_TRUE(bytes <= ChunkStMapWriter::kBandBytes || lines == chunk) << width << " " << chunk;
            EXPECT_TRUE(bytes * 2 > ChunkStMapWriter::kBandBytes || lines == chunk) << width << " " << chunk;
        }
    }
}

}  // namespace
}  // namespace talvik::exr::test
