// Writes the files scripts/bench.sh measures, so every program in a run (ours, llvm-nm,
// llvm-dlltool, the Windows build under Wine) works on the very same bytes:
//   bench_data DIR
//     synthetic5k.lib, synthetic20k.lib, synthetic50k.lib  our librarian's libraries for synthetic
//         DLLs with that many decorated code exports ("SyntheticFunction7@28"), DLLs beside them
//     synthetic1.lib  the same with one function: what a program costs before it has work
//   bench_data DIR COUNT
//     syntheticNk.lib (N = COUNT / 1000) alone, only its symbol tables (one DLL cannot export
//     that many functions): larger tables for the grid's emptying figures
//     exports20k.dll, exports20k.def  20,000 undecorated exports, one in fifty data: the DLL for
//         polib and the same exports as a module-definition file for llvm-dlltool
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "support/ArchiveBuilder.h"

using namespace zbench;
namespace lib = zandrel::librarian;

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WriteLibrary(const std::string& dir, const std::string& stem, int count) {
    const std::string dll = dir + "/" + stem + ".dll", out = dir + "/" + stem + ".lib";
    if (!WriteFile(dll, SyntheticDll(count, true))) return false;
    lib::BuildReport report;
    std::string error;
    if (!lib::BuildImportLibraryFile(dll, lib::Machine::X86, out, 0, report, error)) {
        std::fprintf(stderr, "bench_data: %s\n", error.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: bench_data DIR [COUNT]\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (argc == 3) {
        const int count = std::atoi(argv[2]);
        if (count < 1000) return 2;
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            names.push_back("_" + ExportName(i, true));
            names.push_back("__imp__" + ExportName(i, true));
        }
        std::sort(names.begin(), names.end());
        return WriteFile(dir + "/synthetic" + std::to_string(count / 1000) + "k.lib", ztest::MsArchive(names)) ? 0 : 1;
    }
    for (int count : {5000, 20000, 50000})
        if (!WriteLibrary(dir, "synthetic" + std::to_string(count / 1000) + "k", count)) return 1;
    if (!WriteLibrary(dir, "synthetic1", 1)) return 1;

    const int kExports = 20000;
    if (!WriteFile(dir + "/exports20k.dll", SyntheticDll(kExports, false, true))) return 1;
    std::string def = "LIBRARY exports20k.dll\nEXPORTS\n";
    for (int i = 0; i < kExports; ++i) def += "  " + ExportName(i, false) + (i % 50 == 0 ? " DATA\n" : "\n");
    if (!WriteFile(dir + "/exports20k.def", def)) return 1;
    return 0;
}
