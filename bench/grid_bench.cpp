// Times the program's own load path in the real main window, made in this process as the app
// tests make it: LoadImportLib from the command to the final repaint, at several table sizes,
// so the growth shows; then the import block generated from the filled grid (what Preview,
// Copy and Save Import do) and the main window's creation up to its first paint. Windows build;
// run under Wine with a display. Figures only; nothing here passes or fails.
//   grid_bench [LIB...]   LIBs to load, smallest first; by default our librarian writes
//                         libraries of 5,000, 20,000 and 50,000 functions into a temporary folder.
//   grid_bench --clear-only LIB   loads LIB and times only emptying the table it fills
//   grid_bench --open-dll POLIB [--rounds N] DLL...   times Open DLL on each DLL with POLIB as
//                         the librarian: with the parameter counts read from the code as the
//                         program reads them (beside the librarian), read only after it, and not
//                         read at all; N rounds of the three (7 by default; more narrow the spread)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/App.h"
#include "app/ScriptedRequesters.h"
#include "base/Path.h"
#include "grid/Grid.h"
#include "readers/DllMachine.h"
#include "readers/ImportLib.h"
#include "table/FunctionTable.h"
#include "table/ImportSource.h"

using namespace zandrel;
using namespace zbench;

namespace {

// Dispatches everything waiting, the paints the last operation left included, until no message
// (WM_PAINT of a visible window included) is left to take. Not GetQueueStatus: under Wine its
// QS_PAINT stayed set after emptying the table while no WM_PAINT was there to take.
void PumpUntilPainted() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string Title(HWND w) {
    char buf[256] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

}  // namespace

// Open DLL from the chosen file to the final repaint, the requesters answering at once, so the
// figure is the librarian's run, the code reading, the library read and the table fill. Three
// ways: as the program does it, with the code read only once the librarian is done (as before
// the two ran side by side), and without reading the code at all (the library's own counts).
int OpenDllOnly(App& app, ztest::ScriptedRequesters& ask, const std::string& polib, int rounds,
                const std::vector<std::string>& dlls) {
    ztest::TempDir out;
    app.state.LibrarianPath = polib;
    const std::string folder = out.File("");
    std::printf("Open DLL to the final repaint (real main window, librarian %s)\n", polib.c_str());
    for (const std::string& dll : dlls) {
        std::string key = FilePart(dll);
        key = key.substr(0, key.find('.')) + (DetectDllMachine(dll) == X64 ? "64" : "32");
        int rows = 0;
        auto round = [&](int way) {
            app.grid->ClearRows();
            PumpUntilPainted();
            if (way == 0) {
                ask.answers = {dll, folder};
                RunCommand(app, CmdOpenDll);
            } else {
                ask.answers = {folder};
                const std::string lib = RunLibrarian(app, dll);
                if (!lib.empty()) LoadImportLib(app, lib, way == 1 ? dll : std::string());
            }
            PumpUntilPainted();
            rows = app.grid->RowCount();
        };
        // The three ways take turns, round by round, so that a change in the machine's load
        // (it is shared) falls on all of them alike; the first round warms the files and Wine.
        round(0);
        std::size_t marked = 0;
        for (const InferredMark& m : app.inferred) marked += m.Sure != librarian::Certainty::Unknown;
        std::vector<double> ms[3];
        for (int r = 0; r < rounds; ++r)
            for (int way = 0; way < 3; ++way) {
                auto t0 = SteadyClock::now();
                round(way);
                ms[way].push_back(Ms(SteadyClock::now() - t0));
            }
        auto timing = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            Timing t;
            t.rounds = static_cast<int>(v.size());
            t.min = v.front();
            t.max = v.back();
            t.median = v[v.size() / 2];
            return t;
        };
        const Timing with = timing(ms[0]), after = timing(ms[1]), without = timing(ms[2]);
        std::printf("%s: %d rows, %zu counts from the code\n", dll.c_str(), rows, marked);
        if (rows == 0) return 1;
        Figure("opendll." + key + ".win32", "  Open DLL, counts read beside the librarian", with);
        Figure("opendll-after." + key + ".win32", "  Open DLL, counts read after the librarian", after);
        Figure("opendll-without." + key + ".win32", "  Open DLL, no counts read", without);
        Figure("opendll-counts." + key + ".win32", "  the counts alone (DllParameterCounts)",
               TimeRounds(5, [&] { DllParameterCounts(dll); }));
        Figure("opendll-ratio." + key + ".win32", "  with / without", with.median / without.median, "x");
        Figure("opendll-after-ratio." + key + ".win32", "  after / without", after.median / without.median, "x");
    }
    return 0;
}

// Loads `lib` and empties the table it filled, twice; the emptying is the figure.
int ClearOnly(App& app, const std::string& lib) {
    std::vector<double> clear;
    int count = 0;
    for (int round = 0; round < 2; ++round) {
        LoadImportLib(app, lib);
        PumpUntilPainted();
        count = app.grid->RowCount();
        auto c0 = SteadyClock::now();
        app.grid->ClearRows();
        PumpUntilPainted();
        clear.push_back(Ms(SteadyClock::now() - c0));
        if (count == 0 || app.grid->RowCount() != 0) {
            std::printf("  %s: %d rows loaded, %d left after emptying\n", lib.c_str(), count, app.grid->RowCount());
            return 1;
        }
    }
    const std::string key = std::to_string(count);
    Figure("clear." + key + ".win32", "emptying the table of " + key + " rows (ClearRows)", (clear[0] + clear[1]) / 2,
           "ms", "(mean of 2)");
    return 0;
}

int main(int argc, char** argv) {
    ztest::TempDir dir;
    const bool clearOnly = argc == 3 && std::string(argv[1]) == "--clear-only";
    const bool openDll = argc >= 4 && std::string(argv[1]) == "--open-dll";
    int first = 1 + clearOnly + 2 * openDll;
    int rounds = 7;
    if (openDll && argc >= first + 3 && std::string(argv[first]) == "--rounds") {
        rounds = std::max(1, std::atoi(argv[first + 1]));
        first += 2;
    }
    std::vector<std::string> libs(argv + first, argv + argc);
    if (libs.empty())
        for (int count : {5000, 20000, 50000}) {
            std::string lib = WriteSyntheticLibrary(dir, "synthetic" + std::to_string(count / 1000) + "k.dll",
                                                    count, true);
            if (lib.empty()) return 1;
            libs.push_back(lib);
        }

    App& app = TheApp();
    ztest::ScriptedRequesters ask;
    std::printf("main window (win32, in this process)\n");
    // Registers the classes, loads the icons, builds menu, grid, preview and controls, shows
    // the window and paints it (UpdateWindow); Wine's own process start-up is not in here.
    auto s0 = SteadyClock::now();
    if (!StartApplication(app, GetModuleHandleA(nullptr), &ask)) {
        std::printf("  main window creation failed\n");
        return 1;
    }
    auto s1 = SteadyClock::now();
    PumpUntilPainted();
    auto s2 = SteadyClock::now();
    if (openDll) {
        const int status = OpenDllOnly(app, ask, argv[2], rounds, libs);
        EndApplication(app);
        return status;
    }
    if (clearOnly) {
        const int status = ClearOnly(app, libs.front());
        EndApplication(app);
        return status;
    }
    Figure("startup-window.win32", "StartApplication to window painted", Ms(s1 - s0), "ms");
    Figure("startup-pump.win32", "then pending messages", Ms(s2 - s1), "ms");

    std::printf("LoadImportLib to the final repaint (win32, real main window)\n");
    std::vector<std::pair<int, double>> perSize;
    for (const std::string& lib : libs) {
        SymbolList symbols;
        ReadLibFile(lib, symbols);
        const int count = static_cast<int>(symbols.size());
        if (count == 0) {
            std::printf("  %s: no functions read\n", lib.c_str());
            return 1;
        }
        const std::string key = std::to_string(count);
        Figure("load-read." + key + ".win32", "  ReadLibFile, " + key + " functions",
               TimeRounds(5, [&] { ReadLibFile(lib, symbols); }));
        // Into an empty table, as when a library is opened first; emptying the table before
        // is timed on its own (after the first round it holds this many rows).
        std::vector<double> ms, clear;
        for (int round = 0; round < 3; ++round) {
            auto c0 = SteadyClock::now();
            app.grid->ClearRows();
            PumpUntilPainted();
            if (round > 0) clear.push_back(Ms(SteadyClock::now() - c0));
            auto t0 = SteadyClock::now();
            LoadImportLib(app, lib);
            auto t1 = SteadyClock::now();
            PumpUntilPainted();
            auto t2 = SteadyClock::now();
            ms.push_back(Ms(t2 - t0));
            if (round == 0) Figure("load-pump." + key + ".win32", "  of which after LoadImportLib returned",
                                   Ms(t2 - t1), "ms");
        }
        std::sort(ms.begin(), ms.end());
        Figure("load." + key + ".win32", "LoadImportLib + repaint, " + key + " rows", ms[1], "ms",
               "(median of 3, " + std::to_string(static_cast<int>(ms[0])) + " to " +
                   std::to_string(static_cast<int>(ms[2])) + ")");
        perSize.push_back({count, ms[1]});
        Figure("clear." + key + ".win32", "  emptying the table of " + key + " rows (ClearRows)",
               (clear[0] + clear[1]) / 2, "ms", "(mean of 2)");
        if (app.grid->RowCount() != count || Title(app.main) != LoadedTitle(FilePart(lib), count)) {
            std::printf("  load failed: %d rows, title \"%s\"\n", app.grid->RowCount(), Title(app.main).c_str());
            return 1;
        }
        // One full repaint of the filled list, as the load's own final repaint does.
        HWND list = GetWindow(app.grid->GetWindow(), GW_CHILD);
        Figure("repaint." + key + ".win32", "  one repaint of the filled grid", TimeRounds(5, [&] {
                   RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
               }));
    }
    for (const auto& [count, ms] : perSize)
        std::printf("  %6d rows: %8.2f ms per 1,000 rows\n", count, ms * 1000.0 / count);

    // The largest table stays loaded: what the import block costs on it.
    const std::string& largest = libs.back();
    const int rows = app.grid->RowCount();
    std::printf("import block from the filled grid, %d rows (win32)\n", rows);
    std::size_t size = 0;
    Figure("generate-grid.win32", "GenerateFromTable (grid cells, as Preview/Copy)",
           TimeRounds(5, [&] { size = GenerateFromTable(app).size(); }));
    std::printf("  import block: %zu bytes\n", size);
    SymbolList symbols;
    ReadLibFile(largest, symbols);
    RowTable table = RowsFromSymbols(symbols);
    ImportOptions options;
    options.LibName = FilePart(largest);
    Figure("generate-rows.win32", "GenerateImportSource (rows in memory)",
           TimeRounds(11, [&] { size = GenerateImportSource(table, options).size(); }));

    std::printf("replacing the loaded table (win32)\n");
    Figure("reload.win32", "LoadImportLib over " + std::to_string(rows) + " rows + repaint", TimeRounds(3, [&] {
               LoadImportLib(app, largest);
               PumpUntilPainted();
           }));

    EndApplication(app);
    return 0;
}
