// The arithmetic behind the grid's keyboard and mouse handling.
#include <gtest/gtest.h>

#include <string>

#include "grid/GridGeometry.h"

using namespace zandrel::gridgeo;

TEST(GridInputGeometry, ExtentsAreSignedAndNeverZero) {
    EXPECT_EQ(ExtentTo(3, 3), 1);
    EXPECT_EQ(ExtentTo(3, 5), 3);
    EXPECT_EQ(ExtentTo(3, 2), -2);
    // Shrinking a one-cell block past its anchor jumps over 0 to -2, and back to 2.
    EXPECT_EQ(StepExtent(3, 1, -1, 10), -2);
    EXPECT_EQ(StepExtent(3, -1, 1, 10), 2);
    EXPECT_EQ(StepExtent(3, -2, 1, 10), 1);
    EXPECT_EQ(StepExtent(3, 2, -1, 10), 1);
    // A page step stops at the grid's edges.
    EXPECT_EQ(StepExtent(3, 1, 20, 10), 7);
    EXPECT_EQ(StepExtent(3, 1, -20, 10), -4);
    EXPECT_EQ(StepExtent(9, 1, 1, 10), 1);
}

TEST(GridInputGeometry, NextFilledSkipsEmptyCellsOrStopsAtTheEdge) {
    std::string cells = "x...y..";  // '.' is an empty cell
    auto empty = [&](int p) { return cells[static_cast<size_t>(p)] == '.'; };
    EXPECT_EQ(NextFilled(0, 1, 7, empty), 4);
    EXPECT_EQ(NextFilled(4, 1, 7, empty), 6);   // only empty cells further on: the last one
    EXPECT_EQ(NextFilled(4, -1, 7, empty), 0);
    EXPECT_EQ(NextFilled(2, -1, 7, empty), 0);
    EXPECT_EQ(NextFilled(3, 1, 7, empty), 4);   // the neighbour itself when it is filled
    EXPECT_EQ(NextFilled(6, 1, 7, empty), 6);
}

TEST(GridInputGeometry, TabWrapsRowsAndTheGrid) {
    EXPECT_EQ(TabTarget({1, 0}, 3, 2, false), (CellPos{2, 0}));
    EXPECT_EQ(TabTarget({2, 0}, 3, 2, false), (CellPos{0, 1}));
    EXPECT_EQ(TabTarget({2, 1}, 3, 2, false), (CellPos{0, 0}));
    EXPECT_EQ(TabTarget({0, 1}, 3, 2, true), (CellPos{2, 0}));
    EXPECT_EQ(TabTarget({0, 0}, 3, 2, true), (CellPos{2, 1}));
    EXPECT_EQ(TabTarget({0, 0}, 1, 1, false), (CellPos{0, 0}));
}

TEST(GridInputGeometry, TooltipTitleEndsAtBell) {
    TooltipText t = SplitTooltip("Title\x07" "Body text");
    EXPECT_TRUE(t.hasTitle);
    EXPECT_EQ(t.title, "Title");
    EXPECT_EQ(t.body, "Body text");
    t = SplitTooltip("Only a body");
    EXPECT_FALSE(t.hasTitle);
    EXPECT_EQ(t.body, "Only a body");
    t = SplitTooltip("a\x07" "b\x07" "c");
    EXPECT_EQ(t.title, "a");
    EXPECT_EQ(t.body, "b\x07" "c");
}

TEST(GridInputGeometry, ProgressAndCheckSteps) {
    EXPECT_EQ(ProgressStep("100", false), "100");
    EXPECT_EQ(ProgressStep("0", true), "0");
    EXPECT_EQ(ProgressStep("41", false), "42");
    EXPECT_EQ(ProgressStep("41", true), "40");
    EXPECT_EQ(ProgressStep("250", false), "100");
    EXPECT_EQ(ProgressStep("", false), "");
    EXPECT_EQ(ToggledCheck("1", "1/0"), "0");
    EXPECT_EQ(ToggledCheck("0", "1/0"), "1");
    EXPECT_EQ(ToggledCheck("", "Yes/No"), "Yes");
    EXPECT_EQ(ToggledCheck("Yes", "Yes"), "");
}

TEST(GridInputGeometry, PressAreasOfButtonsAndEllipsis) {
    EXPECT_EQ(ButtonPressArea(80, 20, 0, 0), (Rect{0, 0, 80, 20}));
    EXPECT_EQ(ButtonPressArea(80, 30, 40, 10), (Rect{20, 10, 60, 20}));
    EXPECT_EQ(ButtonPressArea(80, 20, 40, 16), (Rect{0, 0, 80, 20}));  // does not fit 5 inside
    EXPECT_EQ(EllipsisPressArea(80, 21), (Rect{65, 5, 77, 16}));
    EXPECT_EQ(EllipsisPressArea(17, 21), Rect{});
}

TEST(GridInputGeometry, ScrollAmounts) {
    EXPECT_EQ(HorizontalScrollPixels(ScrollRequest::LineBack), -50);
    EXPECT_EQ(HorizontalScrollPixels(ScrollRequest::PageForward), 200);
    EXPECT_EQ(VerticalScrollPixels(ScrollRequest::LineForward, 20, 12, 0), 20);
    EXPECT_EQ(VerticalScrollPixels(ScrollRequest::PageForward, 20, 12, 0), 240);
    EXPECT_EQ(VerticalScrollPixels(ScrollRequest::LineBack, 20, 12, 0), 0);
    EXPECT_EQ(VerticalScrollPixels(ScrollRequest::PageBack, 20, 12, 3), -240);
}

TEST(GridInputGeometry, DragNeedsSixPixels) {
    EXPECT_FALSE(DragStarted(100, 100, 105, 95));
    EXPECT_TRUE(DragStarted(100, 100, 106, 100));
    EXPECT_TRUE(DragStarted(100, 100, 100, 94));
}
