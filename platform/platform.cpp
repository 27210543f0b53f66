// The runtime half of the platform services, shared by every front end.
#include "platform/platform.h"

#include "platform/resource_store.h"

#include <chrono>
#include <cstdio>
#include <ctime>

bool Platform::find_resource(ModuleHandle, uint16_t type, uint16_t id, const uint8_t** data, uint32_t* size) {
    ResourceBytes bytes{nullptr, 0};
    bool found = find_embedded_resource(type, id, &bytes) && bytes.data != nullptr && bytes.size > 0;
    *data = found ? bytes.data : nullptr;
    *size = found ? bytes.size : 0;
    return found;
}

int32_t Platform::load_string(ModuleHandle, uint16_t id, char16_t* buffer, int32_t limit) {
    if (buffer == nullptr) return 0;
    if (limit <= 0) {
        buffer[0] = 0;
        return 0;
    }
    return load_embedded_string(id, buffer, limit);
}

int Platform::run_photo_view(PhotoController&) { return photo_view_unsupported; }

int32_t Platform::random() {
    random_state_ = random_state_ * 214013u + 2531011u;
    return static_cast<int32_t>((random_state_ >> 16) & 0x7FFF);
}

void Platform::seed_random(uint32_t seed) { random_state_ = seed; }

uint32_t Platform::tick_count() {
    // From the machine's start, as the handheld counts: each run of the
    // program then seeds its random start differently.
#ifdef CLOCK_BOOTTIME
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                     static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Platform::diagnostic_print(const char* format, int32_t value) {
    if (format == nullptr) return;
    std::fprintf(stderr, format, value);
    std::fflush(stderr);
}
