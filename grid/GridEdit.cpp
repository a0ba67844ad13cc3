// The current cell and its editor: entering, placing, committing and leaving, and the clipboard
// work on cells. The keys typed inside the editors are handled by the input side of the grid.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "grid/GridGdi.h"
#include "grid/GridGeometry.h"
#include "grid/GridInternal.h"

namespace zandrel::gridimpl {

namespace {

bool g_commitRunning = false;  // a CellChanged handler must not start a second commit
bool g_comboListOpen = false;  // ListCombo's drop-down list is showing

HWND MakeChild(DWORD exStyle, const char* cls, DWORD style, int x, int y, int w, int h,
               HWND parent) {
    return CreateWindowExA(exStyle, cls, "", style, x, y, w, h, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

std::string WindowText(HWND w) {
    int n = GetWindowTextLengthA(w);
    std::string s(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
    int got = GetWindowTextA(w, s.data(), n + 1);
    s.resize(static_cast<size_t>(std::max(got, 0)));
    return s;
}

int MeasureText(HDC dc, HFONT font, const std::string& text, int width, bool wrap) {
    gdi::Select sel(dc, font);
    RECT r{0, 0, std::max(width, 1), 0};
    const std::string& t = text.empty() ? std::string(" ") : text;
    UINT fmt = DT_CALCRECT | DT_NOPREFIX | DT_END_ELLIPSIS | (wrap ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextA(dc, t.c_str(), static_cast<int>(t.size()), &r, fmt);
    return r.bottom - r.top;
}

bool IsCurrent(const GridViewState* v, int row, int subItem) {
    return v->CurrentRow >= 0 && v->CurrentRow == row && v->CurrentColumn == subItem;
}

// True when the clipboard holds `text` afterwards.
bool SetClipboardTextA(HWND owner, const std::string& text) {
    if (!OpenClipboard(owner)) return false;  // another program holds it open
    bool done = false;
    if (EmptyClipboard()) {
        if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
            if (void* p = GlobalLock(mem)) {
                memcpy(p, text.c_str(), text.size() + 1);
                GlobalUnlock(mem);
                done = SetClipboardData(CF_TEXT, mem) != nullptr;
            }
            if (!done) GlobalFree(mem);
        }
    }
    CloseClipboard();
    return done;
}

bool GetClipboardTextA(HWND owner, std::string* out) {
    if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(owner)) return false;
    bool ok = false;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (auto* p = static_cast<const char*>(GlobalLock(h))) {
            SIZE_T cap = GlobalSize(h);
            size_t n = 0;
            while (n < cap && p[n]) ++n;  // never read past the block, even without a NUL
            out->assign(p, n);
            GlobalUnlock(h);
            ok = true;
        }
    }
    CloseClipboard();
    return ok;
}

}  // namespace

bool IsCommitRunning() { return g_commitRunning; }
bool IsComboListOpen() { return g_comboListOpen; }

void CancelEdit(GridViewState* v) {
    if (v->CurrentRow < 0) return;
    if (v->CurrentType == TextCell) {
        v->EditText = v->CommittedText;
        SetWindowTextA(v->EditBox, v->CommittedText.c_str());
        auto len = static_cast<WPARAM>(v->CommittedText.size());
        SendMessageA(v->EditBox, EM_SETSEL, len, static_cast<LPARAM>(len));
        v->EditText = v->CommittedText;
    } else if (v->CurrentType == ListCell || v->CurrentType == ComboCell) {
        HWND combo = v->CurrentType == ListCell ? v->ListCombo : v->EditCombo;
        ShowComboValue(v, combo, v->CommittedText);
        if (v->EditText != v->CommittedText) {
            v->EditText = v->CommittedText;
            // A ListCell stores its choice at once: the stored text goes back too.
            if (v->CurrentType == ListCell &&
                StoredText(v, v->CurrentRow, v->CurrentColumn) != v->CommittedText)
                StoreText(v, v->CurrentRow, v->CurrentColumn, v->CommittedText);
            CellInfo ci = PresetCellInfo(v, v->CurrentRow, v->CurrentColumn - 1);
            ci.Text = v->CommittedText;
            SendGridEvent(v, ListChoice, ci);
        }
    }
}

void StorePendingText(GridViewState* v) {
    if (v->CurrentRow < 0) return;
    if (StoredText(v, v->CurrentRow, v->CurrentColumn) != v->EditText)
        StoreText(v, v->CurrentRow, v->CurrentColumn, v->EditText);
}

void CreateEditors(GridViewState* v) {
    HWND list = v->ListWindow;
    v->EditBox = MakeChild(0, "EDIT", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, -1000, -1000, 0, 0,
                           list);
    if (v->EditBox) SendMessageA(v->EditBox, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    v->ListCombo = MakeChild(WS_EX_CLIENTEDGE, "COMBOBOX",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST |
                                 CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                             -100, -100, 100, 350, list);
    v->EditCombo = MakeChild(WS_EX_CLIENTEDGE, "COMBOBOX",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                             -1000, -1000, 0, 350, list);
    if (v->EditCombo) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        if (GetComboBoxInfo(v->EditCombo, &info)) v->EditComboField = info.hwndItem;
        if (v->EditComboField) {
            SetWindowLongPtrA(v->EditComboField, GWL_STYLE,
                              GetWindowLongPtrA(v->EditComboField, GWL_STYLE) & ~LONG_PTR{WS_TABSTOP});
            SendMessageA(v->EditComboField, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        }
    }
    SubclassEditors(v);
}

void ShowComboValue(GridViewState* v, HWND combo, const std::string& value) {
    if (combo == v->ListCombo) {
        if (value.empty()) {
            SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            return;
        }
        int n = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            int len = static_cast<int>(SendMessageA(combo, CB_GETLBTEXTLEN, i, 0));
            if (len != static_cast<int>(value.size())) continue;
            std::string item(static_cast<size_t>(len) + 1, '\0');
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(len));
            if (item == value) {
                SendMessageA(combo, CB_SETCURSEL, i, 0);
                return;
            }
        }
        return;  // not among the items: the selection stays as it is
    }
    SetWindowTextA(combo, value.c_str());
}

void EnterCell(GridViewState* v, int row, int subItem, bool scroll) {
    v->CurrentRow = row;
    v->CurrentColumn = subItem;
    if (scroll) ScrollIntoView(v, row, subItem);
    CellInfo ci = PresetCellInfo(v, row, subItem - 1);
    SendGridEvent(v, QueryCellType, ci);
    v->CurrentType = ci.CellType;
    v->CommittedText = StoredText(v, row, subItem);
    v->EditText = v->CommittedText;
    if (v->CurrentType == TextCell) {
        SetWindowTextA(v->EditBox, v->CommittedText.c_str());
        v->EditText = v->CommittedText;
    } else if (v->CurrentType == ListCell || v->CurrentType == ComboCell) {
        HWND combo = v->CurrentType == ListCell ? v->ListCombo : v->EditCombo;
        SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        RedrawGrid(v);
        for (const std::string& item : gridgeo::SplitItems(ci.Text))
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        ShowComboValue(v, combo, v->EditText);
        v->EditText = v->CommittedText;
    }
    PlaceEditor(v, nullptr);
}

void PlaceEditor(GridViewState* v, const RECT* given) {
    if (v->CurrentRow < 0) return;
    int top = static_cast<int>(SendMessageA(v->ListWindow, LVM_GETTOPINDEX, 0, 0));
    if (v->CurrentRow < top) return;
    RECT cell = given ? *given : SubItemRect(v, v->CurrentRow, v->CurrentColumn);
    CellInfo ci = PresetCellInfo(v, v->CurrentRow, v->CurrentColumn - 1);
    SendGridEvent(v, QueryCellFormat, ci);
    v->CurrentFormat = ci.TextFormat;
    bool lastRow = v->CurrentRow == ListRowCount(v) - 1;
    bool gridLines = (v->Style & GridLines) != 0;
    HFONT font = ci.Font ? ci.Font
                         : reinterpret_cast<HFONT>(SendMessageA(v->ListWindow, WM_GETFONT, 0, 0));
    int cc = Shared().CommonControlsVersion;
    gdi::WindowDC dc(v->ListWindow);

    switch (v->CurrentType) {
        case TextCell: {
            RECT r = cell;
            int inset = v->FocusWidth + 4;
            r.left += inset;
            r.right -= inset;
            r.top += v->FocusWidth;
            r.bottom -= v->FocusWidth;
            if (ci.BorderFlags & BorderBottomThick)
                r.bottom -= 2;
            else if (ci.BorderFlags & (BorderBottomSolid | BorderBottomDotted))
                r.bottom -= 1;
            InvalidateRect(v->ListWindow, &cell, FALSE);
            int measured = MeasureText(dc.get(), font, v->EditText, r.right - r.left,
                                       (v->Style & WrapText) != 0);
            int offset = (r.top + r.bottom - measured) / 2 - r.top;
            offset = 2 * (offset / 2) + 1;
            offset = std::max(offset, static_cast<int>(v->FocusWidth));
            if (offset < 1 && gridLines) offset = 1;
            r.top += offset;
            if (lastRow) r.bottom -= 1;
            r.bottom = std::min(static_cast<int>(r.bottom), static_cast<int>(r.top) + measured);
            int avail = r.bottom - r.top;
            TEXTMETRICA tm{};
            {
                gdi::Select sel(dc.get(), font);
                GetTextMetricsA(dc.get(), &tm);
            }
            HFONT use = font;
            if (avail > 0 && avail < tm.tmHeight) {
                // Too low a row for the cell font: a smaller copy instead of a clipped editor.
                LOGFONTA lf{};
                if (GetObjectA(font, sizeof lf, &lf) == sizeof lf) {
                    lf.lfHeight = avail;
                    lf.lfWidth = 0;
                    if (HFONT small = CreateFontIndirectA(&lf)) {
                        if (reinterpret_cast<HFONT>(SendMessageA(v->EditBox, WM_GETFONT, 0, 0)) ==
                            v->EditFont)
                            SendMessageA(v->EditBox, WM_SETFONT, reinterpret_cast<WPARAM>(small), 0);
                        if (v->EditFont) DeleteObject(v->EditFont);
                        v->EditFont = small;
                        use = small;
                    }
                }
            }
            if (reinterpret_cast<HFONT>(SendMessageA(v->EditBox, WM_GETFONT, 0, 0)) != use) {
                SendMessageA(v->EditBox, WM_SETFONT, reinterpret_cast<WPARAM>(use), 0);
                SendMessageA(v->EditBox, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
            }
            MoveWindow(v->EditBox, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
            break;
        }
        case ComboCell: {
            RECT r = cell;
            int widen = 2 - v->FocusWidth;
            r.left -= widen;
            r.right += widen;
            InvalidateRect(v->ListWindow, &cell, FALSE);
            if (reinterpret_cast<HFONT>(SendMessageA(v->EditCombo, WM_GETFONT, 0, 0)) != font) {
                SendMessageA(v->EditCombo, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
                if (v->EditComboField)
                    SendMessageA(v->EditComboField, EM_SETMARGINS, EC_LEFTMARGIN, 0);
            }
            int measured = MeasureText(dc.get(), font, v->EditText, r.right - r.left, false);
            int y = r.top + (r.bottom - r.top - measured) / 2 - 2;
            MoveWindow(v->EditCombo, r.left + 3, y, r.right - r.left - 2, cc < 6 ? 200 : 20, TRUE);
            ShowComboValue(v, v->EditCombo, v->EditText);
            break;
        }
        case ListCell: {
            int measured = MeasureText(dc.get(), font, v->EditText, cell.right - cell.left, false);
            SendMessageA(v->ListCombo, CB_SETITEMHEIGHT, 0, measured + 1);
            int field = std::min(16, static_cast<int>(cell.bottom - cell.top) - 6);
            SendMessageA(v->ListCombo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
            RedrawWindow(v->ListWindow, &cell, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            RECT wr;
            GetWindowRect(v->ListCombo, &wr);
            int comboHeight = field + 6;  // selection field and the combo's frame
            // Centred without the extra lift: the item text then meets the painted text.
            int y = cell.top + (cell.bottom - cell.top - comboHeight) / 2;
            MoveWindow(v->ListCombo, cell.left + 2, y, cell.right - cell.left, cc < 6 ? 100 : 20,
                       TRUE);
            break;
        }
        default:
            InvalidateRect(v->ListWindow, &cell, FALSE);
            break;
    }
}

void ParkEditors(GridViewState* v) {
    int cc = Shared().CommonControlsVersion;
    switch (v->CurrentType) {
        case TextCell:
            MoveWindow(v->EditBox, -1000, -1000, 0, 0, FALSE);
            break;
        case ComboCell:
            MoveWindow(v->EditCombo, -1000, -1000, 0, cc < 6 ? 100 : 20, FALSE);
            SetWindowTextA(v->EditCombo, "");
            break;
        case ListCell:
            SendMessageA(v->ListCombo, CB_SHOWDROPDOWN, FALSE, 0);
            MoveWindow(v->ListCombo, -1000, -1000, 0, cc < 6 ? 100 : 20, FALSE);
            break;
        default:
            break;
    }
}

void FocusEditor(GridViewState* v) {
    if (v->CurrentRow < 0) return;
    switch (v->CurrentType) {
        case TextCell: {
            int len = GetWindowTextLengthA(v->EditBox);
            SendMessageA(v->EditBox, EM_SETSEL, static_cast<WPARAM>(len), len);
            SetFocus(v->EditBox);
            break;
        }
        case ComboCell: {
            SetFocus(v->EditCombo);
            auto len = static_cast<WPARAM>(v->CommittedText.size());
            if (v->EditComboField)
                SendMessageA(v->EditComboField, EM_SETSEL, len, static_cast<LPARAM>(len));
            break;
        }
        case ListCell:
            // The visible list keeps showing the cell's value rather than its first item.
            ShowComboValue(v, v->ListCombo, v->EditText);
            SetFocus(v->ListCombo);
            break;
        default:
            SendMessageA(v->ListCombo, CB_SETCURSEL, 0, 0);
            SetFocus(v->ListCombo);
            break;
    }
}

void CommitEdit(GridViewState* v) {
    if (v->CurrentRow < 0 || g_commitRunning) return;
    if (v->EditText == v->CommittedText) return;
    int row = v->CurrentRow, sub = v->CurrentColumn;
    if (StoredText(v, row, sub) != v->EditText) StoreText(v, row, sub, v->EditText);
    CellInfo ci = PresetCellInfo(v, row, sub - 1);
    ci.Text = v->EditText;
    g_commitRunning = true;
    int answer = SendGridEvent(v, CellChanged, ci);
    g_commitRunning = false;
    if (answer == 1) {
        if (StoredText(v, row, sub) != ci.Text) StoreText(v, row, sub, ci.Text);
        // The handler may have changed the text; the cell now holds that, not what was typed.
        v->CommittedText = ci.Text;
        v->EditText = ci.Text;
    } else {
        if (StoredText(v, row, sub) != v->CommittedText) StoreText(v, row, sub, v->CommittedText);
        v->EditText = v->CommittedText;
    }
}

void LeaveCell(GridViewState* v) {
    if (v->CurrentRow < 0) return;
    ParkEditors(v);
    RECT former = SubItemRect(v, v->CurrentRow, v->CurrentColumn);
    v->CurrentRow = -1;
    v->CurrentColumn = 0;
    RedrawWindow(v->ListWindow, &former, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

void DropCurrentCell(GridViewState* v, int reason) {
    bool hadBlock = false;
    int row = v->CurrentRow, column = v->CurrentColumn - 1;
    if (v->CurrentRow >= 0 && v->BlockState != 0) {
        RemoveBlock(v);
        hadBlock = true;
    }
    CommitEdit(v);
    LeaveCell(v);
    if (hadBlock) {
        CellInfo ci = PresetCellInfo(v, row, column);
        ci.Param = reason;
        SendGridEvent(v, CellLeft, ci);
    }
}

void CloseEditor(GridViewState* v, bool dropEdit) {
    if (v->CurrentRow < 0) return;
    if (dropEdit) {
        v->EditText = v->CommittedText;
        LeaveCell(v);
        RemoveBlock(v);
        return;
    }
    DropCurrentCell(v, 0);
}

void ReadEditorText(GridViewState* v, HWND from) { v->EditText = WindowText(from); }

void OnEditorCommand(GridViewState* v, WPARAM wp, LPARAM lp) {
    HWND from = reinterpret_cast<HWND>(lp);
    int code = HIWORD(wp);
    if (v->CurrentRow < 0) return;
    if (from == v->EditBox && code == EN_CHANGE && v->CurrentType == TextCell) {
        ReadEditorText(v, from);
    } else if (from == v->EditCombo && code == CBN_EDITCHANGE && v->CurrentType == ComboCell) {
        ReadEditorText(v, from);
    } else if ((from == v->EditCombo || from == v->ListCombo) && code == CBN_SELCHANGE) {
        int sel = static_cast<int>(SendMessageA(from, CB_GETCURSEL, 0, 0));
        if (sel < 0) return;
        int len = static_cast<int>(SendMessageA(from, CB_GETLBTEXTLEN, sel, 0));
        std::string item(static_cast<size_t>(std::max(len, 0)) + 1, '\0');
        SendMessageA(from, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(std::max(len, 0)));
        if (item != v->EditText) {
            v->EditText = item;
            if (from == v->ListCombo) StoreText(v, v->CurrentRow, v->CurrentColumn, item);
        }
        CellInfo ci = PresetCellInfo(v, v->CurrentRow, v->CurrentColumn - 1);
        ci.Text = v->EditText;
        SendGridEvent(v, ListChoice, ci);
    } else if (from == v->ListCombo && code == CBN_DROPDOWN) {
        g_comboListOpen = true;
    } else if (from == v->ListCombo && code == CBN_CLOSEUP) {
        g_comboListOpen = false;
    }
}

LRESULT EditorColours(GridViewState* v, HDC dc, HWND) {
    SharedResources& s = Shared();
    if (v->CurrentRow >= 0 && v->CurrentType == ListCell)
        return reinterpret_cast<LRESULT>(s.NullBrush);
    CellInfo ci = PresetCellInfo(v, v->CurrentRow, v->CurrentColumn - 1);
    if (v->CurrentRow >= 0) SendGridEvent(v, QueryCellFormat, ci);
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(ci.BackColour));
    if (brush) {
        if (s.EditorBrush) DeleteObject(s.EditorBrush);
        s.EditorBrush = brush;
    }
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, static_cast<COLORREF>(ci.TextColour));
    SetBkColor(dc, static_cast<COLORREF>(ci.BackColour));
    return reinterpret_cast<LRESULT>(s.EditorBrush ? s.EditorBrush : s.WhiteBrush);
}

// --- clipboard and blocks ---------------------------------------------------------------------

int CopyBlockText(GridViewState* v, int column, int row, int width, int height) {
    if (v->ColumnsChanged) RebuildColumnTables(v);
    int start = DisplayPosition(v, column);
    if (start < 0) return 0;
    gridgeo::Span cols = gridgeo::ClipSpan(start, width, v->ColumnTableCount);
    gridgeo::Span rows = gridgeo::ClipSpan(row, height, ListRowCount(v));
    if (cols.count == 0 || rows.count == 0) return 0;
    std::string text;
    for (int r = rows.first; r < rows.first + rows.count; ++r) {
        for (int p = cols.first; p < cols.first + cols.count; ++p) {
            int sub = ColumnAtDisplay(v, p) + 1;
            if (p > cols.first) text += '\t';
            text += IsCurrent(v, r, sub) ? v->EditText : StoredText(v, r, sub);
        }
        text += "\r\n";
    }
    // Nothing counts as copied unless the clipboard took it.
    return SetClipboardTextA(v->ListWindow, text) ? cols.count * rows.count : 0;
}

void ClearBlockCells(GridViewState* v, int column, int row, int width, int height) {
    if (v->ColumnsChanged) RebuildColumnTables(v);
    int start = DisplayPosition(v, column);
    if (start < 0) return;
    gridgeo::Span cols = gridgeo::ClipSpan(start, width, v->ColumnTableCount);
    gridgeo::Span rows = gridgeo::ClipSpan(row, height, ListRowCount(v));
    const int realRow = v->CurrentRow, realColumn = v->CurrentColumn;
    const std::string savedCommitted = v->CommittedText, savedEdit = v->EditText;
    for (int r = rows.first; r < rows.first + rows.count; ++r) {
        for (int p = cols.first; p < cols.first + cols.count; ++p) {
            int col = ColumnAtDisplay(v, p);
            CellInfo ci = PresetCellInfo(v, r, col);
            SendGridEvent(v, QueryCellType, ci);
            std::string cleared;
            switch (ci.CellType) {
                case TextCell:
                case ListCell:
                case ComboCell: cleared.clear(); break;
                case CheckCell: cleared = gridgeo::CheckOffText(ci.Text); break;
                case ProgressCell: cleared = "0"; break;
                default: continue;
            }
            bool isReal = realRow >= 0 && r == realRow && col + 1 == realColumn;
            bool isAnchor = realRow < 0 && v->BlockState == 2 && r == v->AnchorRow &&
                            col == v->AnchorColumn;
            if (isReal || isAnchor) {
                // Through the commit, so the application hears of it as of an edit.
                v->CurrentRow = r;
                v->CurrentColumn = col + 1;
                if (isAnchor) v->CommittedText = StoredText(v, r, col + 1);
                v->EditText = cleared;
                CommitEdit(v);
                if (isAnchor) {
                    v->CurrentRow = realRow;
                    v->CurrentColumn = realColumn;
                    v->CommittedText = savedCommitted;
                    v->EditText = savedEdit;
                }
            } else {
                StoreText(v, r, col + 1, cleared);
            }
        }
    }
    v->CurrentRow = realRow;
    v->CurrentColumn = realColumn;
    if (realRow >= 0) {
        if (v->CurrentType == TextCell)
            SetWindowTextA(v->EditBox, v->EditText.c_str());
        else if (v->CurrentType == ListCell)
            ShowComboValue(v, v->ListCombo, v->EditText);
        else if (v->CurrentType == ComboCell)
            ShowComboValue(v, v->EditCombo, v->EditText);
    }
    InvalidateRect(v->ListWindow, nullptr, FALSE);
}

int PasteClipboardText(GridViewState* v) {
    if (v->CurrentRow < 0) return 0;
    std::string text;
    if (!GetClipboardTextA(v->ListWindow, &text)) return 0;
    if (v->ColumnsChanged) RebuildColumnTables(v);
    const int realRow = v->CurrentRow, realColumn = v->CurrentColumn;
    const int startPos = DisplayPosition(v, realColumn - 1);
    if (startPos < 0) return 0;
    std::string realCommitted = v->CommittedText, realEdit = v->EditText;
    const int rowCount = ListRowCount(v);
    int pasted = 0;
    auto rows = gridgeo::ParseClipboardRows(text);
    for (size_t i = 0; i < rows.size(); ++i) {
        int r = realRow + static_cast<int>(i);
        if (r >= rowCount) break;
        for (size_t j = 0; j < rows[i].size(); ++j) {
            int p = startPos + static_cast<int>(j);
            if (p >= v->ColumnTableCount) break;
            int col = ColumnAtDisplay(v, p);
            CellInfo ci = PresetCellInfo(v, r, col);
            SendGridEvent(v, QueryCellType, ci);
            int t = ci.CellType;
            if (t != TextCell && t != ListCell && t != ComboCell && t != CheckCell &&
                t != ProgressCell)
                continue;
            bool isReal = r == realRow && col + 1 == realColumn;
            v->CurrentRow = r;
            v->CurrentColumn = col + 1;
            v->CommittedText = isReal ? realCommitted : StoredText(v, r, col + 1);
            v->EditText = rows[i][j];
            CommitEdit(v);
            if (isReal) {
                realCommitted = v->CommittedText;
                realEdit = v->EditText;
            }
            ++pasted;
        }
    }
    v->CurrentRow = realRow;
    v->CurrentColumn = realColumn;
    v->CommittedText = realCommitted;
    v->EditText = realEdit;
    if (v->CurrentType == TextCell) {
        SetWindowTextA(v->EditBox, v->EditText.c_str());
        v->EditText = realEdit;
        if (GetFocus() == v->EditBox) {
            int len = GetWindowTextLengthA(v->EditBox);
            SendMessageA(v->EditBox, EM_SETSEL, static_cast<WPARAM>(len), len);
        }
    }
    InvalidateRect(v->ListWindow, nullptr, FALSE);
    return pasted;
}

}  // namespace zandrel::gridimpl
