#include "platform/desktop/photo_host.h"

void DesktopPhotoHost::wake() {
    // Called from worker threads; many results in a row need one poll.
    if (wake_posted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            wake_posted_ = false;
            emit woken();
        },
        Qt::QueuedConnection);
}

int64_t DesktopPhotoHost::now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began_).count();
}
