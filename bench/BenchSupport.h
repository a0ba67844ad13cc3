// What the benchmarks share: timing by repeated rounds, the figures they hand to scripts/bench.sh,
// and the synthetic DLLs and import libraries they measure.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "librarian/Librarian.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

namespace zbench {

using SteadyClock = std::chrono::steady_clock;

inline double Ms(SteadyClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Timing {
    double median = 0, min = 0, max = 0;
    int rounds = 0;
};

// Runs `work` `rounds` times and takes the median: on a shared machine a mean drifts with
// whatever else runs, the median much less.
inline Timing TimeRounds(int rounds, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = SteadyClock::now();
        work();
        ms.push_back(Ms(SteadyClock::now() - t0));
    }
    std::sort(ms.begin(), ms.end());
    Timing t;
    t.rounds = rounds;
    t.min = ms.front();
    t.max = ms.back();
    t.median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    return t;
}

// Prints one figure and, when ZANDREL_BENCH_FIGURES names a file, appends it there as
// "key<TAB>value<TAB>unit" for the summary table of scripts/bench.sh.
inline void Figure(const std::string& key, const std::string& label, double value, const char* unit,
                   const std::string& note = "") {
    std::printf("  %-44s %10.2f %s%s%s\n", label.c_str(), value, unit, note.empty() ? "" : "  ", note.c_str());
    if (const char* path = std::getenv("ZANDREL_BENCH_FIGURES"); path && *path) {
        if (std::FILE* f = std::fopen(path, "ab")) {
            std::fprintf(f, "%s\t%.3f\t%s\n", key.c_str(), value, unit);
            std::fclose(f);
        }
    }
}

inline void Figure(const std::string& key, const std::string& label, const Timing& t) {
    char note[96];
    std::snprintf(note, sizeof note, "(median of %d, %.2f to %.2f)", t.rounds, t.min, t.max);
    Figure(key, label, t.median, "ms", note);
}

// Export names of the synthetic DLLs. Decorated like stdcall exports ("Name@8") where asked,
// so the reader's parameter decoding has work to do as it has on real libraries.
inline std::string ExportName(int i, bool decorated) {
    std::string name = "SyntheticFunction" + std::to_string(i);
    return decorated ? name + "@" + std::to_string(4 * (i % 12)) : name;
}

// A 32-bit DLL with `count` named code exports (one in fifty data when `withData`).
inline std::string SyntheticDll(int count, bool decorated, bool withData = false) {
    ztest::PeSpec spec;
    spec.DllName = "synthetic.dll";
    for (int i = 0; i < count; ++i)
        spec.Exports.push_back({ExportName(i, decorated),
                                withData && i % 50 == 0 ? ztest::PeExportSpec::Data : ztest::PeExportSpec::Code,
                                ""});
    return ztest::BuildPe(spec).Bytes;
}

// Writes `dll` into `dir` under `dllName` and our librarian's library for it beside it; returns
// the library's path, or "" on failure.
inline std::string WriteSyntheticLibrary(const ztest::TempDir& dir, const std::string& dllName, int count,
                                         bool decorated) {
    const std::string dll = dir.Write(dllName, SyntheticDll(count, decorated));
    const std::string lib = dir.File(zandrel::librarian::LibraryNameForDll(dllName));
    zandrel::librarian::BuildReport report;
    std::string error;
    if (!zandrel::librarian::BuildImportLibraryFile(dll, zandrel::librarian::Machine::X86, lib, 0, report, error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", lib.c_str(), error.c_str());
        return {};
    }
    return lib;
}

}  // namespace zbench
