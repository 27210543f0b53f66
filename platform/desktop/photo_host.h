// The desktop's PhotoHost: the photo view's clock, and the wake-up its
// worker threads send, delivered on the host's thread as the signal
// `woken`. The window that owns it connects the signal to the controller's
// poll, so the model and the window never call into each other.
#pragma once

#include "platform/photo_view.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>

class DesktopPhotoHost final : public QObject, public PhotoHost {
    Q_OBJECT

public:
    void wake() override;
    int64_t now_ms() override;

signals:
    void woken();

private:
    const std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
    std::atomic<bool> wake_posted_{false};
};
