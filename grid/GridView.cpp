// The GridView: the report-style list view that holds the cells, its header, and the window
// procedures the grid puts in front of theirs.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "grid/GridGeometry.h"
#include "grid/GridInternal.h"

namespace zandrel::gridimpl {

namespace {

LRESULT CALLBACK ListWindowProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK HeaderWindowProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ParentWindowProc(HWND, UINT, WPARAM, LPARAM);

int ReadCommonControlsVersion() {
    HMODULE cc = GetModuleHandleA("comctl32.dll");
    if (!cc) return 5;
    auto get = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(cc, "DllGetVersion")));
    if (!get) return 5;
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (FAILED(get(&info))) return 5;
    return static_cast<int>(info.dwMajorVersion);
}

}  // namespace

SharedResources& Shared() {
    static SharedResources s;
    return s;
}

// Made once and kept for the program's life: every grid shares them.
void MakeSharedResources() {
    SharedResources& s = Shared();
    if (s.made) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    s.ButtonFaceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    s.WhiteBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    s.NullBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    s.ScrollBarWidth = GetSystemMetrics(SM_CXVSCROLL);
    s.EllipsisGlyph = MakeEllipsisGlyph();
    {
        HDC screen = GetDC(nullptr);
        int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        LOGFONTA lf{};
        lf.lfHeight = -MulDiv(7, dpi, 72);
        lf.lfWeight = FW_BOLD;
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynA(lf.lfFaceName, "Verdana", LF_FACESIZE);
        s.ProgressFont = CreateFontIndirectA(&lf);
    }
    s.CommonControlsVersion = ReadCommonControlsVersion();
    s.made = true;
}

namespace {

struct PropKey {
    HWND window;
    const char* name;
    bool operator<(const PropKey& o) const {
        return window != o.window ? window < o.window : std::strcmp(name, o.name) < 0;
    }
};

std::mutex g_propLock;
std::map<PropKey, void*>& PropCopies() {
    static std::map<PropKey, void*> copies;
    return copies;
}

}  // namespace

void SetWindowProp(HWND w, const char* name, void* value) {
    SetPropA(w, name, value);
    std::lock_guard<std::mutex> lock(g_propLock);
    PropCopies()[PropKey{w, name}] = value;
}

void* WindowProp(HWND w, const char* name) {
    if (!w) return nullptr;
    std::lock_guard<std::mutex> lock(g_propLock);
    auto& copies = PropCopies();
    auto it = copies.find(PropKey{w, name});
    return it == copies.end() ? nullptr : it->second;
}

void RemoveWindowProp(HWND w, const char* name) {
    RemovePropA(w, name);
    std::lock_guard<std::mutex> lock(g_propLock);
    PropCopies().erase(PropKey{w, name});
}

GridViewState* ViewOf(HWND list) {
    if (!list || !IsWindow(list)) return nullptr;
    return static_cast<GridViewState*>(WindowProp(list, ViewProp));
}

LRESULT ListCall(const GridViewState* v, UINT msg, WPARAM wp, LPARAM lp) {
    if (!v->ListProc) return SendMessageA(v->ListWindow, msg, wp, lp);  // not taken over yet
    return CallListProc(v, v->ListWindow, msg, wp, lp);
}

// The list messages that change the number of rows or of columns the grid keeps count of.
static bool ChangesListRows(UINT msg) {
    return msg == LVM_INSERTITEMA || msg == LVM_INSERTITEMW || msg == LVM_DELETEITEM ||
           msg == LVM_DELETEALLITEMS || msg == LVM_SETITEMCOUNT;
}
static bool ChangesListColumns(UINT msg) {
    return msg == LVM_INSERTCOLUMNA || msg == LVM_INSERTCOLUMNW || msg == LVM_DELETECOLUMN;
}

LRESULT CallListProc(const GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == LVM_DELETEALLITEMS && !v->DeletingAllRows) {
        // Every RowData freed in one pass here rather than one notification per row: each of
        // those travels through all the procedures on the parent, which under Wine made
        // emptying a large table cost as much as filling it.
        for (int r = 0, n = ListRowCount(v); r < n; ++r) {
            LVITEMA item{};
            item.mask = LVIF_PARAM;
            item.iItem = r;
            if (CallWindowProcA(v->ListProc, list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
                DeleteRowData(reinterpret_cast<RowData*>(item.lParam));
        }
        v->DeletingAllRows = true;
        LRESULT r = CallListProc(v, list, msg, wp, lp);
        v->DeletingAllRows = false;
        return r;
    }
    const int rowsBefore = v->KnownRowCount;
    const bool rows = ChangesListRows(msg), columns = ChangesListColumns(msg);
    // Unknown while the list changes: its notifications may ask for the counts meanwhile.
    if (rows) v->KnownRowCount = -1;
    if (columns) v->KnownListColumns = -1;
    LRESULT r = CallWindowProcA(v->ListProc, list, msg, wp, lp);
    // Appending rows is the hot path of a load: count along rather than ask again.
    if ((msg == LVM_INSERTITEMA || msg == LVM_INSERTITEMW) && rowsBefore >= 0)
        v->KnownRowCount = r >= 0 ? rowsBefore + 1 : rowsBefore;
    else if (rows)
        v->KnownRowCount = -1;
    if (columns) v->KnownListColumns = -1;
    return r;
}

void NoteHeaderChange(const GridViewState* v, UINT msg) {
    if (msg == HDM_INSERTITEMA || msg == HDM_INSERTITEMW || msg == HDM_DELETEITEM) v->KnownListColumns = -1;
}

// The counts are kept only once the list and its header are taken over: from then on every
// message that changes them passes the grid's procedures.
int ListColumnCount(const GridViewState* v) {
    if (v->KnownListColumns >= 0) return v->KnownListColumns;
    HWND header = reinterpret_cast<HWND>(SendMessageA(v->ListWindow, LVM_GETHEADER, 0, 0));
    if (!header) return 0;
    const int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    if (v->ListProc && v->HeaderProc && header == v->HeaderWindow) v->KnownListColumns = count;
    return count;
}

int GridColumnCount(const GridViewState* v) { return std::max(ListColumnCount(v) - 1, 0); }

int ListRowCount(const GridViewState* v) {
    if (v->KnownRowCount >= 0) return v->KnownRowCount;
    const int count = static_cast<int>(ListCall(v, LVM_GETITEMCOUNT, 0, 0));
    if (v->ListProc) v->KnownRowCount = count;
    return count;
}

bool ValidCell(const GridViewState* v, int column, int row) {
    return row >= 0 && row < ListRowCount(v) && column >= -1 && column < GridColumnCount(v);
}

std::string StoredText(const GridViewState* v, int row, int subItem) {
    // Most cells fit the buffer on the stack; a longer text is asked for again.
    char small[256];
    std::vector<char> large;
    char* buf = small;
    std::size_t size = sizeof small;
    for (;;) {
        LVITEMA item{};
        item.iSubItem = subItem;
        item.pszText = buf;
        item.cchTextMax = static_cast<int>(size);
        buf[0] = 0;
        LRESULT n = ListCall(v, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        if (n < static_cast<LRESULT>(size) - 1 || size >= (1u << 24))
            return std::string(buf, static_cast<size_t>(std::max<LRESULT>(n, 0)));
        large.resize(size * 4);
        buf = large.data();
        size = large.size();
    }
}

void StoreText(GridViewState* v, int row, int subItem, const std::string& text) {
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = const_cast<char*>(text.c_str());
    ListCall(v, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

RECT SubItemRect(const GridViewState* v, int row, int subItem) {
    RECT r{};
    r.top = subItem;
    r.left = LVIR_BOUNDS;
    if (!SendMessageA(v->ListWindow, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                      reinterpret_cast<LPARAM>(&r)))
        return RECT{};
    int width = static_cast<int>(SendMessageA(v->ListWindow, LVM_GETCOLUMNWIDTH,
                                              static_cast<WPARAM>(subItem), 0));
    r.right = r.left + width;
    return r;
}

RowData* RowDataOf(const GridViewState* v, int row) {
    if (row < 0 || row >= ListRowCount(v)) return nullptr;
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListCall(v, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<RowData*>(item.lParam);
}

void RebuildColumnTables(GridViewState* v) {
    int listCount = ListColumnCount(v);
    std::vector<int> order(static_cast<size_t>(std::max(listCount, 1)));
    if (listCount > 0)
        SendMessageA(v->ListWindow, LVM_GETCOLUMNORDERARRAY, static_cast<WPARAM>(listCount),
                     reinterpret_cast<LPARAM>(order.data()));
    int pos = 0;
    for (int i = 0; i < GridMaxColumns; ++i) v->PositionOfColumn[i] = -1;
    for (int p = 0; p < listCount && pos < GridMaxColumns; ++p) {
        int sub = order[static_cast<size_t>(p)];
        if (sub <= 0 || sub > GridMaxColumns) continue;  // the hidden label column
        v->ColumnAtPosition[pos] = sub - 1;
        v->PositionOfColumn[sub - 1] = pos;
        ++pos;
    }
    v->ColumnTableCount = pos;
    v->ColumnsChanged = 0;
}

int DisplayPosition(const GridViewState* v, int column) {
    if (column < 0 || column >= GridMaxColumns || column >= v->ColumnTableCount) return -1;
    return v->PositionOfColumn[column];
}

int ColumnAtDisplay(const GridViewState* v, int position) {
    if (position < 0 || position >= v->ColumnTableCount) return -1;
    return v->ColumnAtPosition[position];
}

int FirstVisibleColumn(const GridViewState* v) { return ColumnAtDisplay(v, 0); }
int LastVisibleColumn(const GridViewState* v) {
    return ColumnAtDisplay(v, v->ColumnTableCount - 1);
}

void ApplyHeaderHeight(GridViewState* v) {
    // The list asks its header for its layout only when it lays itself out, and some list views
    // do that only when their size really changes: hide and show it, and change its size there
    // and back.
    HWND list = v->ListWindow;
    if (IsWindowVisible(list)) {
        ShowWindow(list, SW_HIDE);
        ShowWindow(list, SW_SHOW);
    }
    RECT wr;
    GetWindowRect(list, &wr);
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW;
    SetWindowPos(list, nullptr, 0, 0, wr.right - wr.left, wr.bottom - wr.top + 1, flags);
    SetWindowPos(list, nullptr, 0, 0, wr.right - wr.left, wr.bottom - wr.top, flags);
    RedrawGrid(v);
}

void RedrawGrid(GridViewState* v) {
    RedrawWindow(v->ListWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT);
    if (v->HeaderWindow) InvalidateRect(v->HeaderWindow, nullptr, TRUE);
}

int ScrollIntoView(GridViewState* v, int row, int subItem) {
    RECT rc = SubItemRect(v, row, subItem);
    RECT client;
    GetClientRect(v->ListWindow, &client);
    int scrolled = 0;
    int dx = 0;
    if (rc.left < 0 || rc.right - rc.left >= client.right)
        dx = rc.left - 1;
    else if (rc.right > client.right)
        dx = rc.right - client.right;
    if (dx != 0) {
        InvalidateRect(v->ListWindow, nullptr, FALSE);
        SendMessageA(v->ListWindow, LVM_SCROLL, static_cast<WPARAM>(dx), 0);
        scrolled = 1;
    }
    rc = SubItemRect(v, row, subItem);
    int height = rc.bottom - rc.top;
    if (rc.top < v->HeaderHeight && height > 0) {
        InvalidateRect(v->ListWindow, nullptr, FALSE);
        SendMessageA(v->ListWindow, LVM_SCROLL, 0, rc.top - v->HeaderHeight);
        scrolled = 1;
    } else if (rc.bottom >= client.bottom && height > 0) {
        int rows = (rc.bottom - client.bottom + height - 1) / height;
        if (rows > 0) {
            InvalidateRect(v->ListWindow, nullptr, FALSE);
            SendMessageA(v->ListWindow, LVM_SCROLL, 0, rows * height);
            scrolled = 1;
        }
    }
    if (scrolled && v->Owner) InvalidateBand(v->Owner);
    return scrolled;
}

// --- notifications ----------------------------------------------------------------------------

CellInfo PresetCellInfo(const GridViewState* v, int row, int column) {
    CellInfo ci;
    ci.Row = row;
    ci.Column = column;
    ci.Font = reinterpret_cast<HFONT>(SendMessageA(v->ListWindow, WM_GETFONT, 0, 0));
    return ci;
}

bool CellInBlock(const GridViewState* v, int column, int row) {
    if (v->BlockColumn < 0 || v->BlockState == 0) return false;
    int start = DisplayPosition(v, v->BlockColumn);
    int pos = DisplayPosition(v, column);
    if (start < 0 || pos < 0) return false;
    return gridgeo::SpanContains(start, v->BlockWidth, pos) &&
           gridgeo::SpanContains(v->BlockRow, v->BlockHeight, row);
}

void RemoveBlock(GridViewState* v) {
    v->BlockState = 0;
    v->BlockColumn = -1;
    v->BlockWidth = v->BlockHeight = 0;
}

namespace {

void AfterCellSelecting(GridViewState* v, const CellInfo& ci) {
    if (v->TooltipWindow && v->TooltipRow == ci.Row && v->TooltipColumn == ci.Column) {
        DestroyWindow(v->TooltipWindow);
        v->TooltipWindow = nullptr;
        v->TooltipRow = -2;
    }
    if (v->CurrentRow < 0 && v->BlockState != 0) InvalidateRect(v->ListWindow, nullptr, FALSE);
    v->BlockState = 2;
    v->AnchorRow = v->BlockRow = ci.Row;
    v->AnchorColumn = v->BlockColumn = ci.Column;
    v->BlockWidth = v->BlockHeight = 1;
    // A mouse selection goes on as a drag selection: that belongs to the mouse handling.
}

void AfterQueryCellFormat(GridViewState* v, CellInfo& ci) {
    v->InBlock = 0;
    v->CellBorders = 0;
    if (ci.Row < 0 || ci.Column < 0) return;
    if (v->BlockState == 0 || v->BlockColumn < 0 || v->CurrentRow >= 0) return;
    if (!CellInBlock(v, ci.Column, ci.Row)) return;
    v->InBlock = 1;
    if (v->BlockState == 2 && ci.Row == v->AnchorRow && ci.Column == v->AnchorColumn) {
        ci.BackColour = 0x808080;
        ci.TextColour = 0xD8D8D8;
    } else if (v->BlockColour != -1) {
        ci.BackColour = v->BlockColour;
    }
    if (v->Style & NoInnerGridLines) ci.BorderFlags |= BorderNoGridLines;
    int start = DisplayPosition(v, v->BlockColumn);
    int pos = DisplayPosition(v, ci.Column);
    v->CellBorders = gridgeo::BlockEdgeFlags(
        pos == gridgeo::SpanFirst(start, v->BlockWidth),
        ci.Row == gridgeo::SpanFirst(v->BlockRow, v->BlockHeight),
        pos == gridgeo::SpanLast(start, v->BlockWidth),
        ci.Row == gridgeo::SpanLast(v->BlockRow, v->BlockHeight));
}

}  // namespace

int SendGridEvent(GridViewState* v, int code, CellInfo& ci) {
    int result = 1;
    if (v->EventHandler) {
        try {
            result = v->EventHandler(v->Owner, code, &ci);
        } catch (...) {
            // An exception must not cross the window procedure; a failing handler refuses.
            result = 0;
        }
    }
    if (code == CellSelecting && result != 0) AfterCellSelecting(v, ci);
    if (code == QueryCellFormat) AfterQueryCellFormat(v, ci);
    return result;
}

// --- creation ---------------------------------------------------------------------------------

GridViewState* CreateGridView(HWND parent, int listId, int x, int y, int width, int height,
                              int rowHeight, int style, DWORD extraListStyle) {
    MakeSharedResources();
    auto* v = new (std::nothrow) GridViewState{};
    if (!v) return nullptr;
    v->ColumnAtPosition = new (std::nothrow) std::int32_t[GridMaxColumns]();
    v->PositionOfColumn = new (std::nothrow) std::int32_t[GridMaxColumns]();
    if (!v->ColumnAtPosition || !v->PositionOfColumn) {
        delete[] v->ColumnAtPosition;
        delete[] v->PositionOfColumn;
        delete v;
        return nullptr;
    }
    // Shared image lists, because the one that fixes the row height stays ours (see below).
    DWORD listStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | LVS_REPORT |
                      LVS_SHAREIMAGELISTS | extraListStyle;
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", listStyle, x, y, width, height,
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(listId)),
                                GetModuleHandleA(nullptr), nullptr);
    if (!list) {
        delete[] v->ColumnAtPosition;
        delete[] v->PositionOfColumn;
        delete v;
        return nullptr;
    }
    v->ListId = listId;
    v->ListWindow = list;
    LVCOLUMNA col{};
    col.mask = LVCF_WIDTH | LVCF_TEXT;
    col.cx = 0;
    col.pszText = const_cast<char*>("");
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&col));
    // The grid paints cell by cell through its own bitmap; the list's buffering only costs.
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0x10000, 0);
    SetWindowLongPtrA(list, GWL_STYLE, GetWindowLongPtrA(list, GWL_STYLE) & ~LONG_PTR{WS_TABSTOP});
    // The row height follows the small-image height. The image list is kept rather than
    // destroyed at once, so the list never measures a freed image list when its font changes.
    // Some list views add padding to the image height: measure a row and take it off.
    rowHeight = std::max(rowHeight, 1);
    for (int attempt = 0, cy = rowHeight; attempt < 2; ++attempt) {
        HIMAGELIST images = ImageList_Create(1, cy, ILC_COLOR32, 1, 1);
        if (!images) break;
        SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
        if (v->RowHeightImages) ImageList_Destroy(v->RowHeightImages);
        v->RowHeightImages = images;
        LVITEMA probe{};
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&probe));
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        int padding = (r.bottom - r.top) - cy;
        if (padding == 0 || cy - padding < 1 || r.bottom - r.top == rowHeight) break;
        cy = rowHeight - padding;
    }
    v->CurrentRow = -1;
    v->HeaderWindow = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    if (v->HeaderWindow) {
        SetWindowLongPtrA(v->HeaderWindow, GWL_STYLE,
                          GetWindowLongPtrA(v->HeaderWindow, GWL_STYLE) & ~LONG_PTR{HDS_FULLDRAG});
        v->HeaderHeight = 20;
        auto font = reinterpret_cast<HFONT>(SendMessageA(v->HeaderWindow, WM_GETFONT, 0, 0));
        LOGFONTA lf{};
        if (font && GetObjectA(font, sizeof lf, &lf) == sizeof lf)
            v->HeaderHeight = std::abs(static_cast<int>(lf.lfHeight)) + 5;
    }
    v->Style = (style & GridStyleMask) | GridStyleAlwaysSet;
    v->GridLineColour = static_cast<std::int32_t>(GetSysColor(COLOR_BTNFACE));
    {
        gdi::WindowDC dc(list);
        v->PaintDC = CreateCompatibleDC(dc.get());
    }
    RebuildColumnTables(v);
    CreateEditors(v);

    v->ListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListWindowProc)));
    if (v->HeaderWindow)
        v->HeaderProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            v->HeaderWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HeaderWindowProc)));
    if (!WindowProp(parent, ParentProcProp)) {
        auto old = SetWindowLongPtrA(parent, GWLP_WNDPROC,
                                     reinterpret_cast<LONG_PTR>(&ParentWindowProc));
        SetWindowProp(parent, ParentProcProp, reinterpret_cast<void*>(old));
    }
    SetWindowProp(list, ViewProp, v);
    ApplyHeaderHeight(v);
    return v;
}

namespace {

void FreeView(GridViewState* v) {
    delete[] v->ColumnAtPosition;
    delete[] v->PositionOfColumn;
    if (v->EditFont) DeleteObject(v->EditFont);
    if (v->PaintDC) DeleteDC(v->PaintDC);
    if (v->RowHeightImages) ImageList_Destroy(v->RowHeightImages);
    if (Shared().EditorBrush) {
        DeleteObject(Shared().EditorBrush);
        Shared().EditorBrush = nullptr;
    }
    delete v;
}

LRESULT OnHeaderNotify(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    switch (hdr->code) {
        case NM_CUSTOMDRAW:
            return OnHeaderCustomDraw(v, reinterpret_cast<NMCUSTOMDRAW*>(lp));
        case HDN_BEGINTRACKA:
        case HDN_BEGINTRACKW:
        case HDN_BEGINDRAG: {
            LRESULT answer = 0;
            if (HeaderDragNotify(v, reinterpret_cast<NMHEADERA*>(lp), &answer)) return answer;
            break;
        }
        case HDN_DIVIDERDBLCLICKA:
        case HDN_DIVIDERDBLCLICKW: {
            // The hidden label column never gets a width; the rest only with ResizableColumns.
            auto* nm = reinterpret_cast<NMHEADERA*>(lp);
            if (nm->iItem == 0 || !(v->Style & ResizableColumns)) return TRUE;
            break;
        }
        default:
            break;
    }
    return CallWindowProcA(v->ListProc, list, msg, wp, lp);
}

LRESULT ListMessage(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    if (ChangesListRows(msg) || ChangesListColumns(msg))
        return CallListProc(v, list, msg, wp, lp);  // keeps the known counts right
    LRESULT input = 0;
    if (ListInput(v, list, msg, wp, lp, &input)) return input;
    switch (msg) {
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lp);
            if (hdr && hdr->hwndFrom == v->HeaderWindow) return OnHeaderNotify(v, list, msg, wp, lp);
            break;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            LRESULT r = CallWindowProcA(v->ListProc, list, msg, wp, lp);
            PaintListEmptyArea(v);
            return r;
        }
        case WM_DRAWITEM: {
            auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            if (di && di->hwndItem == v->ListCombo) {
                DrawComboItem(v, di);
                return TRUE;
            }
            break;
        }
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lp) == v->EditBox || reinterpret_cast<HWND>(lp) == v->ListCombo ||
                reinterpret_cast<HWND>(lp) == v->EditCombo) {
                OnEditorCommand(v, wp, lp);
                return 0;
            }
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX: {
            HWND from = reinterpret_cast<HWND>(lp);
            if (from == v->EditBox || from == v->EditComboField || from == v->EditCombo ||
                from == v->ListCombo)
                return EditorColours(v, reinterpret_cast<HDC>(wp), from);
            break;
        }
        case MsgColumnAdded: {
            CellInfo ci = PresetCellInfo(v, -1, -1);
            ci.Param = 2;
            SendGridEvent(v, ColumnChanged, ci);
            return 0;
        }
        case WM_SIZE:
        case LVM_SETCOLUMNWIDTH: {
            // The editor's text goes into the cell while the editor is parked and placed again.
            bool editing = v->CurrentRow >= 0 && (v->CurrentType == TextCell ||
                                                  v->CurrentType == ListCell ||
                                                  v->CurrentType == ComboCell);
            if (editing) {
                StorePendingText(v);
                ParkEditors(v);
            }
            LRESULT r = CallWindowProcA(v->ListProc, list, msg, wp, lp);
            if (v->CurrentRow >= 0) PlaceEditor(v, nullptr);
            RedrawGrid(v);
            return r;
        }
        case WM_DESTROY:
            CommitEdit(v);
            if (v->TooltipWindow) {
                DestroyWindow(v->TooltipWindow);
                v->TooltipWindow = nullptr;
            }
            // Rows are removed while the parent still hears of it, so their RowData are freed.
            SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
            break;
        case WM_NCDESTROY: {
            WNDPROC proc = v->ListProc;
            RemoveWindowProp(list, ViewProp);
            FreeView(v);
            return CallWindowProcA(proc, list, msg, wp, lp);
        }
        default:
            break;
    }
    return CallWindowProcA(v->ListProc, list, msg, wp, lp);
}

LRESULT CALLBACK ListWindowProc(HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    GridViewState* v = ViewOf(list);
    if (!v) return DefWindowProcA(list, msg, wp, lp);
    try {
        return ListMessage(v, list, msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

LRESULT CALLBACK HeaderWindowProc(HWND header, UINT msg, WPARAM wp, LPARAM lp) {
    GridViewState* v = ViewOf(GetParent(header));
    if (!v || !v->HeaderProc) return DefWindowProcA(header, msg, wp, lp);
    WNDPROC proc = v->HeaderProc;
    try {
        if (msg == HDM_INSERTITEMA || msg == HDM_INSERTITEMW || msg == HDM_DELETEITEM) {
            NoteHeaderChange(v, msg);
            LRESULT r = CallWindowProcA(proc, header, msg, wp, lp);
            NoteHeaderChange(v, msg);
            return r;
        }
        LRESULT input = 0;
        if (HeaderInput(v, header, msg, wp, lp, &input)) return input;
        switch (msg) {
            case WM_ERASEBKGND:
                return 1;
            case WM_PAINT: {
                LRESULT r = CallWindowProcA(proc, header, msg, wp, lp);
                gdi::WindowDC dc(header);
                PaintHeaderEmptyArea(v, dc.get());
                return r;
            }
            case HDM_LAYOUT: {
                auto* layout = reinterpret_cast<HDLAYOUT*>(lp);
                if (!layout || !layout->prc || !layout->pwpos) break;
                RECT* rc = layout->prc;
                WINDOWPOS* wpos = layout->pwpos;
                wpos->hwnd = header;
                wpos->hwndInsertAfter = nullptr;
                wpos->x = rc->left;
                wpos->y = rc->top;
                wpos->cx = rc->right - rc->left;
                wpos->cy = v->HeaderHeight;
                wpos->flags = SWP_NOZORDER | SWP_NOACTIVATE;
                if (GetWindowLongPtrA(header, GWL_STYLE) & HDS_HIDDEN) wpos->cy = 0;
                rc->top += wpos->cy;
                return TRUE;
            }
            case WM_NCDESTROY:
                v->HeaderProc = nullptr;
                v->KnownListColumns = -1;
                return CallWindowProcA(proc, header, msg, wp, lp);
            default:
                break;
        }
    } catch (...) {
        return 0;
    }
    return CallWindowProcA(proc, header, msg, wp, lp);
}

LRESULT ParentNotify(HWND parent, WNDPROC old, UINT msg, WPARAM wp, LPARAM lp) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    GridViewState* v = hdr ? ViewOf(hdr->hwndFrom) : nullptr;
    if (!v) return CallWindowProcA(old, parent, msg, wp, lp);
    switch (hdr->code) {
        case NM_CUSTOMDRAW:
            return OnListCustomDraw(v, reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
        case LVN_GETDISPINFOA:
        case LVN_GETDISPINFOW:
            return 0;  // cells are painted from the stored texts, never from display info
        case LVN_DELETEALLITEMS:
            // Emptied through CallListProc, the rows' RowData are freed already and no
            // notification per row is needed; otherwise each LVN_DELETEITEM frees its row's.
            return v->DeletingAllRows ? TRUE : FALSE;
        case LVN_DELETEITEM: {
            auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
            if (!v->DeletingAllRows) DeleteRowData(reinterpret_cast<RowData*>(nm->lParam));
            return 0;
        }
        case LVN_COLUMNCLICK: {
            auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
            if (nm->iSubItem > 0) {
                CellInfo ci = PresetCellInfo(v, -1, nm->iSubItem - 1);
                SendGridEvent(v, HeaderClicked, ci);
            }
            break;
        }
        default:
            break;
    }
    return CallWindowProcA(old, parent, msg, wp, lp);
}

LRESULT CALLBACK ParentWindowProc(HWND parent, UINT msg, WPARAM wp, LPARAM lp) {
    auto old = reinterpret_cast<WNDPROC>(WindowProp(parent, ParentProcProp));
    if (!old) return DefWindowProcA(parent, msg, wp, lp);
    try {
        if (msg == WM_NOTIFY) return ParentNotify(parent, old, msg, wp, lp);
        if (msg == WM_NCDESTROY) {
            // The previous procedure handles the destruction first; then its property goes.
            LRESULT r = CallWindowProcA(old, parent, msg, wp, lp);
            RemoveWindowProp(parent, ParentProcProp);
            return r;
        }
    } catch (...) {
        return 0;
    }
    return CallWindowProcA(old, parent, msg, wp, lp);
}

}  // namespace

}  // namespace zandrel::gridimpl
