// The grid control: an editable grid of text cells built on a report-style list view. The
// application holds one GridControl per grid, calls its operations, and learns what happens (and
// answers how cells look) through one event handler.
//
// Cells are addressed by grid column (0-based, creation order, independent of the order on
// screen) and row (0-based). Column -1 is the row's label, row -1 the header row.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "grid/GridTypes.h"

namespace zandrel {

class GridControl;

// The record of one notification; it lives on the grid's stack for the duration of the call.
// Colours are COLORREF values, -1 meaning none.
struct CellInfo {
    std::int32_t Row = 0;
    std::int32_t Column = 0;
    std::int32_t CellType = TextCell;
    HFONT Font = nullptr;
    std::int32_t BackColour = 0xFFFFFF;
    std::int32_t TextColour = 0;
    std::int32_t TextFormat = 0;  // DT_LEFT 0, DT_CENTER 1, DT_RIGHT 2
    std::int32_t MaskColour = 0xFFFFFF;
    std::string Text;             // owned by the grid; the handler may replace it
    std::intptr_t Param = 0;      // reason, key state, character, image or icon handle...
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    std::int32_t BorderColour = 0;
    std::int32_t BorderFlags = 0;
    std::int32_t GradientStart = -1;
    std::int32_t GradientEnd = -1;
    std::int32_t Link = 0;
    std::int32_t HotTextColour = -1;
};

// RowHeaderImageClicked carries which of the band cell's two images was hit.
struct RowHeaderCellInfo : CellInfo {
    std::int32_t Image = 0;  // 1 or 2
};

// Returns the answer to the notification: 1 accepts.
using GridEventHandler = std::int32_t (*)(GridControl* grid, std::int32_t code, CellInfo* info);

// A row's own data, attached to its list item.
struct RowData {
    std::int32_t Value = 0;
    std::uint32_t Flags = 0;  // band images (bits 0-7, 8-15), placements (16-19, 20-23), GroupStart (31)
};

// The grid object. Its virtual functions are its table of operations, in table order; the
// object is released by Free, never by delete.
class GridControl {
public:
    virtual void AddColumn(int column, const std::string& title, int width) = 0;            // 0
    virtual int AddRow(int position, const std::string& label, int groupStart) = 0;         // 1
    virtual int SetImage(int index, HICON icon) = 0;                                        // 2
    virtual void SetRedraw(int enable, int update) = 0;                                     // 3
    virtual void ClearRows() = 0;                                                           // 4
    virtual int CopyBlock(int column, int row, int width, int height) = 0;                  // 5
    virtual void SetEventHandler(GridEventHandler handler) = 0;                             // 6
    virtual void ClearBlock(int column, int row, int width, int height) = 0;                // 7
    virtual void Free() = 0;                                                                // 8
    virtual void EraseBlock(int column, int row, int width, int height) = 0;                // 9
    virtual void GetBlock(std::int32_t* destination) = 0;  // four values                   // 10
    virtual std::string GetCellText(int column, int row) = 0;                               // 11
    virtual void GetColumnOrder(std::int32_t* destination) = 0;  // ColumnCount values      // 12
    virtual int GetHeight() = 0;                                                            // 13
    virtual HWND GetWindow() = 0;                                                           // 14
    virtual int ColumnCount() = 0;                                                          // 15
    virtual int RowCount() = 0;                                                             // 16
    virtual int GetRowValue(int row) = 0;                                                   // 17
    virtual int GetRowFlags(int row) = 0;                                                   // 18
    virtual int GetCurrentColumn() = 0;                                                     // 19
    virtual int GetCurrentRow() = 0;                                                        // 20
    virtual std::intptr_t GetUserData() = 0;                                                // 21
    virtual int GetWidth() = 0;                                                             // 22
    virtual int GetX() = 0;                                                                 // 23
    virtual int GetY() = 0;                                                                 // 24
    virtual int IsCellModified() = 0;                                                       // 25
    virtual void EndEdit() = 0;                                                             // 26
    virtual void Hide(int state) = 0;                                                       // 27
    virtual void RedrawCell(int column, int row, int update) = 0;                           // 28
    virtual void ShowCell(int column, int row) = 0;                                         // 29
    virtual int PasteClipboard() = 0;                                                       // 30
    virtual void RemoveColumn(int column) = 0;                                              // 31
    virtual void RemoveRow(int row) = 0;                                                    // 32
    virtual void Resize(int x, int y, int width, int height) = 0;                           // 33
    virtual void SetCurrentCell(int column, int row, int focusEditor, int scroll) = 0;      // 34
    virtual void SetBlock(int column, int row, int width, int height) = 0;                  // 35
    virtual void SetCellText(int column, int row, const std::string& text) = 0;             // 36
    virtual void SetHeaderHeight(int height) = 0;                                           // 37
    virtual void SetColumnOrder(const std::int32_t* order) = 0;  // ColumnCount values      // 38
    virtual void SetFont(HFONT font) = 0;                                                   // 39
    virtual void SetHeaderFont(HFONT font) = 0;                                             // 40
    virtual void SetAttribute(int attribute, int value) = 0;                                // 41
    virtual void SetRowValue(int row, int value) = 0;                                       // 42
    virtual void SetRowHeaderWidth(int width, int gap) = 0;                                 // 43
    virtual void SetRowHeaderInsets(int left, int right) = 0;                               // 44
    virtual void SetRowHeaderStyle(int row, int a, int b, int c, int d, int redraw) = 0;    // 45
    virtual void SetUserData(std::intptr_t value) = 0;                                      // 46

protected:
    GridControl() = default;
    ~GridControl() = default;
};

// The window whose controls are being built: NewGrid creates its container inside it.
void SetGridParent(HWND parent);

// Creates a grid at (x, y) of the given size whose rows are rowHeight pixels high. flags: the
// GridStyle bits (mask 0x3FFF) and the creation flags of GridCreateFlag. Returns null on failure.
GridControl* NewGrid(int x, int y, int width, int height, int rowHeight, int flags);
GridControl* NewGrid(HWND parent, int x, int y, int width, int height, int rowHeight, int flags);

// The grid that owns a container, list or header window, or null.
GridControl* GridFromWindow(HWND window);

}  // namespace zandrel
