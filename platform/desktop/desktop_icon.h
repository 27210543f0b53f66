// The desktop window's icon, made from the icon group resources of the
// program's resource store.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QIcon;

// The window icon made from icon group `group_id` of the resource store: one
// image per ICON resource the group names. An empty icon when the group is
// missing or damaged.
QIcon icon_from_resources(uint16_t group_id);

// One single-image icon file per image of an icon group resource, for
// toolkits that read icon files. Empty when the group or any of its images
// is missing or damaged. `find_icon` yields the bytes of one ICON resource.
std::vector<std::string> icon_files_from_group(
    const uint8_t* group, uint32_t group_size,
    const std::function<bool(uint16_t id, const uint8_t** data, uint32_t* size)>& find_icon);
