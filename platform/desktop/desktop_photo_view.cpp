// The desktop front end's photo view: its window, run in an event loop of
// its own until the view finishes.
#include "platform/desktop/desktop_icon.h"
#include "platform/desktop/desktop_platform.h"
#include "platform/desktop/photo_window.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>

int DesktopPlatform::run_photo_view(PhotoController& controller) {
    PhotoWindow window(controller, scale_);
    window.setWindowIcon(icon_from_resources(111));
    // Three quarters of the screen, until a --scale asks for the picture's size.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize available = screen == nullptr ? QSize(1024, 768) : screen->availableSize();
    window.resize(available * 3 / 4);
    QEventLoop loop;
    window.on_finished = [&loop] { loop.quit(); };
    controller.start(window.host());
    window.show();
    window.activateWindow();
    window.follow_scene();
    if (on_photo_view_shown)
        QTimer::singleShot(0, &window, [this, &window, &controller] {
            if (!controller.finished() && on_photo_view_shown) on_photo_view_shown(*this, window);
        });
    if (!controller.finished()) loop.exec();
    // However the loop ended, the view's work stops before the window goes.
    if (!controller.finished()) controller.command(PhotoCommand::Quit);
    window.on_finished = nullptr;
    window.hide();
    return controller.exit_status();
}
