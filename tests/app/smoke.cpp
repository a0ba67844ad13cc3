// A short check of a built zandrel.exe as the user meets it, run from outside its process:
//   zandrel-smoke ZANDREL_EXE LIBRARY [SECONDS]
// starts the program with LIBRARY on its command line, reads the window title and the grid's
// row count, copies the import block and compares it with what the generator makes of the same
// library, then quits and wants exit status 0. SECONDS (default 600) bounds each wait: under an
// emulated 32-bit Wine a program takes about a minute to start. Prints each step with the time
// it took; exits 0 when all went as expected, 1 otherwise.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/App.h"
#include "readers/ImportLib.h"
#include "table/FunctionTable.h"
#include "table/ImportSource.h"
#include "support/OutsideDriver.h"

using namespace zandrel;
using namespace ztest;

namespace {

using Steady = std::chrono::steady_clock;
const Steady::time_point kStart = Steady::now();
int g_limitMs = 600000;
int g_failures = 0;

double Seconds() { return std::chrono::duration<double>(Steady::now() - kStart).count(); }

void Step(bool ok, const std::string& what) {
    std::printf("%7.1f s  %s  %s\n", Seconds(), ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++g_failures;
}

BOOL CALLBACK ListOf(HWND w, LPARAM lp) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::string(cls) == WC_LISTVIEWA) {
        *reinterpret_cast<HWND*>(lp) = w;
        return FALSE;
    }
    return TRUE;
}

std::string FilePart(const std::string& path) {
    const std::size_t at = path.find_last_of("\\/:");
    return at == std::string::npos ? path : path.substr(at + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: zandrel-smoke ZANDREL_EXE LIBRARY [SECONDS]\n", stderr);
        return 2;
    }
    const std::string exe = argv[1], lib = argv[2];
    if (argc == 4) g_limitMs = std::atoi(argv[3]) * 1000;

    SymbolList symbols;
    const ReadStatus status = ReadLibFile(lib, symbols);
    if (IsReadFailure(status) || symbols.empty()) {
        std::fprintf(stderr, "zandrel-smoke: %s: %s\n", lib.c_str(), ReadStatusText(status));
        return 2;
    }
    const RowTable rows = RowsFromSymbols(symbols);
    ImportOptions options;
    options.LibName = FilePart(lib);
    const std::string expected = GenerateImportSource(rows, options);
    const std::string count = std::to_string(rows.RowCount());

    std::string line = "\"" + exe + "\" \"" + lib + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Step(false, "start " + exe + " (error " + std::to_string(GetLastError()) + ")");
        return 1;
    }
    Step(true, "started " + exe + " " + lib);

    const std::string title = "Zandrel 2013  - " + options.LibName + "  (" + count + " Functions)";
    HWND main = nullptr;
    const bool up = WaitFor(
        [&] {
            if (!main) main = FindWindowOf(pi.dwProcessId, "ZandrelMainWindow", "");
            return main && Text(main, 30000) == title;
        },
        g_limitMs);
    Step(up, "title \"" + (main ? Text(main, 30000) : std::string("(no window)")) + "\"");

    if (up) {
        HWND list = nullptr;
        EnumChildWindows(main, ListOf, reinterpret_cast<LPARAM>(&list));
        const LRESULT items = list ? SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) : -1;
        Step(items == rows.RowCount(), "grid rows " + std::to_string(items) + " of " + count);

        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
        PostMessageA(main, WM_COMMAND, CmdCopyImport, 0);
        std::string copied;
        WaitFor([&] { return (copied = ClipboardText()).find("EndImport\r\n") != std::string::npos; }, g_limitMs);
        const bool same = !copied.empty() && WithoutStamp(copied) == WithoutStamp(expected) &&
                          copied.find("; created: ") != std::string::npos;
        Step(same, "Copy Import: " + std::to_string(copied.size()) + " bytes, " +
                       (same ? "the generator's text" : "differs from the generator's text"));
        if (!same) std::printf("--- copied:\n%s--- expected:\n%s---\n", copied.c_str(), expected.c_str());

        PostMessageA(main, WM_COMMAND, CmdQuit, 0);
    }
    const bool ended = WaitForSingleObject(pi.hProcess, g_limitMs) == WAIT_OBJECT_0;
    DWORD code = 1;
    if (ended) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, 9);
    Step(ended && code == 0, ended ? "quit, exit status " + std::to_string(code) : "did not quit");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::printf("%s in %.1f s\n", g_failures ? "FAILED" : "passed", Seconds());
    return g_failures ? 1 : 0;
}
