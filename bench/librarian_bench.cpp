// Prints how long the librarian takes on a synthetic DLL with 20,000 exports and on the Wine
// system DLL with the most named exports: reading the export directory, planning and writing
// the library in memory, and the whole build through files. Figures only; nothing here passes
// or fails.
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "librarian/Librarian.h"

using namespace zandrel::librarian;
using namespace zbench;

namespace {

#if defined(_WIN32)
const std::string kPlatform = "win32";
#else
const std::string kPlatform = "native";
#endif

void Measure(const std::string& label, const std::string& key, const std::string& path, Machine machine) {
    const std::string image = ztest::ReadFile(path);
    const int rounds = 21;
    PeExports exports;
    std::string reason, lib;
    ReadPeExports(image, exports, reason);
    std::printf("%s\n  %zu bytes, %zu named exports\n", label.c_str(), image.size(), exports.Named.size());
    Figure("polib-read." + key + "." + kPlatform, "ReadPeExports",
           TimeRounds(rounds, [&] { ReadPeExports(image, exports, reason); }));
    Figure("polib-write." + key + "." + kPlatform, "PlanImports + writing in memory", TimeRounds(rounds, [&] {
               LibraryContents plan = PlanImports(exports, machine, "bench.dll");
               WriteImportLibrary(plan.Imports, "bench.dll", machine, 0, lib, reason);
           }));
    ztest::TempDir dir;
    BuildReport report;
    Figure("polib-build." + key + "." + kPlatform, "BuildImportLibraryFile (read, build, write)",
           TimeRounds(rounds, [&] { BuildImportLibraryFile(path, machine, dir.File("bench.lib"), 0, report, reason); }));
    std::printf("  library of %zu bytes\n", lib.size());
}

}  // namespace

int main() {
    ztest::TempDir dir;
    Measure("synthetic DLL, 20000 exports (x86)", "synthetic20k",
            dir.Write("synthetic.dll", SyntheticDll(20000, false, true)), Machine::X86);

    // The largest file says little (mshtml.dll is the largest and exports 15 names); these are
    // the real DLLs with the most exports.
    for (const char* folder : {ZANDREL_WINE_DLL32, ZANDREL_WINE_DLL64}) {
        const bool wide = std::string(folder) == ZANDREL_WINE_DLL64;
        std::string best;
        std::size_t most = 0;
        for (const char* name : {"ntdll.dll", "kernel32.dll", "kernelbase.dll", "msvcrt.dll", "ucrtbase.dll",
                                 "user32.dll", "gdi32.dll", "shell32.dll"}) {
            const std::string path = std::string(folder) + "/" + name;
            PeExports exports;
            std::string reason;
            if (ReadPeExports(ztest::ReadFile(path), exports, reason) && exports.Named.size() > most) {
                most = exports.Named.size();
                best = path;
            }
        }
        if (best.empty()) {
            std::printf("no system DLLs in %s: skipped\n", folder);
            continue;
        }
        Measure("Wine DLL with the most exports: " + best, wide ? "winedll64" : "winedll32", best,
                wide ? Machine::X64 : Machine::X86);
    }
    return 0;
}
