// Pixels read back from grids after they painted.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridGeometry.h"
#include "grid/GridInternal.h"

using namespace zandrel;
using namespace gridtest;

namespace {

constexpr int W = 80, H = 24;  // cell size of the grids below
constexpr COLORREF Odd = RGB(244, 243, 222), Even = RGB(193, 234, 224);

// The answers every grid here gets, plus what a test adds.
std::function<void(int, CellInfo&)> g_extra;
int Answer(int code, CellInfo& ci) {
    if (code == QueryCellFormat && ci.Row >= 0 && ci.Column >= 0)
        ci.BackColour = static_cast<std::int32_t>(ci.Row % 2 ? Odd : Even);
    if (g_extra) g_extra(code, ci);
    return 1;
}

struct PaintGrid : TestGrid {
    explicit PaintGrid(int flags = 0x45, int rows = 4) : TestGrid(4, rows, H, flags, W) {
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 4; ++c) g->SetCellText(c, r, "");
        TheRecorder().answer = Answer;
        g->SetEventHandler(RecordingHandler);
        PaintNow(g);
    }
    ~PaintGrid() { g_extra = nullptr; }
};

bool Near(COLORREF a, COLORREF b, int tolerance = 8) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// Waits until a cell pixel has the colour, so a test never depends on timing.
bool CellPixelBecomes(GridControl* g, int column, int row, int dx, int dy, COLORREF want) {
    return PumpUntil([&] { return CellPixel(g, column, row, dx, dy) == want; }, 5000);
}

int DarkPixels(GridControl* g, int column, int row, RECT area) {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            COLORREF c = CellPixel(g, column, row, x, y);
            n += GetRValue(c) + GetGValue(c) + GetBValue(c) < 200;
        }
    return n;
}

}  // namespace

TEST(GridPaint, RowColoursAndTextColourComeFromTheHandler) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellFormat && ci.Column == 0) ci.TextColour = RGB(210, 5, 0);
    };
    t->SetCellText(0, 1, "WWWW");
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 1, 0, W / 2, H / 2, Even));
    EXPECT_EQ(CellPixel(t.g, 1, 1, W / 2, H / 2), Odd);
    EXPECT_EQ(CellPixel(t.g, 2, 2, W / 2, H / 2), Even);
    int red = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) red += Near(CellPixel(t.g, 0, 1, x, y), RGB(210, 5, 0), 40);
    EXPECT_GT(red, 10);
    // Text starts after FocusWidth + 4 pixels (row 0 of the cell is its grid line).
    for (int y = 1; y < H; ++y)
        for (int x = 1; x < 5; ++x) EXPECT_EQ(CellPixel(t.g, 0, 1, x, y), Odd) << x << "," << y;
}

TEST(GridPaint, CheckBoxesShowTheirTick) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 0) {
            ci.CellType = CheckCell;
            ci.Text = "TRUE/FALSE";
        }
    };
    t->SetCellText(0, 0, "TRUE");
    t->SetCellText(0, 1, "FALSE");
    t->SetCellText(0, 2, "true");
    PaintNow(t.g);
    gridgeo::Rect box = gridgeo::CheckBoxRect(W, H);
    RECT inner{box.left + 3, box.top + 3, box.right - 3, box.bottom - 3};
    ASSERT_TRUE(PumpUntil([&] { return DarkPixels(t.g, 0, 0, inner) > 4; }, 5000));
    EXPECT_EQ(DarkPixels(t.g, 0, 1, inner), 0);
    EXPECT_EQ(DarkPixels(t.g, 0, 2, inner), 0);  // only the exact first text ticks
    EXPECT_EQ(CellPixel(t.g, 0, 1, W / 2, H / 2), RGB(255, 255, 255));  // the box's face
    EXPECT_EQ(CellPixel(t.g, 0, 1, 3, H / 2), Odd);                       // beside the box
}

TEST(GridPaint, ProgressBarsAtZeroHalfAndFull) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 1) ci.CellType = ProgressCell;
    };
    t->SetCellText(1, 0, "0");
    t->SetCellText(1, 1, "50");
    t->SetCellText(1, 2, "100");
    t->SetCellText(1, 3, "");
    PaintNow(t.g);
    ASSERT_TRUE(PumpUntil([&] { return t->GetCellText(1, 3) == "0"; }, 5000));  // stored as "0"
    // Find the bar's frame by its black left outline at x = 5.
    int top = -1, bottom = -1;
    for (int y = 0; y < H; ++y)
        if (CellPixel(t.g, 1, 1, 5, y) == 0) {
            if (top < 0) top = y;
            bottom = y;
        }
    ASSERT_GE(top, 0);
    ASSERT_GT(bottom, top + 1);
    int y = (top + bottom + 1) / 2;
    EXPECT_EQ(CellPixel(t.g, 1, 1, W - 6, y), 0);  // right outline
    // 0: white inside; 50: filled to 7 + 68 / 2 - 2; 100: filled to the outline.
    EXPECT_EQ(CellPixel(t.g, 1, 0, 6, y), RGB(255, 255, 255));
    EXPECT_EQ(CellPixel(t.g, 1, 0, W - 7, y), RGB(255, 255, 255));
    EXPECT_EQ(CellPixel(t.g, 1, 1, 6, y), 0);
    EXPECT_EQ(CellPixel(t.g, 1, 1, 39, y), 0);
    EXPECT_EQ(CellPixel(t.g, 1, 1, 41, y), RGB(255, 255, 255));
    EXPECT_EQ(CellPixel(t.g, 1, 2, W - 7, y), 0);
    EXPECT_EQ(CellPixel(t.g, 1, 3, 20, y), RGB(255, 255, 255));
    EXPECT_EQ(CellPixel(t.g, 1, 1, 2, y), Odd);  // left of the frame: the cell's background
}

TEST(GridPaint, CurrentCellFrameFollowsFocusWidth) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 2) ci.CellType = ReadOnlyTextCell;
    };
    t->SetAttribute(AttrFocusColour, RGB(255, 0, 0));
    t->SetAttribute(AttrGridLineColour, RGB(0, 0, 255));
    t->SetCurrentCell(2, 1, 0, 0);
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 2, 1, 0, H / 2, RGB(255, 0, 0)));
    EXPECT_EQ(CellPixel(t.g, 2, 1, W / 2, 0), RGB(255, 0, 0));
    EXPECT_EQ(CellPixel(t.g, 2, 1, W - 1, H / 2), RGB(255, 0, 0));
    EXPECT_EQ(CellPixel(t.g, 2, 1, 1, H / 2), Odd);
    EXPECT_EQ(CellPixel(t.g, 1, 1, 0, H / 2), RGB(0, 0, 255));  // a cell that is not current
    t->SetAttribute(AttrFocusWidth, 3);
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 2, 1, 2, H / 2, RGB(255, 0, 0)));
    EXPECT_EQ(CellPixel(t.g, 2, 1, 3, H / 2), Odd);
    t->SetAttribute(AttrFocusWidth, 0);
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 2, 1, 0, H / 2, RGB(0, 0, 255)));  // only the grid line
    EXPECT_EQ(CellPixel(t.g, 2, 1, W / 2, 1), Odd);
    EXPECT_EQ(CellPixel(t.g, 2, 1, W - 2, H / 2), Odd);
}

TEST(GridPaint, BlockColoursWithAndWithoutCurrentCell) {
    PaintGrid t;
    t->SetBlock(1, 1, 2, 2);
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 1, 1, W / 2, H / 2, RGB(0xCE, 0xDB, 0xF1)));
    EXPECT_EQ(CellPixel(t.g, 2, 2, W / 2, H / 2), RGB(0xCE, 0xDB, 0xF1));
    EXPECT_EQ(CellPixel(t.g, 3, 1, W / 2, H / 2), Odd);
    // The block's outline: 2 black pixels inside its outer edges.
    EXPECT_EQ(CellPixel(t.g, 1, 1, 0, H / 2), 0);
    EXPECT_EQ(CellPixel(t.g, 1, 1, 1, H / 2), 0);
    EXPECT_EQ(CellPixel(t.g, 1, 1, W / 2, 1), 0);
    EXPECT_EQ(CellPixel(t.g, 2, 2, W - 1, H / 2), 0);
    EXPECT_EQ(CellPixel(t.g, 2, 2, W / 2, H - 2), 0);
    EXPECT_NE(CellPixel(t.g, 1, 2, W - 1, H / 2), 0u);  // an inner side has no outline
    // A user's block shows its anchor dark grey.
    auto* v = gridimpl::ViewOf(ListOf(t.g));
    v->BlockState = 2;
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 1, 1, W / 2, H / 2, RGB(0x80, 0x80, 0x80)));
    EXPECT_EQ(CellPixel(t.g, 2, 1, W / 2, H / 2), RGB(0xCE, 0xDB, 0xF1));
    // With a current cell no cell gets block colours.
    t->SetCurrentCell(1, 1, 0, 0);
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 1, 1, W - 3, H / 2, Odd));
    EXPECT_EQ(CellPixel(t.g, 2, 2, W / 2, H / 2), Even);
}

TEST(GridPaint, HeaderGradientFromTopToBottom) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellFormat && ci.Row == -1) {
            ci.GradientStart = 0xFFFFFF;
            ci.GradientEnd = RGB(0, 0, 255);
        }
    };
    t->SetAttribute(AttrHeaderLineColour, RGB(0, 255, 0));
    PaintNow(t.g);
    HWND header = HeaderOf(t.g);
    RECT item{};
    SendMessageA(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
    int x = item.left + 3;  // clear of the title text
    ASSERT_TRUE(PumpUntil([&] { return GetRValue(PixelAt(header, x, 2)) > 200; }, 5000));
    COLORREF top = PixelAt(header, x, 2), bottom = PixelAt(header, x, item.bottom - 3);
    EXPECT_GT(GetRValue(top), 200);
    EXPECT_LT(GetRValue(bottom), 80);
    EXPECT_GT(GetBValue(bottom), 200);
    EXPECT_EQ(PixelAt(header, item.left + 1, 0), RGB(0, 255, 0));  // flat item outline
}

TEST(GridPaint, GridLinesAndEdgesInTheirColours) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellFormat && ci.Row == 2 && ci.Column == 2) {
            ci.BorderColour = RGB(255, 0, 255);
            ci.BorderFlags = BorderLeftThick | BorderTopSolid;
        }
    };
    t->SetAttribute(AttrGridLineColour, RGB(0, 200, 0));
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 1, 1, 0, H / 2, RGB(0, 200, 0)));  // left
    EXPECT_EQ(CellPixel(t.g, 1, 1, W / 2, 0), RGB(0, 200, 0));             // top
    EXPECT_EQ(CellPixel(t.g, 1, 1, W / 2, 1), Odd);
    EXPECT_EQ(CellPixel(t.g, 2, 2, 0, H / 2), RGB(255, 0, 255));           // thick: 2 px
    EXPECT_EQ(CellPixel(t.g, 2, 2, 1, H / 2), RGB(255, 0, 255));
    EXPECT_EQ(CellPixel(t.g, 2, 2, 2, H / 2), Even);
    EXPECT_EQ(CellPixel(t.g, 2, 2, W / 2, 0), RGB(255, 0, 255));           // solid top
    // Without GridLines there are none.
    PaintGrid plain(0x4);
    EXPECT_TRUE(CellPixelBecomes(plain.g, 1, 1, 0, H / 2, Odd));
}

TEST(GridPaint, EmptyAreasTakeTheirColour) {
    PaintGrid t(0x45, 2);
    HWND list = ListOf(t.g);
    RECT client;
    GetClientRect(list, &client);
    COLORREF byDefault = gridimpl::Shared().CommonControlsVersion >= 6 ? RGB(255, 255, 255)
                                                                       : GetSysColor(COLOR_BTNFACE);
    EXPECT_TRUE(PumpUntil([&] { return PixelAt(list, client.right - 10, 200) == byDefault; }, 5000));
    t->SetAttribute(AttrEmptyAreaColour, RGB(0x56, 0x34, 0x12));
    PaintNow(t.g);
    const COLORREF want = RGB(0x56, 0x34, 0x12);
    EXPECT_TRUE(PumpUntil([&] { return PixelAt(list, client.right - 10, 200) == want; }, 5000));
    EXPECT_EQ(PixelAt(list, 10, client.bottom - 5), want);          // below the last row
    EXPECT_EQ(PixelAt(list, 4 * W + 20, H + 10), want);             // right of the last column
    EXPECT_EQ(PixelAt(HeaderOf(t.g), 4 * W + 20, 5), want);         // and in the header
    EXPECT_EQ(CellPixel(t.g, 3, 1, W / 2, H / 2), Odd);
}

TEST(GridPaint, EllipsisGlyphOnlyOnTheCurrentCell) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 3) ci.CellType = EllipsisCell;
    };
    int gx = W - 16, gy = H / 2 - 4;
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 3, 1, gx + 2, gy + 5, Odd));
    t->SetCurrentCell(3, 1, 0, 0);
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 3, 1, gx + 2, gy + 5, 0));
    EXPECT_EQ(CellPixel(t.g, 3, 1, gx + 4, gy + 3), RGB(0xEC, 0xE9, 0xD8));
    EXPECT_EQ(CellPixel(t.g, 3, 1, gx, gy + 3), RGB(255, 255, 255));
    EXPECT_EQ(CellPixel(t.g, 3, 1, 0, H / 2), GetSysColor(COLOR_BTNFACE));  // no frame
}

TEST(GridPaint, BitmapsLetTheMaskColourShowTheBackground) {
    PaintGrid t;
    static HBITMAP bmp;
    HDC screen = GetDC(nullptr);
    bmp = CreateCompatibleBitmap(screen, 10, 10);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, 10, 10}, centre{3, 3, 7, 7};
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255)), blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &all, magenta);
    FillRect(dc, &centre, blue);
    SelectObject(dc, old);
    DeleteObject(magenta);
    DeleteObject(blue);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 0) {
            ci.CellType = BitmapCell;
            ci.Param = reinterpret_cast<std::intptr_t>(bmp);
        }
        if (code == QueryCellFormat && ci.Column == 0) ci.MaskColour = RGB(255, 0, 255);
    };
    PaintNow(t.g);
    int x = (W - 10) / 2, y = (H - 10) / 2;
    EXPECT_TRUE(CellPixelBecomes(t.g, 0, 0, x + 5, y + 5, RGB(0, 0, 255)));
    EXPECT_EQ(CellPixel(t.g, 0, 0, x + 1, y + 1), Even);
    EXPECT_EQ(CellPixel(t.g, 0, 1, x + 1, y + 1), Odd);
    t->SetEventHandler(nullptr);
    DeleteObject(bmp);
}

TEST(GridPaint, CustomCellsDrawIntoAnImageOfTheCellSize) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 2 && ci.Row == 0) ci.CellType = CustomCell;
        if (code == DrawCustomCell) {
            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HBITMAP>(ci.Param));
            RECT r{0, 0, ci.ImageWidth / 2, ci.ImageHeight};
            HBRUSH b = CreateSolidBrush(RGB(0, 128, 255));
            FillRect(dc, &r, b);
            DeleteObject(b);
            SelectObject(dc, old);
            DeleteDC(dc);
        }
    };
    TheRecorder().Clear();
    PaintNow(t.g);
    EXPECT_TRUE(CellPixelBecomes(t.g, 2, 0, 10, H / 2, RGB(0, 128, 255)));
    EXPECT_EQ(CellPixel(t.g, 2, 0, W - 10, H / 2), Even);  // the background the grid painted
    auto custom = TheRecorder().Of(DrawCustomCell);
    ASSERT_FALSE(custom.empty());
    EXPECT_EQ(custom[0].info.ImageWidth, W);
    EXPECT_EQ(custom[0].info.ImageHeight, H);
    EXPECT_EQ(custom[0].info.Row, 0);
    EXPECT_EQ(custom[0].info.Column, 2);
}

TEST(GridPaint, GradientOnlyWithBothColours) {
    PaintGrid t;
    g_extra = [](int code, CellInfo& ci) {
        if (code != QueryCellFormat || ci.Row < 0) return;
        if (ci.Column == 0) {
            ci.GradientStart = RGB(255, 255, 255);
            ci.GradientEnd = RGB(0, 0, 0);
        }
        if (ci.Column == 1) ci.GradientStart = RGB(255, 255, 255);  // end -1: solid
    };
    PaintNow(t.g);
    ASSERT_TRUE(PumpUntil([&] { return GetRValue(CellPixel(t.g, 0, 0, 2, H / 2)) > 230; }, 5000));
    EXPECT_LT(GetRValue(CellPixel(t.g, 0, 0, W - 3, H / 2)), 30);
    EXPECT_EQ(CellPixel(t.g, 1, 0, 3, H / 2), Even);
    EXPECT_EQ(CellPixel(t.g, 1, 0, W - 3, H / 2), Even);
}

TEST(GridPaint, RowHeaderBandCellsShowTheirColourAndLabel) {
    PaintGrid t;
    t->SetRowHeaderWidth(50, 0);
    t->SetAttribute(AttrRowHeaderColour, RGB(250, 200, 0));
    t->SetCellText(-1, 1, "");
    PaintNow(t.g);
    RECT cell = CellRect(t.g, 0, 1);
    HWND container = t->GetWindow();
    EXPECT_TRUE(PumpUntil([&] { return PixelAt(container, 25, cell.top + H / 2) == RGB(250, 200, 0); }, 5000));
    // A label is drawn in the band cell of its row.
    t->SetCellText(-1, 2, "WWW");
    PaintNow(t.g);
    RECT c2 = CellRect(t.g, 0, 2);
    int dark = 0;
    for (int y = c2.top + 2; y < c2.bottom - 2; ++y)
        for (int x = 6; x < 40; ++x) dark += PixelAt(container, x, y) == 0;
    EXPECT_GT(dark, 5);
}

TEST(GridPaint, DropDownItemsHaveAStripUnlessSelected) {
    PaintGrid t;
    auto* v = gridimpl::ViewOf(ListOf(t.g));
    SendMessageA(v->ListCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("item"));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 100, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    DRAWITEMSTRUCT di{};
    di.CtlType = ODT_COMBOBOX;
    di.itemID = 0;
    di.hwndItem = v->ListCombo;
    di.hDC = dc;
    di.rcItem = RECT{0, 0, 100, 16};
    SendMessageA(ListOf(t.g), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
    EXPECT_EQ(GetPixel(dc, 5, 1), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(GetPixel(dc, 90, 1), RGB(255, 255, 255));
    di.itemState = ODS_SELECTED;
    SendMessageA(ListOf(t.g), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
    EXPECT_EQ(GetPixel(dc, 5, 1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetPixel(dc, 90, 1), GetSysColor(COLOR_HIGHLIGHT));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}
