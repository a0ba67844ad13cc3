// Drives a running Zandrel from outside, for screenshots and demos:
//   poke command N   sends menu command N to the main window
//   poke click N     clicks control N of the main window
//   poke title TEXT  waits (up to a minute) until the main window's title starts with TEXT
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: poke command N | poke click N | poke title TEXT\n", stderr);
        return 2;
    }
    HWND main = nullptr;
    for (int i = 0; i < 300 && !main; ++i) {
        main = FindWindowA("ZandrelMainWindow", nullptr);
        if (!main) Sleep(100);
    }
    if (!main) {
        std::fputs("poke: no Zandrel window\n", stderr);
        return 1;
    }
    if (std::strcmp(argv[1], "title") == 0) {
        const std::string prefix = argv[2];
        for (int i = 0; i < 600; ++i) {
            char title[512] = {};
            GetWindowTextA(main, title, sizeof title);
            if (std::string(title).rfind(prefix, 0) == 0) return 0;
            Sleep(100);
        }
        std::fputs("poke: title never came\n", stderr);
        return 1;
    }
    const int n = std::atoi(argv[2]);
    if (std::strcmp(argv[1], "command") == 0) {
        PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(n), 0);
        return 0;
    }
    // Control n: the n-th child with that id that is a button or list (the grid shares id 0).
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        if (GetDlgCtrlID(c) == n && std::strcmp(cls, "Button") == 0) {
            SendMessageA(c, BM_CLICK, 0, 0);
            return 0;
        }
    }
    std::fputs("poke: no such button\n", stderr);
    return 1;
}
