// Folders of pictures written by cjpeg at test time.
#include "tests/support/picture_folder.h"

#include "tests/support/jpeg_builder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace e2e {

using Bytes = std::vector<uint8_t>;

namespace {

void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

}  // namespace

Bytes exif_segment(bool big, const std::vector<std::array<uint32_t, 4>>& ifd0,
                   const std::vector<std::array<uint32_t, 4>>& exif, const std::string& date) {
    Bytes t = {'E', 'x', 'i', 'f', 0, 0};
    const auto put = [&t, big](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) t.push_back(static_cast<uint8_t>(value >> 8 * (big ? bytes - 1 - i : i)));
    };
    put(big ? 0x4D4D : 0x4949, 2), put(42, 2), put(8, 4);
    const uint32_t exif_at = static_cast<uint32_t>(8 + 2 + 12 * ifd0.size() + 4);
    const uint32_t date_at = static_cast<uint32_t>(exif_at + 2 + 12 * exif.size() + 4);
    for (const auto* directory : {&ifd0, &exif}) {
        put(static_cast<uint32_t>(directory->size()), 2);
        for (const auto& [tag, type, count, value] : *directory) {
            put(tag, 2), put(type, 2), put(count, 4);
            const uint32_t v = value != 0 ? value : tag == 0x8769 ? exif_at : date_at;
            type == 3 ? (put(v, 2), put(0, 2)) : put(v, 4);
        }
        put(0, 4);
    }
    t.insert(t.end(), date.begin(), date.end());
    t.push_back(0);
    return t;
}

void PictureFolder::encode(const std::string& name, int width, int height, const std::string& options) {
    const Picture p = make_picture(width, height, 3, static_cast<uint32_t>(width * 7 + height));
    Bytes ppm;
    const std::string head = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    ppm.insert(ppm.end(), head.begin(), head.end());
    ppm.insert(ppm.end(), p.samples.begin(), p.samples.end());
    write_file(at("in.ppm"), ppm);
    run("cjpeg " + options + " '" + at("in.ppm") + "' > '" + at(name) + "'");
    unlink(at("in.ppm").c_str());
}

void PictureFolder::insert_exif(const std::string& name, const Bytes& segment) { insert_segment(name, 0xE1, segment); }

void PictureFolder::insert_segment(const std::string& name, int code, const Bytes& segment) {
    Bytes jpeg = read_file(at(name));
    const Bytes marker = {0xFF, uint8_t(code), uint8_t((segment.size() + 2) >> 8), uint8_t(segment.size() + 2)};
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    jpeg.insert(jpeg.begin() + 2, marker.begin(), marker.end());
    write_file(at(name), jpeg);
}

Picture PictureFolder::reference(const std::string& file, const std::string& options) const {
    run("djpeg -dct int -nosmooth " + options + " -ppm '" + file + "' > '" + at("out.ppm") + "'");
    const Bytes ppm = read_file(at("out.ppm"));
    int width = 0, height = 0, header = 0;
    std::sscanf(reinterpret_cast<const char*>(ppm.data()), "P6 %d %d 255%n", &width, &height, &header);
    Picture p{width, height, 3, Bytes(ppm.begin() + header + 1, ppm.end())};
    for (size_t i = 0; i < p.samples.size(); i += 3) std::swap(p.samples[i], p.samples[i + 2]);
    return p;
}

const PictureFolder& album_pictures() {
    static PictureFolder* folder = [] {
        auto* f = new PictureFolder;
        f->encode("img2.jpg", 300, 200, "-quality 90");
        f->encode("img10.jpg", 200, 300, "-progressive");
        f->encode("Grey.jpg", 120, 80, "-grayscale");
        f->encode("restart.jpg", 64, 48, "-restart 1 -sample 2x1");
        f->encode("picture", 32, 32, "");
        f->encode("turned.jpg", 64, 48, "");
        f->insert_exif("turned.jpg", exif_segment(false, {{0x112, 3, 1, 6}, {0x8769, 4, 1, 0}}, {{0x9003, 2, 20, 0}}));
        f->encode("broken.jpg", 300, 200, "");
        Bytes broken = read_file(f->at("broken.jpg"));
        broken.resize(4000);
        write_file(f->at("broken.jpg"), broken);
        f->encode(".hidden.jpg", 16, 16, "");
        write_file(f->at("fake.jpg"), Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G', '\n'});
        mkdir(f->at("sub").c_str(), 0755);
        f->encode("sub/inner.jpg", 16, 16, "");
        symlink("..", f->at("sub/loop").c_str());
        // Named files that cannot be opened, in a hidden folder that folder
        // listings leave out: a pipe, a link to itself, and a picture that
        // only privileges can read.
        mkdir(f->at(".odd").c_str(), 0755);
        mkfifo(f->at(".odd/pipe.jpg").c_str(), 0644);
        symlink("loop.jpg", f->at(".odd/loop.jpg").c_str());
        f->encode(".odd/secret.jpg", 16, 16, "");
        chmod(f->at(".odd/secret.jpg").c_str(), 0);
        // And a picture whose decode takes many minutes: 100,000 empty
        // refinement scans over the blocks of an 8192 x 8192 grey frame.
        jt::Stream slow;
        slow.soi().dqt(0, 1).dht(0, 0, jt::dc_def()).sof(0xC2, 8192, 8192, jt::grey()).sos({{1, 0, 0}}, 0, 0, 0, 1);
        for (int scan = 0; scan < 100000; ++scan) slow.sos({{1, 0, 0}}, 0, 0, 1, 0);
        write_file(f->at(".odd/slow.jpg"), slow.eoi().bytes);
        const timespec times[2] = {{1735787045, 0}, {1735787045, 0}};  // 2025-01-02 03:04:05 UTC
        for (const char* name : {"broken.jpg", "fake.jpg"}) utimensat(AT_FDCWD, f->at(name).c_str(), times, 0);
        std::atexit([] { std::filesystem::remove_all(album_pictures().dir); });
        return f;
    }();
    return *folder;
}

}  // namespace e2e
