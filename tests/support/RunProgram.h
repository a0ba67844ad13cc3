// Runs one of our command-line programs as a separate process, the way scripts use it, and
// collects its exit status and output.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "support/TempDir.h"

namespace ztest {

struct ProgramResult {
    int status = -1;
    std::string out, err;
};

// `args` stand exactly as written (quotes included). Output goes through files in `scratch`;
// with a `folder` the program runs there.
inline ProgramResult RunProgram(const std::string& program, const std::string& args, const std::string& scratch,
                                const std::string& folder = "") {
    const std::string out = scratch + "/stdout.txt", err = scratch + "/stderr.txt";
    std::string cmd = "\"" + program + "\" " + args + " >\"" + out + "\" 2>\"" + err + "\"";
#if defined(_WIN32)
    if (!folder.empty()) cmd = "cd /d \"" + folder + "\" && " + cmd;
    cmd = "\"" + cmd + "\"";  // cmd.exe strips one pair of outer quotes
#else
    if (!folder.empty()) cmd = "cd '" + folder + "' && " + cmd;
#endif
    ProgramResult r;
    int rc = std::system(cmd.c_str());
#if defined(_WIN32)
    r.status = rc;
#else
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    std::error_code ec;
    std::filesystem::remove(out, ec);
    std::filesystem::remove(err, ec);
    return r;
}

}  // namespace ztest
