// Times zandrel.exe from its process creation to its first painted main window, from outside
// and without any help from the program: CreateProcess, then WaitForInputIdle (the program
// reaches its event loop only after CreateMainWindow's UpdateWindow has painted the window),
// then a check that the main window is visible with nothing left to paint. Beside it, the same
// for a console program that exits at once, which is what any process start costs under Wine.
// Windows build; run under Wine with a display. Figures only; nothing here passes or fails.
//   startup_bench PROGRAM [ROUNDS]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"

using namespace zbench;

namespace {

struct Found {
    DWORD pid = 0;
    HWND window = nullptr;
};

BOOL CALLBACK FindMain(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (pid == f->pid && std::string(cls) == "ZandrelMainWindow" && IsWindowVisible(w)) {
        f->window = w;
        return FALSE;
    }
    return TRUE;
}

std::string OwnPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

bool Start(const std::string& line, PROCESS_INFORMATION& pi) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string copy = line;
    return CreateProcessA(nullptr, copy.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--exit") return 0;
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bench PROGRAM [ROUNDS]\n");
        return 2;
    }
    const std::string program = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::printf("start-up under Wine (win32, timed from inside Wine)\n");

    // A bare process start: this program again, exiting at once.
    Figure("process-start.win32", "console process start to exit", TimeRounds(rounds, [&] {
               PROCESS_INFORMATION pi{};
               if (!Start("\"" + OwnPath() + "\" --exit", pi)) return;
               WaitForSingleObject(pi.hProcess, 30000);
               CloseHandle(pi.hThread);
               CloseHandle(pi.hProcess);
           }));

    std::vector<double> ready, closed;
    int late = 0;
    for (int i = 0; i < rounds; ++i) {
        PROCESS_INFORMATION pi{};
        auto t0 = SteadyClock::now();
        if (!Start("\"" + program + "\"", pi)) {
            std::printf("  cannot start %s\n", program.c_str());
            return 1;
        }
        WaitForInputIdle(pi.hProcess, 30000);
        Found f{pi.dwProcessId, nullptr};
        // Idle should mean painted; should the two ever part, wait for the paint as well.
        for (int spin = 0; spin < 30000; ++spin) {
            f.window = nullptr;
            EnumWindows(FindMain, reinterpret_cast<LPARAM>(&f));
            if (f.window && !GetUpdateRect(f.window, nullptr, FALSE)) break;
            if (spin == 0) ++late;
            Sleep(1);
        }
        auto t1 = SteadyClock::now();
        if (!f.window) {
            std::printf("  no main window of %s\n", program.c_str());
            TerminateProcess(pi.hProcess, 1);
            return 1;
        }
        PostMessageA(f.window, WM_CLOSE, 0, 0);
        WaitForSingleObject(pi.hProcess, 30000);
        auto t2 = SteadyClock::now();
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        ready.push_back(Ms(t1 - t0));
        closed.push_back(Ms(t2 - t1));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    char note[96];
    std::sort(ready.begin(), ready.end());
    std::snprintf(note, sizeof note, "(median of %d, %.0f to %.0f)", rounds, ready.front(), ready.back());
    Figure("startup.win32", "zandrel.exe start to first painted window", median(ready), "ms", note);
    Figure("quit.win32", "then WM_CLOSE to process exit", median(closed), "ms");
    if (late) std::printf("  %d of %d rounds were idle before the window was painted\n", late, rounds);
    return 0;
}
