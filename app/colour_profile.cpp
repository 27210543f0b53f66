#include "app/colour_profile.h"

#include <lcms2.h>

#include <memory>
#include <string>
#include <type_traits>

namespace {

struct ContextCloser {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformCloser {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};

}  // namespace

std::string profile_name(const std::vector<uint8_t>& profile) {
    if (profile.empty()) return "";
    std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextCloser> context(cmsCreateContext(nullptr, nullptr));
    if (!context) return "unreadable";
    cmsSetLogErrorHandlerTHR(context.get(), [](cmsContext, cmsUInt32Number, const char*) {});
    std::unique_ptr<void, ProfileCloser> opened(
        cmsOpenProfileFromMemTHR(context.get(), profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!opened) return "unreadable";
    char text[256] = {};
    if (cmsGetProfileInfoASCII(opened.get(), cmsInfoDescription, "en", "US", text, sizeof text) <= 1) return "unnamed";
    // Only printable ASCII reaches the screen; a name is cut at anything else.
    std::string name;
    for (const char* c = text; *c != 0 && static_cast<unsigned char>(*c) >= 0x20 && *c != 0x7F; ++c) name += *c;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name.empty() ? "unnamed" : name;
}

ProfileUse convert_to_srgb(const std::vector<uint8_t>& profile, uint8_t* pixels, int32_t width, int32_t height,
                           size_t stride, bool grey) {
    if (profile.empty()) return ProfileUse::none;
    // A context of this call's own: pictures are decoded on worker threads.
    // Its errors are not printed: a profile it refuses is simply not used.
    std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextCloser> context(cmsCreateContext(nullptr, nullptr));
    if (!context) return ProfileUse::refused;
    cmsSetLogErrorHandlerTHR(context.get(), [](cmsContext, cmsUInt32Number, const char*) {});
    std::unique_ptr<void, ProfileCloser> source(
        cmsOpenProfileFromMemTHR(context.get(), profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    std::unique_ptr<void, ProfileCloser> srgb(cmsCreate_sRGBProfileTHR(context.get()));
    if (!source || !srgb) return ProfileUse::refused;
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    if (space != cmsSigRgbData && !(space == cmsSigGrayData && grey)) return ProfileUse::refused;
    const bool from_grey = space == cmsSigGrayData;
    std::unique_ptr<void, TransformCloser> transform(
        cmsCreateTransformTHR(context.get(), source.get(), from_grey ? TYPE_GRAY_8 : TYPE_BGRA_8, srgb.get(),
                              TYPE_BGRA_8, INTENT_PERCEPTUAL, 0));
    if (!transform) return ProfileUse::refused;
    std::vector<uint8_t> grey_row(from_grey ? static_cast<size_t>(width) : 0);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + stride * static_cast<size_t>(y);
        if (from_grey) {
            // The grey samples are in every channel; the blue ones will do.
            for (int32_t x = 0; x < width; ++x) grey_row[static_cast<size_t>(x)] = row[4 * x];
            cmsDoTransform(transform.get(), grey_row.data(), row, static_cast<cmsUInt32Number>(width));
        } else {
            cmsDoTransform(transform.get(), row, row, static_cast<cmsUInt32Number>(width));
        }
    }
    return ProfileUse::converted;
}
