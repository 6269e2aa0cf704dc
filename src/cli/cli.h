// zelioctl: a scriptable command-line front end to the module link and the
// command set. The logic lives here, apart from main(), so that it can run on
// any HID host, the emulated one included.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "link/hid_host.h"

namespace zelio {

inline constexpr int kCliOk = 0;       // the command did what was asked
inline constexpr int kCliFailed = 1;   // the module (or a file) failed
inline constexpr int kCliUsage = 2;    // bad command line, nothing was done

// Runs one command. `args` are the words after the program name (no
// "--emulate"; main() handles that). Results go to `out`, every error as one
// line to `err`. Returns one of the exit codes above.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, HidHost& host,
           Clock& clock);

// The text printed by "zelioctl help".
const char* cliUsage();

}  // namespace zelio
