// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// The sound theme the user's desktop names, for the bell: GNOME and the desktops built on its
// settings keep it in GSettings, MATE in its own schema, Xfce in its xsettings channel; on any
// desktop a GTK settings.ini (the user's, then the system's) may name one. Empty where none is
// named: then libcanberra's default, the freedesktop theme, which every theme falls back to.
// currentDesktop is XDG_CURRENT_DESKTOP. Asks the desktop's settings tool, so it may take up to
// a second: call it off the user-interface thread.
QByteArray desktopSoundTheme(const QByteArray& currentDesktop);
