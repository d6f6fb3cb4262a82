// Writes an ST map as an OpenEXR file: 32-bit float R = s and G = t, and
// optionally a half A holding the map's validity, lines top-down in the file
// as every EXR reader expects.
#pragma once

#include <ImfHeader.h>

#include <atomic>
#include <memory>
#include <string>
#include <stdexcept>
#include <string_view>
#include <variant>
#include <vector>

#include "io/file_seal.h"
#include "io/st_map_bands.h"
#include "io/st_map_view.h"
#include "io/write_cancelled.h"

namespace talvik::exr {

class ChunkStMapWriter;

// Lossless only: a lossy codec would move the positions the map stores.
enum class StMapCompression { None, Rle, Zips, Zip, Piz };

// "none", "rle", "zips", "zip", "piz", in any case. Throws
// std::invalid_argument naming the value; lossy codecs (pxr24, b44, b44a,
// dwaa, dwab) are refused as lossy, anything else as unknown.
StMapCompression parse_st_map_compression(std::string_view name);
const char* st_map_compression_name(StMapCompression compression);
// OpenEXR's Imf::Compression value for it, as a header holds it.
int exr_compression_id(StMapCompression compression);

// Attributes the command adds, e.g. "talvik/k1" or "talvik/frame".
struct ExtraAttribute {
    std::string name;
    std::variant<int, float, std::string> value;
};

struct StMapExrOptions {
    StMapCompression compression = StMapCompression::Zip;
    // An A channel (HALF) from the map's `a` plane, which it must then have.
    bool alpha = false;
    // The plate's header: its attributes are copied as Nuke's Write node
    // copies input metadata, except those describing the plate's own file
    // layout (see carries_over) and the plate's own talvik/ attributes.
    const Imf::Header* plate_attributes = nullptr;
    // Written last, replacing a carried attribute of the same name.
    std::vector<ExtraAttribute> extra;
    // Set from elsewhere (a signal) to stop a write in flight: the writer
    // then throws WriteCancelled and leaves nothing behind. Null: never.
    const std::atomic<bool>* cancel = nullptr;
};

// Whether a plate attribute is copied into the ST map. Refused: the file
// layout (channels, compression, dataWindow, displayWindow, lineOrder,
// tiles, chunkCount, type, name, version, maxSamplesPerPixel,
// deepImageState), what only holds for the plate's pixels (preview,
// dwaCompressionLevel, multiView), and colour (chromaticities,
// whiteLuminance, adoptedNeutral, acesImageContainerFlag, renderingTransform,
// lookModTransform): a map is data, not colour. Everything else is copied, including
// pixelAspectRatio and screenWindowCenter/Width: the map has the plate's
// format and pixel shape.
bool carries_over(const std::string& attribute_name);

// The EXR has the format as display window and the planes' place as data
// window (see StMapView). Writes via a temporary file renamed into place.
// Throws std::runtime_error (std::invalid_argument for bad arguments) naming
// the file and the problem; nothing is left behind on failure. ZIP, ZIPS
// and uncompressed chunks are packed by our own writer, the other
// compressions by OpenEXR's, both on set_exr_thread_count's threads. A
// cancel (StMapExrOptions::cancel) is seen between bands of lines.
// For a sequence of frames keep one StMapExrWriter instead: it reuses its
// buffers, where each call here allocates a frame's worth afresh.
void write_st_map_exr(const std::string& path, const io::StMapView& map,
                      const StMapExrOptions& options = {});

// Writes a sequence of frames, keeping what the next frame can reuse: its
// buffers and the last ZIP, ZIPS or uncompressed file, open, to copy its
// chunks from. One write at a time per writer.
class StMapExrWriter {
public:
    StMapExrWriter();
    ~StMapExrWriter();
    StMapExrWriter(const StMapExrWriter&) = delete;
    StMapExrWriter& operator=(const StMapExrWriter&) = delete;

    // As write_st_map_exr. With `map_unchanged` the caller promises that
    // `map` holds the same values as at this writer's last write: a ZIP,
    // ZIPS or uncompressed file then copies that file's chunks and costs a
    // header and a copy.
    void write(const std::string& path, const io::StMapView& map, const StMapExrOptions& options,
               bool map_unchanged = false);

    // The same from a map made band by band: ZIP, ZIPS and uncompressed
    // files hold a few bands per thread at a time; the other compressions
    // gather the whole map first. What a band throws is thrown here, with
    // nothing left behind.
    void write(const std::string& path, io::StMapBands& map, const StMapExrOptions& options);

    // Writes the map of this writer's last write again under a new header
    // (the caller promises the values are the same; `geometry` gives the
    // place, its planes may be null) by copying the last file's chunks.
    // Returns false, writing nothing, when those chunks cannot serve: no
    // such file, another compression, size or place.
    bool write_again(const std::string& path, const io::StMapView& geometry, const StMapExrOptions& options);

    // Whether the last write reused the chunks of the one before.
    bool last_write_reused() const;

    // Lets the last file go: the next write_again returns false.
    void forget();

    // The size and hash of the last file written, taken before its rename.
    const io::FileSeal& last_seal() const { return last_seal_; }

private:
    std::unique_ptr<ChunkStMapWriter> chunks_;
    io::FileSeal last_seal_;
};

// Every compression through OpenEXR's own writer, ZIP and ZIPS included:
// the reference the ZIP writer is checked and measured against.
void write_st_map_exr_with_openexr(const std::string& path, const io::StMapView& map,
                                   const StMapExrOptions& options = {});

// Threads that compress: OpenEXR's pool beside the caller, our ZIP writer
// the caller and threads - 1 more; 0 compresses on the calling thread.
void set_exr_thread_count(int threads);

}  // namespace talvik::exr
