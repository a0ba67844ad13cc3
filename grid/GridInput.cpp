// The input side of the grid: keys and mouse on the list, inside the editors and on the header;
// moving the current cell, block selection by Shift and by dragging, scrolling, hover links and
// tooltips.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "grid/GridGeometry.h"
#include "grid/GridInternal.h"

namespace zandrel::gridimpl {

namespace {

// One drag selection at a time in the whole program, and one scroll.
int g_dragState = 0;  // 0 none, 1 pressed, 2 dragging
HWND g_dragList = nullptr;
RECT g_cellArea{};
bool g_scrolling = false;  // the editor is parked until the scroll ends

bool KeyHeld(int vk) { return GetKeyState(vk) < 0; }

struct Hit {
    int row = -1;
    int column = -1;  // grid column, -1 outside the columns
    bool Cell() const { return row >= 0 && column >= 0; }
};

Hit HitTest(GridViewState* v, POINT pt) {
    LVHITTESTINFO info{};
    info.pt = pt;
    SendMessageA(v->ListWindow, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&info));
    Hit h;
    if (info.iItem < 0) return h;
    // Points below the last row hit nothing, whatever the list view says.
    RECT rc = SubItemRect(v, info.iItem, 0);
    if (pt.y < rc.top || pt.y >= rc.bottom) return h;
    h.row = info.iItem;
    h.column = info.iSubItem >= 1 ? info.iSubItem - 1 : -1;
    if (h.column >= 0) {
        RECT cell = SubItemRect(v, h.row, h.column + 1);
        if (pt.x < cell.left || pt.x >= cell.right) h.column = -1;
    }
    return h;
}

POINT PointOf(LPARAM lp) {
    return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}

POINT CursorIn(HWND w) {
    POINT pt{};
    GetCursorPos(&pt);
    ScreenToClient(w, &pt);
    return pt;
}

void RepaintCell(GridViewState* v, int row, int subItem) {
    if (row < 0 || row >= ListRowCount(v)) return;
    RECT r = SubItemRect(v, row, subItem);
    InvalidateRect(v->ListWindow, &r, FALSE);
}

int Notify(GridViewState* v, int code, int row, int column, std::intptr_t param) {
    CellInfo ci = PresetCellInfo(v, row, column);
    ci.Param = param;
    return SendGridEvent(v, code, ci);
}

int CurrentPosition(GridViewState* v) {
    if (v->ColumnsChanged) RebuildColumnTables(v);
    return DisplayPosition(v, v->CurrentColumn - 1);
}

// Commit, leave, enter: the end of every accepted move.
bool MoveTo(GridViewState* v, int row, int column, int reason) {
    if (column < 0 || !ValidCell(v, column, row)) return false;
    CellInfo ci = PresetCellInfo(v, row, column);
    ci.Param = reason;
    if (SendGridEvent(v, CellSelecting, ci) != 1) return false;
    CommitEdit(v);
    LeaveCell(v);
    EnterCell(v, row, column + 1, true);
    return true;
}

// A key move needs a current cell: the anchor of a user's block becomes one, unannounced.
bool EnsureCurrent(GridViewState* v, bool clearBlock) {
    if (v->CurrentRow >= 0) return true;
    if (v->BlockState != 2 || !ValidCell(v, v->AnchorColumn, v->AnchorRow) || v->AnchorColumn < 0)
        return false;
    v->BlockRow = v->AnchorRow;
    v->BlockColumn = v->AnchorColumn;
    v->BlockWidth = v->BlockHeight = 1;
    EnterCell(v, v->AnchorRow, v->AnchorColumn + 1, true);
    if (clearBlock) RemoveBlock(v);
    RedrawGrid(v);
    return true;
}

bool CellEmpty(GridViewState* v, int row, int column) {
    return StoredText(v, row, column + 1).empty();
}

void KeyMove(GridViewState* v, int vk, bool ctrl) {
    if (!EnsureCurrent(v, false)) return;
    const int rows = ListRowCount(v), cols = v->ColumnTableCount;
    const int row = v->CurrentRow, pos = CurrentPosition(v), column = v->CurrentColumn - 1;
    if (pos < 0) return;
    int perPage = std::max(static_cast<int>(SendMessageA(v->ListWindow, LVM_GETCOUNTPERPAGE, 0, 0)), 1);
    int toRow = row, toPos = pos, reason = 0;
    auto emptyRow = [&](int r) { return CellEmpty(v, r, column); };
    auto emptyPos = [&](int p) { return CellEmpty(v, row, ColumnAtDisplay(v, p)); };
    switch (vk) {
        case VK_DOWN:
            if (row >= rows - 1) return;
            toRow = ctrl ? gridgeo::NextFilled(row, 1, rows, emptyRow) : row + 1;
            reason = SelectByDown;
            break;
        case VK_UP:
            if (row <= 0) return;
            toRow = ctrl ? gridgeo::NextFilled(row, -1, rows, emptyRow) : row - 1;
            reason = SelectByUp;
            break;
        case VK_RIGHT:
            if (pos >= cols - 1) return;
            toPos = ctrl ? gridgeo::NextFilled(pos, 1, cols, emptyPos) : pos + 1;
            reason = SelectByRight;
            break;
        case VK_LEFT:
            if (pos <= 0) return;
            toPos = ctrl ? gridgeo::NextFilled(pos, -1, cols, emptyPos) : pos - 1;
            reason = SelectByLeft;
            break;
        case VK_NEXT:
            toRow = std::min(row + perPage, rows - 1);
            reason = SelectByPageDown;
            break;
        case VK_PRIOR:
            toRow = std::max(row - perPage, 0);
            reason = SelectByPageUp;
            break;
        case VK_HOME:
            toRow = 0;
            toPos = 0;
            reason = SelectByHome;
            break;
        case VK_END:
            toRow = rows - 1;
            toPos = cols - 1;
            reason = SelectByEnd;
            break;
        default:
            return;
    }
    if (toRow == row && toPos == pos) return;
    MoveTo(v, toRow, ColumnAtDisplay(v, toPos), reason);
}

// Shift with a key: the moving edge of the block goes by (dPos, dRows); a current cell is
// dropped first and its cell becomes the anchor of a user's block.
void GrowBlock(GridViewState* v, int dPos, int dRows) {
    if (v->SelectionMode == 3) return;
    if (v->ColumnsChanged) RebuildColumnTables(v);
    if (v->CurrentRow >= 0) {
        int row = v->CurrentRow, column = v->CurrentColumn - 1;
        DropCurrentCell(v, 0);
        v->BlockState = 2;
        v->AnchorRow = v->BlockRow = row;
        v->AnchorColumn = v->BlockColumn = column;
        v->BlockWidth = v->BlockHeight = 1;
    } else if (v->BlockState == 0 || v->BlockColumn < 0) {
        return;
    }
    v->BlockState = 2;
    int start = DisplayPosition(v, v->BlockColumn);
    if (start < 0) return;
    if (dPos != 0 && v->SelectionMode != 1)
        v->BlockWidth = gridgeo::StepExtent(start, v->BlockWidth, dPos, v->ColumnTableCount);
    if (dRows != 0 && v->SelectionMode != 2)
        v->BlockHeight = gridgeo::StepExtent(v->BlockRow, v->BlockHeight, dRows, ListRowCount(v));
    int edgePos = v->BlockWidth >= 0 ? gridgeo::SpanLast(start, v->BlockWidth)
                                     : gridgeo::SpanFirst(start, v->BlockWidth);
    int edgeRow = v->BlockHeight >= 0 ? gridgeo::SpanLast(v->BlockRow, v->BlockHeight)
                                      : gridgeo::SpanFirst(v->BlockRow, v->BlockHeight);
    int edgeColumn = ColumnAtDisplay(v, edgePos);
    if (edgeColumn >= 0 && edgeRow >= 0 && edgeRow < ListRowCount(v))
        ScrollIntoView(v, edgeRow, edgeColumn + 1);
    RedrawGrid(v);
}

void SelectAll(GridViewState* v) {
    const int rows = ListRowCount(v), cols = v->ColumnTableCount;
    if (v->SelectionMode == 3 || rows == 0 || cols == 0 || v->BlockState == 0 || v->BlockColumn < 0)
        return;
    int column = v->CurrentRow >= 0 ? v->CurrentColumn - 1 : v->AnchorColumn;
    int row = v->CurrentRow >= 0 ? v->CurrentRow : v->AnchorRow;
    DropCurrentCell(v, 0);
    v->BlockState = 2;
    switch (v->SelectionMode) {
        case 1:
            v->BlockColumn = column;
            v->BlockRow = 0;
            v->BlockWidth = 1;
            v->BlockHeight = rows;
            break;
        case 2:
            v->BlockColumn = ColumnAtDisplay(v, 0);
            v->BlockRow = row;
            v->BlockWidth = cols;
            v->BlockHeight = 1;
            break;
        default:
            v->BlockColumn = ColumnAtDisplay(v, 0);
            v->BlockRow = 0;
            v->BlockWidth = cols;
            v->BlockHeight = rows;
            break;
    }
    v->AnchorColumn = v->BlockColumn;
    v->AnchorRow = v->BlockRow;
    RedrawGrid(v);
}

bool HasBlock(const GridViewState* v) { return v->BlockState != 0 && v->BlockColumn >= 0; }

void ClipboardKey(GridViewState* v, int param) {
    if (param == 2) {
        if (v->CurrentRow < 0) return;
        if (Notify(v, ClipboardRequest, v->CurrentRow, v->CurrentColumn - 1, 2) != 0)
            PasteClipboardText(v);
        return;
    }
    if (!HasBlock(v)) return;
    if (Notify(v, ClipboardRequest, v->BlockRow, v->BlockColumn, param) == 0) return;
    // The request's handler may have changed the block: read it afterwards.
    if (!HasBlock(v)) return;
    CopyBlockText(v, v->BlockColumn, v->BlockRow, v->BlockWidth, v->BlockHeight);
    if (param == 1) ClearBlockCells(v, v->BlockColumn, v->BlockRow, v->BlockWidth, v->BlockHeight);
}

void DeleteKey(GridViewState* v) {
    if (!HasBlock(v)) return;
    CellInfo ci = PresetCellInfo(v, v->BlockRow, v->BlockColumn);
    ci.ImageWidth = v->BlockWidth;
    ci.ImageHeight = v->BlockHeight;
    if (SendGridEvent(v, DeleteRequest, ci) == 0 || !HasBlock(v)) return;
    ClearBlockCells(v, v->BlockColumn, v->BlockRow, v->BlockWidth, v->BlockHeight);
}

void EscapeKey(GridViewState* v) {
    if (v->CurrentRow >= 0) {
        CancelEdit(v);
        return;
    }
    if (v->BlockState == 2 && ValidCell(v, v->AnchorColumn, v->AnchorRow)) {
        v->BlockColumn = v->AnchorColumn;
        v->BlockRow = v->AnchorRow;
        v->BlockWidth = v->BlockHeight = 1;
        CellInfo ci = PresetCellInfo(v, v->AnchorRow, v->AnchorColumn);
        ci.Param = SelectByEscape;
        if (SendGridEvent(v, CellSelecting, ci) == 1) EnterCell(v, v->AnchorRow, v->AnchorColumn + 1, true);
        RedrawGrid(v);
        return;
    }
    if (v->BlockState != 0) {
        RemoveBlock(v);
        RedrawGrid(v);
    }
}

int QueryType(GridViewState* v, int row, int column, CellInfo* out = nullptr) {
    CellInfo ci = PresetCellInfo(v, row, column);
    SendGridEvent(v, QueryCellType, ci);
    int type = ci.CellType;
    if (out) *out = std::move(ci);
    return type;
}

// Space on a current check or progress cell: the cell changes now, CellChanged follows at the
// next commit.
bool SpaceOnCurrent(GridViewState* v, bool ctrl) {
    if (v->CurrentRow < 0) return false;
    const int row = v->CurrentRow, sub = v->CurrentColumn;
    if (v->CurrentType == CheckCell) {
        CellInfo ci;
        if (QueryType(v, row, sub - 1, &ci) != CheckCell) return true;
        StoreText(v, row, sub, gridgeo::ToggledCheck(v->EditText, ci.Text));
        v->EditText = StoredText(v, row, sub);
        RepaintCell(v, row, sub);
        return true;
    }
    if (v->CurrentType == ProgressCell) {
        if (v->EditText.empty()) return true;
        std::string next = gridgeo::ProgressStep(v->EditText, ctrl);
        StoreText(v, row, sub, next);
        v->EditText = next;
        RepaintCell(v, row, sub);
        return true;
    }
    return false;
}

// The pressed mark is part of the text but no edit: a current cell's texts follow it, so it
// never reaches CellChanged.
void SetButtonText(GridViewState* v, int row, int column, const std::string& text) {
    StoreText(v, row, column + 1, text);
    if (v->CurrentRow == row && v->CurrentColumn == column + 1) {
        if (v->EditText == v->CommittedText) v->EditText = text;
        v->CommittedText = text;
    }
    RepaintCell(v, row, column + 1);
}

void PressButton(GridViewState* v, int row, int column) {
    std::string text = StoredText(v, row, column + 1);
    if (!gridgeo::HasPressedSuffix(text)) SetButtonText(v, row, column, text + "\\+");
    v->PressedRow = row;
    v->PressedColumn = column;
}

void ReleaseButton(GridViewState* v) {
    if (v->PressedRow < 0) return;
    if (GetCapture() == v->ListWindow) ReleaseCapture();
    int row = v->PressedRow, column = v->PressedColumn;
    v->PressedRow = v->PressedColumn = -1;
    if (!ValidCell(v, column, row) || column < 0) return;
    std::string text = StoredText(v, row, column + 1);
    if (!gridgeo::HasPressedSuffix(text)) return;  // released outside: no click
    SetButtonText(v, row, column, gridgeo::WithoutPressedSuffix(text));
    Notify(v, ButtonClicked, row, column, 0);
}

// Tab and Enter moves: forwards, or backwards with Shift, wrapping around the grid.
bool TabMove(GridViewState* v, bool backwards) {
    if (!EnsureCurrent(v, true)) return false;
    int pos = CurrentPosition(v);
    if (pos < 0) return false;
    gridgeo::CellPos to = gridgeo::TabTarget({pos, v->CurrentRow}, v->ColumnTableCount,
                                             ListRowCount(v), backwards);
    if (to.position == pos && to.row == v->CurrentRow) return false;
    return MoveTo(v, to.row, ColumnAtDisplay(v, to.position),
                  backwards ? SelectByShiftTab : SelectByTab);
}

LRESULT ListKeyDown(GridViewState* v, HWND list, WPARAM wp, LPARAM lp) {
    const bool ctrl = KeyHeld(VK_CONTROL), shift = KeyHeld(VK_SHIFT);
    switch (wp) {
        case VK_DOWN: case VK_UP: case VK_LEFT: case VK_RIGHT: case VK_NEXT: case VK_PRIOR: {
            if (shift) {
                int perPage = std::max(
                    static_cast<int>(SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0)), 1);
                int dPos = wp == VK_RIGHT ? 1 : wp == VK_LEFT ? -1 : 0;
                int dRows = wp == VK_DOWN ? 1 : wp == VK_UP ? -1 : wp == VK_NEXT ? perPage
                          : wp == VK_PRIOR ? -perPage : 0;
                GrowBlock(v, dPos, dRows);
            } else {
                KeyMove(v, static_cast<int>(wp), ctrl);
            }
            return 0;
        }
        case VK_HOME: case VK_END: {
            const int edge = 1 << 24;  // past any grid's edge: clamped to it
            int d = wp == VK_HOME ? -edge : edge;
            if (shift)
                GrowBlock(v, d, d);
            else if (ctrl)
                KeyMove(v, static_cast<int>(wp), true);
            return 0;
        }
        case 'A': if (ctrl) { SelectAll(v); return 0; } break;
        case 'C': if (ctrl) { ClipboardKey(v, 0); return 0; } break;
        case 'X': if (ctrl) { ClipboardKey(v, 1); return 0; } break;
        case 'V': if (ctrl) { ClipboardKey(v, 2); return 0; } break;
        case VK_DELETE: DeleteKey(v); return 0;
        case VK_ESCAPE: EscapeKey(v); return 0;
        case VK_RETURN:
            if (v->CurrentRow >= 0 && v->PressedRow < 0 &&
                (v->CurrentType == ButtonCell || v->CurrentType == EllipsisCell))
                PressButton(v, v->CurrentRow, v->CurrentColumn - 1);
            return 0;
        case VK_SPACE:
            SpaceOnCurrent(v, ctrl);
            return 0;
        case VK_TAB:
            return 0;  // Tab acts on release
        default:
            break;
    }
    return CallWindowProcA(v->ListProc, list, WM_KEYDOWN, wp, lp);
}

LRESULT ListKeyUp(GridViewState* v, HWND list, WPARAM wp, LPARAM lp) {
    if (wp == VK_TAB) {
        const bool ctrl = KeyHeld(VK_CONTROL);
        if (TabMove(v, KeyHeld(VK_SHIFT)) && ctrl) FocusEditor(v);
        return 0;
    }
    if (wp == VK_RETURN) {
        ReleaseButton(v);
        return 0;
    }
    return CallWindowProcA(v->ListProc, list, WM_KEYUP, wp, lp);
}

// --- drag selection ---------------------------------------------------------------------------

RECT CellArea(GridViewState* v) {
    RECT area;
    GetClientRect(v->ListWindow, &area);
    int rows = ListRowCount(v);
    int last = LastVisibleColumn(v);
    if (rows > 0 && last >= 0) {
        RECT lastCell = SubItemRect(v, rows - 1, last + 1);
        area.right = std::min(area.right, lastCell.right);
        area.bottom = std::min(area.bottom, lastCell.bottom);
    } else {
        area.bottom = v->HeaderHeight;
    }
    return area;
}

void StartDrag(GridViewState* v, int row, int column) {
    POINT pt = CursorIn(v->ListWindow);
    RECT cell = SubItemRect(v, row, column + 1);
    if (!PtInRect(&cell, pt)) return;
    if (g_dragState != 0 && g_dragList && IsWindow(g_dragList)) KillTimer(g_dragList, DragTimerId);
    v->DragX = pt.x;
    v->DragY = pt.y;
    g_cellArea = CellArea(v);
    SetCapture(v->ListWindow);
    g_dragState = 1;
    g_dragList = v->ListWindow;
    SetTimer(v->ListWindow, DragTimerId, 1, nullptr);
}

void DragTick(GridViewState* v) {
    if (g_dragState == 0 || g_dragList != v->ListWindow) {
        KillTimer(v->ListWindow, DragTimerId);
        return;
    }
    POINT pt = CursorIn(v->ListWindow);
    if (g_dragState == 1) {
        if (!gridgeo::DragStarted(v->DragX, v->DragY, pt.x, pt.y)) return;
        g_dragState = 2;
    }
    if (v->ColumnsChanged) RebuildColumnTables(v);
    const int rows = ListRowCount(v), cols = v->ColumnTableCount;
    if (rows == 0 || cols == 0 || v->BlockColumn < 0) return;
    Hit hit = HitTest(v, pt);
    if (v->HotRow >= 0 && (hit.row == v->HotRow || hit.column + 1 == v->HotColumn)) {
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        RepaintCell(v, v->HotRow, v->HotColumn);
        v->HotRow = -1;
    }
    int pos;
    if (pt.x < g_cellArea.left)
        pos = 0;
    else if (pt.x >= g_cellArea.right)
        pos = cols - 1;
    else if (hit.column >= 0)
        pos = DisplayPosition(v, hit.column);
    else
        pos = 0;
    int row;
    if (pt.y < v->HeaderHeight)
        row = 0;
    else if (pt.y >= g_cellArea.bottom)
        row = rows - 1;
    else if (hit.row >= 0)
        row = hit.row;
    else
        return;
    int start = DisplayPosition(v, v->BlockColumn);
    if (start < 0 || pos < 0) return;
    int width = v->SelectionMode == 1 ? 1 : gridgeo::ExtentTo(start, pos);
    int height = v->SelectionMode == 2 ? 1 : gridgeo::ExtentTo(v->BlockRow, row);
    if (v->CurrentRow >= 0) {
        if (std::abs(width) == 1 && std::abs(height) == 1) return;
        int blockColumn = v->BlockColumn, blockRow = v->BlockRow;
        DropCurrentCell(v, 0);
        v->BlockState = 2;
        v->BlockColumn = v->AnchorColumn = blockColumn;
        v->BlockRow = v->AnchorRow = blockRow;
    } else if (width == v->BlockWidth && height == v->BlockHeight) {
        return;
    }
    v->BlockWidth = width;
    v->BlockHeight = height;
    int column = ColumnAtDisplay(v, pos);
    if (column >= 0) ScrollIntoView(v, row, column + 1);
    RedrawGrid(v);
}

// --- mouse on the cells -----------------------------------------------------------------------

void ToggleCheckByMouse(GridViewState* v, int row, int column, const std::string& checkTexts) {
    CellInfo ci = PresetCellInfo(v, row, column);
    ci.Text = gridgeo::ToggledCheck(StoredText(v, row, column + 1), checkTexts);
    if (SendGridEvent(v, CellChanged, ci) == 1) {
        StoreText(v, row, column + 1, ci.Text);
        // Already reported: a current cell takes it as committed, or it would read the old
        // value and report the change a second time.
        if (v->CurrentRow == row && v->CurrentColumn == column + 1)
            v->EditText = v->CommittedText = ci.Text;
        RepaintCell(v, row, column + 1);
    }
}

LRESULT ListButtonDown(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    const bool dbl = msg == WM_LBUTTONDBLCLK;
    POINT pt = PointOf(lp);
    Hit hit = HitTest(v, pt);
    if (!hit.Cell()) {
        SetFocus(list);
        return 0;
    }
    Notify(v, dbl ? LeftDoubleClick : LeftButtonDown, hit.row, hit.column, static_cast<std::intptr_t>(wp));
    if (!ValidCell(v, hit.column, hit.row)) return 0;  // the handler may have removed it
    CellInfo ci;
    int type = QueryType(v, hit.row, hit.column, &ci);
    RECT cell = SubItemRect(v, hit.row, hit.column + 1);
    const int w = cell.right - cell.left, h = cell.bottom - cell.top;
    const int x = pt.x - cell.left, y = pt.y - cell.top;
    auto inside = [&](gridgeo::Rect r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
    const bool isCurrent = v->CurrentRow == hit.row && v->CurrentColumn == hit.column + 1;
    if (type == CheckCell && inside(gridgeo::CheckBoxRect(w, h)))
        ToggleCheckByMouse(v, hit.row, hit.column, ci.Text);
    if (!dbl && type == ButtonCell && inside(gridgeo::ButtonPressArea(w, h, ci.ImageWidth, ci.ImageHeight))) {
        PressButton(v, hit.row, hit.column);
        SetCapture(list);
    }
    if (type == EllipsisCell && isCurrent) {
        if (dbl) {
            Notify(v, ButtonClicked, hit.row, hit.column, 0);
        } else if (inside(gridgeo::EllipsisPressArea(w, h))) {
            PressButton(v, hit.row, hit.column);
            SetCapture(list);
        }
    }
    if (isCurrent && v->CurrentType == TextCell) {
        // The edit box places its caret where the user clicked; -32768 says it came from us.
        POINT at = pt;
        MapWindowPoints(list, v->EditBox, &at, 1);
        LPARAM relay = MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(-32768));
        SetFocus(v->EditBox);
        SendMessageA(v->EditBox, WM_LBUTTONDOWN, MK_LBUTTON, relay);
        if (dbl) {
            SendMessageA(v->EditBox, WM_LBUTTONUP, 0, relay);
            SendMessageA(v->EditBox, WM_LBUTTONDBLCLK, MK_LBUTTON, relay);
        }
        return 0;
    }
    if (isCurrent) {
        SetFocus(list);
        return 0;
    }
    CommitEdit(v);
    CellInfo sel = PresetCellInfo(v, hit.row, hit.column);
    sel.ImageWidth = ci.ImageWidth;
    sel.ImageHeight = ci.ImageHeight;
    sel.Param = SelectByMouse;
    int answer = SendGridEvent(v, CellSelecting, sel);
    if (answer == 1) {
        LeaveCell(v);
        EnterCell(v, hit.row, hit.column + 1, true);
        SetFocus(list);
    } else {
        SetFocus(list);
    }
    if (answer != 0 && v->SelectionMode != 3) StartDrag(v, hit.row, hit.column);
    return 0;
}

LRESULT ListButtonUp(GridViewState* v, HWND list, WPARAM wp, LPARAM lp) {
    StopDrag(v);
    Hit hit = HitTest(v, PointOf(lp));
    if (hit.Cell()) Notify(v, LeftButtonUp, hit.row, hit.column, static_cast<std::intptr_t>(wp));
    ReleaseButton(v);
    return CallWindowProcA(v->ListProc, list, WM_LBUTTONUP, wp, lp);
}

void DestroyTooltip(GridViewState* v) {
    if (v->TooltipWindow) DestroyWindow(v->TooltipWindow);
    v->TooltipWindow = nullptr;
}

void ShowTooltip(GridViewState* v, int row, int column) {
    CellInfo ci = PresetCellInfo(v, row, column);
    ci.BackColour = -1;
    ci.TextColour = -1;
    ci.ImageWidth = 250;
    ci.Font = nullptr;
    if (SendGridEvent(v, TooltipQuery, ci) == 0 || ci.Text.empty()) return;
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               GetParent(v->ListWindow), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!tip) return;
    gridgeo::TooltipText text = gridgeo::SplitTooltip(ci.Text);
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, ci.ImageWidth);
    if (ci.BackColour != -1) SendMessageA(tip, TTM_SETTIPBKCOLOR, static_cast<WPARAM>(ci.BackColour), 0);
    if (ci.TextColour != -1) SendMessageA(tip, TTM_SETTIPTEXTCOLOR, static_cast<WPARAM>(ci.TextColour), 0);
    if (ci.Font) SendMessageA(tip, WM_SETFONT, reinterpret_cast<WPARAM>(ci.Font), FALSE);
    if (text.hasTitle)
        SendMessageA(tip, TTM_SETTITLEA, static_cast<WPARAM>(ci.Param),
                     reinterpret_cast<LPARAM>(text.title.c_str()));
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(v->ListWindow);
    tool.uId = reinterpret_cast<UINT_PTR>(v->ListWindow);
    tool.lpszText = const_cast<char*>(text.body.c_str());
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    v->TooltipWindow = tip;
}

void MouseMoved(GridViewState* v, UINT msg, LPARAM lp) {
    if (v->PressedRow >= 0 && msg == WM_MOUSEMOVE) {
        Hit hit = HitTest(v, PointOf(lp));
        int row = v->PressedRow, column = v->PressedColumn;
        if (ValidCell(v, column, row) && column >= 0) {
            std::string text = StoredText(v, row, column + 1);
            bool over = hit.row == row && hit.column == column;
            if (over && !gridgeo::HasPressedSuffix(text))
                SetButtonText(v, row, column, text + "\\+");
            else if (!over && gridgeo::HasPressedSuffix(text))
                SetButtonText(v, row, column, gridgeo::WithoutPressedSuffix(text));
        }
    }
    if (!(v->Style & Tooltips)) return;
    Hit hit;
    if (msg == WM_MOUSEMOVE) hit = HitTest(v, PointOf(lp));
    int row = hit.Cell() ? hit.row : -2, column = hit.Cell() ? hit.column : 0;
    if (msg == WM_NCMOUSEMOVE || row != v->TooltipRow || column != v->TooltipColumn) {
        DestroyTooltip(v);
        v->TooltipRow = row;
        v->TooltipColumn = column;
        bool current = v->CurrentRow == row && v->CurrentColumn == column + 1;
        if (row >= 0 && !current) ShowTooltip(v, row, column);
    }
}

bool SetListCursor(GridViewState* v, HWND list) {
    if (g_scrolling) {
        g_scrolling = false;
        PlaceEditor(v, nullptr);
    }
    Hit hit = HitTest(v, CursorIn(list));
    if (v->HotRow >= 0 && (hit.row != v->HotRow || hit.column + 1 != v->HotColumn)) {
        RepaintCell(v, v->HotRow, v->HotColumn);
        v->HotRow = -1;
    }
    if (!hit.Cell()) return false;
    if (v->CurrentRow == hit.row && v->CurrentColumn == hit.column + 1 && v->CurrentType == TextCell) {
        SetCursor(LoadCursor(nullptr, IDC_IBEAM));
        return true;
    }
    std::string text = StoredText(v, hit.row, hit.column + 1);
    if (text.find_first_not_of(' ') == std::string::npos) return false;
    CellInfo ci = PresetCellInfo(v, hit.row, hit.column);
    ci.HotTextColour = -1;
    SendGridEvent(v, QueryCellType, ci);
    bool link = ci.CellType == LinkCell ||
                ((ci.CellType == TextCell || ci.CellType == ReadOnlyTextCell) && ci.Link != 0);
    if (!link) return false;
    SetCursor(LoadCursor(nullptr, IDC_HAND));
    if (v->HotRow != hit.row || v->HotColumn != hit.column + 1) {
        v->HotRow = hit.row;
        v->HotColumn = hit.column + 1;
        RepaintCell(v, hit.row, hit.column + 1);
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, list, 100};
        TrackMouseEvent(&tme);
    }
    return true;
}

// --- scrolling --------------------------------------------------------------------------------

void BeginScroll(GridViewState* v) {
    if (g_scrolling) return;
    StorePendingText(v);
    ParkEditors(v);
    g_scrolling = true;
}

int FirstRowHeight(GridViewState* v) {
    RECT r{};
    r.left = LVIR_BOUNDS;
    if (ListRowCount(v) == 0 ||
        !SendMessageA(v->ListWindow, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)))
        return 0;
    return r.bottom - r.top;
}

void ScrollBy(GridViewState* v, int dx, int dy) {
    if (dx == 0 && dy == 0) return;
    RedrawWindow(v->ListWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    SendMessageA(v->ListWindow, LVM_SCROLL, static_cast<WPARAM>(dx), dy);
}

LRESULT OnScroll(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    const int request = LOWORD(wp);
    if (request == SB_ENDSCROLL) {
        LRESULT r = CallWindowProcA(v->ListProc, list, msg, wp, lp);
        g_scrolling = false;
        PlaceEditor(v, nullptr);
        return r;
    }
    BeginScroll(v);
    const bool vertical = msg == WM_VSCROLL;
    const bool onRelease = (v->Style & ScrollOnThumbRelease) != 0;
    using gridgeo::ScrollRequest;
    ScrollRequest req;
    switch (request) {
        case SB_LINEUP: req = ScrollRequest::LineBack; break;
        case SB_LINEDOWN: req = ScrollRequest::LineForward; break;
        case SB_PAGEUP: req = ScrollRequest::PageBack; break;
        case SB_PAGEDOWN: req = ScrollRequest::PageForward; break;
        case SB_THUMBTRACK:
            return onRelease ? 0 : CallWindowProcA(v->ListProc, list, msg, wp, lp);
        case SB_THUMBPOSITION: {
            if (!onRelease) return CallWindowProcA(v->ListProc, list, msg, wp, lp);
            SCROLLINFO si{sizeof si, SIF_POS | SIF_TRACKPOS, 0, 0, 0, 0, 0};
            GetScrollInfo(list, vertical ? SB_VERT : SB_HORZ, &si);
            int track = si.nTrackPos != si.nPos ? si.nTrackPos : static_cast<short>(HIWORD(wp));
            int diff = track - si.nPos;
            if (diff != 0) {
                if (vertical)
                    ScrollBy(v, 0, diff * FirstRowHeight(v));
                else
                    ScrollBy(v, diff, 0);
            }
            return 0;
        }
        default:
            return CallWindowProcA(v->ListProc, list, msg, wp, lp);
    }
    if (vertical) {
        int perPage = std::max(static_cast<int>(SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0)), 1);
        int top = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
        ScrollBy(v, 0, gridgeo::VerticalScrollPixels(req, FirstRowHeight(v), perPage, top));
    } else {
        ScrollBy(v, gridgeo::HorizontalScrollPixels(req), 0);
    }
    return 0;
}

// --- focus ------------------------------------------------------------------------------------

bool IsGridWindow(GridViewState* v, HWND w) {
    return w && (w == v->ListWindow || w == v->EditBox || w == v->ListCombo || w == v->EditCombo ||
                 w == v->EditComboField);
}

void FocusLost(GridViewState* v, HWND self, HWND to) {
    if (IsGridWindow(v, to)) return;
    if (KeyHeld(VK_SHIFT) && KeyHeld(VK_TAB)) {
        SetFocus(self);
        return;
    }
    if (GetWindowLongPtrA(v->ListWindow, GWL_STYLE) & LVS_SHOWSELALWAYS) return;
    DropCurrentCell(v, 1);
}

// --- the editors ------------------------------------------------------------------------------

GridViewState* ViewOfEditor(HWND w) {
    for (int i = 0; i < 3 && w; ++i, w = GetParent(w))
        if (GridViewState* v = ViewOf(w)) return v;
    return nullptr;
}

std::string EditorSelection(HWND edit, DWORD* start, DWORD* end) {
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(start), reinterpret_cast<LPARAM>(end));
    int n = GetWindowTextLengthA(edit);
    std::string text(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
    text.resize(static_cast<size_t>(std::max(GetWindowTextA(edit, text.data(), n + 1), 0)));
    *start = std::min<DWORD>(*start, static_cast<DWORD>(text.size()));
    *end = std::min<DWORD>(std::max(*end, *start), static_cast<DWORD>(text.size()));
    return text;
}

// TextDeleting for what Backspace (before) or Delete (after) would remove; the answer.
int AskDeleting(GridViewState* v, HWND edit, bool before) {
    DWORD start = 0, end = 0;
    std::string text = EditorSelection(edit, &start, &end);
    CellInfo ci = PresetCellInfo(v, v->CurrentRow, v->CurrentColumn - 1);
    if (end > start)
        ci.Text = text.substr(start, end - start);
    else if (before && start > 0)
        ci.Text = text.substr(start - 1, 1);
    else if (!before && start < text.size())
        ci.Text = text.substr(start, 1);
    ci.ImageWidth = static_cast<std::int32_t>(start);
    ci.ImageHeight = static_cast<std::int32_t>(end);
    return SendGridEvent(v, TextDeleting, ci);
}

void AfterEditorMove(GridViewState* v, bool moved) {
    if (!moved) return;
    if (KeyHeld(VK_CONTROL) && !KeyHeld(VK_SHIFT))
        SetFocus(v->ListWindow);
    else
        FocusEditor(v);
}

// Mouse notifications from an editor, for the current cell.
void EditorMouse(GridViewState* v, UINT msg, WPARAM wp, LPARAM lp) {
    if (static_cast<short>(HIWORD(lp)) == -32768 || v->CurrentRow < 0) return;
    int code = msg == WM_LBUTTONDOWN ? LeftButtonDown
             : msg == WM_LBUTTONUP ? LeftButtonUp
             : msg == WM_LBUTTONDBLCLK ? LeftDoubleClick : RightButtonDown;
    Notify(v, code, v->CurrentRow, v->CurrentColumn - 1, static_cast<std::intptr_t>(wp));
}

LRESULT EditorMessage(GridViewState* v, HWND edit, WNDPROC proc, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_GETDLGCODE:
            return CallWindowProcA(proc, edit, msg, wp, lp) | DLGC_WANTALLKEYS;
        case WM_CHAR: {
            if (v->CurrentRow < 0) break;
            const auto ch = static_cast<unsigned char>(wp);
            if (ch == '\r') {
                if (TabMove(v, KeyHeld(VK_SHIFT))) FocusEditor(v);
                return 0;
            }
            if (ch == 27) {
                CancelEdit(v);
                return 0;
            }
            if (ch == '\t') return 0;
            if (ch == '\b') {
                if (AskDeleting(v, edit, true) != 1) return 0;
                LRESULT r = CallWindowProcA(proc, edit, msg, wp, lp);
                ReadEditorText(v, edit);
                return r;
            }
            if (ch < 0x20) {
                // Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z and the like are commands, not typing.
                LRESULT r = CallWindowProcA(proc, edit, msg, wp, lp);
                ReadEditorText(v, edit);
                return r;
            }
            DWORD start = 0, end = 0;
            EditorSelection(edit, &start, &end);
            if (end > start && AskDeleting(v, edit, false) == 0) return 0;
            CellInfo ci = PresetCellInfo(v, v->CurrentRow, v->CurrentColumn - 1);
            ci.Text = v->EditText;
            ci.Param = ch;
            if (SendGridEvent(v, CharTyped, ci) != 1 || v->CurrentRow < 0) return 0;
            LRESULT r = CallWindowProcA(proc, edit, msg,
                                        static_cast<WPARAM>(static_cast<unsigned char>(ci.Param)), lp);
            ReadEditorText(v, edit);
            return r;
        }
        case WM_KEYDOWN:
            if (wp == VK_TAB) return 0;
            if (wp == VK_DELETE && v->CurrentRow >= 0) {
                if (AskDeleting(v, edit, false) != 1) return 0;
                LRESULT r = CallWindowProcA(proc, edit, msg, wp, lp);
                ReadEditorText(v, edit);
                return r;
            }
            break;
        case WM_KEYUP:
            if (wp == VK_TAB) {
                AfterEditorMove(v, TabMove(v, KeyHeld(VK_SHIFT)));
                return 0;
            }
            break;
        case WM_PASTE:
        case WM_CUT:
        case WM_UNDO:
        case EM_UNDO: {
            LRESULT r = CallWindowProcA(proc, edit, msg, wp, lp);
            if (v->CurrentRow >= 0) ReadEditorText(v, edit);
            return r;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
            EditorMouse(v, msg, wp, lp);
            break;
        case WM_CONTEXTMENU:
            if (v->CurrentRow >= 0 &&
                Notify(v, RightButtonUp, v->CurrentRow, v->CurrentColumn - 1, 0) != 1)
                return 0;
            break;
        case WM_KILLFOCUS: {
            LRESULT r = CallWindowProcA(proc, edit, msg, wp, lp);
            FocusLost(v, edit, reinterpret_cast<HWND>(wp));
            return r;
        }
        default:
            break;
    }
    return CallWindowProcA(proc, edit, msg, wp, lp);
}

LRESULT CALLBACK EditorProc(HWND edit, UINT msg, WPARAM wp, LPARAM lp) {
    GridViewState* v = ViewOfEditor(edit);
    if (!v) return DefWindowProcA(edit, msg, wp, lp);
    WNDPROC proc = edit == v->EditBox ? v->EditBoxProc : v->EditFieldProc;
    if (!proc) return DefWindowProcA(edit, msg, wp, lp);
    try {
        if (msg == WM_NCDESTROY) {
            SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
            return CallWindowProcA(proc, edit, msg, wp, lp);
        }
        return EditorMessage(v, edit, proc, msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

LRESULT ListComboMessage(GridViewState* v, HWND combo, WNDPROC proc, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_GETDLGCODE:
            return CallWindowProcA(proc, combo, msg, wp, lp) | DLGC_WANTALLKEYS;
        case WM_KEYDOWN:
            if (wp == VK_RETURN) {
                if (IsComboListOpen()) break;  // Enter closes an open list first
                AfterEditorMove(v, TabMove(v, KeyHeld(VK_SHIFT)));
                return 0;
            }
            if (wp == VK_TAB) return 0;
            if (wp == VK_SPACE && SpaceOnCurrent(v, KeyHeld(VK_CONTROL))) return 0;
            if (wp == VK_ESCAPE && !IsComboListOpen()) {
                CancelEdit(v);
                return 0;
            }
            break;
        case WM_KEYUP:
            if (wp == VK_TAB) {
                AfterEditorMove(v, TabMove(v, KeyHeld(VK_SHIFT)));
                return 0;
            }
            break;
        case WM_CHAR:
            SendMessageA(v->ListWindow, WM_CHAR, wp, lp);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
            EditorMouse(v, msg, wp, lp);
            break;
        case WM_KILLFOCUS: {
            LRESULT r = CallWindowProcA(proc, combo, msg, wp, lp);
            FocusLost(v, combo, reinterpret_cast<HWND>(wp));
            return r;
        }
        case WM_PAINT: {
            // The selection field is owner-drawn; the button is ours, shown pushed while open.
            LRESULT r = CallWindowProcA(proc, combo, msg, wp, lp);
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            if (GetComboBoxInfo(combo, &info) && info.rcButton.right > info.rcButton.left) {
                gdi::WindowDC dc(combo);
                RECT button = info.rcButton;
                DrawFrameControl(dc.get(), &button, DFC_SCROLL,
                                 DFCS_SCROLLCOMBOBOX | (IsComboListOpen() ? DFCS_PUSHED : 0));
            }
            return r;
        }
        default:
            break;
    }
    return CallWindowProcA(proc, combo, msg, wp, lp);
}

LRESULT CALLBACK ListComboProc(HWND combo, UINT msg, WPARAM wp, LPARAM lp) {
    GridViewState* v = ViewOfEditor(combo);
    if (!v || !v->ListComboProc) return DefWindowProcA(combo, msg, wp, lp);
    WNDPROC proc = v->ListComboProc;
    try {
        if (msg == WM_NCDESTROY) {
            SetWindowLongPtrA(combo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
            return CallWindowProcA(proc, combo, msg, wp, lp);
        }
        return ListComboMessage(v, combo, proc, msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

// --- header -----------------------------------------------------------------------------------

// The header item under a point (-1 outside every item), and whether it is on a divider.
int HeaderItemAt(HWND header, POINT pt, bool* onDivider) {
    HDHITTESTINFO info{};
    info.pt = pt;
    auto item = static_cast<int>(SendMessageA(header, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (onDivider) *onDivider = (info.flags & (HHT_ONDIVIDER | HHT_ONDIVOPEN)) != 0;
    return item;
}

void RedrawAll(GridViewState* v) {
    RedrawWindow(v->ListWindow, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
}

// The hidden column stays first, and with FixedFirstColumn grid column 0 stays next to it.
void PinColumns(GridViewState* v) {
    if (v->PinningColumns) return;
    int count = ListColumnCount(v);
    if (count <= 1) return;
    std::vector<int> order(static_cast<size_t>(count));
    SendMessageA(v->ListWindow, LVM_GETCOLUMNORDERARRAY, static_cast<WPARAM>(count),
                 reinterpret_cast<LPARAM>(order.data()));
    bool changed = false;
    int pinned = (v->Style & FixedFirstColumn) ? 2 : 1;
    for (int p = 0; p < pinned && p < count; ++p) {
        if (order[static_cast<size_t>(p)] == p) continue;
        order.erase(std::find(order.begin(), order.end(), p));
        order.insert(order.begin() + p, p);
        changed = true;
    }
    if (!changed) return;
    v->PinningColumns = true;
    SendMessageA(v->ListWindow, LVM_SETCOLUMNORDERARRAY, static_cast<WPARAM>(count),
                 reinterpret_cast<LPARAM>(order.data()));
    v->PinningColumns = false;
    RebuildColumnTables(v);
    RedrawGrid(v);
}

}  // namespace

void StopDrag(GridViewState* v) {
    if (g_dragState == 0 || g_dragList != v->ListWindow) return;
    g_dragState = 0;
    g_dragList = nullptr;
    KillTimer(v->ListWindow, DragTimerId);
    if (GetCapture() == v->ListWindow) ReleaseCapture();
}

void SubclassEditors(GridViewState* v) {
    auto subclass = [](HWND w, WNDPROC proc) {
        return w ? reinterpret_cast<WNDPROC>(
                       SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)))
                 : nullptr;
    };
    v->EditBoxProc = subclass(v->EditBox, &EditorProc);
    v->EditFieldProc = subclass(v->EditComboField, &EditorProc);
    v->ListComboProc = subclass(v->ListCombo, &ListComboProc);
}

bool ListInput(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    switch (msg) {
        case WM_GETDLGCODE:
            *result = DLGC_WANTTAB | DLGC_WANTALLKEYS;  // arrows, Tab and Enter
            return true;
        case WM_CHAR:
            *result = 0;
            return true;
        case WM_KEYDOWN:
            *result = ListKeyDown(v, list, wp, lp);
            return true;
        case WM_KEYUP:
            *result = ListKeyUp(v, list, wp, lp);
            return true;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            *result = ListButtonDown(v, list, msg, wp, lp);
            return true;
        case WM_LBUTTONUP:
            *result = ListButtonUp(v, list, wp, lp);
            return true;
        case WM_TIMER:
            if (wp != DragTimerId) return false;
            DragTick(v);
            *result = 0;
            return true;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lp) != list) StopDrag(v);
            return false;
        case WM_RBUTTONDOWN: {
            Hit hit = HitTest(v, PointOf(lp));
            if (hit.row >= 0) Notify(v, RightButtonDown, hit.row, hit.column, static_cast<std::intptr_t>(wp));
            *result = 0;
            return true;
        }
        case WM_RBUTTONUP: {
            POINT pt = PointOf(lp);
            Hit hit = HitTest(v, pt);
            bool onCurrent = hit.Cell() && v->CurrentRow == hit.row && v->CurrentColumn == hit.column + 1;
            if (onCurrent && (v->CurrentType == TextCell || v->CurrentType == ComboCell)) {
                HWND editor = v->CurrentType == TextCell ? v->EditBox : v->EditComboField;
                POINT screen = pt;
                ClientToScreen(list, &screen);
                if (editor) SendMessageA(editor, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor),
                                         MAKELPARAM(screen.x, screen.y));
            } else if (hit.row >= 0) {
                Notify(v, RightButtonUp, hit.row, hit.column, static_cast<std::intptr_t>(wp));
            } else {
                Notify(v, RightButtonUp, -10, -10, static_cast<std::intptr_t>(wp));
            }
            *result = 0;
            return true;
        }
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE:
            *result = CallWindowProcA(v->ListProc, list, msg, wp, lp);
            MouseMoved(v, msg, lp);
            return true;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wp) != list || LOWORD(lp) != HTCLIENT) return false;
            if (!SetListCursor(v, list)) return false;
            *result = TRUE;
            return true;
        case WM_MOUSELEAVE:
            if (v->HotRow >= 0) {
                RepaintCell(v, v->HotRow, v->HotColumn);
                v->HotRow = -1;
            }
            *result = 0;
            return true;
        case WM_MOUSEWHEEL:
            StopDrag(v);
            StorePendingText(v);
            ParkEditors(v);
            *result = CallWindowProcA(v->ListProc, list, msg, wp, lp);
            PlaceEditor(v, nullptr);
            return true;
        case WM_HSCROLL:
        case WM_VSCROLL:
            *result = OnScroll(v, list, msg, wp, lp);
            return true;
        case WM_KILLFOCUS:
            *result = CallWindowProcA(v->ListProc, list, msg, wp, lp);
            FocusLost(v, list, reinterpret_cast<HWND>(wp));
            return true;
        case WM_DESTROY:
            StopDrag(v);
            return false;
        default:
            return false;
    }
}

bool HeaderDragNotify(GridViewState* v, NMHEADERA* nm, LRESULT* result) {
    switch (nm->hdr.code) {
        case HDN_BEGINTRACKA:
        case HDN_BEGINTRACKW:
            if (nm->iItem == 0 || !(v->Style & ResizableColumns) ||
                Notify(v, ColumnResizing, -1, nm->iItem - 1, 0) != 1) {
                *result = TRUE;
                return true;
            }
            DropCurrentCell(v, 0);
            UpdateWindow(v->ListWindow);
            v->LastHeaderColumn = static_cast<std::uint8_t>(std::min(nm->iItem, 255));
            return false;
        case HDN_BEGINDRAG: {
            DWORD ex = static_cast<DWORD>(SendMessageA(v->ListWindow, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
            if (!(ex & LVS_EX_HEADERDRAGDROP) || nm->iItem == 0) {
                *result = TRUE;
                return true;
            }
            DropCurrentCell(v, 0);
            v->MovedColumn = nm->iItem;
            return false;
        }
        default:
            return false;
    }
}

bool HeaderInput(GridViewState* v, HWND header, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    WNDPROC proc = v->HeaderProc;
    switch (msg) {
        case WM_SETCURSOR: {
            POINT pt = CursorIn(header);
            bool divider = false;
            int item = HeaderItemAt(header, pt, &divider);
            if ((v->Style & ResizableColumns) && item > 0 &&
                Notify(v, ColumnResizing, -1, item - 1, 0) == 1 && divider)
                return false;
            SetCursor(LoadCursor(nullptr, IDC_ARROW));
            *result = TRUE;
            return true;
        }
        case WM_LBUTTONDOWN: {
            int item = HeaderItemAt(header, PointOf(lp), nullptr);
            if (item > 0) Notify(v, LeftButtonDown, -1, item - 1, static_cast<std::intptr_t>(wp));
            return false;
        }
        case WM_LBUTTONDBLCLK: {
            bool divider = false;
            int item = HeaderItemAt(header, PointOf(lp), &divider);
            if (item > 0) Notify(v, LeftDoubleClick, -1, item - 1, static_cast<std::intptr_t>(wp));
            if (item > 0 && (v->Style & ResizableColumns) &&
                Notify(v, ColumnResizing, -1, item - 1, 0) == 1 && divider) {
                SetFocus(v->ListWindow);
                DropCurrentCell(v, 0);
                *result = CallWindowProcA(proc, header, msg, wp, lp);
                Notify(v, ColumnChanged, -1, item - 1, 0);
                return true;
            }
            *result = 0;
            return true;
        }
        case WM_LBUTTONUP: {
            if (v->LastHeaderColumn != 0) {
                int item = v->LastHeaderColumn;
                v->LastHeaderColumn = 0;
                *result = CallWindowProcA(proc, header, msg, wp, lp);
                RedrawAll(v);
                Notify(v, ColumnChanged, -1, item - 1, 0);
                return true;
            }
            if (v->MovedColumn >= 0) {
                int item = v->MovedColumn;
                v->MovedColumn = -1;
                *result = CallWindowProcA(proc, header, msg, wp, lp);
                PinColumns(v);
                RebuildColumnTables(v);
                RedrawGrid(v);
                Notify(v, ColumnChanged, -1, item - 1, 1);
                return true;
            }
            int item = HeaderItemAt(header, PointOf(lp), nullptr);
            if (item > 0) Notify(v, LeftButtonUp, -1, item - 1, static_cast<std::intptr_t>(wp));
            return false;
        }
        case WM_RBUTTONDOWN: {
            int item = HeaderItemAt(header, PointOf(lp), nullptr);
            Notify(v, RightButtonDown, -1, item > 0 ? item - 1 : -1, static_cast<std::intptr_t>(wp));
            return false;
        }
        case WM_RBUTTONUP: {
            int item = HeaderItemAt(header, PointOf(lp), nullptr);
            if (item > 0)
                Notify(v, RightButtonUp, -1, item - 1, static_cast<std::intptr_t>(wp));
            else
                Notify(v, RightButtonUp, -10, -10, static_cast<std::intptr_t>(wp));
            return false;
        }
        case HDM_ORDERTOINDEX: {
            LRESULT r = CallWindowProcA(proc, header, msg, wp, lp);
            int pinned = (v->Style & FixedFirstColumn) ? 2 : 1;
            if (static_cast<int>(wp) < pinned && r != static_cast<LRESULT>(wp) && !v->PinningColumns) {
                PinColumns(v);
                r = CallWindowProcA(proc, header, msg, wp, lp);
            }
            *result = r;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace zandrel::gridimpl
