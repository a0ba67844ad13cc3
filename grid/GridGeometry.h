// The grid's drawing and layout arithmetic, kept free of Windows so it is tested natively.
// Rectangles are in cell coordinates (the cell's top-left corner at 0, 0) unless said otherwise;
// right and bottom are exclusive, as in GDI.
#pragma once
#include <cstdint>
#include <string>
#include <functional>
#include <string_view>
#include <vector>

#include "grid/GridTypes.h"

namespace zandrel::gridgeo {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// --- text-like cells --------------------------------------------------------------------------

bool IsTextLike(int cellType);

// The text rectangle before vertical centring: inset FocusWidth + 4 left and right, FocusWidth
// top and bottom (ListCell and ComboCell keep their height), less room for a bottom edge and for
// the ellipsis button.
Rect CellTextRect(int width, int height, int focusWidth, int cellType, int borderFlags);

// Whether text is drawn with word breaks (WrapText on, and a type that shows its text as a
// paragraph while not being edited).
bool CellTextWraps(int gridStyle, int cellType, bool isCurrent);

// The application's alignment is used only where no editor sits over the text.
int CellTextAlignment(int cellType, bool isCurrent, int textFormat);

// Moves the top down so that text of the measured height sits centred, on an odd offset so that
// text stays on the same pixel row as the editor's.
Rect CentreCellText(Rect r, int measuredHeight, int focusWidth, int cellType, bool isCurrent,
                    bool gridLines, bool lastRow);

// Where the "..." glyph goes, or false when it is not shown.
bool EllipsisGlyphOrigin(int width, int height, bool isCurrent, bool pressed, int* x, int* y);

// The 12 x 12 "..." glyph, pixel by pixel, as COLORREF (0x00BBGGRR).
constexpr int EllipsisGlyphSize = 12;
std::uint32_t EllipsisGlyphPixel(int x, int y);

// Button cells: "\+" at the end of the text means pressed.
bool HasPressedSuffix(std::string_view text);
std::string WithoutPressedSuffix(std::string_view text);

// --- check cells ------------------------------------------------------------------------------

int CheckBoxSize(int height);
Rect CheckBoxRect(int width, int height);
bool CheckBoxFits(int width, int height);
// "TRUE/FALSE": the part before the first "/" is the ticked text, the rest the unticked one.
std::string CheckOnText(std::string_view checkTexts);
std::string CheckOffText(std::string_view checkTexts);

// --- progress cells ---------------------------------------------------------------------------

bool ProgressDrawn(int width);
// The value shown for a cell text: its number clamped to 0..100. An empty text reads 0 and should
// be stored as "0" (storeZero).
int ProgressValue(std::string_view text, bool* storeZero);
std::string ProgressLabel(int value);
struct ProgressLayout {
    Rect label;  // centred label
    Rect frame;  // white, black outline
    Rect bar;    // filled without outline (GDI leaves the right and bottom pixel out)
};
ProgressLayout LayoutProgress(int width, int height, int labelHeight, int value);

// --- button cells -----------------------------------------------------------------------------

Rect ButtonRect(int width, int height, int imageWidth, int imageHeight, bool lastRow,
                bool lastColumn);

// --- edges ------------------------------------------------------------------------------------

enum class Side { Left, Top, Right, Bottom };
enum class EdgeKind { None, GridLine, Dotted, Solid, Thick };
EdgeKind SideEdge(int borderFlags, Side side, bool gridLines);
// Edge flags of the block's outline for a cell at the given block sides.
int BlockEdgeFlags(bool firstColumn, bool firstRow, bool lastColumn, bool lastRow);

// --- blocks -----------------------------------------------------------------------------------

// A signed extent from a start: 1 and -1 both mean the start alone, 3 the start and the two
// after it, -3 the start and the two before it.
bool SpanContains(int start, int extent, int pos);
int SpanFirst(int start, int extent);
int SpanLast(int start, int extent);
// The part of a signed span that lies inside 0..limit-1; count 0 when none.
struct Span {
    int first = 0, count = 0;
};
Span ClipSpan(int start, int extent, int limit);

// --- header items -----------------------------------------------------------------------------

Rect HeaderItemRect(Rect item, int commonControlsVersion, bool firstVisible, bool lastVisible,
                    bool flatHeader);
Rect HeaderTextRect(Rect item, bool pressed, int param);

// --- row-header band --------------------------------------------------------------------------

struct BandLayout {
    bool hideList = false;
    int listLeft = 0, listWidth = 0;
};
BandLayout LayoutBand(int clientWidth, int bandWidth, int gap, int scrollBarWidth);

// Band values kept in a row's flags.
int BandImageA(std::uint32_t flags);
int BandImageB(std::uint32_t flags);
int BandPlacementC(std::uint32_t flags);
int BandPlacementD(std::uint32_t flags);
// A and B: -1 or anything outside 0..255 keeps; C and D: only 0..4 are taken.
std::uint32_t WithBandStyle(std::uint32_t flags, int a, int b, int c, int d);
// Top of an image of the given size in a band cell for a placement 0 to 4: centred, top, bottom,
// upper quarter, lower quarter.
int BandImageTop(int cellTop, int cellBottom, int placement, int imageSize);

// --- texts ------------------------------------------------------------------------------------

// List items of ListCell and ComboCell: pieces between line feeds, empty pieces included; an
// empty text gives no items.
std::vector<std::string> SplitItems(std::string_view text);

// Clipboard text: rows end at "\r" (a following "\n" is skipped), cells are separated by tabs,
// a trailing tab on a row is dropped, and the end of the text does not start another row.
std::vector<std::vector<std::string>> ParseClipboardRows(std::string_view text);

}  // namespace zandrel::gridgeo

// --- input ------------------------------------------------------------------------------------

namespace zandrel::gridgeo {

// The signed extent from start to end (both included): never 0.
int ExtentTo(int start, int end);
// A block edge moved by delta positions, kept inside 0..limit-1; returns the new signed extent.
int StepExtent(int start, int extent, int delta, int limit);

// Ctrl+arrow: the first position after `from` in direction (+1 or -1) whose cell is not empty,
// or the edge (0 or count-1) when there is none.
int NextFilled(int from, int direction, int count, const std::function<bool(int)>& isEmpty);

// Tab (backwards false) and Shift+Tab: the next display position and row, wrapping to the next
// (previous) row and from the last row to row 0 (row 0 to the last row).
struct CellPos {
    int position = 0, row = 0;
    bool operator==(const CellPos&) const = default;
};
CellPos TabTarget(CellPos from, int columns, int rows, bool backwards);

// A tooltip text: the part before the character with code 7 is the title, the rest the body.
struct TooltipText {
    bool hasTitle = false;
    std::string title, body;
};
TooltipText SplitTooltip(std::string_view text);

// Space on a progress cell: one up (one down with Ctrl) inside 0..100. An empty text stays.
std::string ProgressStep(std::string_view text, bool down);

// A check cell's text after a toggle: the ticked text when it showed anything else.
std::string ToggledCheck(std::string_view stored, std::string_view checkTexts);

// The pressable part of a ButtonCell (cell coordinates): the whole cell, or an image-sized part
// around its centre when that fits 5 pixels inside.
Rect ButtonPressArea(int width, int height, int imageWidth, int imageHeight);
// The "..." glyph of a current EllipsisCell; empty when the cell is narrower than 18 pixels.
Rect EllipsisPressArea(int width, int height);

// Pixels of a scroll request. Horizontal: line 50, page 200. Vertical: whole rows.
enum class ScrollRequest { LineBack, LineForward, PageBack, PageForward };
int HorizontalScrollPixels(ScrollRequest r);
// 0 when scrolling back from the first row.
int VerticalScrollPixels(ScrollRequest r, int rowHeight, int rowsPerPage, int topIndex);

// Drag selection: moved far enough from where the button went down to start selecting.
bool DragStarted(int downX, int downY, int x, int y);

}  // namespace zandrel::gridgeo
