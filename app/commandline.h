// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Only --help and --version, which need no display. Anything else, Qt's own -platform
// included, is refused, so a typo never opens the window with a setting the user did not mean.
enum class CommandLineAction { Run, Help, Version, Refuse };

CommandLineAction parseCommandLine(int argc, const char* const* argv);

const char* usageLine();
// The first argument that is wrong, and usage.
std::string refusalLine(int argc, const char* const* argv);
std::string helpText();
std::string versionText();

// Whether one of the variables Qt reads to find a window system is set.
bool haveDisplaySetting();
// Names the setting that failed, or for Wayland without Qt's plugin, the package to install.
std::string unreachableDisplayLine();

// Around the QApplication constructor: Qt's messages are held back, and a fatal one (no window
// system) ends the program with unreachableDisplayLine() and status 2 instead of Qt's abort.
class DisplayStartGuard {
public:
    DisplayStartGuard();
    ~DisplayStartGuard();
    DisplayStartGuard(const DisplayStartGuard&) = delete;
    DisplayStartGuard& operator=(const DisplayStartGuard&) = delete;
};
