// Starts a program next to the running one (in the same Wine session) and
// collects what it prints.
#pragma once

#include <string>

namespace zelio::hidsim {

struct ProgramResult {
    int exitCode = -1;  // -1: did not start or did not end in time
    std::string out;
    std::string err;
    long long elapsedMs = 0;
};

// Runs `program` (a file name next to this program) with `arguments` (one
// command-line string), ending it after `timeoutMs`.
ProgramResult runProgram(const std::wstring& program, const std::wstring& arguments, int timeoutMs = 60000);

}  // namespace zelio::hidsim
