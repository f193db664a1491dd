// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// The sound theme for the bell that the desktop (XDG_CURRENT_DESKTOP) names in its settings
// (GSettings, MATE's, Xfce's xsettings) or a GTK settings.ini does; empty for libcanberra's
// default. Asks the desktop's settings tool, up to a second: call it off the user-interface thread.
QByteArray desktopSoundTheme(const QByteArray& currentDesktop);
