// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The program's command line: it has no options of its own besides --help and --version,
// which work without a display. Anything else, Qt's own -platform and friends included, is
// refused, so a typo never opens the window with a setting the user did not mean; Qt is set
// up through its environment variables instead.
enum class CommandLineAction { Run, Help, Version, Refuse };

CommandLineAction parseCommandLine(int argc, const char* const* argv);

// "usage: tavo [--help | --version]", without a newline.
const char* usageLine();
// The one line said for a refused command line: the first argument that is wrong, and usage.
std::string refusalLine(int argc, const char* const* argv);
// The text --help prints: what the program is, its options, files, environment and exit codes.
std::string helpText();
// "tavo 1.1"
std::string versionText();

// Whether one of the variables Qt reads to find a window system is set.
bool haveDisplaySetting();
// The one line said when no window system can be reached, naming the setting that failed, or,
// for a Wayland display without Qt's Wayland plugin, the package that brings the plugin.
std::string unreachableDisplayLine();

// While one of these lives, Qt's messages are held back, and a fatal one (Qt found no
// window system it could open) ends the program with one line from unreachableDisplayLine()
// and exit status 2 instead of Qt's abort. The held messages are passed on when it goes.
// Meant to surround the QApplication constructor only.
class DisplayStartGuard {
public:
    DisplayStartGuard();
    ~DisplayStartGuard();
    DisplayStartGuard(const DisplayStartGuard&) = delete;
    DisplayStartGuard& operator=(const DisplayStartGuard&) = delete;
};
