// Times loading rows into a grid the way the application does (redraw suspended, AddRow and four
// SetCellText per row, one repaint at the end). Windows build; run under Wine with a display.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "grid/Grid.h"

namespace {

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

std::int32_t Answer(zandrel::GridControl*, std::int32_t code, zandrel::CellInfo* ci) {
    if (code == zandrel::QueryCellType && ci->Column == 0) {
        ci->CellType = zandrel::CheckCell;
        ci->Text = "1/0";
    }
    return 1;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
    int rows = argc > 1 ? std::atoi(argv[1]) : 5000;
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "GridBenchHost";
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&wc);
    HWND host = CreateWindowA("GridBenchHost", "grid bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              800, 600, nullptr, nullptr, wc.hInstance, nullptr);
    zandrel::GridControl* g = zandrel::NewGrid(host, 5, 5, 760, 540, 20, 0x20045);
    if (!g) {
        std::printf("grid creation failed\n");
        return 1;
    }
    g->SetEventHandler(Answer);
    g->AddColumn(0, "", 24);
    for (int c = 1; c < 5; ++c) g->AddColumn(c, "Column " + std::to_string(c), 150);
    Pump();

    auto t0 = std::chrono::steady_clock::now();
    g->SetRedraw(0, 0);
    double addMs = 0, setMs = 0;
    for (int r = 0; r < rows; ++r) {
        auto a = std::chrono::steady_clock::now();
        g->AddRow(-1, "", 0);
        auto b = std::chrono::steady_clock::now();
        g->SetCellText(0, r, "1");
        g->SetCellText(1, r, "Function" + std::to_string(r));
        g->SetCellText(2, r, std::to_string(r));
        g->SetCellText(3, r, "4");
        auto c = std::chrono::steady_clock::now();
        addMs += Ms(a, b);
        setMs += Ms(b, c);
    }
    auto t1 = std::chrono::steady_clock::now();
    g->SetRedraw(1, 1);
    Pump();
    auto t2 = std::chrono::steady_clock::now();
    if (g->RowCount() != rows || g->GetCellText(1, rows - 1) != "Function" + std::to_string(rows - 1)) {
        std::printf("grid load failed: %d rows\n", g->RowCount());
        return 1;
    }
    std::printf("grid load of %d rows: %.0f ms (AddRow %.3f ms each, SetCellText %.3f ms each), "
                "repaint %.0f ms\n",
                rows, Ms(t0, t1), addMs / rows, setMs / (4.0 * rows), Ms(t1, t2));
    g->Free();
    DestroyWindow(host);
    return 0;
}
