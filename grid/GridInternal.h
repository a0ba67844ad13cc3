// The grid's own records and the functions its source files share. Not for the application.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "grid/Grid.h"
#include "grid/GridGdi.h"

namespace zandrel::gridimpl {

class GridObject;

// Window property names: the object on container, list and header; the view state on the list;
// the parent's previous window procedure.
inline constexpr const char* ObjectProp = "ZandrelGridObject";
inline constexpr const char* ViewProp = "ZandrelGridView";
inline constexpr const char* ParentProcProp = "ZandrelGridParentProc";

// Window properties with a process-local copy: under Wine every property lookup is a round trip
// to the server, and the grid's window procedures look theirs up on every message. The real
// property is kept as well. `name` is one of the constants above.
void SetWindowProp(HWND w, const char* name, void* value);
void* WindowProp(HWND w, const char* name);
void RemoveWindowProp(HWND w, const char* name);

// Posted to the list when a column was added, so ColumnChanged arrives after the operation.
inline constexpr UINT MsgColumnAdded = WM_USER + 1;
// The drag selection's 1-millisecond timer on the list.
inline constexpr UINT_PTR DragTimerId = 0x5A47;

// One row as the grid keeps it. The list view is virtual (owner data): it knows only how many
// rows there are, so emptying or destroying it costs nothing per row.
struct GridRow {
    RowData* Data = nullptr;          // owned; freed when the row goes
    std::vector<std::string> Texts;   // by list sub-item (0 the label); missing ones are empty
};

// One per list view.
struct GridViewState {
    std::int32_t ListId = 0;
    HWND ListWindow = nullptr;
    std::int32_t CurrentRow = -1;
    std::int32_t CurrentColumn = 0;  // list sub-item, 0 none
    std::int32_t CurrentType = 0;
    std::int32_t CurrentFormat = 0;
    std::int32_t Style = 0;
    std::int32_t CellHeight = 0;
    std::int32_t PressedRow = -1, PressedColumn = -1;
    std::int32_t* ColumnAtPosition = nullptr;  // display position -> grid column
    std::int32_t* PositionOfColumn = nullptr;  // grid column -> display position
    std::int32_t HeaderLineColour = 0x808080;
    std::int32_t FocusColour = 0;
    std::int32_t FocusWidth = 1;
    std::int32_t BlockColour = 0xF1DBCE;
    std::int32_t GridLineColour = 0;
    std::int32_t EmptyAreaColour = -1;
    HWND EditBox = nullptr, ListCombo = nullptr, EditCombo = nullptr, EditComboField = nullptr;
    HWND HeaderWindow = nullptr;
    std::int32_t HeaderHeight = 20;
    GridEventHandler EventHandler = nullptr;
    HWND TooltipWindow = nullptr;
    std::int32_t TooltipRow = -2, TooltipColumn = 0;
    HFONT EditFont = nullptr;
    std::string CommittedText;
    std::string EditText;
    std::int32_t HotRow = -1, HotColumn = 0;  // hover link cell; HotColumn is a list sub-item
    std::int32_t BlockColumn = -1, BlockRow = 0, BlockWidth = 0, BlockHeight = 0;
    std::int32_t AnchorRow = 0, AnchorColumn = 0;  // grid column, like BlockColumn
    std::uint8_t BlockState = 0;
    std::int32_t DragX = 0, DragY = 0;
    std::int32_t CellBorders = 0;
    std::uint8_t SelectionMode = 0;
    std::uint8_t InBlock = 0;
    std::uint8_t ColumnsChanged = 0;
    std::uint8_t LastHeaderColumn = 0;
    HDC PaintDC = nullptr;

    // Kept beside the fields above:
    GridControl* Owner = nullptr;      // the grid the list belongs to
    HIMAGELIST RowHeightImages = nullptr;  // fixes the row height; see CreateGridView
    WNDPROC ListProc = nullptr;        // the list view's own procedure
    WNDPROC HeaderProc = nullptr;      // the header control's own procedure
    int ColumnTableCount = 0;          // valid entries of the two column tables
    WNDPROC EditBoxProc = nullptr;     // the editors' own procedures, behind the grid's
    WNDPROC EditFieldProc = nullptr;
    WNDPROC ListComboProc = nullptr;
    std::int32_t MovedColumn = -1;     // header item being dragged to a new position
    bool PinningColumns = false;       // guards the pinned-position repair against re-entry
    // The list-column count as last asked of the header, -1 when unknown. Every cell operation
    // checks its cell against it; the messages that change it reset it (see CallListProc).
    mutable int KnownListColumns = -1;
    // The rows, in list order; the list's item count follows their number.
    std::vector<GridRow> Rows;
    // As the list itself: no invalidation while its redraw is off (WM_SETREDRAW) or while it
    // paints.
    bool Redrawing = true;
    int Painting = 0;
    // While all rows go at once: the list is asked to spare its notification.
    bool DeletingAllRows = false;
};

// Resources shared by every grid of the program, made when the first grid is created.
struct SharedResources {
    bool made = false;
    HBRUSH ButtonFaceBrush = nullptr;
    HBRUSH WhiteBrush = nullptr;
    HBRUSH NullBrush = nullptr;
    int ScrollBarWidth = 0;
    HBITMAP EllipsisGlyph = nullptr;
    HFONT ProgressFont = nullptr;
    int CommonControlsVersion = 5;
    HBRUSH EditorBrush = nullptr;  // the editors' background, replaced as colours are asked
};
SharedResources& Shared();
void MakeSharedResources();  // idempotent
HBITMAP MakeEllipsisGlyph();
bool AddBuiltInIcons(HIMAGELIST images);

// --- the view (GridView.cpp) ------------------------------------------------------------------

GridViewState* CreateGridView(HWND parent, int listId, int x, int y, int width, int height,
                              int rowHeight, int style, DWORD extraListStyle);
GridViewState* ViewOf(HWND list);

// Hands a message to the list view's own procedure. The item messages (rows, texts, row data,
// sorting) are answered from the grid's rows as a list view that held them would; column
// changes move the texts along and keep the known column count right.
LRESULT CallListProc(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp);
// Answers the list's request for an item's text (LVN_GETDISPINFOA or W) from the rows.
void AnswerDisplayInfo(const GridViewState* v, NMHDR* hdr);
// Adds a row at `position` (clamped to the end) owning `data`; returns its index or -1.
int InsertRow(GridViewState* v, int position, RowData* data, const std::string& label);
// A message to the header that may change the number of columns forgets the known one.
void NoteHeaderChange(const GridViewState* v, UINT msg);
int ListColumnCount(const GridViewState* v);  // including the hidden column
int GridColumnCount(const GridViewState* v);
int ListRowCount(const GridViewState* v);
bool ValidCell(const GridViewState* v, int column, int row);
std::string StoredText(const GridViewState* v, int row, int subItem);
void StoreText(GridViewState* v, int row, int subItem, const std::string& text);
RECT SubItemRect(const GridViewState* v, int row, int subItem);
RowData* RowDataOf(const GridViewState* v, int row);
void RebuildColumnTables(GridViewState* v);
int DisplayPosition(const GridViewState* v, int column);  // -1 when unknown
int ColumnAtDisplay(const GridViewState* v, int position);
int FirstVisibleColumn(const GridViewState* v);
int LastVisibleColumn(const GridViewState* v);
void ApplyHeaderHeight(GridViewState* v);  // hide and show so the list lays out again
void RedrawGrid(GridViewState* v);         // invalidate, erase, internal paint
int ScrollIntoView(GridViewState* v, int row, int subItem);  // 1 when it scrolled

// Notifications (GridView.cpp).
CellInfo PresetCellInfo(const GridViewState* v, int row, int column);
int SendGridEvent(GridViewState* v, int code, CellInfo& info);
bool CellInBlock(const GridViewState* v, int column, int row);
void RemoveBlock(GridViewState* v);

// --- editing (GridEdit.cpp) -------------------------------------------------------------------

void CreateEditors(GridViewState* v);
void EnterCell(GridViewState* v, int row, int subItem, bool scroll);
void PlaceEditor(GridViewState* v, const RECT* given);
void ParkEditors(GridViewState* v);
void FocusEditor(GridViewState* v);
void CommitEdit(GridViewState* v);
void LeaveCell(GridViewState* v);
void DropCurrentCell(GridViewState* v, int reason);
// Ends the current cell for an operation: with dropEdit its open edit is thrown away unreported.
void CloseEditor(GridViewState* v, bool dropEdit);
void ReadEditorText(GridViewState* v, HWND from);
void ShowComboValue(GridViewState* v, HWND combo, const std::string& value);
void OnEditorCommand(GridViewState* v, WPARAM wp, LPARAM lp);
LRESULT EditorColours(GridViewState* v, HDC dc, HWND editor);
int CopyBlockText(GridViewState* v, int column, int row, int width, int height);
// The current cell's editor shows EditText, the text the cell holds.
void ShowEditorText(GridViewState* v);
void ClearBlockCells(GridViewState* v, int column, int row, int width, int height);
int PasteClipboardText(GridViewState* v);
bool IsCommitRunning();
bool IsComboListOpen();
void CancelEdit(GridViewState* v);
// Stores EditText in the cell without a notification, before the editor is parked for a scroll
// or a size change.
void StorePendingText(GridViewState* v);

// --- input (GridInput.cpp) --------------------------------------------------------------------

void SubclassEditors(GridViewState* v);
// Mouse, keyboard, focus and scrolling on ListWindow; true when the message was handled.
bool ListInput(GridViewState* v, HWND list, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
bool HeaderInput(GridViewState* v, HWND header, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
// Header notifications that begin a divider or column drag; true when the answer is given.
bool HeaderDragNotify(GridViewState* v, NMHEADERA* nm, LRESULT* result);
void StopDrag(GridViewState* v);

// --- painting (GridPaint.cpp) -----------------------------------------------------------------

LRESULT OnListCustomDraw(GridViewState* v, NMLVCUSTOMDRAW* cd);
LRESULT OnHeaderCustomDraw(GridViewState* v, NMCUSTOMDRAW* cd);
void PaintCell(GridViewState* v, HDC target, int row, int subItem);
void PaintListEmptyArea(GridViewState* v);
void PaintHeaderEmptyArea(GridViewState* v, HDC dc);
void DrawComboItem(GridViewState* v, const DRAWITEMSTRUCT* di);
COLORREF EmptyAreaColourOf(const GridViewState* v);
void FillSolid(HDC dc, const RECT& r, COLORREF colour);
void FillGradient(HDC dc, const RECT& r, COLORREF from, COLORREF to, bool vertical);

// --- the object (GridControl.cpp) -------------------------------------------------------------

void InvalidateBand(GridControl* grid);
void InvalidateBandRow(GridControl* grid, int row);

// Test hooks: live RowData blocks, to check that rows never leak.
long LiveRowDataCount();
RowData* NewRowData();
void DeleteRowData(RowData* d);

}  // namespace zandrel::gridimpl
