// Prints how long reading a 50,000-function import library from disk takes, how long generating
// its import block takes, and how much memory the symbol list holds. Built natively and for
// Windows (run under Wine), so both figures come from the same source. Figures only; nothing
// here passes or fails.
//   core_bench [LIB]   LIB: the library to read; by default our librarian writes one for a
//                      synthetic DLL with 50,000 decorated exports into a temporary folder.
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "readers/ImportLib.h"
#include "table/FunctionTable.h"
#include "table/ImportSource.h"

using namespace zandrel;
using namespace zbench;

namespace {

#if defined(_WIN32)
const std::string kPlatform = "win32";
#else
const std::string kPlatform = "native";
#endif

}  // namespace

int main(int argc, char** argv) {
    ztest::TempDir dir;
    std::string lib = argc > 1 ? argv[1] : WriteSyntheticLibrary(dir, "synthetic50k.dll", 50000, true);
    if (lib.empty()) return 1;

    // The first read of the process pays for fresh memory (page faults) as a program that
    // opens one library does; the rounds after it reuse what the allocator kept.
    SymbolList list;
    auto t0 = SteadyClock::now();
    ReadStatus status = ReadLibFile(lib, list);
    const double first = Ms(SteadyClock::now() - t0);
    const std::string bytes = ztest::ReadFile(lib);
    std::printf("core (%s): %s, %zu bytes\n", kPlatform.c_str(), lib.c_str(), bytes.size());
    if (status != ReadStatus::Ok || list.empty()) {
        std::printf("  cannot read %s: %s\n", lib.c_str(), ReadStatusText(status));
        return 1;
    }
    std::printf("  %zu functions\n", list.size());

    // The file is in the page cache: the read a user gets when opening a library that was just
    // built or opened before.
    Figure("read-first." + kPlatform, "ReadLibFile, first in this process", first, "ms");
    Figure("read." + kPlatform, "ReadLibFile (file to symbol list)", TimeRounds(21, [&] { ReadLibFile(lib, list); }));
    Figure("parse." + kPlatform, "ParseArchive (bytes already in memory)",
           TimeRounds(21, [&] { list.clear(); ParseArchive(bytes, list); }));

    RowTable table;
    Figure("rows." + kPlatform, "RowsFromSymbols (default cells)",
           TimeRounds(5, [&] { table = RowsFromSymbols(list); }));
    ImportOptions options;
    options.LibName = "synthetic50k.lib";
    std::size_t size = 0;
    Figure("generate." + kPlatform, "GenerateImportSource, " + std::to_string(table.RowCount()) + " rows",
           TimeRounds(21, [&] { size = GenerateImportSource(table, options).size(); }));
    std::printf("  import block: %zu bytes\n", size);

    std::size_t held = list.capacity() * sizeof(SymbolEntry);
    for (const SymbolEntry& e : list) held += e.Name.capacity() > 15 ? e.Name.capacity() + 1 : 0;
    Figure("symbols-memory." + kPlatform, "symbol list holds", held / 1024.0, "KiB");
    return 0;
}
