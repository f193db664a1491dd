// SPDX-License-Identifier: MIT
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/systemplatform.h"
#include "print/printqueue.h"

int main(int argc, char* argv[]) {
    switch (parseCommandLine(argc, argv)) {
        case CommandLineAction::Help:
            std::fputs(helpText().c_str(), stdout);
            return 0;
        case CommandLineAction::Version:
            std::puts(versionText().c_str());
            return 0;
        case CommandLineAction::Refuse:
            std::fprintf(stderr, "%s\n", refusalLine(argc, argv).c_str());
            return 2;
        case CommandLineAction::Run:
            break;
    }
    if (!haveDisplaySetting()) {
        std::fputs(
            "tavo: no display found (DISPLAY is not set); run it on a desktop, or as "
            "'xvfb-run -a tavo' for a virtual one.\n",
            stderr);
        return 2;
    }
    auto guard = std::make_unique<DisplayStartGuard>();
    QApplication app(argc, argv);
    guard.reset();
    QApplication::setApplicationName(QStringLiteral("Tavo"));
    QApplication::setApplicationVersion(QStringLiteral(TAVO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.github.tavo.Tavo"));

    SystemPlatform platform;
    platform.prepareBeep();
    MainWindow window(platform);
    window.show();
    const int status = QApplication::exec();
    if (printqueue::questionsRunning()) {
        // A print server that never answered still holds a question's thread, which may yet
        // reach into Qt's print support: end here, before anything is torn down under it.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
