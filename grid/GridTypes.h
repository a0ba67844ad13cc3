// Numbers shared by the grid and its users: cell types, notification codes, style and creation
// flags, edge flags. No <windows.h> here, so portable code and tests can use them too.
#pragma once
#include <cstdint>

namespace zandrel {

// Cell types, answered by the application in QueryCellType.
enum GridCellType : std::int32_t {
    TextCell = 0,
    ReadOnlyTextCell = 1,
    LinkCell = 2,
    ListCell = 3,
    ComboCell = 4,
    CheckCell = 5,
    ReadOnlyCheckCell = 6,
    BitmapCell = 7,
    IconCell = 8,
    ProgressCell = 9,
    ReadOnlyProgressCell = 10,
    ButtonCell = 11,
    CustomCell = 12,
    EllipsisCell = 13,
};

// Notification codes passed to the event handler.
enum GridEventCode : std::int32_t {
    CharTyped = 0,
    TextDeleting = 1,
    CellChanged = 2,
    CellSelecting = 3,
    ColumnResizing = 4,
    QueryCellType = 5,
    QueryCellFormat = 6,
    HeaderClicked = 7,
    RightButtonUp = 8,
    CellLeft = 9,
    ListChoice = 10,
    ButtonClicked = 11,
    ColumnChanged = 12,
    ClipboardRequest = 13,
    LeftButtonDown = 14,
    LeftButtonUp = 15,
    LeftDoubleClick = 16,
    RightButtonDown = 17,
    DeleteRequest = 18,
    DrawCustomCell = 19,
    TooltipQuery = 20,
    // A press on one of the two images of a row-header band cell; the record is a
    // RowHeaderCellInfo whose Image says which (1 or 2).
    RowHeaderImageClicked = 21,
};

// Reasons given in CellSelecting's Param.
enum GridSelectReason : std::int32_t {
    SelectByMouse = 0,
    SelectByTab = 1,
    SelectByShiftTab = 2,
    SelectByLeft = 3,
    SelectByRight = 4,
    SelectByUp = 5,
    SelectByDown = 6,
    SelectByPageDown = 7,
    SelectByPageUp = 8,
    SelectByHome = 9,
    SelectByEnd = 10,
    SelectByEscape = 11,
};

// GridStyle flags (bits 0 to 13 of the creation flags).
enum GridStyleFlag : std::int32_t {
    ResizableColumns = 0x1,
    FlatHeader = 0x4,
    WrapText = 0x10,
    GridLines = 0x40,
    GridStyleAlwaysSet = 0x80,
    NoInnerGridLines = 0x100,
    FixedFirstColumn = 0x200,
    Tooltips = 0x400,
    ScrollOnThumbRelease = 0x800,
};

// Creation flags of NewGrid beyond the style bits.
enum GridCreateFlag : std::int32_t {
    GridStyleMask = 0x3FFF,
    BandImagesIgnoreClicks = 0x1000,
    BuiltInIcons = 0x2000,
    NoColumnHeader = 0x4000,     // list view without a header row
    NoSortHeader = 0x8000,       // header items do not behave as buttons
    KeepCellOnFocusLoss = 0x10000,  // the current cell survives focus loss
    BorderLine = 0x20000,
    BorderDialogFrame = 0x40000,
    BorderStaticEdge = 0x80000,
    BorderClientEdge = 0x100000,
};

// BorderFlags of a cell: its own edges, and whether grid lines are drawn for it.
enum GridBorderFlag : std::int32_t {
    BorderLeftSolid = 0x1,
    BorderLeftDotted = 0x2,
    BorderLeftThick = 0x4,
    BorderTopSolid = 0x10,
    BorderTopDotted = 0x20,
    BorderTopThick = 0x40,
    BorderRightSolid = 0x100,
    BorderRightDotted = 0x200,
    BorderRightThick = 0x400,
    BorderBottomSolid = 0x1000,
    BorderBottomDotted = 0x2000,
    BorderBottomThick = 0x4000,
    BorderNoGridLines = 0x10000,
};

// Attributes of SetAttribute.
enum GridAttribute : std::int32_t {
    AttrHeaderLineColour = 1,
    AttrFocusColour = 2,
    AttrFocusWidth = 3,
    AttrBlockColour = 4,
    AttrGridLineColour = 5,
    AttrEmptyAreaColour = 6,
    AttrSelectionMode = 7,
    AttrRowHeaderColour = 8,
};

// RowData Flags layout.
constexpr std::uint32_t RowGroupStart = 0x80000000u;

constexpr int GridMaxColumns = 1000;

}  // namespace zandrel
