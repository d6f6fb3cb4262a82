#include "shot/metadata_value.h"

#include <ImfBoxAttribute.h>
#include <ImfChannelListAttribute.h>
#include <ImfChromaticitiesAttribute.h>
#include <ImfCompressionAttribute.h>
#include <ImfDeepImageStateAttribute.h>
#include <ImfDoubleAttribute.h>
#include <ImfEnvmapAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfFloatVectorAttribute.h>
#include <ImfIntAttribute.h>
#include <ImfKeyCodeAttribute.h>
#include <ImfLineOrderAttribute.h>
#include <ImfMatrixAttribute.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>
#include <ImfStringVectorAttribute.h>
#include <ImfTileDescriptionAttribute.h>
#include <ImfTimeCodeAttribute.h>
#include <ImfVecAttribute.h>

#include <charconv>
#include <cstdio>

namespace talvik::shot {
namespace {

// Shortest text that reads back to the same value.
template <typename T>
std::string number(T value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;  // 32 characters hold any float, double or int
    return std::string(buffer, end);
}

template <typename T>
std::string numbers(const T* values, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += number(values[i]);
    }
    return out;
}

template <typename T>
const T* as(const Imf::Attribute& a) {
    auto* typed = dynamic_cast<const Imf::TypedAttribute<T>*>(&a);
    return typed ? &typed->value() : nullptr;
}

const char* compression_name(Imf::Compression c) {
    static const char* const names[] = {"none", "rle",  "zips", "zip",  "piz",
                                        "pxr24", "b44", "b44a", "dwaa", "dwab"};
    return c >= 0 && c < Imf::NUM_COMPRESSION_METHODS ? names[c] : "unknown";
}

const char* pixel_type_name(Imf::PixelType t) {
    switch (t) {
        case Imf::UINT: return "uint";
        case Imf::HALF: return "half";
        case Imf::FLOAT: return "float";
        default: return "unknown";
    }
}

std::string timecode_text(const Imf::TimeCode& tc) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d%c%02d", tc.hours(), tc.minutes(),
                  tc.seconds(), tc.dropFrame() ? ';' : ':', tc.frame());
    return buffer;
}

std::string keycode_text(const Imf::KeyCode& k) {
    return "mfc " + number(k.filmMfcCode()) + " type " + number(k.filmType()) + " prefix " +
           number(k.prefix()) + " count " + number(k.count()) + " perfOffset " +
           number(k.perfOffset()) + " perfsPerFrame " + number(k.perfsPerFrame()) +
           " perfsPerCount " + number(k.perfsPerCount());
}

std::string chromaticities_text(const Imf::Chromaticities& c) {
    const float v[] = {c.red.x,  c.red.y,  c.green.x, c.green.y,
                       c.blue.x, c.blue.y, c.white.x, c.white.y};
    return numbers(v, 8);
}

std::string channels_text(const Imf::ChannelList& list) {
    std::string out;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (!out.empty()) out += ' ';
        out += std::string(it.name()) + '(' + pixel_type_name(it.channel().type) + ')';
    }
    return out;
}

std::string tile_text(const Imf::TileDescription& t) {
    static const char* const modes[] = {"one_level", "mipmap", "ripmap"};
    const char* mode = t.mode >= 0 && t.mode < Imf::NUM_LEVELMODES ? modes[t.mode] : "unknown";
    return number(t.xSize) + 'x' + number(t.ySize) + ' ' + mode + ' ' +
           (t.roundingMode == Imf::ROUND_UP ? "round_up" : "round_down");
}

std::string line_order_text(Imf::LineOrder o) {
    switch (o) {
        case Imf::INCREASING_Y: return "increasing_y";
        case Imf::DECREASING_Y: return "decreasing_y";
        case Imf::RANDOM_Y: return "random_y";
        default: return "unknown";
    }
}

std::string deep_state_text(Imf::DeepImageState s) {
    switch (s) {
        case Imf::DIS_MESSY: return "messy";
        case Imf::DIS_SORTED: return "sorted";
        case Imf::DIS_NON_OVERLAPPING: return "non_overlapping";
        case Imf::DIS_TIDY: return "tidy";
        default: return "unknown";
    }
}

std::string joined(const std::vector<std::string>& strings) {
    std::string out;
    for (const auto& s : strings) {
        if (!out.empty()) out += ", ";
        out += s;
    }
    return out;
}

}  // namespace

MetadataValue metadata_value_of(const Imf::Attribute& a) {
    if (auto* v = as<int>(a)) return *v;
    if (auto* v = as<float>(a)) return *v;
    if (auto* v = as<double>(a)) return *v;
    if (auto* v = as<std::string>(a)) return *v;

    if (auto* v = as<Imath::V2i>(a)) return numbers(&v->x, 2);
    if (auto* v = as<Imath::V2f>(a)) return numbers(&v->x, 2);
    if (auto* v = as<Imath::V2d>(a)) return numbers(&v->x, 2);
    if (auto* v = as<Imath::V3i>(a)) return numbers(&v->x, 3);
    if (auto* v = as<Imath::V3f>(a)) return numbers(&v->x, 3);
    if (auto* v = as<Imath::V3d>(a)) return numbers(&v->x, 3);
    if (auto* v = as<Imath::Box2i>(a))
        return numbers(&v->min.x, 2) + ' ' + numbers(&v->max.x, 2);
    if (auto* v = as<Imath::Box2f>(a))
        return numbers(&v->min.x, 2) + ' ' + numbers(&v->max.x, 2);
    if (auto* v = as<Imath::M33f>(a)) return numbers(&v->x[0][0], 9);
    if (auto* v = as<Imath::M33d>(a)) return numbers(&v->x[0][0], 9);
    if (auto* v = as<Imath::M44f>(a)) return numbers(&v->x[0][0], 16);
    if (auto* v = as<Imath::M44d>(a)) return numbers(&v->x[0][0], 16);

    if (auto* v = as<Imf::Rational>(a)) return number(v->n) + '/' + number(v->d);
    if (auto* v = as<Imf::TimeCode>(a)) return timecode_text(*v);
    if (auto* v = as<Imf::KeyCode>(a)) return keycode_text(*v);
    if (auto* v = as<Imf::Chromaticities>(a)) return chromaticities_text(*v);
    if (auto* v = as<Imf::Compression>(a)) return std::string(compression_name(*v));
    if (auto* v = as<Imf::LineOrder>(a)) return line_order_text(*v);
    if (auto* v = as<Imf::Envmap>(a))
        return std::string(*v == Imf::ENVMAP_CUBE ? "cube" : "latlong");
    if (auto* v = as<Imf::ChannelList>(a)) return channels_text(*v);
    if (auto* v = as<Imf::TileDescription>(a)) return tile_text(*v);
    if (auto* v = as<Imf::DeepImageState>(a)) return deep_state_text(*v);
    if (auto* v = as<Imf::StringVector>(a)) return joined(*v);
    if (auto* v = as<Imf::FloatVector>(a))
        return numbers(v->data(), static_cast<int>(v->size()));
    if (auto* v = as<Imf::PreviewImage>(a))
        return "preview " + number(v->width()) + 'x' + number(v->height());
    return '<' + std::string(a.typeName()) + '>';
}

std::string metadata_text(const MetadataValue& value) {
    if (auto* i = std::get_if<int>(&value)) return number(*i);
    if (auto* f = std::get_if<float>(&value)) return number(*f);
    if (auto* d = std::get_if<double>(&value)) return number(*d);
    return std::get<std::string>(value);
}

}  // namespace talvik::shot
