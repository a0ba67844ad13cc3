// The grid's drawing and layout arithmetic, kept free of Windows so it is tested natively.
// Rectangles are in cell coordinates (the cell's top-left corner at 0, 0) unless said otherwise;
// right and bottom are exclusive, as in GDI.
#pragma once
#include <cstdint>
#include <string>
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
