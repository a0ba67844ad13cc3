// Prints how long the librarian takes on a synthetic DLL with 20,000 exports and on the Wine
// system DLL with the most named exports: reading the export directory, planning and writing
// the library in memory, and the whole build through files. Then what reading parameter counts
// from the code of every export adds to that, on Wine DLLs of about 1,000 exports of both
// machines, and the time per export at growing numbers of exports. Figures only; nothing here
// passes or fails.
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "librarian/InferredCounts.h"
#include "librarian/Librarian.h"
#include "librarian/Signatures.h"

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

void MeasureSignatures(const std::string& folder, const char* name, Machine machine) {
    const std::string path = folder + "/" + name;
    const std::string image = ztest::ReadFile(path);
    PeExports exports;
    std::string reason;
    if (!ReadPeExports(image, exports, reason)) {
        std::printf("%s: not readable, skipped\n", path.c_str());
        return;
    }
    const std::string key = std::string(name).substr(0, std::string(name).find('.')) +
                            (machine == Machine::X64 ? "64" : "32");
    const std::size_t n = exports.Named.size();
    std::printf("%s\n  %zu named exports\n", path.c_str(), n);
    // Other DLLs as Open DLL finds them: beside the DLL, the part the code walk needs.
    const ImageLoader loader = FolderImageLoader({folder}, machine);
    const int rounds = 5;
    ztest::TempDir dir;
    BuildReport report;
    // As polib builds it: the code is read for the x86 names' decoration only.
    const Timing build = TimeRounds(rounds, [&] {
        BuildImportLibraryFile(path, machine, dir.File("bench.lib"), 0, report, reason, loader, false);
    });
    Figure("polib-build." + key + "." + kPlatform, "BuildImportLibraryFile, as polib builds it", build);
    std::size_t exact = 0;
    // What the window does beside the librarian: the DLL read for its code, every export inferred.
    const Timing infer = TimeRounds(rounds, [&] {
        FileBytes part;
        PeExports read;
        ReadDllCode(path, part, reason);
        ReadPeExports(part, read, reason);
        const std::vector<Signature> sigs = InferSignatures(part, read, loader);
        exact = 0;
        for (const Signature& s : sigs) exact += s.Sure == Certainty::Exact;
    });
    Figure("signatures." + key + "." + kPlatform, "reading the DLL's code + InferSignatures, every export", infer);
    Figure("signatures-share." + key + "." + kPlatform, "  compared with building the library",
           100.0 * infer.median / build.median, "%");
    Figure("signatures-each." + key + "." + kPlatform, "  per export", 1000.0 * infer.median / static_cast<double>(n),
           "us");
    std::printf("  %zu of %zu exact\n", exact, n);
    // Linear means the same time per export however many there are.
    for (std::size_t part : {n / 8, n / 4, n / 2, n}) {
        if (part == 0) continue;
        PeExports some = exports;
        some.Named.resize(part);
        const Timing t = TimeRounds(rounds, [&] { InferSignatures(image, some, loader); });
        Figure("signatures-per-export." + key + "." + std::to_string(part) + "." + kPlatform,
               "  per export, first " + std::to_string(part), 1000.0 * t.median / static_cast<double>(part), "us");
    }
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
    std::printf("\nParameter counts read from the code (other DLLs loaded from the same folder)\n");
    for (const char* folder : {ZANDREL_WINE_DLL32, ZANDREL_WINE_DLL64}) {
        const Machine machine = std::string(folder) == ZANDREL_WINE_DLL64 ? Machine::X64 : Machine::X86;
        for (const char* name : {"msvcrt.dll", "kernel32.dll", "user32.dll", "shell32.dll"})
            MeasureSignatures(folder, name, machine);
    }
    return 0;
}
