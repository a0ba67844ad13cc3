// The GridView: the report-style list view that holds the cells, its header, and the window
// procedures the grid puts in front of theirs.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <mutex>
#include <new>
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

namespace {

bool ChangesListColumns(UINT msg) {
    return msg == LVM_INSERTCOLUMNA || msg == LVM_INSERTCOLUMNW || msg == LVM_DELETECOLUMN;
}

// The messages a list view answers from the items it holds; the grid holds them instead.
bool IsItemMessage(UINT msg) {
    switch (msg) {
        case LVM_INSERTITEMA: case LVM_INSERTITEMW: case LVM_DELETEITEM: case LVM_DELETEALLITEMS:
        case LVM_SETITEMCOUNT: case LVM_GETITEMA: case LVM_GETITEMW: case LVM_SETITEMA:
        case LVM_SETITEMW: case LVM_GETITEMTEXTA: case LVM_GETITEMTEXTW: case LVM_SETITEMTEXTA:
        case LVM_SETITEMTEXTW: case LVM_SORTITEMS: case LVM_SORTITEMSEX:
            return true;
        default:
            return false;
    }
}

bool ValidRow(const GridViewState* v, int row) {
    return row >= 0 && row < static_cast<int>(v->Rows.size());
}

const std::string& TextAt(const GridViewState* v, int row, int subItem) {
    static const std::string empty;
    if (!ValidRow(v, row) || subItem < 0) return empty;
    const auto& texts = v->Rows[static_cast<size_t>(row)].Texts;
    return static_cast<size_t>(subItem) < texts.size() ? texts[static_cast<size_t>(subItem)] : empty;
}

// A list view keeps C strings: a text ends at its first NUL.
std::string CText(const std::string& text) {
    const size_t nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

std::string FromWide(const wchar_t* text) {
    if (!text) return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

// The text given with an item message; a callback marker or none stores an empty text.
std::string GivenText(const void* text, bool wide) {
    if (!text || text == LPSTR_TEXTCALLBACKA) return std::string();
    return wide ? FromWide(static_cast<const wchar_t*>(text)) : std::string(static_cast<const char*>(text));
}

// As much as fits, always terminated, like lstrcpyn; returns the length copied.
int CopyOut(const std::string& text, void* dest, int capacity, bool wide) {
    if (!dest || capacity <= 0) return 0;
    if (!wide) {
        const size_t n = std::min(text.size(), static_cast<size_t>(capacity) - 1);
        std::memcpy(dest, text.data(), n);
        static_cast<char*>(dest)[n] = 0;
        return static_cast<int>(n);
    }
    auto* out = static_cast<wchar_t*>(dest);
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> all(static_cast<size_t>(std::max(needed, 1)), L'\0');
    if (needed > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, all.data(), needed);
    const size_t n = std::min(std::wcslen(all.data()), static_cast<size_t>(capacity) - 1);
    std::memcpy(out, all.data(), n * sizeof(wchar_t));
    out[n] = 0;
    return static_cast<int>(n);
}

bool Redrawable(const GridViewState* v) { return v->ListProc && v->Redrawing && v->Painting == 0; }

// What a list view invalidates when an item's text changes: the sub-item, or for the label the
// whole row.
void InvalidateCell(GridViewState* v, int row, int subItem) {
    if (!Redrawable(v)) return;
    RECT r{};
    r.top = subItem;
    r.left = LVIR_BOUNDS;
    if (!CallWindowProcA(v->ListProc, v->ListWindow, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&r)))
        return;
    RECT client, visible;
    GetClientRect(v->ListWindow, &client);
    if (IntersectRect(&visible, &r, &client)) InvalidateRect(v->ListWindow, &visible, TRUE);
}

bool SetText(GridViewState* v, int row, int subItem, std::string text) {
    if (!ValidRow(v, row) || subItem < 0 || subItem >= ListColumnCount(v)) return false;
    auto& texts = v->Rows[static_cast<size_t>(row)].Texts;
    text = CText(text);
    if (static_cast<size_t>(subItem) >= texts.size()) {
        if (text.empty()) return true;  // missing texts are empty already
        texts.resize(static_cast<size_t>(subItem) + 1);
    }
    std::string& slot = texts[static_cast<size_t>(subItem)];
    if (slot == text) return true;
    slot = std::move(text);
    InvalidateCell(v, row, subItem);
    return true;
}

// The list's count follows the rows. A row added at `from` moves the rows below it down: they
// are invalidated down to one row past the last, as a list view inserting an item does.
void CountChanged(GridViewState* v, int from) {
    CallWindowProcA(v->ListProc, v->ListWindow, LVM_SETITEMCOUNT, v->Rows.size(),
                    LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    if (!Redrawable(v) || !ValidRow(v, from)) return;
    RECT r{};
    r.left = LVIR_BOUNDS;
    if (!CallWindowProcA(v->ListProc, v->ListWindow, LVM_GETITEMRECT, static_cast<WPARAM>(from),
                         reinterpret_cast<LPARAM>(&r)))
        return;
    RECT client, visible;
    GetClientRect(v->ListWindow, &client);
    const long height = r.bottom - r.top;
    r.left = client.left;
    r.right = client.right;
    r.bottom = r.top + height * (static_cast<long>(v->Rows.size()) - from + 1);
    if (IntersectRect(&visible, &r, &client)) InvalidateRect(v->ListWindow, &visible, TRUE);
}

LRESULT InsertItemMessage(GridViewState* v, const LVITEMA* item, bool wide) {
    if (!item || item->iSubItem != 0 || item->iItem < 0) return -1;
    std::string label;
    if (item->mask & LVIF_TEXT)
        label = GivenText(wide ? static_cast<const void*>(reinterpret_cast<const LVITEMW*>(item)->pszText)
                               : static_cast<const void*>(item->pszText), wide);
    RowData* data = (item->mask & LVIF_PARAM) ? reinterpret_cast<RowData*>(item->lParam) : nullptr;
    return InsertRow(v, item->iItem, data, label);
}

LRESULT DeleteItemMessage(GridViewState* v, HWND list, WPARAM wp, LPARAM lp) {
    const int row = static_cast<int>(wp);
    if (!ValidRow(v, row)) return FALSE;
    // Out of the rows before the list shrinks, so that anything asked meanwhile sees the rows
    // that remain.
    RowData* data = v->Rows[static_cast<size_t>(row)].Data;
    v->Rows.erase(v->Rows.begin() + row);
    LRESULT r = CallWindowProcA(v->ListProc, list, LVM_DELETEITEM, wp, lp);
    DeleteRowData(data);
    return r;
}

LRESULT DeleteAllMessage(GridViewState* v, HWND list, WPARAM wp, LPARAM lp) {
    std::vector<GridRow> rows;
    rows.swap(v->Rows);
    v->DeletingAllRows = true;
    LRESULT r = CallWindowProcA(v->ListProc, list, LVM_DELETEALLITEMS, wp, lp);
    v->DeletingAllRows = false;
    for (GridRow& row : rows) DeleteRowData(row.Data);
    return r;
}

// LVITEMA and LVITEMW differ only in the type of pszText.
LRESULT GetItemMessage(GridViewState* v, HWND list, LVITEMA* item, bool wide) {
    if (!item || !ValidRow(v, item->iItem)) return FALSE;
    if (item->mask & LVIF_STATE) {
        // Selection and focus are what an owner-data list still keeps.
        LVITEMA state{};
        state.mask = LVIF_STATE;
        state.iItem = item->iItem;
        state.iSubItem = item->iSubItem;
        state.stateMask = item->stateMask;
        CallWindowProcA(v->ListProc, list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&state));
        item->state = state.state;
    }
    if (item->mask & LVIF_TEXT)
        CopyOut(TextAt(v, item->iItem, item->iSubItem), item->pszText, item->cchTextMax, wide);
    if (item->mask & LVIF_PARAM)
        item->lParam = reinterpret_cast<LPARAM>(v->Rows[static_cast<size_t>(item->iItem)].Data);
    if (item->mask & LVIF_IMAGE) item->iImage = 0;
    if (item->mask & LVIF_INDENT) item->iIndent = 0;
    return TRUE;
}

LRESULT SetItemMessage(GridViewState* v, HWND list, const LVITEMA* item, bool wide) {
    if (!item || !ValidRow(v, item->iItem) || item->iSubItem < 0 || item->iSubItem >= ListColumnCount(v))
        return FALSE;
    if (item->iSubItem != 0 && (item->mask & ~(LVIF_TEXT | LVIF_IMAGE | LVIF_STATE | LVIF_DI_SETITEM)))
        return FALSE;  // a sub-item has no row data
    if (item->mask & LVIF_TEXT) {
        const void* text = wide ? static_cast<const void*>(reinterpret_cast<const LVITEMW*>(item)->pszText)
                                : static_cast<const void*>(item->pszText);
        SetText(v, item->iItem, item->iSubItem, GivenText(text, wide));
    }
    if (item->mask & LVIF_PARAM)
        v->Rows[static_cast<size_t>(item->iItem)].Data = reinterpret_cast<RowData*>(item->lParam);
    if (item->mask & LVIF_STATE) {
        LVITEMA state{};
        state.mask = LVIF_STATE;
        state.state = item->state;
        state.stateMask = item->stateMask;
        CallWindowProcA(v->ListProc, list, LVM_SETITEMSTATE, static_cast<WPARAM>(item->iItem),
                        reinterpret_cast<LPARAM>(&state));
    }
    return TRUE;
}

// A stable merge sort that splits and compares exactly as the list view's own sort does (the
// left half first, a right element taken only when the comparison says it is greater), so the
// comparison function sees the same calls and the rows end in the same order.
template <typename Greater>
void MergeSort(std::vector<int>& order, std::vector<int>& buffer, int l, int r, Greater& greater) {
    if (l >= r) return;
    const int m = (l + r) / 2;
    MergeSort(order, buffer, l, m, greater);
    MergeSort(order, buffer, m + 1, r, greater);
    int i = l, j = m + 1, k = l;
    while (i <= m && j <= r) {
        if (greater(order[static_cast<size_t>(i)], order[static_cast<size_t>(j)]))
            buffer[static_cast<size_t>(k++)] = order[static_cast<size_t>(j++)];
        else
            buffer[static_cast<size_t>(k++)] = order[static_cast<size_t>(i++)];
    }
    while (i <= m) buffer[static_cast<size_t>(k++)] = order[static_cast<size_t>(i++)];
    while (j <= r) buffer[static_cast<size_t>(k++)] = order[static_cast<size_t>(j++)];
    std::copy(buffer.begin() + l, buffer.begin() + r + 1, order.begin() + l);
}

// The rows stay where they are while the comparison runs, so one that reads rows (by the
// indexes LVM_SORTITEMSEX gives it) finds them at those indexes.
LRESULT SortMessage(GridViewState* v, WPARAM wp, LPARAM lp, bool byIndex) {
    auto compare = reinterpret_cast<PFNLVCOMPARE>(lp);
    if (!compare) return FALSE;
    const size_t n = v->Rows.size();
    if (n < 2) return TRUE;
    std::vector<int> order(n), buffer(n);
    for (size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
    bool changed = false;
    auto greater = [&](int a, int b) {
        if (changed || v->Rows.size() != n) {
            changed = true;  // rows added or removed by the comparison: give up
            return false;
        }
        LPARAM pa = byIndex ? a : reinterpret_cast<LPARAM>(v->Rows[static_cast<size_t>(a)].Data);
        LPARAM pb = byIndex ? b : reinterpret_cast<LPARAM>(v->Rows[static_cast<size_t>(b)].Data);
        return compare(pa, pb, static_cast<LPARAM>(wp)) > 0;
    };
    MergeSort(order, buffer, 0, static_cast<int>(n) - 1, greater);
    if (changed || v->Rows.size() != n) return FALSE;
    std::vector<GridRow> sorted;
    sorted.reserve(n);
    for (int i : order) sorted.push_back(std::move(v->Rows[static_cast<size_t>(i)]));
    v->Rows.swap(sorted);
    if (Redrawable(v)) InvalidateRect(v->ListWindow, nullptr, TRUE);
    return TRUE;
}

// A column added or removed moves the texts of the sub-items after it, as the list view's own
// items did. The label stays sub-item 0 whatever happens to column 0.
void ColumnInserted(GridViewState* v, int column) {
    const size_t at = static_cast<size_t>(std::max(column, 1));
    for (GridRow& row : v->Rows)
        if (row.Texts.size() > at) row.Texts.insert(row.Texts.begin() + static_cast<std::ptrdiff_t>(at), std::string());
}

void ColumnDeleted(GridViewState* v, int column) {
    if (column <= 0) return;
    const size_t at = static_cast<size_t>(column);
    for (GridRow& row : v->Rows)
        if (row.Texts.size() > at) row.Texts.erase(row.Texts.begin() + static_cast<std::ptrdiff_t>(at));
}

LRESULT ItemMessage(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    const bool wide = msg == LVM_INSERTITEMW || msg == LVM_GETITEMW || msg == LVM_SETITEMW ||
                      msg == LVM_GETITEMTEXTW || msg == LVM_SETITEMTEXTW;
    auto* item = reinterpret_cast<LVITEMA*>(lp);
    switch (msg) {
        case LVM_INSERTITEMA:
        case LVM_INSERTITEMW:
            return InsertItemMessage(v, item, wide);
        case LVM_DELETEITEM:
            return DeleteItemMessage(v, list, wp, lp);
        case LVM_DELETEALLITEMS:
            return DeleteAllMessage(v, list, wp, lp);
        case LVM_SETITEMCOUNT:
            return TRUE;  // only a hint to a list view that holds its items
        case LVM_GETITEMA:
        case LVM_GETITEMW:
            return GetItemMessage(v, list, item, wide);
        case LVM_SETITEMA:
        case LVM_SETITEMW:
            return SetItemMessage(v, list, item, wide);
        case LVM_GETITEMTEXTA:
        case LVM_GETITEMTEXTW: {
            const int row = static_cast<int>(wp);
            if (!item || !ValidRow(v, row)) return 0;
            return CopyOut(TextAt(v, row, item->iSubItem), item->pszText, item->cchTextMax, wide);
        }
        case LVM_SETITEMTEXTA:
        case LVM_SETITEMTEXTW: {
            if (!item) return FALSE;
            const void* text = wide ? static_cast<const void*>(reinterpret_cast<LVITEMW*>(item)->pszText)
                                    : static_cast<const void*>(item->pszText);
            return SetText(v, static_cast<int>(wp), item->iSubItem, GivenText(text, wide));
        }
        case LVM_SORTITEMS:
        case LVM_SORTITEMSEX:
            return SortMessage(v, wp, lp, msg == LVM_SORTITEMSEX);
        default:
            return 0;
    }
}

}  // namespace

LRESULT CallListProc(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    if (IsItemMessage(msg)) return ItemMessage(v, list, msg, wp, lp);
    if (!ChangesListColumns(msg)) return CallWindowProcA(v->ListProc, list, msg, wp, lp);
    // Unknown while the list changes: its notifications may ask for the count meanwhile.
    v->KnownListColumns = -1;
    LRESULT r = CallWindowProcA(v->ListProc, list, msg, wp, lp);
    v->KnownListColumns = -1;
    if (msg == LVM_DELETECOLUMN) {
        if (r) ColumnDeleted(v, static_cast<int>(wp));
    } else if (r >= 0) {
        ColumnInserted(v, static_cast<int>(r));
    }
    return r;
}

int InsertRow(GridViewState* v, int position, RowData* data, const std::string& label) {
    const int count = static_cast<int>(v->Rows.size());
    if (position < 0 || position > count) position = count;
    GridRow row;
    row.Data = data;
    std::string text = CText(label);
    if (!text.empty()) row.Texts.push_back(std::move(text));
    try {
        v->Rows.insert(v->Rows.begin() + position, std::move(row));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    CountChanged(v, position);
    return position;
}

void AnswerDisplayInfo(const GridViewState* v, NMHDR* hdr) {
    // LVITEMA and LVITEMW differ only in the type of pszText.
    auto* info = reinterpret_cast<NMLVDISPINFOA*>(hdr);
    LVITEMA& item = info->item;
    if (item.mask & LVIF_TEXT)
        CopyOut(TextAt(v, item.iItem, item.iSubItem), item.pszText, item.cchTextMax,
                hdr->code == LVN_GETDISPINFOW);
}

void NoteHeaderChange(const GridViewState* v, UINT msg) {
    if (msg == HDM_INSERTITEMA || msg == HDM_INSERTITEMW || msg == HDM_DELETEITEM) v->KnownListColumns = -1;
}

// The count is kept only once the list and its header are taken over: from then on every
// message that changes it passes the grid's procedures.
int ListColumnCount(const GridViewState* v) {
    if (v->KnownListColumns >= 0) return v->KnownListColumns;
    HWND header = reinterpret_cast<HWND>(SendMessageA(v->ListWindow, LVM_GETHEADER, 0, 0));
    if (!header) return 0;
    const int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    if (v->ListProc && v->HeaderProc && header == v->HeaderWindow) v->KnownListColumns = count;
    return count;
}

int GridColumnCount(const GridViewState* v) { return std::max(ListColumnCount(v) - 1, 0); }

int ListRowCount(const GridViewState* v) { return static_cast<int>(v->Rows.size()); }

bool ValidCell(const GridViewState* v, int column, int row) {
    return row >= 0 && row < ListRowCount(v) && column >= -1 && column < GridColumnCount(v);
}

std::string StoredText(const GridViewState* v, int row, int subItem) {
    return TextAt(v, row, subItem);
}

void StoreText(GridViewState* v, int row, int subItem, const std::string& text) {
    SetText(v, row, subItem, text);
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
    return ValidRow(v, row) ? v->Rows[static_cast<size_t>(row)].Data : nullptr;
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
    // Owner data: the grid holds the rows (GridViewState::Rows), the list only their number.
    DWORD listStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | LVS_REPORT | LVS_OWNERDATA |
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
        SendMessageA(list, LVM_SETITEMCOUNT, 1, 0);  // one row to measure
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
        SendMessageA(list, LVM_SETITEMCOUNT, 0, 0);
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
    for (GridRow& row : v->Rows) DeleteRowData(row.Data);  // normally gone with WM_DESTROY
    v->Rows.clear();
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
    if (msg == LVM_SORTITEMS || msg == LVM_SORTITEMSEX) {
        // The rows move under the current cell and the block: both end first.
        DropCurrentCell(v, 0);
        RemoveBlock(v);
        return CallListProc(v, list, msg, wp, lp);
    }
    if (IsItemMessage(msg) || ChangesListColumns(msg)) return CallListProc(v, list, msg, wp, lp);
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
        case WM_SETREDRAW:
            v->Redrawing = wp != 0;
            break;
        case WM_PAINT: {
            ++v->Painting;
            LRESULT r = CallWindowProcA(v->ListProc, list, msg, wp, lp);
            --v->Painting;
            PaintListEmptyArea(v);
            return r;
        }
        case WM_PRINTCLIENT: {
            ++v->Painting;
            LRESULT r = CallWindowProcA(v->ListProc, list, msg, wp, lp);
            --v->Painting;
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
            // The grid paints its cells itself; this is for the list's own reads of a text.
            AnswerDisplayInfo(v, hdr);
            return 0;
        case LVN_ODFINDITEMA:
        case LVN_ODFINDITEMW:
            return -1;  // no row found: typing goes to the grid, never to the list's own search
        case LVN_DELETEALLITEMS:
            // The rows and their RowData go with the grid's own storage (CallListProc).
            return v->DeletingAllRows ? TRUE : FALSE;
        case LVN_DELETEITEM:
            return 0;
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
