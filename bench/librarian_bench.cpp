// Prints how long the librarian takes on the largest Wine DLL at hand and on a synthetic DLL
// with 20,000 exports: reading the export directory, planning and writing the library in memory,
// and the whole build through files. Figures only; nothing here passes or fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
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

    for (const char* folder : {ZANDREL_WINE_DLL32, ZANDREL_WINE_DLL64}) {
        std::error_code ec;
        std::filesystem::path largest;
        std::uintmax_t size = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec))
            if (e.path().extension() == ".dll" && e.file_size(ec) > size) {
                size = e.file_size(ec);
                largest = e.path();
            }
        if (largest.empty()) {
            std::printf("no DLLs in %s: skipped\n", folder);
            continue;
        }
        const bool wide = std::string(folder) == ZANDREL_WINE_DLL64;
        Measure("largest Wine DLL: " + largest.string(), wide ? "winedll64" : "winedll32", largest.string(),
                wide ? Machine::X64 : Machine::X86);
    }
    return 0;
}
