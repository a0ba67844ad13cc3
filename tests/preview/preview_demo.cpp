// preview-demo: a window showing the preview of a generated import block, for looking at and
// for the screenshot in docs/. With --ready FILE it writes the window's client area on the screen into
// FILE once the window has been drawn.
#include <windows.h>

#include <fstream>
#include <string>

#include "preview/Preview.h"
#include "table/ImportSource.h"

using namespace zandrel;

namespace {

HWND g_preview = nullptr;

LRESULT CALLBACK FrameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_SIZE:
        if (g_preview != nullptr) {
            MoveWindow(g_preview, 5, 5, LOWORD(lp) - 10, HIWORD(lp) - 10, TRUE);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

std::string SampleBlock() {
    RowTable table;
    table.rows = {
        {"TRUE", "_MessageBoxA@16", "MessageBoxA", "4", "shows a message"},
        {"TRUE", "_GetWindowTextA@12", "GetWindowText", "3", ""},
        {"FALSE", "_SetWindowTextA@8", "SetWindowTextA", "2", ""},
        {"TRUE", "_FindWindowExA@16", "FindWindowEx", "4", "caf\xE9 #2"},
        {"TRUE", "_GetDesktopWindow@0", "GetDesktopWindow", "0", ""},
        {"TRUE", "_SendMessageTimeoutA@28", "SendMessageTimeout", "7", "7 parameters"},
    };
    ImportOptions options;
    options.LibName = "user32.lib";
    options.Now = [] { return ClockTime{2026, 12, 8, 9, 5}; };
    return GenerateImportSource(table, options);
}

}  // namespace

int main(int argc, char** argv) {
    std::string readyFile;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--ready") readyFile = argv[i + 1];
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ZandrelPreviewDemo";
    RegisterClassA(&wc);
    RECT rc = {0, 0, 900, 240};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    HWND frame = CreateWindowExA(0, wc.lpszClassName, "Zandrel 2013 - preview",
                                 WS_OVERLAPPEDWINDOW, 20, 20, rc.right - rc.left,
                                 rc.bottom - rc.top, nullptr, nullptr, instance, nullptr);
    if (frame == nullptr) return 1;
    g_preview = CreatePreview(frame);
    if (g_preview == nullptr) return 1;
    ShowWindow(g_preview, SW_SHOW);
    RefreshPreview(SampleBlock());
    ShowWindow(frame, SW_SHOW);
    SetFocus(g_preview);  // the caret line is highlighted in a focused preview
    GetClientRect(frame, &rc);
    SendMessageA(frame, WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (!readyFile.empty()) {
        // Where the client area is on the screen, as ImageMagick's crop geometry.
        RECT cr;
        GetClientRect(frame, &cr);
        POINT origin = {0, 0};
        ClientToScreen(frame, &origin);
        std::ofstream(readyFile) << cr.right << "x" << cr.bottom << "+" << origin.x << "+"
                                 << origin.y << "\n";
    }

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
