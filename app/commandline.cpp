// SPDX-License-Identifier: MIT
#include "app/commandline.h"

#include <QByteArray>
#include <QDir>
#include <QLibraryInfo>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#ifndef TAVO_VERSION
#error "TAVO_VERSION must be defined by the build"
#endif

namespace {

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Whether Qt's Wayland plugin (Debian's qt6-wayland) is anywhere Qt looks for platform plugins.
bool haveWaylandPlugin() {
    QStringList dirs =
        QString::fromLocal8Bit(env("QT_PLUGIN_PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts)
        << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    for (QString& dir : dirs) {
        dir += QStringLiteral("/platforms");
    }
    if (const char* extra = env("QT_QPA_PLATFORM_PLUGIN_PATH")) {
        dirs.prepend(QString::fromLocal8Bit(extra));
    }
    return std::any_of(dirs.cbegin(), dirs.cend(), [](const QString& dir) {
        return !QDir(dir).entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
    });
}

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> heldMessages;

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        // Instead of Qt's page of advice: which display failed, and a usage-class status.
        std::fprintf(stderr, "%s\n", unreachableDisplayLine().c_str());
        std::fflush(stderr);
        std::_Exit(2);
    }
    heldMessages.append({type, QByteArray(context.category), text});
}

}  // namespace

CommandLineAction parseCommandLine(int argc, const char* const* argv) {
    const std::string only = argc == 2 ? argv[1] : "";
    return argc <= 1             ? CommandLineAction::Run
           : only == "--help"    ? CommandLineAction::Help
           : only == "--version" ? CommandLineAction::Version
                                 : CommandLineAction::Refuse;
}

const char* usageLine() {
    return "usage: tavo [--help | --version]";
}

std::string refusalLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") != 0 && std::strcmp(argv[i], "--version") != 0) {
            return std::string("tavo: unexpected argument '") + argv[i] + "'; " + usageLine();
        }
    }
    return std::string("tavo: one option at most; ") + usageLine();
}

std::string helpText() {
    return std::string(usageLine()) +
           "\n"
           "Pick six distinct lottery numbers from 1 to 43 on spinning reels, in five blocks.\n"
           "The window is in Japanese and has no command-line options of its own.\n"
           "\n"
           "  --help     print this help and exit\n"
           "  --version  print the version and exit\n"
           "\n"
           "Results are saved as TavoLog.csv and yymmdd_hhmm.csv, and prints that find no\n"
           "printer as Tavo_yymmdd_hhmmss.pdf, beside the program when its folder is yours\n"
           "to write, otherwise in your documents folder under Tavo/.\n"
           "Needs a display: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM.\n"
           "Exit status: 0 on success, 2 for a bad argument or no usable display.\n"
           "See tavo(1) for more.\n";
}

std::string versionText() {
    return std::string("tavo ") + TAVO_VERSION;
}

bool haveDisplaySetting() {
    return env("DISPLAY") != nullptr || env("WAYLAND_DISPLAY") != nullptr ||
           env("QT_QPA_PLATFORM") != nullptr;
}

std::string unreachableDisplayLine() {
    const char* platform = env("QT_QPA_PLATFORM");
    const char* wayland = env("WAYLAND_DISPLAY");
    const char* x = env("DISPLAY");
    const std::string xSetting = x != nullptr ? std::string("DISPLAY=") + x : std::string();
    const std::string waylandSetting =
        wayland == nullptr ? std::string()
                           : std::string("WAYLAND_DISPLAY=") + wayland + (x ? ", " + xSetting : "");
    if (wayland != nullptr && (platform == nullptr || std::strstr(platform, "wayland")) &&
        !haveWaylandPlugin()) {
        // The display is there; what is missing is the means to talk to it.
        return "tavo: cannot show the window on Wayland (" + waylandSetting +
               "): Qt's Wayland plugin is not installed; install the package qt6-wayland.";
    }
    std::string setting = "no DISPLAY";
    if (platform != nullptr) {
        setting = std::string("QT_QPA_PLATFORM=") + platform;
    } else if (wayland != nullptr) {
        setting = waylandSetting;
    } else if (x != nullptr) {
        setting = xSetting;
    }
    return "tavo: cannot open the display (" + setting +
           "); run it on a desktop, or as 'xvfb-run -a tavo' for a virtual one.";
}

DisplayStartGuard::DisplayStartGuard() {
    previousHandler = qInstallMessageHandler(holdMessage);
}

DisplayStartGuard::~DisplayStartGuard() {
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage& held : std::exchange(heldMessages, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr, held.category.constData());
        // Qt 6 hands back its default handler, never null, when none was installed.
        previousHandler(held.type, context, held.text);
    }
}
