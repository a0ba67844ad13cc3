// The grid's operations on a real grid in a real window.
#include <gtest/gtest.h>

#include <thread>

#include "GridTestSupport.h"
#include "grid/GridInternal.h"

using namespace zandrel;
using namespace gridtest;

namespace {

int TopIndex(GridControl* g) { return static_cast<int>(SendMessageA(ListOf(g), LVM_GETTOPINDEX, 0, 0)); }

}  // namespace

TEST(GridOps, TheApplicationsGridHoldsThousandsOfRows) {
    HWND host = HostWindow();
    SetGridParent(host);
    GridControl* g = NewGrid(5, 5, 0, 0, 20, 0x20045);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(GetWindowLongPtrA(g->GetWindow(), GWL_STYLE) & WS_BORDER);
    const char* titles[] = {"", "FunctionName", "PBFunctionName", "Parameter", "Comment"};
    int widths[] = {20, 200, 200, 45, 300};
    for (int c = 0; c < 5; ++c) g->AddColumn(c, titles[c], widths[c]);
    g->SetEventHandler(RecordingHandler);
    g->SetAttribute(AttrFocusWidth, 1);
    g->SetAttribute(AttrGridLineColour, static_cast<int>(GetSysColor(COLOR_GRADIENTACTIVECAPTION)));
    g->SetHeaderHeight(20);
    ASSERT_TRUE(IsWindow(g->GetWindow()));
    g->Resize(5, 5, 780, 500);
    EXPECT_EQ(g->GetX(), 5);
    EXPECT_EQ(g->GetY(), 5);
    EXPECT_EQ(g->GetWidth(), 780);
    EXPECT_EQ(g->GetHeight(), 500);

    long before = gridimpl::LiveRowDataCount();
    g->SetRedraw(0, 0);
    g->ClearRows();
    for (int r = 0; r < 3000; ++r) {
        ASSERT_EQ(g->AddRow(r, "", 1), 1);
        g->SetCellText(0, r, "TRUE");
        g->SetCellText(1, r, "_Func" + std::to_string(r) + "@8");
        g->SetCellText(2, r, "Func" + std::to_string(r));
        g->SetCellText(3, r, "2");
    }
    g->SetRedraw(1, 1);
    EXPECT_EQ(g->RowCount(), 3000);
    EXPECT_EQ(g->ColumnCount(), 5);
    EXPECT_EQ(g->GetCellText(1, 2999), "_Func2999@8");
    EXPECT_EQ(g->GetCellText(4, 1234), "");
    EXPECT_EQ(g->GetRowFlags(7) & static_cast<int>(RowGroupStart), static_cast<int>(RowGroupStart));
    EXPECT_EQ(gridimpl::LiveRowDataCount() - before, 3000);

    // Rows are as high as asked, and the header as set.
    RECT item{};
    item.left = LVIR_BOUNDS;
    SendMessageA(ListOf(g), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.bottom - item.top, 20);
    RECT header;
    GetWindowRect(HeaderOf(g), &header);
    EXPECT_EQ(header.bottom - header.top, 20);
    EXPECT_EQ(item.top, 20);

    g->ClearRows();
    EXPECT_EQ(g->RowCount(), 0);
    EXPECT_EQ(gridimpl::LiveRowDataCount(), before);
    g->Hide(1);
    EXPECT_FALSE(IsWindowVisible(g->GetWindow()));
    g->Hide(0);
    EXPECT_TRUE(IsWindowVisible(g->GetWindow()));
    g->Free();
    DestroyWindow(host);
}

TEST(GridOps, RowsAreInsertedAtTheirPositionOrAppended) {
    TestGrid t(2, 3);
    ASSERT_NE(t.g, nullptr);
    EXPECT_EQ(t->AddRow(5, "five", 0), 1);  // beyond the end: appended as row 3
    EXPECT_EQ(t->GetCellText(-1, 3), "five");
    EXPECT_EQ(t->AddRow(-4, "neg", 1), 1);
    EXPECT_EQ(t->GetCellText(-1, 4), "neg");
    EXPECT_EQ(t->AddRow(1, "one", 1), 1);
    EXPECT_EQ(t->GetCellText(-1, 1), "one");
    EXPECT_EQ(t->GetCellText(0, 2), "r1c0");  // the old row 1 moved down
    EXPECT_EQ(t->GetRowFlags(4), 0);           // group start bit 0 of 0
    EXPECT_EQ(t->GetRowFlags(5), static_cast<int>(RowGroupStart));
    EXPECT_EQ(t->RowCount(), 6);
    // Label column -1 can be set; out-of-range cells are ignored.
    t->SetCellText(-1, 0, "label");
    EXPECT_EQ(t->GetCellText(-1, 0), "label");
    t->SetCellText(2, 0, "nope");
    t->SetCellText(0, 6, "nope");
    EXPECT_EQ(t->GetCellText(2, 0), "");
    EXPECT_EQ(t->GetCellText(0, -2), "");
    // Texts are kept byte for byte, long ones too.
    std::string bytes = "\xE4\xF6\xFC\xDF \xA9 " + std::string(5000, 'x');
    t->SetCellText(1, 0, bytes);
    EXPECT_EQ(t->GetCellText(1, 0), bytes);
}

TEST(GridOps, RowsAndColumnsRemovedFreeTheirData) {
    TestGrid t(3, 4);
    long before = gridimpl::LiveRowDataCount();
    t->RemoveRow(1);
    EXPECT_EQ(t->RowCount(), 3);
    EXPECT_EQ(t->GetCellText(0, 1), "r2c0");
    EXPECT_EQ(gridimpl::LiveRowDataCount(), before - 1);
    t->RemoveRow(7);
    EXPECT_EQ(t->RowCount(), 3);
    t->RemoveColumn(1);
    EXPECT_EQ(t->ColumnCount(), 2);
    EXPECT_EQ(t->GetCellText(1, 0), "r0c2");
    t->RemoveColumn(-1);
    EXPECT_EQ(t->ColumnCount(), 2);
}

TEST(GridOps, ColumnsInsertAppendAndStopAtOneThousand) {
    TestGrid t(2, 1);
    t->AddColumn(0, "first", 50);  // shifts the others right
    EXPECT_EQ(t->ColumnCount(), 3);
    EXPECT_EQ(t->GetCellText(1, 0), "r0c0");
    EXPECT_EQ(t->GetCellText(0, 0), "");
    t->AddColumn(99, "last", 50);  // beyond the end: appended
    EXPECT_EQ(t->ColumnCount(), 4);
    t->SetRedraw(0, 0);
    while (t->ColumnCount() < GridMaxColumns) t->AddColumn(-1, "x", 10);
    t->AddColumn(-1, "too many", 10);
    t->AddColumn(0, "too many", 10);
    EXPECT_EQ(t->ColumnCount(), GridMaxColumns);
    t->SetRedraw(1, 0);
}

TEST(GridOps, ColumnOrderIsSetReadAndFollowedByCopy) {
    TestGrid t(3, 2);
    std::int32_t order[3] = {2, 0, 1};
    t->SetColumnOrder(order);
    std::int32_t back[3] = {-1, -1, -1};
    t->GetColumnOrder(back);
    EXPECT_EQ(back[0], 2);
    EXPECT_EQ(back[1], 0);
    EXPECT_EQ(back[2], 1);
    // The hidden label column stays first on screen.
    int listOrder[4] = {};
    SendMessageA(ListOf(t.g), LVM_GETCOLUMNORDERARRAY, 4, reinterpret_cast<LPARAM>(listOrder));
    EXPECT_EQ(listOrder[0], 0);
    // Not a permutation: refused.
    std::int32_t bad[3] = {0, 0, 1};
    t->SetColumnOrder(bad);
    t->GetColumnOrder(back);
    EXPECT_EQ(back[0], 2);
    // A block of two display positions from column 2 is columns 2 and 0.
    EXPECT_EQ(t->CopyBlock(2, 0, 2, 1), 2);
    EXPECT_EQ(ClipboardText(), "r0c2\tr0c0\r\n");
}

TEST(GridOps, CopyBlockNormalisesSignedExtentsAndClips) {
    TestGrid t(3, 3);
    EXPECT_EQ(t->CopyBlock(2, 2, -2, -2), 4);
    EXPECT_EQ(ClipboardText(), "r1c1\tr1c2\r\nr2c1\tr2c2\r\n");
    EXPECT_EQ(t->CopyBlock(1, 1, 5, 5), 4);  // clipped to the grid
    EXPECT_EQ(ClipboardText(), "r1c1\tr1c2\r\nr2c1\tr2c2\r\n");
    EXPECT_EQ(t->CopyBlock(5, 0, 1, 1), 0);
    // The current cell gives the editor's text.
    t->SetCurrentCell(0, 0, 0, 0);
    SetWindowTextA(EditBoxOf(t.g), "typed");
    EXPECT_EQ(t->CopyBlock(0, 0, 2, 1), 2);
    EXPECT_EQ(ClipboardText(), "typed\tr0c1\r\n");
}

TEST(GridOps, CopyBlockCountsNothingWhileAnotherHoldsTheClipboard) {
    TestGrid t(2, 2);
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr), release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        const BOOL open = OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(release, 30000);
        if (open) CloseClipboard();
    });
    WaitForSingleObject(opened, 30000);
    EXPECT_EQ(t->CopyBlock(0, 0, 2, 2), 0);
    SetEvent(release);
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
    EXPECT_EQ(t->CopyBlock(0, 0, 2, 1), 2);
    EXPECT_EQ(ClipboardText(), "r0c0\tr0c1\r\n");
}

TEST(GridOps, CurrentCellEditorTextAndModification) {
    TestGrid t(3, 3);
    EXPECT_EQ(t->GetCurrentRow(), -1);
    EXPECT_EQ(t->GetCurrentColumn(), -1);
    t->SetCurrentCell(1, 2, 1, 1);
    EXPECT_EQ(t->GetCurrentRow(), 2);
    EXPECT_EQ(t->GetCurrentColumn(), 1);
    EXPECT_EQ(t->IsCellModified(), 0);
    HWND edit = EditBoxOf(t.g);
    ASSERT_NE(edit, nullptr);
    RECT er;
    GetWindowRect(edit, &er);
    EXPECT_GT(er.right - er.left, 0);  // the editor lies over the cell
    SetWindowTextA(edit, "changed");
    EXPECT_EQ(t->GetCellText(1, 2), "changed");  // the editor's text, not the stored one
    EXPECT_EQ(t->IsCellModified(), 1);
    t->SetCellText(1, 2, "set");  // replaces the editor's text too
    EXPECT_EQ(t->IsCellModified(), 0);
    char buf[32] = {};
    GetWindowTextA(edit, buf, sizeof buf);
    EXPECT_STREQ(buf, "set");
    SetWindowTextA(edit, "kept");
    t->EndEdit();
    EXPECT_EQ(t->GetCurrentRow(), -1);
    EXPECT_EQ(t->GetCellText(1, 2), "kept");
    GetWindowRect(edit, &er);
    EXPECT_LT(er.right, 0);  // parked off-screen
}

TEST(GridOps, ClearRowsDropsTheOpenEditAndTheBlock) {
    TestGrid t(2, 3);
    t->SetEventHandler(RecordingHandler);
    t->SetCurrentCell(0, 1, 0, 0);
    SetWindowTextA(EditBoxOf(t.g), "unsaved");
    TheRecorder().Clear();
    t->ClearRows();
    EXPECT_EQ(t->RowCount(), 0);
    EXPECT_EQ(t->GetCurrentRow(), -1);
    std::int32_t block[4];
    t->GetBlock(block);
    EXPECT_EQ(block[0], -1);
    EXPECT_EQ(TheRecorder().Count(CellChanged), 0);
    EXPECT_EQ(t->IsCellModified(), 0);
}

TEST(GridOps, RemovingTheCurrentRowDropsItsEditUnreported) {
    TestGrid t(2, 3);
    t->SetEventHandler(RecordingHandler);
    t->SetCurrentCell(0, 1, 0, 0);
    SetWindowTextA(EditBoxOf(t.g), "unsaved");
    TheRecorder().Clear();
    t->RemoveRow(1);
    EXPECT_EQ(TheRecorder().Count(CellChanged), 0);
    EXPECT_EQ(t->GetCurrentRow(), -1);
    // Another row: the open edit is committed first.
    t->SetCurrentCell(0, 0, 0, 0);
    SetWindowTextA(EditBoxOf(t.g), "saved");
    t->RemoveRow(1);
    EXPECT_EQ(TheRecorder().Count(CellChanged), 1);
    EXPECT_EQ(t->GetCellText(0, 0), "saved");
}

TEST(GridOps, BlocksAreSetRefusedAndReshapedBySelectionMode) {
    TestGrid t(4, 5);
    std::int32_t b[4];
    t->SetBlock(1, 1, 3, -2);
    t->GetBlock(b);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 1);
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(b[3], -2);
    t->SetBlock(1, 1, 0, 2);  // zero size
    t->SetBlock(9, 1, 1, 1);  // outside
    t->SetBlock(1, 9, 1, 1);
    t->GetBlock(b);
    EXPECT_EQ(b[2], 3);
    t->SetAttribute(AttrSelectionMode, 4);  // ignored
    t->GetBlock(b);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[2], 3);
    t->SetAttribute(AttrSelectionMode, 2);  // one row tall at the anchor
    t->GetBlock(b);
    EXPECT_EQ(b[1], 1);
    EXPECT_EQ(b[3], 1);
    EXPECT_EQ(b[2], 3);
    t->SetAttribute(AttrSelectionMode, 1);  // one column wide
    t->GetBlock(b);
    EXPECT_EQ(b[2], 1);
    t->SetAttribute(AttrSelectionMode, 3);  // no blocks
    t->GetBlock(b);
    EXPECT_EQ(b[0], -1);
    t->SetAttribute(AttrSelectionMode, 0);
    t->SetBlock(0, 0, 2, 2);
    // Column -1 removes the block only while no cell is current.
    t->SetCurrentCell(3, 4, 0, 0);
    t->SetBlock(-1, 0, 0, 0);
    t->GetBlock(b);
    EXPECT_EQ(b[0], 3);  // the current cell's own block stays
    t->EndEdit();
    t->SetBlock(0, 0, 2, 2);
    t->SetBlock(-1, 0, 0, 0);
    t->GetBlock(b);
    EXPECT_EQ(b[0], -1);
}

TEST(GridOps, EraseAndClearBlocksByCellType) {
    TestGrid t(4, 3);
    TheRecorder().answer = [](int code, CellInfo& ci) {
        if (code == QueryCellType) {
            if (ci.Column == 0) { ci.CellType = CheckCell; ci.Text = "TRUE/FALSE"; }
            if (ci.Column == 1) ci.CellType = ProgressCell;
            if (ci.Column == 2) ci.CellType = ReadOnlyTextCell;
        }
        return 1;
    };
    t->SetEventHandler(RecordingHandler);
    t->ClearBlock(0, 0, 4, 2);
    EXPECT_EQ(t->GetCellText(0, 0), "FALSE");
    EXPECT_EQ(t->GetCellText(1, 1), "0");
    EXPECT_EQ(t->GetCellText(2, 0), "r0c2");  // read-only types stay
    EXPECT_EQ(t->GetCellText(3, 1), "");
    EXPECT_EQ(t->GetCellText(3, 2), "r2c3");  // outside the block
    EXPECT_EQ(TheRecorder().Count(CellChanged), 0);  // no current cell: written directly
    // The current cell is cleared through a commit, so the application hears of it.
    t->SetCurrentCell(3, 2, 0, 0);
    t->ClearBlock(3, 2, 1, 1);
    ASSERT_EQ(TheRecorder().Count(CellChanged), 1);
    EXPECT_EQ(TheRecorder().Of(CellChanged)[0].info.Text, "");
    EXPECT_EQ(t->GetCurrentRow(), 2);
    char buf[16] = {1};
    GetWindowTextA(EditBoxOf(t.g), buf, sizeof buf);
    EXPECT_STREQ(buf, "");
    // EraseBlock empties every type without asking.
    TheRecorder().Clear();
    t->EraseBlock(0, 2, 3, 1);
    EXPECT_EQ(t->GetCellText(2, 2), "");
    EXPECT_EQ(t->GetCellText(0, 2), "");
    EXPECT_TRUE(TheRecorder().events.empty());
}

TEST(GridOps, PasteFillsFromTheCurrentCellAndSkipsReadOnlyCells) {
    TestGrid t(3, 3);
    TheRecorder().answer = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 2 && ci.Row == 2) ci.CellType = ReadOnlyTextCell;
        return 1;
    };
    t->SetEventHandler(RecordingHandler);
    EXPECT_EQ(t->PasteClipboard(), 0);  // no current cell
    t->SetCurrentCell(1, 1, 0, 0);
    SetClipboardText("a\tb\tc\r\nd\te\r\nf\r\n");
    TheRecorder().Clear();
    EXPECT_EQ(t->PasteClipboard(), 3);
    auto changed = TheRecorder().Of(CellChanged);
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_EQ(changed[0].info.Text, "a");
    EXPECT_EQ(changed[1].info.Row, 1);
    EXPECT_EQ(changed[1].info.Column, 2);
    EXPECT_EQ(changed[2].info.Row, 2);
    EXPECT_EQ(changed[2].info.Column, 1);
    EXPECT_EQ(t->GetCellText(2, 2), "r2c2");  // read-only: skipped
    EXPECT_EQ(t->GetCellText(0, 1), "r1c0");  // left of the current cell: untouched
    EXPECT_EQ(t->GetCurrentRow(), 1);
    EXPECT_EQ(t->GetCellText(1, 1), "a");
    EXPECT_EQ(t->IsCellModified(), 0);
    char buf[16] = {};
    GetWindowTextA(EditBoxOf(t.g), buf, sizeof buf);
    EXPECT_STREQ(buf, "a");
}

TEST(GridOps, RowValuesFlagsAndTheCorner) {
    TestGrid t(1, 2);
    t->SetRowValue(1, 42);
    t->SetRowValue(-1, 7);
    t->SetRowValue(5, 9);
    EXPECT_EQ(t->GetRowValue(1), 42);
    EXPECT_EQ(t->GetRowValue(-1), 7);
    EXPECT_EQ(t->GetRowValue(5), 0);
    EXPECT_EQ(t->GetRowFlags(-1), static_cast<int>(RowGroupStart));
    t->SetRowHeaderStyle(0, 3, 4, 2, 1, 1);
    int f = t->GetRowFlags(0);
    EXPECT_EQ(f & 0xFF, 3);
    EXPECT_EQ((f >> 8) & 0xFF, 4);
    EXPECT_EQ((f >> 16) & 0xF, 2);
    EXPECT_EQ((f >> 20) & 0xF, 1);
    t->SetRowHeaderStyle(0, -1, -1, 9, -1, 0);
    EXPECT_EQ(t->GetRowFlags(0), f);
    t->SetRowHeaderStyle(-1, 2, -1, -1, -1, 0);
    EXPECT_EQ(t->GetRowFlags(-1), static_cast<int>(RowGroupStart | 2u));
    t->SetUserData(123456);
    EXPECT_EQ(t->GetUserData(), 123456);
}

TEST(GridOps, RowHeaderBandTakesRoomAndCanHideTheList) {
    TestGrid t(2, 2);
    HWND list = ListOf(t.g);
    t->SetRowHeaderWidth(40, 5);
    RECT lr;
    GetWindowRect(list, &lr);
    MapWindowPoints(nullptr, t->GetWindow(), reinterpret_cast<POINT*>(&lr), 2);
    EXPECT_EQ(lr.left, 45);
    EXPECT_TRUE(IsWindowVisible(list));
    t->SetRowHeaderWidth(2000, -1);  // wider than the container: the list goes
    EXPECT_FALSE(IsWindowVisible(list));
    t->SetRowHeaderWidth(60, -1);
    EXPECT_TRUE(IsWindowVisible(list));
    GetWindowRect(list, &lr);
    MapWindowPoints(nullptr, t->GetWindow(), reinterpret_cast<POINT*>(&lr), 2);
    EXPECT_EQ(lr.left, 65);
    t->SetRowHeaderWidth(-3, -3);  // negative values are ignored
    GetWindowRect(list, &lr);
    MapWindowPoints(nullptr, t->GetWindow(), reinterpret_cast<POINT*>(&lr), 2);
    EXPECT_EQ(lr.left, 65);
}

TEST(GridOps, HeaderHeightAndHeaderFont) {
    TestGrid t(2, 2);
    t->SetHeaderHeight(31);
    RECT hr;
    GetWindowRect(HeaderOf(t.g), &hr);
    EXPECT_EQ(hr.bottom - hr.top, 31);
    EXPECT_EQ(CellRect(t.g, 0, 0).top, 31);  // cells start below it
    HFONT font = CreateFontA(-19, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    t->SetHeaderFont(font);
    GetWindowRect(HeaderOf(t.g), &hr);
    EXPECT_EQ(hr.bottom - hr.top, 24);
    t->SetHeaderFont(nullptr);  // unreadable: nothing changes
    GetWindowRect(HeaderOf(t.g), &hr);
    EXPECT_EQ(hr.bottom - hr.top, 24);
    t->Free();
    t.g = nullptr;
    DeleteObject(font);
}

TEST(GridOps, ShowCellScrollsItIntoView) {
    TestGrid t(2, 400);
    EXPECT_EQ(TopIndex(t.g), 0);
    t->ShowCell(0, 300);
    RECT r = CellRect(t.g, 0, 300);
    RECT client;
    GetClientRect(ListOf(t.g), &client);
    EXPECT_GT(TopIndex(t.g), 0);
    EXPECT_GE(r.top, 20);
    EXPECT_LE(r.bottom, client.bottom);
    t->ShowCell(1, 0);
    EXPECT_EQ(TopIndex(t.g), 0);
}

TEST(GridOps, ImagesAreAppendedAndReplaced) {
    HICON icon = LoadIcon(nullptr, IDI_APPLICATION);
    {
        TestGrid plain(1, 1, 20, 0x45);
        EXPECT_EQ(plain->SetImage(0, icon), -1);  // nothing to replace yet
        EXPECT_EQ(plain->SetImage(-1, icon), 0);
        EXPECT_EQ(plain->SetImage(0, icon), 0);
        EXPECT_EQ(plain->SetImage(-1, icon), 1);
    }
    TestGrid builtIn(1, 1, 20, 0x45 | BuiltInIcons);
    EXPECT_EQ(builtIn->SetImage(5, icon), 5);  // six built-in icons: 0 to 5
    EXPECT_EQ(builtIn->SetImage(6, icon), -1);
    EXPECT_EQ(builtIn->SetImage(-1, icon), 6);
}

TEST(GridOps, ContainerBorderFollowsTheFirstFlagSet) {
    HWND host = HostWindow();
    GridControl* a = NewGrid(host, 0, 0, 100, 100, 20, BorderDialogFrame | BorderClientEdge);
    GridControl* b = NewGrid(host, 0, 0, 100, 100, 20, BorderStaticEdge | BorderClientEdge);
    GridControl* c = NewGrid(host, 0, 0, 100, 100, 20, BorderClientEdge);
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(GetWindowLongPtrA(a->GetWindow(), GWL_STYLE) & WS_DLGFRAME);
    EXPECT_FALSE(GetWindowLongPtrA(a->GetWindow(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(GetWindowLongPtrA(b->GetWindow(), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    EXPECT_TRUE(GetWindowLongPtrA(c->GetWindow(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // The list itself has no edge.
    EXPECT_FALSE(GetWindowLongPtrA(ListOf(c), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(GridFromWindow(ListOf(c)), c);
    EXPECT_EQ(GridFromWindow(HeaderOf(c)), c);
    a->Free();
    b->Free();
    c->Free();
    DestroyWindow(host);
}

TEST(GridOps, AGridWhoseWindowsAreGoneAnswersAsInvalid) {
    HWND host = HostWindow();
    GridControl* g = NewGrid(host, 0, 0, 300, 200, 20, 0x45);
    ASSERT_NE(g, nullptr);
    g->AddColumn(-1, "a", 50);
    g->AddRow(-1, "", 1);
    long before = gridimpl::LiveRowDataCount();
    DestroyWindow(host);  // takes the container, list and header with it
    EXPECT_EQ(gridimpl::LiveRowDataCount(), before - 1);
    EXPECT_EQ(g->RowCount(), -1);
    EXPECT_EQ(g->ColumnCount(), -1);
    EXPECT_EQ(g->GetCellText(0, 0), "");
    EXPECT_EQ(g->AddRow(0, "", 1), 0);
    g->SetCellText(0, 0, "x");
    g->Free();
}

TEST(GridOps, RowHeaderBandReportsClicks) {
    TestGrid t(2, 3, 20, 0x45 | BuiltInIcons);
    t->SetEventHandler(RecordingHandler);
    t->SetRowHeaderWidth(60, 0);
    t->SetRowHeaderStyle(1, 1, 0, 1, -1, 1);  // image 1 at the top of row 1's band cell
    PaintNow(t.g);
    RECT cell = CellRect(t.g, 0, 1);
    TheRecorder().Clear();
    // On the image: LeftButtonDown with Column -1, then the image notification.
    SendMessageA(t->GetWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6 + 8, cell.top + 2 + 8));
    SendMessageA(t->GetWindow(), WM_LBUTTONUP, 0, MAKELPARAM(6 + 8, cell.top + 2 + 8));
    ASSERT_EQ(TheRecorder().Count(LeftButtonDown), 1);
    EXPECT_EQ(TheRecorder().Of(LeftButtonDown)[0].info.Row, 1);
    EXPECT_EQ(TheRecorder().Of(LeftButtonDown)[0].info.Column, -1);
    ASSERT_EQ(TheRecorder().Count(RowHeaderImageClicked), 1);
    EXPECT_EQ(TheRecorder().lastBandImage, 1);
    // Beside the image: no image notification.
    TheRecorder().Clear();
    SendMessageA(t->GetWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(45, cell.top + 10));
    SendMessageA(t->GetWindow(), WM_LBUTTONUP, 0, MAKELPARAM(45, cell.top + 10));
    EXPECT_EQ(TheRecorder().Count(LeftButtonDown), 1);
    EXPECT_EQ(TheRecorder().Count(RowHeaderImageClicked), 0);
    // Right clicks: on a band cell, and below every row (-10, -10).
    TheRecorder().Clear();
    SendMessageA(t->GetWindow(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, cell.top + 5));
    SendMessageA(t->GetWindow(), WM_RBUTTONUP, 0, MAKELPARAM(30, 400));
    ASSERT_EQ(TheRecorder().Count(RightButtonDown), 1);
    EXPECT_EQ(TheRecorder().Of(RightButtonDown)[0].info.Row, 1);
    ASSERT_EQ(TheRecorder().Count(RightButtonUp), 1);
    EXPECT_EQ(TheRecorder().Of(RightButtonUp)[0].info.Row, -10);
    EXPECT_EQ(TheRecorder().Of(RightButtonUp)[0].info.Column, -10);
}

TEST(GridOps, CountsFollowTheListWhateverChangesIt) {
    // The grid knows its row and column counts without asking the list each time; messages
    // sent to the list from outside must still be seen.
    TestGrid t(3, 4);
    HWND list = ListOf(t.g);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = 4;
    item.pszText = const_cast<char*>("outside");
    ASSERT_EQ(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 4);
    EXPECT_EQ(t->RowCount(), 5);
    t->SetCellText(1, 4, "reached");
    EXPECT_EQ(t->GetCellText(1, 4), "reached");
    EXPECT_EQ(t->GetCellText(-1, 4), "outside");

    ASSERT_TRUE(SendMessageA(list, LVM_DELETEITEM, 0, 0));
    EXPECT_EQ(t->RowCount(), 4);
    EXPECT_EQ(t->GetCellText(0, 0), "r1c0");
    EXPECT_EQ(t->GetCellText(1, 3), "reached");
    EXPECT_EQ(t->GetCellText(1, 4), "");  // beyond the end now
    t->SetCellText(1, 4, "nope");
    EXPECT_EQ(t->RowCount(), 4);

    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<char*>("extra");
    col.cx = 40;
    ASSERT_GE(SendMessageA(list, LVM_INSERTCOLUMNA, 4, reinterpret_cast<LPARAM>(&col)), 0);
    EXPECT_EQ(t->ColumnCount(), 4);
    t->SetCellText(3, 0, "fourth");
    EXPECT_EQ(t->GetCellText(3, 0), "fourth");
    ASSERT_TRUE(SendMessageA(list, LVM_DELETECOLUMN, 4, 0));
    EXPECT_EQ(t->ColumnCount(), 3);
    EXPECT_EQ(t->GetCellText(3, 0), "");

    // Rows added and removed through the grid count along.
    for (int r = 0; r < 50; ++r) ASSERT_EQ(t->AddRow(-1, "", 0), 1);
    EXPECT_EQ(t->RowCount(), 54);
    t->SetCellText(2, 53, "last");
    EXPECT_EQ(t->GetCellText(2, 53), "last");
    t->RemoveRow(0);
    EXPECT_EQ(t->RowCount(), 53);
    EXPECT_EQ(t->GetCellText(2, 52), "last");
    t->ClearRows();
    EXPECT_EQ(t->RowCount(), 0);
    EXPECT_EQ(t->GetCellText(0, 0), "");
    EXPECT_EQ(t->AddRow(0, "again", 0), 1);
    EXPECT_EQ(t->RowCount(), 1);
}

TEST(GridOps, EveryWayOfEmptyingTheListFreesTheRowData) {
    const long before = gridimpl::LiveRowDataCount();
    {
        TestGrid t(2, 100);
        EXPECT_EQ(gridimpl::LiveRowDataCount() - before, 100);
        // All at once through the grid, row by row, and all at once sent from outside.
        t->ClearRows();
        EXPECT_EQ(gridimpl::LiveRowDataCount(), before);
        for (int r = 0; r < 10; ++r) t->AddRow(r, "", 0);
        t->RemoveRow(3);
        EXPECT_EQ(gridimpl::LiveRowDataCount() - before, 9);
        ASSERT_TRUE(SendMessageA(ListOf(t.g), LVM_DELETEALLITEMS, 0, 0));
        EXPECT_EQ(t->RowCount(), 0);
        EXPECT_EQ(gridimpl::LiveRowDataCount(), before);
        // Single rows are freed again afterwards.
        for (int r = 0; r < 5; ++r) t->AddRow(r, "", 0);
        t->RemoveRow(0);
        EXPECT_EQ(gridimpl::LiveRowDataCount() - before, 4);
        t->SetRowValue(2, 77);
        EXPECT_EQ(t->GetRowValue(2), 77);
    }
    // Freeing the grid with rows in it.
    EXPECT_EQ(gridimpl::LiveRowDataCount(), before);
}
