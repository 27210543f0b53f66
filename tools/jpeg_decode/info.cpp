#include "info.h"

#include "icc.h"
#include "messages.h"

#include "marivue/jpeg/status.h"

#include <cstdio>

using namespace marivue::jpeg;

namespace jpeg_decode {

namespace {

// The usual J:a:b name of a three-component layout whose two chroma
// components share their factors, from how many luma samples each chroma
// sample covers across and down.
const char* ratio_name(int32_t across, int32_t down) {
    struct Ratio {
        int32_t across, down;
        const char* name;
    };
    constexpr Ratio ratios[] = {{1, 1, "4:4:4"}, {2, 1, "4:2:2"}, {1, 2, "4:4:0"},
                                {2, 2, "4:2:0"}, {4, 1, "4:1:1"}, {4, 2, "4:1:0"}};
    for (const Ratio& r : ratios)
        if (r.across == across && r.down == down) return r.name;
    return nullptr;
}

std::string sampling_of(const Info& info) {
    const int32_t n = info.components;
    if (n == 1) return "grey";
    const int* h = info.h_factor;
    const int* v = info.v_factor;
    if (n == 3 && h[1] == h[2] && v[1] == v[2] && h[1] > 0 && v[1] > 0 && h[0] % h[1] == 0 && v[0] % v[1] == 0) {
        if (const char* name = ratio_name(h[0] / h[1], v[0] / v[1])) return name;
    }
    std::string factors;
    for (int32_t i = 0; i < n; ++i) factors += (i ? ", " : "") + std::to_string(h[i]) + "x" + std::to_string(v[i]);
    return factors;
}

std::string colour_transform_of(const Info& info) {
    if (info.components == 1) return "none";
    if (info.components == 3) return info.rgb ? "RGB" : "YCbCr";
    return info.adobe_transform == 2 ? "YCCK" : "none";
}

// A JSON string of any bytes, in UTF-8: control characters escaped, and each
// byte that is not part of valid UTF-8 (a name in another encoding) written
// as U+FFFD, the replacement character.
std::string json_string(const std::string& text) {
    std::string quoted = "\"";
    for (size_t at = 0; at < text.size();) {
        uint32_t code_point = 0;
        const size_t length = utf8_sequence(text, at, &code_point);
        if (length == 0) {
            quoted += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        if (code_point == '"' || code_point == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(code_point);
        } else if (code_point < 0x20 || code_point == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code_point));
            quoted += escape;
        } else {
            quoted.append(text, at, length);
        }
        at += length;
    }
    return quoted + "\"";
}

const char* components_word(int32_t count) { return count == 1 ? "grey" : count >= 3 ? "colour" : "other"; }

const char* colour_space_name(ColourSpace space) {
    switch (space) {
        case ColourSpace::ycbcr:
            return "YCbCr";
        case ColourSpace::rgb:
            return "RGB";
        case ColourSpace::cmyk:
            return "CMYK";
        case ColourSpace::ycck:
            return "YCCK";
        default:
            return "grey";
    }
}

}  // namespace

PictureInfo describe(const std::string& file, const Info& info, int scale, int32_t refusal, const std::string& reason) {
    PictureInfo picture;
    picture.file = file;
    picture.width = info.width;
    picture.height = info.height;
    picture.scale = scale;
    picture.output_width = info.output_width;
    picture.output_height = info.output_height;
    picture.components = info.components;
    picture.progressive = info.progressive;
    picture.sampling = sampling_of(info);
    picture.restart_interval = static_cast<uint32_t>(info.restart_interval);
    picture.colour_transform = colour_transform_of(info);
    picture.colour_space = colour_space_name(info.colour_space);
    picture.profile_bytes = info.icc_profile.size();
    picture.profile_description = icc_description(info.icc_profile);
    picture.orientation = info.orientation;
    picture.refusal = refusal;
    picture.reason = reason;
    return picture;
}

void print_words(const PictureInfo& info) {
    std::printf("file: %s\n", printable(info.file).c_str());
    std::printf("size: %d x %d pixels\n", static_cast<int>(info.width), static_cast<int>(info.height));
    if (info.scale != 1)
        std::printf("output size: %d x %d pixels (1/%d)\n", static_cast<int>(info.output_width),
                    static_cast<int>(info.output_height), info.scale);
    std::printf("coding: %s\n", info.progressive ? "progressive" : "sequential");
    std::printf("components: %d (%s)\n", static_cast<int>(info.components), components_word(info.components));
    std::printf("sampling: %s\n", info.sampling.c_str());
    if (info.restart_interval == 0) {
        std::printf("restart interval: none\n");
    } else {
        std::printf("restart interval: every %u MCUs\n", static_cast<unsigned>(info.restart_interval));
    }
    std::printf("colour transform: %s\n", info.colour_transform.c_str());
    std::printf("colour space: %s\n", info.colour_space.c_str());
    if (info.profile_bytes == 0) {
        std::printf("colour profile: none\n");
    } else {
        std::printf("colour profile: %s (%zu bytes)\n",
                    info.profile_description.empty() ? "no description" : info.profile_description.c_str(),
                    info.profile_bytes);
    }
    std::printf("orientation: %d\n", info.orientation);
    if (info.refusal == 0) {
        std::printf("decodes: yes\n");
    } else {
        std::printf("decodes: no, %s\n", info.reason.c_str());
    }
}

void print_json(const PictureInfo& info) {
    std::string json =
        "{\"file\":" + json_string(info.file) + ",\"width\":" + std::to_string(info.width) +
        ",\"height\":" + std::to_string(info.height) + ",\"output_width\":" + std::to_string(info.output_width) +
        ",\"output_height\":" + std::to_string(info.output_height) +
        ",\"coding\":" + json_string(info.progressive ? "progressive" : "sequential") +
        ",\"components\":" + std::to_string(info.components) + ",\"sampling\":" + json_string(info.sampling) +
        ",\"restart_interval\":" + std::to_string(info.restart_interval) +
        ",\"colour_transform\":" + json_string(info.colour_transform) +
        ",\"colour_space\":" + json_string(info.colour_space) + ",\"colour_profile\":" +
        (info.profile_bytes == 0 ? std::string("null")
                                 : "{\"description\":" + json_string(info.profile_description) +
                                       ",\"bytes\":" + std::to_string(info.profile_bytes) + "}") +
        ",\"orientation\":" + std::to_string(info.orientation) +
        ",\"decodes\":" + (info.refusal == 0 ? "true" : "false");
    if (info.refusal != 0) {
        json += ",\"reason\":" + json_string(info.reason) + ",\"status\":" + json_string(status_name(info.refusal)) +
                ",\"code\":" + std::to_string(info.refusal);
    }
    std::printf("%s}\n", json.c_str());
}

std::string summary(const PictureInfo& info) {
    const std::string layout = info.components == 1 ? "grey"
                                                    : std::string(components_word(info.components)) + " (" +
                                                          info.sampling + ", " + info.colour_space + ")";
    const std::string size = std::to_string(info.width) + " x " + std::to_string(info.height);
    const std::string decoded = info.scale == 1
                                    ? size
                                    : std::to_string(info.output_width) + " x " + std::to_string(info.output_height) +
                                          " (1/" + std::to_string(info.scale) + " of " + size + ")";
    return decoded + ", " + layout + ", " + (info.progressive ? "progressive" : "sequential");
}

}  // namespace jpeg_decode
