// The window icon: an icon group resource and its images, turned into the
// icon file the toolkit's image reader understands.
#include "platform/desktop/desktop_icon.h"
#include "platform/resource_store.h"

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace {

// An icon group: a 6-byte header (reserved 0, type 1, count), then 14 bytes
// per image: width, height, colour count, reserved (bytes), planes, bits per
// pixel (u16), byte count (u32), ICON resource identifier (u16). An icon
// file has the same header and 16-byte entries whose last field is the
// image's offset in the file (u32) instead of an identifier.
constexpr uint32_t group_header_bytes = 6;
constexpr uint32_t group_entry_bytes = 14;
constexpr uint32_t file_entry_bytes = 16;

uint16_t get_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void put_u16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put_u32(std::string& out, uint32_t v) {
    put_u16(out, v & 0xFFFF);
    put_u16(out, v >> 16);
}

}  // namespace

std::vector<std::string> icon_files_from_group(
    const uint8_t* group, uint32_t group_size,
    const std::function<bool(uint16_t id, const uint8_t** data, uint32_t* size)>& find_icon) {
    if (group == nullptr || group_size < group_header_bytes) return {};
    if (get_u16(group) != 0 || get_u16(group + 2) != 1) return {};
    const uint32_t count = get_u16(group + 4);
    if (count == 0 || group_size < group_header_bytes + count * group_entry_bytes) return {};

    std::vector<std::string> files;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = group + group_header_bytes + i * group_entry_bytes;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (!find_icon(get_u16(entry + 12), &data, &size) || data == nullptr || size == 0) return {};
        std::string file;
        put_u16(file, 0);
        put_u16(file, 1);
        put_u16(file, 1);
        file.append(reinterpret_cast<const char*>(entry), 8);  // sizes, colours, planes, depth
        put_u32(file, size);  // the image's real byte count
        put_u32(file, group_header_bytes + file_entry_bytes);
        file.append(reinterpret_cast<const char*>(data), size);
        files.push_back(std::move(file));
    }
    return files;
}

QIcon icon_from_resources(uint16_t group_id) {
    ResourceBytes group{nullptr, 0};
    if (!find_embedded_resource(resource_type_icon_group, group_id, &group)) return {};
    const std::vector<std::string> files =
        icon_files_from_group(group.data, group.size, [](uint16_t id, const uint8_t** data, uint32_t* size) {
            ResourceBytes bytes{nullptr, 0};
            if (!find_embedded_resource(resource_type_icon, id, &bytes)) return false;
            *data = bytes.data;
            *size = bytes.size;
            return true;
        });
    QIcon icon;
    for (const std::string& file : files) {
        const QImage image = QImage::fromData(QByteArray(file.data(), static_cast<qsizetype>(file.size())), "ICO");
        if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
