// Prints how long the librarian takes on the largest Wine DLL at hand and on a synthetic DLL
// with 20,000 exports: reading the export directory, planning and writing the library in memory,
// and the whole build through files. Figures only; nothing here passes or fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "librarian/Librarian.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

using namespace zandrel::librarian;
using SteadyClock = std::chrono::steady_clock;

namespace {

double Ms(SteadyClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Measure(const std::string& label, const std::string& path, Machine machine) {
    const std::string image = ztest::ReadFile(path);
    const int rounds = 20;
    PeExports exports;
    std::string reason, lib;
    auto t0 = SteadyClock::now();
    for (int i = 0; i < rounds; ++i) ReadPeExports(image, exports, reason);
    auto t1 = SteadyClock::now();
    for (int i = 0; i < rounds; ++i) {
        LibraryContents plan = PlanImports(exports, machine, "bench.dll");
        WriteImportLibrary(plan.Imports, "bench.dll", machine, 0, lib, reason);
    }
    auto t2 = SteadyClock::now();
    ztest::TempDir dir;
    BuildReport report;
    for (int i = 0; i < rounds; ++i) BuildImportLibraryFile(path, machine, dir.File("bench.lib"), 0, report, reason);
    auto t3 = SteadyClock::now();
    std::printf("%s\n  %zu bytes, %zu named exports -> library of %zu bytes\n", label.c_str(), image.size(),
                exports.Named.size(), lib.size());
    std::printf("  ReadPeExports:             %8.2f ms\n", Ms(t1 - t0) / rounds);
    std::printf("  PlanImports + writing:     %8.2f ms\n", Ms(t2 - t1) / rounds);
    std::printf("  BuildImportLibraryFile:    %8.2f ms (read, build, write, rename)\n", Ms(t3 - t2) / rounds);
}

}  // namespace

int main() {
    ztest::TempDir dir;
    ztest::PeSpec spec;
    for (int i = 0; i < 20000; ++i)
        spec.Exports.push_back({"SyntheticFunction_" + std::to_string(i), i % 50 ? ztest::PeExportSpec::Code
                                                                                 : ztest::PeExportSpec::Data, ""});
    Measure("synthetic DLL, 20000 exports (x86)", dir.Write("synthetic.dll", ztest::BuildPe(spec).Bytes), Machine::X86);

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
        Measure("largest Wine DLL: " + largest.string(), largest.string(), wide ? Machine::X64 : Machine::X86);
    }
    return 0;
}
