// The grid's drawing arithmetic, checked without a window.
#include <gtest/gtest.h>

#include "grid/GridGeometry.h"

using namespace zandrel;
using namespace zandrel::gridgeo;

TEST(GridGeometry, CheckBoxSizeFollowsRowHeightUpTo14) {
    EXPECT_EQ(CheckBoxSize(12), 11);
    EXPECT_EQ(CheckBoxSize(20), 14);
    EXPECT_EQ(CheckBoxSize(40), 14);
    // Centred: a 20 x 20 cell holds the box from 3 to 17 both ways.
    EXPECT_EQ(CheckBoxRect(20, 20), (Rect{3, 3, 17, 17}));
    Rect r = CheckBoxRect(81, 12);
    EXPECT_EQ(r.Width(), 10);  // width / 2 +- size / 2 with integer halves
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 12);
    EXPECT_TRUE(CheckBoxFits(20, 20));
    EXPECT_FALSE(CheckBoxFits(14, 20));  // box as wide as the cell: background only
}

TEST(GridGeometry, CheckTextsSplitAtTheFirstSlash) {
    EXPECT_EQ(CheckOnText("TRUE/FALSE"), "TRUE");
    EXPECT_EQ(CheckOffText("TRUE/FALSE"), "FALSE");
    EXPECT_EQ(CheckOffText("a/b/c"), "b/c");
    EXPECT_EQ(CheckOnText("yes"), "yes");
    EXPECT_EQ(CheckOffText("yes"), "");
}

TEST(GridGeometry, ProgressValueClampsAndMarksEmptyText) {
    bool zero = false;
    EXPECT_EQ(ProgressValue("150", &zero), 100);
    EXPECT_FALSE(zero);
    EXPECT_EQ(ProgressValue("-5", &zero), 0);
    EXPECT_EQ(ProgressValue("abc", &zero), 0);
    EXPECT_FALSE(zero);  // kept as it is
    EXPECT_EQ(ProgressValue("", &zero), 0);
    EXPECT_TRUE(zero);   // stored as "0"
    EXPECT_EQ(ProgressValue("$20", &zero), 32);  // the program's one number reader
    EXPECT_EQ(ProgressLabel(50), "50%");
}

TEST(GridGeometry, ProgressBarSpansTheFrameInteriorAtFullValue) {
    // 100 x 20 cell, label 10 high: gap 5, block 15.
    ProgressLayout p = LayoutProgress(100, 20, 10, 100);
    EXPECT_EQ(p.label, (Rect{0, 2, 100, 20}));
    EXPECT_EQ(p.frame, (Rect{5, 12, 95, 17}));
    // Without outline GDI fills up to right - 2: the bar ends where the frame's interior ends.
    EXPECT_EQ(p.bar, (Rect{6, 13, 95, 17}));
    EXPECT_EQ(LayoutProgress(100, 20, 10, 0).bar.right, 7);  // nothing filled
    EXPECT_EQ(LayoutProgress(100, 20, 10, 50).bar.right, 7 + 44);
    // A tall cell: the gap never exceeds 20.
    ProgressLayout tall = LayoutProgress(100, 200, 10, 0);
    EXPECT_EQ(tall.frame.top, (200 - 30) / 2 + 10);
    EXPECT_EQ(tall.frame.bottom, (200 + 30) / 2);
    EXPECT_TRUE(ProgressDrawn(29));
    EXPECT_FALSE(ProgressDrawn(28));
}

TEST(GridGeometry, TextRectangleInsetsByFocusWidthAndEdges) {
    EXPECT_EQ(CellTextRect(100, 20, 1, TextCell, 0), (Rect{5, 1, 95, 19}));
    EXPECT_EQ(CellTextRect(100, 20, 0, TextCell, 0), (Rect{4, 0, 96, 20}));  // FocusWidth 0: 4 px
    EXPECT_EQ(CellTextRect(100, 20, 1, ComboCell, 0), (Rect{5, 0, 95, 20}));
    EXPECT_EQ(CellTextRect(100, 20, 1, TextCell, BorderBottomThick).bottom, 17);
    EXPECT_EQ(CellTextRect(100, 20, 1, TextCell, BorderBottomDotted).bottom, 18);
    EXPECT_EQ(CellTextRect(100, 20, 1, EllipsisCell, 0).right, 75);
}

TEST(GridGeometry, CentringUsesAnOddOffsetAndFocusWidthAsMinimum) {
    // (1 + 19 - 13) / 2 - 1 = 2, made odd: 3.
    Rect r = CentreCellText(Rect{5, 1, 95, 19}, 13, 1, TextCell, false, true, false);
    EXPECT_EQ(r.top, 4);
    EXPECT_EQ(r.bottom, 19);
    // Text taller than the cell: negative offset, raised to FocusWidth.
    r = CentreCellText(Rect{5, 1, 95, 11}, 30, 1, TextCell, false, false, true);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.bottom, 10);  // last row
    // FocusWidth 0 with grid lines: at least 1.
    r = CentreCellText(Rect{4, 0, 96, 10}, 30, 0, TextCell, false, true, false);
    EXPECT_EQ(r.top, 1);
    // Combo cells may move up; a current ListCell keeps room for its button.
    r = CentreCellText(Rect{5, 0, 95, 10}, 30, 1, ListCell, true, true, false);
    EXPECT_LT(r.top, 0);
    EXPECT_EQ(r.right, 75);
}

TEST(GridGeometry, WrappingAndAlignmentDependOnTypeAndCurrentCell) {
    EXPECT_TRUE(CellTextWraps(WrapText, TextCell, false));
    EXPECT_FALSE(CellTextWraps(WrapText, TextCell, true));
    EXPECT_FALSE(CellTextWraps(WrapText, ComboCell, false));
    EXPECT_TRUE(CellTextWraps(WrapText, EllipsisCell, true));
    EXPECT_FALSE(CellTextWraps(0, ReadOnlyTextCell, false));
    EXPECT_EQ(CellTextAlignment(TextCell, false, 2), 2);
    EXPECT_EQ(CellTextAlignment(TextCell, true, 2), 0);
    EXPECT_EQ(CellTextAlignment(LinkCell, true, 1), 1);
    EXPECT_EQ(CellTextAlignment(ListCell, false, 2), 0);
}

TEST(GridGeometry, EllipsisGlyphOnlyOnTheCurrentCellWideEnough) {
    int x = 0, y = 0;
    EXPECT_FALSE(EllipsisGlyphOrigin(100, 20, false, false, &x, &y));
    EXPECT_FALSE(EllipsisGlyphOrigin(17, 20, true, false, &x, &y));
    ASSERT_TRUE(EllipsisGlyphOrigin(18, 20, true, false, &x, &y));
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 6);
    ASSERT_TRUE(EllipsisGlyphOrigin(100, 21, true, true, &x, &y));
    EXPECT_EQ(x, 86);
    EXPECT_EQ(y, 8);
}

TEST(GridGeometry, EllipsisGlyphPixels) {
    EXPECT_EQ(EllipsisGlyphPixel(3, 3), 0x00D8E9ECu);  // face
    EXPECT_EQ(EllipsisGlyphPixel(0, 4), 0x00FFFFFFu);  // white left edge
    EXPECT_EQ(EllipsisGlyphPixel(4, 0), 0x00FFFFFFu);
    EXPECT_EQ(EllipsisGlyphPixel(11, 4), 0u);          // black right and bottom edges
    EXPECT_EQ(EllipsisGlyphPixel(4, 11), 0u);
    for (int x : {2, 3, 5, 6, 8, 9}) {
        EXPECT_EQ(EllipsisGlyphPixel(x, 5), 0u) << x;
        EXPECT_EQ(EllipsisGlyphPixel(x, 6), 0u) << x;
    }
    EXPECT_EQ(EllipsisGlyphPixel(4, 5), 0x00D8E9ECu);
    EXPECT_EQ(EllipsisGlyphPixel(2, 7), 0x00D8E9ECu);
}

TEST(GridGeometry, PressedSuffixIsABackslashAndPlus) {
    EXPECT_TRUE(HasPressedSuffix("OK\\+"));
    EXPECT_FALSE(HasPressedSuffix("OK+"));
    EXPECT_FALSE(HasPressedSuffix("+"));
    EXPECT_EQ(WithoutPressedSuffix("OK\\+"), "OK");
    EXPECT_EQ(WithoutPressedSuffix("\\+"), "");
    EXPECT_EQ(WithoutPressedSuffix("OK"), "OK");
}

TEST(GridGeometry, ButtonRectangle) {
    EXPECT_EQ(ButtonRect(100, 30, 0, 0, false, false), (Rect{5, 5, 95, 25}));
    EXPECT_EQ(ButtonRect(100, 30, 0, 0, true, true), (Rect{5, 5, 94, 24}));
    EXPECT_EQ(ButtonRect(100, 30, 40, 16, false, false), (Rect{30, 7, 70, 23}));
    EXPECT_EQ(ButtonRect(100, 30, 40, 21, false, false), (Rect{5, 5, 95, 25}));  // no 5 px to spare
}

TEST(GridGeometry, EdgesTakeTheFirstKindThatApplies) {
    EXPECT_EQ(SideEdge(BorderLeftThick | BorderLeftSolid, Side::Left, true), EdgeKind::Thick);
    EXPECT_EQ(SideEdge(BorderLeftSolid | BorderLeftDotted, Side::Left, true), EdgeKind::Solid);
    EXPECT_EQ(SideEdge(BorderTopDotted, Side::Top, true), EdgeKind::Dotted);
    EXPECT_EQ(SideEdge(BorderTopDotted, Side::Left, true), EdgeKind::GridLine);
    EXPECT_EQ(SideEdge(BorderRightSolid, Side::Right, false), EdgeKind::Solid);
    EXPECT_EQ(SideEdge(BorderBottomThick, Side::Bottom, false), EdgeKind::Thick);
    EXPECT_EQ(SideEdge(0, Side::Bottom, false), EdgeKind::None);
    EXPECT_EQ(SideEdge(BorderNoGridLines, Side::Right, true), EdgeKind::None);
    EXPECT_EQ(BlockEdgeFlags(true, false, false, true), BorderLeftThick | BorderBottomThick);
}

TEST(GridGeometry, SignedSpansNeverMeanZeroCells) {
    EXPECT_TRUE(SpanContains(5, 1, 5));
    EXPECT_FALSE(SpanContains(5, 1, 6));
    EXPECT_TRUE(SpanContains(5, -1, 5));
    EXPECT_TRUE(SpanContains(5, -3, 3));
    EXPECT_FALSE(SpanContains(5, -3, 2));
    EXPECT_TRUE(SpanContains(5, 3, 7));
    EXPECT_EQ(SpanFirst(5, -3), 3);
    EXPECT_EQ(SpanLast(5, -3), 5);
    Span s = ClipSpan(1, -4, 10);  // cells -2..1, clipped to 0..1
    EXPECT_EQ(s.first, 0);
    EXPECT_EQ(s.count, 2);
    s = ClipSpan(8, 5, 10);
    EXPECT_EQ(s.first, 8);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(ClipSpan(12, 2, 10).count, 0);
    EXPECT_EQ(ClipSpan(3, 0, 10).count, 0);
}

TEST(GridGeometry, HeaderItemAndTextRectangles) {
    Rect item{10, 0, 110, 20};
    // Version 6, flat, last visible: bottom up 1, right stays.
    EXPECT_EQ(HeaderItemRect(item, 6, false, true, true), (Rect{10, 0, 110, 19}));
    // Older list view, push buttons, neither first nor last.
    EXPECT_EQ(HeaderItemRect(item, 5, false, false, false), (Rect{11, 0, 111, 20}));
    EXPECT_EQ(HeaderItemRect(item, 6, true, true, false), (Rect{10, 0, 111, 19}));
    EXPECT_EQ(HeaderTextRect(item, false, 0), (Rect{16, 0, 104, 20}));
    EXPECT_EQ(HeaderTextRect(item, true, 0), (Rect{17, -2, 104, 20}));
    EXPECT_EQ(HeaderTextRect(item, true, 1), (Rect{16, 2, 104, 20}));
    EXPECT_EQ(HeaderTextRect(item, true, 2), (Rect{16, 0, 104, 22}));
}

TEST(GridGeometry, BandLayoutHidesTheListWhenNoRoomIsLeft) {
    BandLayout b = LayoutBand(300, 50, 4, 16);
    EXPECT_FALSE(b.hideList);
    EXPECT_EQ(b.listLeft, 54);
    EXPECT_EQ(b.listWidth, 246);
    EXPECT_TRUE(LayoutBand(300, 284, 0, 16).hideList);
    EXPECT_FALSE(LayoutBand(300, 283, 0, 16).hideList);
}

TEST(GridGeometry, BandStyleKeepsWhatIsOutOfRange) {
    std::uint32_t f = RowGroupStart;
    f = WithBandStyle(f, 3, 7, 2, 4);
    EXPECT_EQ(BandImageA(f), 3);
    EXPECT_EQ(BandImageB(f), 7);
    EXPECT_EQ(BandPlacementC(f), 2);
    EXPECT_EQ(BandPlacementD(f), 4);
    EXPECT_TRUE(f & RowGroupStart);
    f = WithBandStyle(f, -1, 256, 5, -1);
    EXPECT_EQ(BandImageA(f), 3);
    EXPECT_EQ(BandImageB(f), 7);
    EXPECT_EQ(BandPlacementC(f), 2);
    EXPECT_EQ(BandPlacementD(f), 4);
    f = WithBandStyle(f, 0, 255, 0, 1);
    EXPECT_EQ(BandImageA(f), 0);
    EXPECT_EQ(BandImageB(f), 255);
    EXPECT_EQ(BandPlacementC(f), 0);
    EXPECT_EQ(BandPlacementD(f), 1);
    EXPECT_EQ(BandImageTop(0, 40, 0, 16), 12);
    EXPECT_EQ(BandImageTop(0, 40, 1, 16), 2);
    EXPECT_EQ(BandImageTop(0, 40, 2, 16), 22);
}

TEST(GridGeometry, ItemListsKeepEmptyPieces) {
    EXPECT_EQ(SplitItems("0\n1\n2"), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(SplitItems("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitItems("").empty());
    EXPECT_EQ(SplitItems("x\n"), (std::vector<std::string>{"x", ""}));
}

TEST(GridGeometry, ClipboardRowsAndCells) {
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(ParseClipboardRows("a\tb\r\nc\td\r\n"), (Rows{{"a", "b"}, {"c", "d"}}));
    EXPECT_EQ(ParseClipboardRows("a\tb\t\r\nc"), (Rows{{"a", "b"}, {"c"}}));  // trailing tab dropped
    EXPECT_EQ(ParseClipboardRows("a\rb"), (Rows{{"a"}, {"b"}}));
    EXPECT_EQ(ParseClipboardRows("a\r\n\r\nb"), (Rows{{"a"}, {""}, {"b"}}));
    EXPECT_EQ(ParseClipboardRows("x\ny"), (Rows{{"x\ny"}}));  // a lone line feed is cell text
    EXPECT_TRUE(ParseClipboardRows("").empty());
    EXPECT_EQ(ParseClipboardRows("\t\t"), (Rows{{"", ""}}));
}
