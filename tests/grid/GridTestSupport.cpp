#include "GridTestSupport.h"

#include <gtest/gtest.h>

namespace gridtest {

std::vector<Event> Recorder::Of(int code) const {
    std::vector<Event> out;
    for (const Event& e : events)
        if (e.code == code) out.push_back(e);
    return out;
}

int Recorder::Count(int code) const {
    int n = 0;
    for (const Event& e : events) n += e.code == code;
    return n;
}

Recorder& TheRecorder() {
    static Recorder r;
    return r;
}

std::int32_t RecordingHandler(zandrel::GridControl*, std::int32_t code, zandrel::CellInfo* info) {
    Recorder& r = TheRecorder();
    bool paint = code == zandrel::QueryCellType || code == zandrel::QueryCellFormat;
    if (!paint || r.recordPaint) r.events.push_back(Event{code, *info});
    if (code == zandrel::RowHeaderImageClicked)
        r.lastBandImage = static_cast<zandrel::RowHeaderCellInfo*>(info)->Image;
    return r.answer ? r.answer(code, *info) : 1;
}

HWND HostWindow(int width, int height) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = "GridTestHost";
        RegisterClassExA(&wc);
        registered = true;
    }
    HWND w = CreateWindowExA(0, "GridTestHost", "grid test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                             0, 0, width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(w);
    return w;
}

void PumpPending() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

bool PumpUntil(const std::function<bool()>& pred, int limitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        PumpPending();
        if (pred()) return true;
        if (static_cast<int>(GetTickCount() - start) > limitMs) return pred();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

HWND ListOf(zandrel::GridControl* g) { return FindWindowExA(g->GetWindow(), nullptr, WC_LISTVIEWA, nullptr); }
HWND HeaderOf(zandrel::GridControl* g) {
    return reinterpret_cast<HWND>(SendMessageA(ListOf(g), LVM_GETHEADER, 0, 0));
}
HWND EditBoxOf(zandrel::GridControl* g) { return FindWindowExA(ListOf(g), nullptr, "Edit", nullptr); }

std::string TooltipText(HWND tip, HWND list) {
    char body[256] = {};
    TTTOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = GetParent(list);
    ti.uId = reinterpret_cast<UINT_PTR>(list);
    ti.lpszText = body;
    SendMessageA(tip, TTM_GETTEXTA, sizeof body, reinterpret_cast<LPARAM>(&ti));
    return body;
}

void PaintNow(zandrel::GridControl* g) {
    RedrawWindow(g->GetWindow(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
}

COLORREF PixelAt(HWND w, int x, int y) {
    HDC dc = GetDC(w);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return c;
}

RECT CellRect(zandrel::GridControl* g, int column, int row) {
    RECT r{};
    r.top = column + 1;
    r.left = LVIR_BOUNDS;
    SendMessageA(ListOf(g), LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    r.right = r.left + static_cast<int>(SendMessageA(ListOf(g), LVM_GETCOLUMNWIDTH, column + 1, 0));
    return r;
}

COLORREF CellPixel(zandrel::GridControl* g, int column, int row, int dx, int dy) {
    RECT r = CellRect(g, column, row);
    return PixelAt(ListOf(g), r.left + dx, r.top + dy);
}

std::string ClipboardText() {
    std::string s;
    if (!OpenClipboard(nullptr)) return s;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (auto* p = static_cast<const char*>(GlobalLock(h))) {
            s = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return s;
}

void SetClipboardText(const std::string& text) {
    if (!OpenClipboard(nullptr)) return;
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    SetClipboardData(CF_TEXT, mem);
    CloseClipboard();
}

TestGrid::TestGrid(int columns, int rows, int rowHeight, int flags, int columnWidth) {
    host = HostWindow();
    g = zandrel::NewGrid(host, 0, 0, 0, 0, rowHeight, flags);
    if (!g) return;
    for (int c = 0; c < columns; ++c) g->AddColumn(-1, "C" + std::to_string(c), columnWidth);
    for (int r = 0; r < rows; ++r) {
        g->AddRow(r, "L" + std::to_string(r), 1);
        for (int c = 0; c < columns; ++c)
            g->SetCellText(c, r, "r" + std::to_string(r) + "c" + std::to_string(c));
    }
    g->Resize(0, 0, 700, 500);
    TheRecorder().Clear();
    TheRecorder().answer = nullptr;
    TheRecorder().recordPaint = false;
    PumpPending();
    TheRecorder().Clear();
}

TestGrid::~TestGrid() {
    if (g) g->Free();
    if (host) DestroyWindow(host);
    TheRecorder().answer = nullptr;
    TheRecorder().Clear();
    PumpPending();
}

}  // namespace gridtest
