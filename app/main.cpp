// SPDX-License-Identifier: MIT
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/fonts.h"
#include "app/mainwindow.h"
#include "platform/platform.h"

namespace {

bool haveDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!haveDisplay()) {
        std::fputs(
            "tavo: no display found (DISPLAY is not set); run it on a desktop, or as "
            "'xvfb-run -a tavo' for a virtual one.\n",
            stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavo"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.tavo.Tavo"));
    fonts::prepareApplication();

    SystemPlatform platform;
    platform.prepareBeep();
    MainWindow window(platform);
    window.show();
    return QApplication::exec();
}
