// Prints how long reading a large import library and generating its import block take, and how
// much memory the symbol list holds. Figures only; nothing here passes or fails.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "readers/ImportLib.h"
#include "support/ArchiveBuilder.h"
#include "table/FunctionTable.h"
#include "table/ImportSource.h"

using namespace zandrel;
using SteadyClock = std::chrono::steady_clock;

namespace {
double Ms(SteadyClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
}  // namespace

int main() {
    const int kFunctions = 50000;
    std::vector<std::string> names;
    for (int i = 0; i < kFunctions; ++i) {
        std::string n = "_Function" + std::to_string(i) + "@" + std::to_string(4 * (i % 12));
        names.push_back("__imp_" + n);
        names.push_back(n);
    }
    const std::string lib = ztest::MsArchive(names);

    SymbolList list;
    const int kRounds = 20;
    auto t0 = SteadyClock::now();
    for (int i = 0; i < kRounds; ++i) {
        list.clear();
        ParseArchive(lib, list);
    }
    auto t1 = SteadyClock::now();
    RowTable table = RowsFromSymbols(list);
    auto t2 = SteadyClock::now();
    ImportOptions options;
    options.LibName = "big.lib";
    std::size_t bytes = 0;
    for (int i = 0; i < kRounds; ++i) bytes = GenerateImportSource(table, options).size();
    auto t3 = SteadyClock::now();

    std::size_t held = list.capacity() * sizeof(SymbolEntry);
    for (const SymbolEntry& e : list) held += e.Name.capacity();
    std::printf("archive: %zu bytes, %d symbols, %zu entries\n", lib.size(), 2 * kFunctions, list.size());
    std::printf("ParseArchive:          %8.2f ms per read\n", Ms(t1 - t0) / kRounds);
    std::printf("RowsFromSymbols:       %8.2f ms\n", Ms(t2 - t1));
    std::printf("GenerateImportSource:  %8.2f ms per block (%zu bytes)\n", Ms(t3 - t2) / kRounds, bytes);
    std::printf("symbol list holds about %zu KiB\n", held / 1024);
    return 0;
}
