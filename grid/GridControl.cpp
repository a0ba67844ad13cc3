// The GridControl object: the container window, the row-header band, and the operations.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "grid/GridGdi.h"
#include "grid/GridGeometry.h"
#include "grid/GridInternal.h"

namespace zandrel {

namespace gridimpl {

namespace {
std::atomic<long> g_liveRowData{0};
HWND g_gridParent = nullptr;
int g_nextId = 0x5A00;
constexpr const char* ContainerClass = "ZandrelGridContainer";
}  // namespace

long LiveRowDataCount() { return g_liveRowData.load(); }
RowData* NewRowData() {
    auto* d = new (std::nothrow) RowData{};
    if (d) ++g_liveRowData;
    return d;
}
void DeleteRowData(RowData* d) {
    if (!d) return;
    delete d;
    --g_liveRowData;
}

class GridObject final : public GridControl {
public:
    // Fields in the order the grid keeps them.
    std::int32_t CreateFlags = 0;
    std::int32_t ContainerId = 0;
    HWND ContainerWindow = nullptr;
    WNDPROC ContainerProc = nullptr;
    GridViewState* View = nullptr;
    std::int32_t ListId = 0;
    HWND ListWindow = nullptr;
    std::int32_t ListHidden = 0;
    WNDPROC ListProc = nullptr;
    HBRUSH EmptyAreaBrush = nullptr;
    WNDPROC HeaderProc = nullptr;
    std::int32_t RowHeaderWidth = 0;
    std::int32_t RowHeaderGap = 0;
    HBRUSH RowHeaderBrush = nullptr;
    HIMAGELIST Images = nullptr;
    std::int32_t RowHeaderInsetLeft = 6;
    std::int32_t RowHeaderInsetRight = 6;
    std::int32_t HotRowHeader = -2;
    std::int32_t RowHeaderPressed = 0;
    std::int32_t CornerValue = 0;
    std::uint32_t CornerFlags = RowGroupStart;
    // Kept beside them:
    std::intptr_t UserData = 0;
    bool RedrawSuspended = false;  // SetRedraw(0): invalidating per change would only cost
    std::int32_t RowHeaderColour = -1;
    HWND HeaderWindow = nullptr;

    GridViewState* Live() const {
        if (!ListWindow || !IsWindow(ListWindow)) return nullptr;
        auto* v = static_cast<GridViewState*>(WindowProp(ListWindow, ViewProp));
        return v == View ? v : nullptr;
    }

    // --- operations, in table order --------------------------------------------------------
    void AddColumn(int column, const std::string& title, int width) override;
    int AddRow(int position, const std::string& label, int groupStart) override;
    int SetImage(int index, HICON icon) override;
    void SetRedraw(int enable, int update) override;
    void ClearRows() override;
    int CopyBlock(int column, int row, int width, int height) override;
    void SetEventHandler(GridEventHandler handler) override;
    void ClearBlock(int column, int row, int width, int height) override;
    void Free() override;
    void EraseBlock(int column, int row, int width, int height) override;
    void GetBlock(std::int32_t* destination) override;
    std::string GetCellText(int column, int row) override;
    void GetColumnOrder(std::int32_t* destination) override;
    int GetHeight() override;
    HWND GetWindow() override { return ContainerWindow; }
    int ColumnCount() override;
    int RowCount() override;
    int GetRowValue(int row) override;
    int GetRowFlags(int row) override;
    int GetCurrentColumn() override;
    int GetCurrentRow() override;
    std::intptr_t GetUserData() override { return UserData; }
    int GetWidth() override;
    int GetX() override;
    int GetY() override;
    int IsCellModified() override;
    void EndEdit() override;
    void Hide(int state) override;
    void RedrawCell(int column, int row, int update) override;
    void ShowCell(int column, int row) override;
    int PasteClipboard() override;
    void RemoveColumn(int column) override;
    void RemoveRow(int row) override;
    void Resize(int x, int y, int width, int height) override;
    void SetCurrentCell(int column, int row, int focusEditor, int scroll) override;
    void SetBlock(int column, int row, int width, int height) override;
    void SetCellText(int column, int row, const std::string& text) override;
    void SetHeaderHeight(int height) override;
    void SetColumnOrder(const std::int32_t* order) override;
    void SetFont(HFONT font) override;
    void SetHeaderFont(HFONT font) override;
    void SetAttribute(int attribute, int value) override;
    void SetRowValue(int row, int value) override;
    void SetRowHeaderWidth(int width, int gap) override;
    void SetRowHeaderInsets(int left, int right) override;
    void SetRowHeaderStyle(int row, int a, int b, int c, int d, int redraw) override;
    void SetUserData(std::intptr_t value) override { UserData = value; }

    // --- band ------------------------------------------------------------------------------
    void Layout(bool fromResize);
    int BandWidth() const { return RowHeaderWidth + RowHeaderGap; }
    int ListTop() const;
    int HeaderBottom() const;
    bool GroupOf(GridViewState* v, int row, int* first, int* last) const;
    bool BandCellRect(GridViewState* v, int row, RECT* r) const;
    bool BandHit(GridViewState* v, POINT pt, int* row, RECT* cell) const;
    void PaintBand(HDC dc);
    void PaintBandCell(GridViewState* v, HDC dc, int row, const RECT& r);
    int BandImageHit(int row, const RECT& cell, POINT pt) const;
    std::uint32_t FlagsOfRow(GridViewState* v, int row) const;
    LRESULT ContainerMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    ~GridObject() = default;
};

GridObject* ObjectOf(HWND w) {
    return w ? static_cast<GridObject*>(WindowProp(w, ObjectProp)) : nullptr;
}

GridViewState* LiveView(GridObject* g) { return g ? g->Live() : nullptr; }

namespace {

LRESULT CALLBACK ContainerWindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    GridObject* g = ObjectOf(w);
    if (!g || !g->ContainerProc) return DefWindowProcA(w, msg, wp, lp);
    try {
        return g->ContainerMessage(w, msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

// The object layer over the list: the band follows vertical scrolling.
LRESULT CALLBACK ObjectListProc(HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    GridObject* g = ObjectOf(list);
    if (!g || !g->ListProc) return DefWindowProcA(list, msg, wp, lp);
    WNDPROC proc = g->ListProc;
    switch (msg) {
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
        case LVM_SCROLL:
        case LVM_ENSUREVISIBLE: {
            LRESULT r = CallWindowProcA(proc, list, msg, wp, lp);
            InvalidateBand(g);
            return r;
        }
        case WM_NCDESTROY:
            RemoveWindowProp(list, ObjectProp);
            g->ListProc = nullptr;
            return CallWindowProcA(proc, list, msg, wp, lp);
        default:
            return CallWindowProcA(proc, list, msg, wp, lp);
    }
}

// And over the header: a released button may have moved or sized columns.
LRESULT CALLBACK ObjectHeaderProc(HWND header, UINT msg, WPARAM wp, LPARAM lp) {
    GridObject* g = ObjectOf(header);
    if (!g || !g->HeaderProc) return DefWindowProcA(header, msg, wp, lp);
    WNDPROC proc = g->HeaderProc;
    if (msg == WM_LBUTTONUP) {
        LRESULT r = CallWindowProcA(proc, header, msg, wp, lp);
        InvalidateBand(g);
        return r;
    }
    if (msg == WM_NCDESTROY) {
        RemoveWindowProp(header, ObjectProp);
        g->HeaderProc = nullptr;
    }
    return CallWindowProcA(proc, header, msg, wp, lp);
}

bool RegisterContainerClass() {
    static bool done = false;
    if (done) return true;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = ContainerClass;
    done = RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return done;
}

std::string RowLabel(GridViewState* v, int row) {
    return row >= 0 ? StoredText(v, row, 0) : std::string();
}

}  // namespace

// --- band ---------------------------------------------------------------------------------

int GridObject::ListTop() const {
    RECT r;
    GetWindowRect(ListWindow, &r);
    POINT pt{r.left, r.top};
    ScreenToClient(ContainerWindow, &pt);
    return pt.y;
}

int GridObject::HeaderBottom() const {
    if (!View || !View->HeaderWindow || !IsWindowVisible(View->HeaderWindow)) return ListTop();
    RECT r;
    GetWindowRect(View->HeaderWindow, &r);
    return ListTop() + (r.bottom - r.top);
}

bool GridObject::GroupOf(GridViewState* v, int row, int* first, int* last) const {
    int count = ListRowCount(v);
    if (row < 0 || row >= count) return false;
    int f = row;
    while (f > 0) {
        RowData* d = RowDataOf(v, f);
        if (d && (d->Flags & RowGroupStart)) break;
        --f;
    }
    int l = row;
    while (l + 1 < count) {
        RowData* d = RowDataOf(v, l + 1);
        if (d && (d->Flags & RowGroupStart)) break;
        ++l;
    }
    *first = f;
    *last = l;
    return true;
}

bool GridObject::BandCellRect(GridViewState* v, int row, RECT* r) const {
    int top = ListTop();
    if (row == -1) {
        *r = RECT{0, top, RowHeaderWidth, HeaderBottom()};
        return r->bottom > r->top;
    }
    int first, last;
    if (!GroupOf(v, row, &first, &last)) return false;
    RECT a{}, b{};
    a.left = b.left = LVIR_BOUNDS;
    SendMessageA(ListWindow, LVM_GETITEMRECT, static_cast<WPARAM>(first), reinterpret_cast<LPARAM>(&a));
    SendMessageA(ListWindow, LVM_GETITEMRECT, static_cast<WPARAM>(last), reinterpret_cast<LPARAM>(&b));
    *r = RECT{0, top + a.top, RowHeaderWidth, top + b.bottom};
    return true;
}

std::uint32_t GridObject::FlagsOfRow(GridViewState* v, int row) const {
    if (row == -1) return CornerFlags;
    RowData* d = RowDataOf(v, row);
    return d ? d->Flags : 0;
}

bool GridObject::BandHit(GridViewState* v, POINT pt, int* row, RECT* cell) const {
    if (pt.x < 0 || pt.x >= RowHeaderWidth) return false;
    RECT r;
    if (BandCellRect(v, -1, &r) && PtInRect(&r, pt)) {
        *row = -1;
        *cell = r;
        return true;
    }
    int top = ListTop();
    LVHITTESTINFO hit{};
    hit.pt.x = 2;
    hit.pt.y = pt.y - top;
    if (hit.pt.y < HeaderBottom() - top) return false;
    int item = static_cast<int>(SendMessageA(ListWindow, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (item < 0) {
        // The hidden column is 0 wide, so hit-test by rows instead of by point.
        int count = ListRowCount(v);
        int first = static_cast<int>(SendMessageA(ListWindow, LVM_GETTOPINDEX, 0, 0));
        int page = static_cast<int>(SendMessageA(ListWindow, LVM_GETCOUNTPERPAGE, 0, 0));
        item = -1;
        for (int i = std::max(first, 0); i < count && i <= first + page + 1; ++i) {
            RECT ir{};
            ir.left = LVIR_BOUNDS;
            SendMessageA(ListWindow, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&ir));
            if (hit.pt.y >= ir.top && hit.pt.y < ir.bottom) {
                item = i;
                break;
            }
        }
    }
    int first, last;
    if (item < 0 || !GroupOf(v, item, &first, &last)) return false;
    *row = first;
    return BandCellRect(v, first, cell);
}

int GridObject::BandImageHit(int row, const RECT& cell, POINT pt) const {
    if (CreateFlags & BandImagesIgnoreClicks) return 0;
    std::uint32_t flags = row == -1 ? CornerFlags : 0;
    if (row >= 0 && View) flags = FlagsOfRow(View, row);
    int count = Images ? ImageList_GetImageCount(Images) : 0;
    for (int which = 1; which <= 2; ++which) {
        int index = which == 1 ? gridgeo::BandImageA(flags) : gridgeo::BandImageB(flags);
        if (index == 0 || index >= count) continue;
        int placement = which == 1 ? gridgeo::BandPlacementC(flags) : gridgeo::BandPlacementD(flags);
        int x = which == 1 ? cell.left + RowHeaderInsetLeft : cell.right - RowHeaderInsetRight - 16;
        int y = gridgeo::BandImageTop(cell.top, cell.bottom, placement, 16);
        RECT area{x, y, x + 16, y + 16};
        if ((CreateFlags & BuiltInIcons) && index >= 3 && index <= 5) area = RECT{x + 4, y + 4, x + 12, y + 12};
        if (PtInRect(&area, pt)) return which;
    }
    return 0;
}

void GridObject::PaintBandCell(GridViewState* v, HDC target, int row, const RECT& r) {
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    CellInfo ci = PresetCellInfo(v, row, -1);
    ci.BackColour = static_cast<std::int32_t>(
        RowHeaderColour == -1 ? GetSysColor(COLOR_BTNFACE) : static_cast<COLORREF>(RowHeaderColour));
    SendGridEvent(v, QueryCellFormat, ci);
    ci.CellType = TextCell;
    SendGridEvent(v, QueryCellType, ci);
    gdi::MemoryDC mem(target);
    gdi::Bitmap bmp(CreateCompatibleBitmap(target, w, h));
    if (!mem.get() || !bmp) return;
    gdi::Select selBmp(mem.get(), bmp.get());
    HDC dc = mem.get();
    RECT cell{0, 0, w, h};
    if (ci.GradientStart != -1 && ci.GradientEnd != -1)
        FillGradient(dc, cell, static_cast<COLORREF>(ci.GradientStart), static_cast<COLORREF>(ci.GradientEnd), false);
    else
        FillSolid(dc, cell, static_cast<COLORREF>(ci.BackColour));
    bool pressed = RowHeaderPressed && HotRowHeader == row;
    if (ci.CellType == CustomCell) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        gdi::Bitmap image(CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (image) {
            gdi::MemoryDC idc(dc);
            {
                gdi::Select s(idc.get(), image.get());
                BitBlt(idc.get(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
            }
            CellInfo custom = PresetCellInfo(v, row, -1);
            custom.CellType = CustomCell;
            custom.Param = reinterpret_cast<std::intptr_t>(image.get());
            custom.ImageWidth = w;
            custom.ImageHeight = h;
            SendGridEvent(v, DrawCustomCell, custom);
            gdi::Select s(idc.get(), image.get());
            BitBlt(dc, 0, 0, w, h, idc.get(), 0, 0, SRCCOPY);
        }
    } else {
        std::uint32_t flags = FlagsOfRow(v, row);
        int count = Images ? ImageList_GetImageCount(Images) : 0;
        int textLeft = RowHeaderInsetLeft, textRight = w - RowHeaderInsetRight;
        int shift = pressed ? 1 : 0;
        for (int which = 1; which <= 2; ++which) {
            int index = which == 1 ? gridgeo::BandImageA(flags) : gridgeo::BandImageB(flags);
            if (index == 0 || index >= count) continue;
            int placement = which == 1 ? gridgeo::BandPlacementC(flags) : gridgeo::BandPlacementD(flags);
            int x = which == 1 ? RowHeaderInsetLeft : w - RowHeaderInsetRight - 16;
            int y = gridgeo::BandImageTop(0, h, placement, 16);
            ImageList_Draw(Images, index, dc, x + shift, y + shift, ILD_TRANSPARENT);
            if (which == 1) textLeft = x + 18;
            else textRight = x - 2;
        }
        std::string label = RowLabel(v, row);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, static_cast<COLORREF>(ci.TextColour));
        gdi::Select font(dc, ci.Font ? ci.Font : reinterpret_cast<HFONT>(SendMessageA(ListWindow, WM_GETFONT, 0, 0)));
        RECT tr{textLeft + shift, shift, textRight + shift, h + shift};
        DrawTextA(dc, label.c_str(), static_cast<int>(label.size()), &tr,
                  static_cast<UINT>(ci.TextFormat) | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    if (v->Style & FlatHeader) {
        gdi::Pen pen(CreatePen(PS_INSIDEFRAME, 1, static_cast<COLORREF>(v->HeaderLineColour)));
        gdi::Select sp(dc, pen.get());
        gdi::Select sb(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, 0, 0, w, h);
        if (pressed) {
            gdi::Pen inner(CreatePen(PS_SOLID, 1, static_cast<COLORREF>(v->HeaderLineColour)));
            gdi::Select si(dc, inner.get());
            Rectangle(dc, 1, 1, w - 1, h - 1);
        }
    } else {
        DrawEdge(dc, &cell, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }
    BitBlt(target, r.left, r.top, w, h, dc, 0, 0, SRCCOPY);
}

void GridObject::PaintBand(HDC dc) {
    GridViewState* v = Live();
    RECT client;
    GetClientRect(ContainerWindow, &client);
    if (ListHidden || !v) FillRect(dc, &client, EmptyAreaBrush);
    if (!v) return;
    RECT gap{RowHeaderWidth, 0, BandWidth(), client.bottom};
    if (gap.right > gap.left) FillRect(dc, &gap, EmptyAreaBrush);
    if (RowHeaderWidth <= 0) return;
    RECT band{0, 0, RowHeaderWidth, client.bottom};
    FillRect(dc, &band, EmptyAreaBrush);
    RECT corner;
    if (BandCellRect(v, -1, &corner)) PaintBandCell(v, dc, -1, corner);
    int count = ListRowCount(v);
    if (count <= 0) return;
    gdi::SavedDC saved(dc);
    IntersectClipRect(dc, 0, HeaderBottom(), RowHeaderWidth, client.bottom);
    int top = static_cast<int>(SendMessageA(ListWindow, LVM_GETTOPINDEX, 0, 0));
    int page = static_cast<int>(SendMessageA(ListWindow, LVM_GETCOUNTPERPAGE, 0, 0));
    int row = std::max(top, 0);
    int first, last;
    if (!GroupOf(v, row, &first, &last)) return;
    row = first;
    while (row < count && row <= top + page + 1) {
        if (!GroupOf(v, row, &first, &last)) break;
        RECT r;
        if (BandCellRect(v, first, &r)) PaintBandCell(v, dc, first, r);
        row = last + 1;
    }
}

LRESULT GridObject::ContainerMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC proc = ContainerProc;
    GridViewState* v = Live();
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(w, &ps);
            PaintBand(dc);
            EndPaint(w, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN: {
            POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            int row;
            RECT cell;
            if (!v || !BandHit(v, pt, &row, &cell)) break;
            CellInfo ci = PresetCellInfo(v, row, -1);
            ci.Param = static_cast<std::intptr_t>(wp);
            SendGridEvent(v, LeftButtonDown, ci);
            if (int image = BandImageHit(row, cell, pt)) {
                RowHeaderCellInfo hit;
                static_cast<CellInfo&>(hit) = PresetCellInfo(v, row, -1);
                hit.Param = static_cast<std::intptr_t>(wp);
                hit.Image = image;
                SendGridEvent(v, RowHeaderImageClicked, hit);
            }
            if (!(GetWindowLongPtrA(ListWindow, GWL_STYLE) & LVS_NOSORTHEADER)) {
                HotRowHeader = row;
                RowHeaderPressed = 1;
                SetCapture(w);
                InvalidateRect(w, &cell, FALSE);
            }
            return 0;
        }
        case WM_LBUTTONUP:
            if (RowHeaderPressed) {
                RowHeaderPressed = 0;
                if (GetCapture() == w) ReleaseCapture();
                RECT cell;
                if (v && BandCellRect(v, HotRowHeader, &cell)) InvalidateRect(w, &cell, FALSE);
                HotRowHeader = -2;
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            if (RowHeaderPressed) {
                RowHeaderPressed = 0;
                HotRowHeader = -2;
                InvalidateBand(this);
            }
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP: {
            POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            if (!v || pt.x < 0 || pt.x >= RowHeaderWidth) break;
            int row;
            RECT cell;
            CellInfo ci = PresetCellInfo(v, -10, -10);
            if (BandHit(v, pt, &row, &cell)) {
                ci.Row = row;
                ci.Column = -1;
            }
            ci.Param = static_cast<std::intptr_t>(wp);
            SendGridEvent(v, msg == WM_RBUTTONDOWN ? RightButtonDown : RightButtonUp, ci);
            return 0;
        }
        case WM_NCDESTROY:
            RemoveWindowProp(w, ObjectProp);
            ContainerProc = nullptr;
            ContainerWindow = nullptr;
            return CallWindowProcA(proc, w, msg, wp, lp);
        default:
            break;
    }
    return CallWindowProcA(proc, w, msg, wp, lp);
}

void InvalidateBand(GridControl* grid) {
    auto* g = static_cast<GridObject*>(grid);
    if (!g || !g->ContainerWindow) return;
    if (g->ListHidden) {
        InvalidateRect(g->ContainerWindow, nullptr, FALSE);
        return;
    }
    if (g->BandWidth() <= 0) return;
    RECT client;
    GetClientRect(g->ContainerWindow, &client);
    RECT r{0, 0, g->BandWidth(), client.bottom};
    InvalidateRect(g->ContainerWindow, &r, FALSE);
}

void InvalidateBandRow(GridControl* grid, int row) {
    auto* g = static_cast<GridObject*>(grid);
    GridViewState* v = LiveView(g);
    if (!v || g->RowHeaderWidth <= 0) return;
    RECT r;
    if (g->BandCellRect(v, row, &r)) InvalidateRect(g->ContainerWindow, &r, FALSE);
}

void GridObject::Layout(bool fromResize) {
    GridViewState* v = Live();
    if (!v) return;
    CloseEditor(v, false);
    RECT client;
    GetClientRect(ContainerWindow, &client);
    gridgeo::BandLayout b = gridgeo::LayoutBand(client.right, RowHeaderWidth, RowHeaderGap,
                                                Shared().ScrollBarWidth);
    if (b.hideList) {
        ShowWindow(ListWindow, SW_HIDE);
        ListHidden = 1;
        InvalidateRect(ContainerWindow, nullptr, FALSE);
    } else {
        RECT lr;
        GetWindowRect(ListWindow, &lr);
        MapWindowPoints(nullptr, ContainerWindow, reinterpret_cast<POINT*>(&lr), 2);
        if (fromResize)
            MoveWindow(ListWindow, b.listLeft, 0, b.listWidth, client.bottom, TRUE);
        else
            MoveWindow(ListWindow, b.listLeft, lr.top, b.listWidth, lr.bottom - lr.top, TRUE);
        if (ListHidden) {
            ShowWindow(ListWindow, SW_SHOW);
            ListHidden = 0;
            InvalidateRect(ContainerWindow, nullptr, FALSE);
        }
    }
    InvalidateBand(this);
    if (fromResize) UpdateWindow(ContainerWindow);
}

// --- operations ---------------------------------------------------------------------------

void GridObject::AddColumn(int column, const std::string& title, int width) {
    GridViewState* v = Live();
    if (!v) return;
    int count = GridColumnCount(v);
    if (count >= GridMaxColumns) return;
    CloseEditor(v, false);
    RemoveBlock(v);
    if (column < 0 || column > count) column = count;
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = const_cast<char*>(title.c_str());
    col.cx = std::max(width, 0);
    col.iSubItem = column + 1;
    if (SendMessageA(ListWindow, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column + 1),
                     reinterpret_cast<LPARAM>(&col)) < 0)
        return;
    RebuildColumnTables(v);
    RedrawGrid(v);
    PostMessageA(ListWindow, MsgColumnAdded, 0, 0);
}

int GridObject::AddRow(int position, const std::string& label, int groupStart) {
    GridViewState* v = Live();
    if (!v) return 0;
    CloseEditor(v, false);
    RemoveBlock(v);
    int count = ListRowCount(v);
    if (position < 0 || position > count) position = count;
    RowData* d = NewRowData();
    if (!d) return 0;
    d->Flags = (groupStart & 1) ? RowGroupStart : 0;
    if (InsertRow(v, position, d, label) < 0) {
        DeleteRowData(d);
        return 0;
    }
    if (!RedrawSuspended) InvalidateBand(this);
    return 1;
}

int GridObject::SetImage(int index, HICON icon) {
    if (!Images || !icon) return -1;
    int count = ImageList_GetImageCount(Images);
    if (index < -1 || index >= count) return -1;
    int result = ImageList_ReplaceIcon(Images, index, icon);
    if (result >= 0 && index >= 0) InvalidateBand(this);
    return result;
}

void GridObject::SetRedraw(int enable, int update) {
    GridViewState* v = Live();
    if (!v) return;
    SendMessageA(ListWindow, WM_SETREDRAW, enable ? TRUE : FALSE, 0);
    RedrawSuspended = !enable;
    if (!enable) return;
    InvalidateRect(ListWindow, nullptr, TRUE);
    if (v->HeaderWindow) InvalidateRect(v->HeaderWindow, nullptr, TRUE);
    InvalidateBand(this);
    if (update) {
        UpdateWindow(ListWindow);
        UpdateWindow(ContainerWindow);
    }
}

void GridObject::ClearRows() {
    GridViewState* v = Live();
    if (!v) return;
    CloseEditor(v, true);
    RemoveBlock(v);
    SendMessageA(ListWindow, LVM_DELETEALLITEMS, 0, 0);
    InvalidateRect(ListWindow, nullptr, FALSE);
    InvalidateBand(this);
}

int GridObject::CopyBlock(int column, int row, int width, int height) {
    GridViewState* v = Live();
    return v ? CopyBlockText(v, column, row, width, height) : 0;
}

void GridObject::SetEventHandler(GridEventHandler handler) {
    GridViewState* v = Live();
    if (!v) return;
    if (!handler) {
        CommitEdit(v);
        v->EventHandler = nullptr;
        v->CurrentType = TextCell;
    } else {
        v->EventHandler = handler;
    }
    RedrawGrid(v);
}

void GridObject::ClearBlock(int column, int row, int width, int height) {
    if (GridViewState* v = Live()) ClearBlockCells(v, column, row, width, height);
}

void GridObject::Free() {
    if (GridViewState* v = Live()) {
        CloseEditor(v, false);
        SendMessageA(ListWindow, LVM_DELETEALLITEMS, 0, 0);
    }
    if (ContainerWindow && IsWindow(ContainerWindow)) DestroyWindow(ContainerWindow);
    if (EmptyAreaBrush) DeleteObject(EmptyAreaBrush);
    if (RowHeaderBrush) DeleteObject(RowHeaderBrush);
    if (Images) ImageList_Destroy(Images);
    delete this;
}

void GridObject::EraseBlock(int column, int row, int width, int height) {
    GridViewState* v = Live();
    if (!v) return;
    if (v->ColumnsChanged) RebuildColumnTables(v);
    int start = DisplayPosition(v, column);
    if (start < 0) return;
    gridgeo::Span cols = gridgeo::ClipSpan(start, width, v->ColumnTableCount);
    gridgeo::Span rows = gridgeo::ClipSpan(row, height, ListRowCount(v));
    bool currentInside = false;
    for (int r = rows.first; r < rows.first + rows.count; ++r)
        for (int p = cols.first; p < cols.first + cols.count; ++p) {
            int sub = ColumnAtDisplay(v, p) + 1;
            StoreText(v, r, sub, "");
            if (v->CurrentRow == r && v->CurrentColumn == sub) currentInside = true;
        }
    if (currentInside) {
        v->CommittedText.clear();
        v->EditText.clear();
        if (v->CurrentType == TextCell) SetWindowTextA(v->EditBox, "");
        else if (v->CurrentType == ListCell) ShowComboValue(v, v->ListCombo, "");
        else if (v->CurrentType == ComboCell) ShowComboValue(v, v->EditCombo, "");
        v->EditText.clear();
    }
    InvalidateRect(ListWindow, nullptr, FALSE);
}

void GridObject::GetBlock(std::int32_t* d) {
    GridViewState* v = Live();
    if (!v || !d) return;
    d[0] = v->BlockColumn;
    d[1] = v->BlockRow;
    d[2] = v->BlockWidth;
    d[3] = v->BlockHeight;
}

std::string GridObject::GetCellText(int column, int row) {
    GridViewState* v = Live();
    if (!v || !ValidCell(v, column, row)) return std::string();
    if (v->CurrentRow >= 0 && v->CurrentRow == row && v->CurrentColumn == column + 1)
        return v->EditText;
    return StoredText(v, row, column + 1);
}

void GridObject::GetColumnOrder(std::int32_t* d) {
    GridViewState* v = Live();
    if (!v || !d) return;
    RebuildColumnTables(v);
    for (int p = 0; p < v->ColumnTableCount; ++p) d[p] = v->ColumnAtPosition[p];
}

namespace {
RECT PlaceInParent(HWND w) {
    RECT r{};
    if (!w || !IsWindow(w)) return r;
    GetWindowRect(w, &r);
    if (HWND parent = GetParent(w)) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
}  // namespace

int GridObject::GetHeight() { RECT r = PlaceInParent(ContainerWindow); return r.bottom - r.top; }
int GridObject::GetWidth() { RECT r = PlaceInParent(ContainerWindow); return r.right - r.left; }
int GridObject::GetX() { return PlaceInParent(ContainerWindow).left; }
int GridObject::GetY() { return PlaceInParent(ContainerWindow).top; }

int GridObject::ColumnCount() {
    GridViewState* v = Live();
    return v ? GridColumnCount(v) : -1;
}

int GridObject::RowCount() {
    GridViewState* v = Live();
    return v ? ListRowCount(v) : -1;
}

int GridObject::GetRowValue(int row) {
    GridViewState* v = Live();
    if (!v) return 0;
    if (row == -1) return CornerValue;
    RowData* d = RowDataOf(v, row);
    return d ? d->Value : 0;
}

int GridObject::GetRowFlags(int row) {
    GridViewState* v = Live();
    if (!v) return 0;
    if (row == -1) return static_cast<int>(CornerFlags);
    RowData* d = RowDataOf(v, row);
    return d ? static_cast<int>(d->Flags) : 0;
}

int GridObject::GetCurrentColumn() {
    GridViewState* v = Live();
    return v && v->CurrentRow >= 0 ? v->CurrentColumn - 1 : -1;
}

int GridObject::GetCurrentRow() {
    GridViewState* v = Live();
    return v ? v->CurrentRow : -1;
}

int GridObject::IsCellModified() {
    GridViewState* v = Live();
    return v && v->CurrentRow >= 0 && v->EditText != v->CommittedText ? 1 : 0;
}

void GridObject::EndEdit() {
    if (GridViewState* v = Live()) DropCurrentCell(v, 0);
}

void GridObject::Hide(int state) {
    if (ContainerWindow) ShowWindow(ContainerWindow, state ? SW_HIDE : SW_SHOW);
}

void GridObject::RedrawCell(int column, int row, int update) {
    GridViewState* v = Live();
    if (!v) return;
    if (column == -1) {
        if (row != -1 && (row < 0 || row >= ListRowCount(v))) return;
        InvalidateBandRow(this, row);
        if (update) UpdateWindow(ContainerWindow);
        return;
    }
    if (column < 0 || column >= GridColumnCount(v)) return;
    if (row == -1) {
        if (!v->HeaderWindow) return;
        RECT r{};
        SendMessageA(v->HeaderWindow, HDM_GETITEMRECT, static_cast<WPARAM>(column + 1), reinterpret_cast<LPARAM>(&r));
        InvalidateRect(v->HeaderWindow, &r, FALSE);
        if (update) UpdateWindow(v->HeaderWindow);
        return;
    }
    if (row < 0 || row >= ListRowCount(v)) return;
    RECT r = SubItemRect(v, row, column + 1);
    InvalidateRect(ListWindow, &r, FALSE);
    if (update) UpdateWindow(ListWindow);
}

void GridObject::ShowCell(int column, int row) {
    GridViewState* v = Live();
    if (!v || column < 0 || !ValidCell(v, column, row)) return;
    RECT r = SubItemRect(v, row, column + 1);
    RECT client;
    GetClientRect(ListWindow, &client);
    bool visible = r.left >= 0 && r.right <= client.right && r.top >= v->HeaderHeight &&
                   r.bottom <= client.bottom;
    if (visible) return;
    DropCurrentCell(v, 0);
    ScrollIntoView(v, row, column + 1);
}

int GridObject::PasteClipboard() {
    GridViewState* v = Live();
    return v ? PasteClipboardText(v) : 0;
}

void GridObject::RemoveColumn(int column) {
    GridViewState* v = Live();
    if (!v || column < 0 || column >= GridColumnCount(v)) return;
    CloseEditor(v, v->CurrentRow >= 0 && v->CurrentColumn == column + 1);
    RemoveBlock(v);
    SendMessageA(ListWindow, LVM_DELETECOLUMN, static_cast<WPARAM>(column + 1), 0);
    RebuildColumnTables(v);
    RedrawGrid(v);
}

void GridObject::RemoveRow(int row) {
    GridViewState* v = Live();
    if (!v || row < 0 || row >= ListRowCount(v)) return;
    CloseEditor(v, v->CurrentRow == row);
    RemoveBlock(v);
    SendMessageA(ListWindow, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    InvalidateRect(ListWindow, nullptr, FALSE);
    InvalidateBand(this);
}

void GridObject::Resize(int x, int y, int width, int height) {
    if (!Live()) return;
    MoveWindow(ContainerWindow, x, y, std::max(width, 0), std::max(height, 0), TRUE);
    Layout(true);
}

void GridObject::SetCurrentCell(int column, int row, int focusEditor, int scroll) {
    GridViewState* v = Live();
    if (!v || column < 0 || !ValidCell(v, column, row)) return;
    bool blockMode = v->CurrentRow < 0 && v->BlockState != 0;
    CommitEdit(v);
    LeaveCell(v);
    EnterCell(v, row, column + 1, scroll != 0);
    v->BlockState = 2;
    v->AnchorRow = v->BlockRow = row;
    v->AnchorColumn = v->BlockColumn = column;
    v->BlockWidth = v->BlockHeight = 1;
    if (focusEditor) FocusEditor(v);
    if (blockMode) RedrawGrid(v);
}

void GridObject::SetBlock(int column, int row, int width, int height) {
    GridViewState* v = Live();
    if (!v) return;
    if (column == -1) {
        if (v->CurrentRow < 0) {
            RemoveBlock(v);
            RedrawGrid(v);
        }
        return;
    }
    if (width == 0 || height == 0 || column < 0 || !ValidCell(v, column, row)) return;
    CloseEditor(v, false);
    v->BlockState = 1;
    v->BlockColumn = column;
    v->BlockRow = row;
    v->BlockWidth = width;
    v->BlockHeight = height;
    v->AnchorRow = row;
    v->AnchorColumn = column;
    RedrawGrid(v);
}

void GridObject::SetCellText(int column, int row, const std::string& text) {
    GridViewState* v = Live();
    if (!v || !ValidCell(v, column, row)) return;
    if (column == -1) {
        StoreText(v, row, 0, text);
        if (!RedrawSuspended) InvalidateBandRow(this, row);
        return;
    }
    StoreText(v, row, column + 1, text);
    if (v->CurrentRow == row && v->CurrentColumn == column + 1) {
        v->CommittedText = text;
        v->EditText = text;
        CellInfo ci = PresetCellInfo(v, row, column);
        SendGridEvent(v, QueryCellType, ci);
        if (ci.CellType != v->CurrentType) {
            ParkEditors(v);
            v->CurrentType = ci.CellType;
            PlaceEditor(v, nullptr);
        }
        if (v->CurrentType == TextCell) {
            SetWindowTextA(v->EditBox, text.c_str());
            if (GetFocus() == v->EditBox) {
                int len = GetWindowTextLengthA(v->EditBox);
                SendMessageA(v->EditBox, EM_SETSEL, static_cast<WPARAM>(len), len);
            }
        } else if (v->CurrentType == ListCell) {
            ShowComboValue(v, v->ListCombo, text);
        } else if (v->CurrentType == ComboCell) {
            ShowComboValue(v, v->EditCombo, text);
        }
        v->EditText = text;
    }
    if (RedrawSuspended) return;  // SetRedraw(1) repaints everything
    RECT r = SubItemRect(v, row, column + 1);
    InvalidateRect(ListWindow, &r, FALSE);
}

void GridObject::SetHeaderHeight(int height) {
    GridViewState* v = Live();
    if (!v || height < 0) return;
    CloseEditor(v, false);
    v->HeaderHeight = height;
    ApplyHeaderHeight(v);
    InvalidateBand(this);
}

void GridObject::SetColumnOrder(const std::int32_t* order) {
    GridViewState* v = Live();
    if (!v || !order) return;
    int n = GridColumnCount(v);
    if (n == 0) return;
    // Only a true permutation: anything else would leave the list with a broken order.
    std::vector<char> seen(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        if (order[i] < 0 || order[i] >= n || seen[static_cast<size_t>(order[i])]) return;
        seen[static_cast<size_t>(order[i])] = 1;
    }
    CloseEditor(v, false);
    RemoveBlock(v);
    std::vector<int> list(static_cast<size_t>(n) + 1);
    list[0] = 0;
    for (int i = 0; i < n; ++i) list[static_cast<size_t>(i) + 1] = order[i] + 1;
    SendMessageA(ListWindow, LVM_SETCOLUMNORDERARRAY, static_cast<WPARAM>(n + 1),
                 reinterpret_cast<LPARAM>(list.data()));
    RebuildColumnTables(v);
    RedrawGrid(v);
}

void GridObject::SetFont(HFONT font) {
    GridViewState* v = Live();
    if (!v) return;
    SendMessageA(ListWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (v->CurrentRow >= 0) PlaceEditor(v, nullptr);
    RedrawGrid(v);
    InvalidateBand(this);
}

void GridObject::SetHeaderFont(HFONT font) {
    GridViewState* v = Live();
    if (!v || !v->HeaderWindow) return;
    LOGFONTA lf{};
    if (!font || GetObjectA(font, sizeof lf, &lf) != sizeof lf) return;
    CloseEditor(v, false);
    v->HeaderHeight = std::abs(static_cast<int>(lf.lfHeight)) + 5;
    SendMessageA(v->HeaderWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ApplyHeaderHeight(v);
    InvalidateBand(this);
}

void GridObject::SetAttribute(int attribute, int value) {
    GridViewState* v = Live();
    if (!v) return;
    switch (attribute) {
        case AttrHeaderLineColour: if (value != -1) v->HeaderLineColour = value; break;
        case AttrFocusColour: if (value != -1) v->FocusColour = value; break;
        case AttrFocusWidth: if (value >= 0) v->FocusWidth = value; break;
        case AttrBlockColour: v->BlockColour = value; break;
        case AttrGridLineColour: if (value != -1) v->GridLineColour = value; break;
        case AttrEmptyAreaColour: {
            v->EmptyAreaColour = value;
            HBRUSH brush = CreateSolidBrush(EmptyAreaColourOf(v));
            if (brush) {
                if (EmptyAreaBrush) DeleteObject(EmptyAreaBrush);
                EmptyAreaBrush = brush;
            }
            InvalidateRect(ContainerWindow, nullptr, FALSE);
            break;
        }
        case AttrSelectionMode:
            if (value < 0 || value > 3) return;
            v->SelectionMode = static_cast<std::uint8_t>(value);
            if (value == 3) {
                RemoveBlock(v);
            } else if (v->BlockState != 0 && v->BlockColumn >= 0) {
                if (value == 2) {
                    v->BlockRow = v->AnchorRow;
                    v->BlockHeight = 1;
                } else if (value == 1) {
                    v->BlockColumn = v->AnchorColumn;
                    v->BlockWidth = 1;
                }
            }
            break;
        case AttrRowHeaderColour: {
            RowHeaderColour = value;
            HBRUSH brush = CreateSolidBrush(value == -1 ? GetSysColor(COLOR_BTNFACE) : static_cast<COLORREF>(value));
            if (brush) {
                if (RowHeaderBrush) DeleteObject(RowHeaderBrush);
                RowHeaderBrush = brush;
            }
            InvalidateBand(this);
            break;
        }
        default:
            return;
    }
    RedrawGrid(v);
}

void GridObject::SetRowValue(int row, int value) {
    GridViewState* v = Live();
    if (!v) return;
    if (row == -1) {
        CornerValue = value;
        return;
    }
    if (RowData* d = RowDataOf(v, row)) d->Value = value;
}

void GridObject::SetRowHeaderWidth(int width, int gap) {
    if (!Live()) return;
    bool changed = false;
    if (width >= 0 && width != RowHeaderWidth) {
        RowHeaderWidth = width;
        changed = true;
    }
    if (gap >= 0 && gap != RowHeaderGap) {
        RowHeaderGap = gap;
        changed = true;
    }
    if (changed) Layout(false);
}

void GridObject::SetRowHeaderInsets(int left, int right) {
    if (!Live()) return;
    if (left >= 0) RowHeaderInsetLeft = left;
    if (right >= 0) RowHeaderInsetRight = right;
    InvalidateBand(this);
}

void GridObject::SetRowHeaderStyle(int row, int a, int b, int c, int d, int redraw) {
    GridViewState* v = Live();
    if (!v) return;
    if (row == -1) {
        CornerFlags = gridgeo::WithBandStyle(CornerFlags, a, b, c, d);
    } else if (RowData* data = RowDataOf(v, row)) {
        data->Flags = gridgeo::WithBandStyle(data->Flags, a, b, c, d);
    } else {
        return;
    }
    if (redraw) {
        InvalidateBandRow(this, row);
        UpdateWindow(ContainerWindow);
    }
}

}  // namespace gridimpl

using gridimpl::GridObject;

void SetGridParent(HWND parent) { gridimpl::g_gridParent = parent; }

GridControl* NewGrid(int x, int y, int width, int height, int rowHeight, int flags) {
    return NewGrid(gridimpl::g_gridParent, x, y, width, height, rowHeight, flags);
}

GridControl* NewGrid(HWND parent, int x, int y, int width, int height, int rowHeight, int flags) {
    using namespace gridimpl;
    if (!parent || !IsWindow(parent)) return nullptr;
    MakeSharedResources();
    if (!RegisterContainerClass()) return nullptr;
    auto* g = new (std::nothrow) GridObject();
    if (!g) return nullptr;
    g->Images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 255);
    if (!g->Images) {
        delete g;
        return nullptr;
    }
    if ((flags & BuiltInIcons) && !AddBuiltInIcons(g->Images)) {
        ImageList_Destroy(g->Images);
        delete g;
        return nullptr;
    }
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    if (flags & BorderLine) style |= WS_BORDER;
    else if (flags & BorderDialogFrame) style |= WS_DLGFRAME;
    else if (flags & BorderStaticEdge) exStyle |= WS_EX_STATICEDGE;
    else if (flags & BorderClientEdge) exStyle |= WS_EX_CLIENTEDGE;
    g->ContainerId = g_nextId;
    g->ListId = g_nextId + 1;
    g_nextId += 2;
    g->ContainerWindow = CreateWindowExA(exStyle, ContainerClass, "", style, x, y, width, height, parent,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(g->ContainerId)),
                                         GetModuleHandleA(nullptr), nullptr);
    if (!g->ContainerWindow) {
        ImageList_Destroy(g->Images);
        delete g;
        return nullptr;
    }
    RECT client;
    GetClientRect(g->ContainerWindow, &client);
    DWORD listExtra = 0;
    if (flags & NoColumnHeader) listExtra |= LVS_NOCOLUMNHEADER;
    if (flags & NoSortHeader) listExtra |= LVS_NOSORTHEADER;
    if (flags & KeepCellOnFocusLoss) listExtra |= LVS_SHOWSELALWAYS;
    GridViewState* v = CreateGridView(g->ContainerWindow, g->ListId, 0, 0, client.right, client.bottom,
                                      rowHeight, flags & GridStyleMask, listExtra);
    if (!v) {
        DestroyWindow(g->ContainerWindow);
        ImageList_Destroy(g->Images);
        delete g;
        return nullptr;
    }
    HWND list = v->ListWindow;
    SetWindowLongPtrA(list, GWL_EXSTYLE, GetWindowLongPtrA(list, GWL_EXSTYLE) & ~LONG_PTR{WS_EX_CLIENTEDGE});
    SetWindowPos(list, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    ShowWindow(list, SW_HIDE);
    ShowWindow(list, SW_SHOW);
    SetWindowProp(g->ContainerWindow, ObjectProp, g);
    SetWindowProp(list, ObjectProp, g);
    if (v->HeaderWindow) SetWindowProp(v->HeaderWindow, ObjectProp, g);

    g->CreateFlags = flags;
    g->View = v;
    g->ListWindow = list;
    g->HeaderWindow = v->HeaderWindow;
    v->Owner = g;
    g->SetAttribute(AttrEmptyAreaColour, -1);
    g->SetAttribute(AttrRowHeaderColour, -1);
    g->ContainerProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        g->ContainerWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ContainerWindowProc)));
    g->ListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ObjectListProc)));
    if (v->HeaderWindow)
        g->HeaderProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            v->HeaderWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ObjectHeaderProc)));
    return g;
}

GridControl* GridFromWindow(HWND window) { return gridimpl::ObjectOf(window); }

}  // namespace zandrel
