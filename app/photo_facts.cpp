#include "app/photo_facts.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// `value` with one decimal, or none when it is whole.
std::string decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string out = text;
    if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) out.resize(out.size() - 2);
    return out;
}

double value_of(ExifFacts::Fraction f) { return double(f.numerator) / f.denominator; }

// The folder of `path`, absolute, with "." steps left out.
std::string folder_of(const std::string& path, const std::string& working_folder) {
    const size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
    if (folder.empty() || folder[0] != '/') folder = working_folder + (folder.empty() ? "" : "/" + folder);
    for (size_t at; (at = folder.find("/./")) != std::string::npos;) folder.erase(at, 2);
    if (folder.size() > 2 && folder.compare(folder.size() - 2, 2, "/.") == 0) folder.resize(folder.size() - 2);
    return folder;
}

}  // namespace

std::string exposure_text(ExifFacts::Fraction time) {
    if (time.denominator == 0 || time.numerator == 0) return "";
    const double seconds = value_of(time);
    if (seconds >= 0.5) return decimal(seconds) + " s";
    return "1/" + std::to_string(static_cast<long>(std::lround(1 / seconds))) + " s";
}

std::string f_number_text(ExifFacts::Fraction f_number) {
    if (f_number.denominator == 0 || f_number.numerator == 0) return "";
    return "f/" + decimal(value_of(f_number));
}

std::string focal_length_text(ExifFacts::Fraction length) {
    if (length.denominator == 0 || length.numerator == 0) return "";
    return decimal(value_of(length)) + " mm";
}

InfoLines picture_info(const std::string& name, const std::string& path, const std::string& working_folder,
                       const PictureOutcome* outcome) {
    InfoLines lines = {{"Name", name}, {"Folder", folder_of(path, working_folder)}};
    if (outcome == nullptr) return lines;
    const PictureFacts& facts = outcome->facts;
    const ExifFacts& exif = facts.exif;
    const auto add = [&lines](const char* label, const std::string& value) {
        if (!value.empty()) lines.emplace_back(label, value);
    };
    if (facts.width > 0)
        add("Size", std::to_string(facts.width) + " \u00D7 " + std::to_string(facts.height) + " pixels");
    if (facts.file_bytes > 0) add("File size", human_size(facts.file_bytes));
    if (exif.date_taken.size() == 19) {
        // "YYYY:MM:DD HH:MM:SS" as written: the date's colons become dashes.
        std::string date = exif.date_taken;
        date[4] = date[7] = '-';
        add("Taken", date);
    } else if (facts.modified != 0) {
        std::tm local{};
        char text[32];
        if (localtime_r(&facts.modified, &local) != nullptr &&
            std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) != 0)
            add("Modified", text);
    }
    add("Colour profile", facts.colour_profile);
    // Many models repeat the maker's name.
    const bool model_has_make = !exif.make.empty() && exif.model.rfind(exif.make, 0) == 0;
    add("Camera", model_has_make || exif.make.empty() ? exif.model
                  : exif.model.empty()                ? exif.make
                                                      : exif.make + " " + exif.model);
    add("Exposure", exposure_text(exif.exposure_time));
    add("Aperture", f_number_text(exif.f_number));
    add("Focal length", focal_length_text(exif.focal_length));
    if (exif.iso > 0) add("ISO", std::to_string(exif.iso));
    return lines;
}
