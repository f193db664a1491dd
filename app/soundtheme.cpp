// SPDX-License-Identifier: MIT
#include "app/soundtheme.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <csignal>
#include <vector>

#include "model/coreplatform.h"

namespace {

// One setting read through the desktop's own tool; empty when the tool is missing, fails or
// takes over a second. Not QProcess, which wants a Qt thread with an event loop: this runs on the
// beep's worker. GSettings prints strings quoted ('freedesktop').
QByteArray askTool(std::vector<const char*> arguments) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    arguments.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, arguments[0], &actions, nullptr,
                                     const_cast<char* const*>(arguments.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return {};
    }
    QByteArray value;
    const qint64 deadline = bootTimeMs() + 1000;
    for (;;) {
        const qint64 left = deadline - bootTimeMs();
        pollfd fd{out[0], POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0) {
            ::kill(pid, SIGKILL);
            value.clear();
            break;
        }
        char buffer[256];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        value.append(buffer, static_cast<qsizetype>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {};
    }
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith('\'') && value.endsWith('\'')) {
        value = value.mid(1, value.size() - 2);
    }
    return value;
}

QByteArray fromGtkSettings() {
    // The user's, then the system's.
    const QStringList files = QStandardPaths::locateAll(QStandardPaths::GenericConfigLocation,
                                                        QStringLiteral("gtk-3.0/settings.ini")) +
                              QStringList{QStringLiteral("/etc/gtk-3.0/settings.ini")};
    for (const QString& file : files) {
        if (!QFileInfo(file).isFile()) {
            continue;
        }
        const QSettings ini(file, QSettings::IniFormat);
        const QString name = ini.value(QStringLiteral("Settings/gtk-sound-theme-name")).toString();
        if (!name.isEmpty()) {
            return name.toUtf8();
        }
    }
    return {};
}

}  // namespace

QByteArray desktopSoundTheme(const QByteArray& currentDesktop) {
    QByteArray theme;
    // XDG_CURRENT_DESKTOP is a colon-separated list, most specific first.
    for (const QByteArray& desktop : currentDesktop.toUpper().split(':')) {
        if (QByteArrayList{"GNOME", "UNITY", "BUDGIE", "PANTHEON"}.contains(desktop)) {
            theme = askTool({"gsettings", "get", "org.gnome.desktop.sound", "theme-name"});
        } else if (desktop == "MATE") {
            theme = askTool({"gsettings", "get", "org.mate.sound", "theme-name"});
        } else if (desktop == "XFCE") {
            theme = askTool({"xfconf-query", "-c", "xsettings", "-p", "/Net/SoundThemeName"});
        }
        if (!theme.isEmpty()) {
            return theme;
        }
    }
    return fromGtkSettings();
}
