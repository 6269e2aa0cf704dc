// Program start: the command-line file rule and the run of the main window.
#pragma once

#include "ui/win32_util.h"

#include <string>
#include <string_view>

#include "link/hid_host.h"

namespace zelio::ui {

// The configuration file named on the command line, or empty. A text whose
// last character is a double quote loses its first and last characters; the
// result is kept only when it contains ".kbd" (case-sensitive) and fits the
// 259-character path buffer.
std::wstring startupFilePath(std::wstring_view commandLine);

class MainWindow;

// One message of the loop: the main window's dialog-style keyboard
// navigation first, else translated and dispatched.
void dispatchLoopMessage(MainWindow& main, MSG& msg);

// Registers the class, creates and shows the main window, runs the message
// loop and unregisters the class again. Returns the exit code.
int runApp(HINSTANCE instance, std::wstring_view commandLine, int showCmd, HidHost& host);

}  // namespace zelio::ui
