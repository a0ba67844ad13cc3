// A real grid driven by the messages a user's keys and mouse cause: editing, moves, blocks,
// clipboard, buttons, drag selection, scrolling, tooltips and the header.
#include <gtest/gtest.h>

#include <cctype>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "GridTestSupport.h"
#include "grid/GridInternal.h"

using namespace zandrel;
using namespace gridtest;

namespace {

gridimpl::GridViewState* View(GridControl* g) { return gridimpl::ViewOf(ListOf(g)); }

// The key state the grid reads with GetKeyState: only the given keys held.
void Hold(std::initializer_list<int> keys) {
    BYTE state[256];
    GetKeyboardState(state);
    for (int vk : {VK_CONTROL, VK_SHIFT, VK_TAB, VK_LCONTROL, VK_LSHIFT}) state[vk] = 0;
    for (int vk : keys) state[vk] = 0x80;
    SetKeyboardState(state);
}

void Press(HWND w, int vk) { SendMessageA(w, WM_KEYDOWN, static_cast<WPARAM>(vk), 1); }
void Release(HWND w, int vk) { SendMessageA(w, WM_KEYUP, static_cast<WPARAM>(vk), 0xC0000001); }
void Key(HWND w, int vk) {
    Press(w, vk);
    Release(w, vk);
}
void Chars(HWND w, const char* text) {
    for (const char* p = text; *p; ++p) SendMessageA(w, WM_CHAR, static_cast<unsigned char>(*p), 1);
}

POINT CellPoint(GridControl* g, int column, int row, int dx = -1, int dy = -1) {
    RECT r = CellRect(g, column, row);
    return POINT{dx < 0 ? (r.left + r.right) / 2 : r.left + dx, dy < 0 ? (r.top + r.bottom) / 2 : r.top + dy};
}
LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }
void Click(GridControl* g, int column, int row, int dx = -1, int dy = -1) {
    LPARAM lp = At(CellPoint(g, column, row, dx, dy));
    SendMessageA(ListOf(g), WM_LBUTTONDOWN, MK_LBUTTON, lp);
    SendMessageA(ListOf(g), WM_LBUTTONUP, 0, lp);
}

std::vector<int> Block(GridControl* g) {
    std::int32_t b[4];
    g->GetBlock(b);
    return {b[0], b[1], b[2], b[3]};
}

// Cell types by column: given per test.
std::function<int(int code, CellInfo& ci)> Types(std::vector<int> types, const std::string& text = "") {
    return [types, text](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column >= 0 && ci.Column < static_cast<int>(types.size())) {
            ci.CellType = types[static_cast<size_t>(ci.Column)];
            if (!text.empty()) ci.Text = text;
        }
        return 1;
    };
}

struct InputGrid : TestGrid {
    InputGrid(int columns, int rows, int flags = 0x20045) : TestGrid(columns, rows, 20, flags) {
        SetForegroundWindow(host);
        g->SetEventHandler(RecordingHandler);
        Hold({});
    }
    ~InputGrid() { Hold({}); }
    HWND list() const { return ListOf(g); }
};

}  // namespace

TEST(GridInput, TypingThenClickingElsewhereCommitsOnceAndRejectionKeepsTheOldText) {
    InputGrid t(3, 3);
    Recorder& rec = TheRecorder();
    t->SetCurrentCell(0, 0, 1, 0);
    HWND edit = EditBoxOf(t.g);
    ASSERT_EQ(GetFocus(), edit);
    SetWindowTextA(edit, "");
    gridimpl::ReadEditorText(View(t.g), edit);
    rec.Clear();
    Chars(edit, "abc");
    ASSERT_EQ(rec.Count(CharTyped), 3);
    EXPECT_EQ(rec.Of(CharTyped)[1].info.Param, 'b');
    EXPECT_EQ(rec.Of(CharTyped)[1].info.Text, "a");
    Click(t.g, 1, 1);
    ASSERT_EQ(rec.Count(CellChanged), 1);
    EXPECT_EQ(rec.Of(CellChanged)[0].info.Text, "abc");
    EXPECT_EQ(t->GetCellText(0, 0), "abc");
    EXPECT_EQ(t->GetCurrentRow(), 1);
    EXPECT_EQ(t->GetCurrentColumn(), 1);
    EXPECT_EQ(rec.Of(CellSelecting)[0].info.Param, 0);

    // A handler answering 0 keeps the old text, and the next visit shows it.
    rec.answer = [](int code, CellInfo&) { return code == CellChanged ? 0 : 1; };
    edit = EditBoxOf(t.g);
    SetFocus(edit);
    Chars(edit, "xyz");
    Click(t.g, 2, 2);
    EXPECT_EQ(t->GetCellText(1, 1), "r1c1");
    Click(t.g, 1, 1);
    char buf[64];
    GetWindowTextA(edit, buf, sizeof buf);
    EXPECT_STREQ(buf, "r1c1");
}

TEST(GridInput, CharTypedAndTextDeletingDecideWhatReachesTheEditor) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    rec.answer = [](int code, CellInfo& ci) {
        if (code == CharTyped) {
            if (ci.Param == 'a') ci.Param = 'A';  // a changed character goes in instead
            return ci.Param >= '0' && ci.Param <= '9' ? 1 : ci.Param == 'A' ? 1 : 0;
        }
        return 1;
    };
    t->SetCurrentCell(0, 0, 1, 0);
    HWND edit = EditBoxOf(t.g);
    Chars(edit, "1x2a");
    EXPECT_EQ(View(t.g)->EditText, "r0c012A");
    rec.Clear();
    Chars(edit, "\b");
    ASSERT_EQ(rec.Count(TextDeleting), 1);
    EXPECT_EQ(rec.Of(TextDeleting)[0].info.Text, "A");
    EXPECT_EQ(View(t.g)->EditText, "r0c012");
    // Refused deleting: Backspace and Delete leave the text.
    rec.answer = [](int code, CellInfo&) { return code == TextDeleting ? 0 : 1; };
    SendMessageA(edit, EM_SETSEL, 0, 0);
    Press(edit, VK_DELETE);
    Chars(edit, "\b");
    EXPECT_EQ(View(t.g)->EditText, "r0c012");
    EXPECT_EQ(rec.Of(TextDeleting).back().info.Text, "");  // nothing before the caret
    EXPECT_EQ(rec.Of(TextDeleting)[rec.Count(TextDeleting) - 2].info.Text, "r");
}

TEST(GridInput, EscapeRestoresTheEditorAndNothingIsSent) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    t->SetCurrentCell(1, 0, 1, 0);
    HWND edit = EditBoxOf(t.g);
    Chars(edit, "zz");
    EXPECT_EQ(t->IsCellModified(), 1);
    Chars(edit, "\x1b");
    char buf[64];
    GetWindowTextA(edit, buf, sizeof buf);
    EXPECT_STREQ(buf, "r0c1");
    EXPECT_EQ(t->IsCellModified(), 0);
    Click(t.g, 0, 1);
    EXPECT_EQ(rec.Count(CellChanged), 0);
    EXPECT_EQ(t->GetCurrentRow(), 1);
}

TEST(GridInput, EscapeAfterTheTextWasStoredGivesTheCellItsTextBack) {
    // A column-width change or a wheel turn stores the editor's pending text in the cell;
    // Escape must take that back too, and no change is reported.
    InputGrid t(3, 2);
    Recorder& rec = TheRecorder();
    rec.answer = Types({TextCell, TextCell, ComboCell}, "0\n1\n2");
    t->SetCurrentCell(1, 0, 1, 0);
    Chars(EditBoxOf(t.g), "zz");
    SendMessageA(t.list(), LVM_SETCOLUMNWIDTH, 1, 150);
    Chars(EditBoxOf(t.g), "\x1b");
    t->SetCurrentCell(0, 1, 0, 0);
    EXPECT_EQ(t->GetCellText(1, 0), "r0c1");

    t->SetCurrentCell(2, 0, 1, 0);
    HWND field = View(t.g)->EditComboField;
    SetFocus(field);
    Chars(field, "7");
    SendMessageA(t.list(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    Chars(field, "\x1b");
    t->SetCurrentCell(0, 1, 0, 0);
    EXPECT_EQ(t->GetCellText(2, 0), "r0c2");
    EXPECT_EQ(rec.Count(CellChanged), 0);
}

TEST(GridInput, EnterAndTabWrapAroundTheGrid) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    t->SetCurrentCell(1, 1, 1, 0);
    Chars(EditBoxOf(t.g), "\r");
    EXPECT_EQ(t->GetCurrentRow(), 0);
    EXPECT_EQ(t->GetCurrentColumn(), 0);
    EXPECT_EQ(rec.Of(CellSelecting).back().info.Param, SelectByTab);
    EXPECT_EQ(GetFocus(), EditBoxOf(t.g));  // the new cell's editor

    // Tab acts on release, on the list too; Shift+Tab from the first cell goes to the last.
    SetFocus(t.list());
    Hold({VK_SHIFT});
    Press(t.list(), VK_TAB);
    EXPECT_EQ(t->GetCurrentRow(), 0);
    Release(t.list(), VK_TAB);
    EXPECT_EQ(t->GetCurrentRow(), 1);
    EXPECT_EQ(t->GetCurrentColumn(), 1);
    EXPECT_EQ(rec.Of(CellSelecting).back().info.Param, SelectByShiftTab);
    EXPECT_EQ(GetFocus(), t.list());
    Hold({});
    Release(t.list(), VK_TAB);
    EXPECT_EQ(t->GetCurrentRow(), 0);
    EXPECT_EQ(t->GetCurrentColumn(), 0);
}

TEST(GridInput, ArrowsMoveWithReasonsStopAtEdgesAndCtrlFindsFilledCells) {
    InputGrid t(2, 6);
    Recorder& rec = TheRecorder();
    for (int r = 1; r <= 3; ++r) t->SetCellText(0, r, "");
    t->SetCurrentCell(0, 0, 0, 0);
    SetFocus(t.list());
    rec.Clear();
    Hold({VK_CONTROL});
    Key(t.list(), VK_DOWN);
    EXPECT_EQ(t->GetCurrentRow(), 4);  // over three empty cells to the filled one
    t->SetCellText(0, 5, "");
    Key(t.list(), VK_DOWN);
    EXPECT_EQ(t->GetCurrentRow(), 5);  // only empty cells: the last row
    Hold({});
    rec.Clear();
    Key(t.list(), VK_DOWN);
    EXPECT_EQ(rec.Count(CellSelecting), 0);  // nothing below the last row
    Key(t.list(), VK_RIGHT);
    EXPECT_EQ(t->GetCurrentColumn(), 1);
    EXPECT_EQ(rec.Of(CellSelecting).back().info.Param, SelectByRight);
    Key(t.list(), VK_UP);
    EXPECT_EQ(rec.Of(CellSelecting).back().info.Param, SelectByUp);
    EXPECT_EQ(t->GetCurrentRow(), 4);
    // A refusal keeps the cell where it is.
    rec.answer = [](int code, CellInfo&) { return code == CellSelecting ? 0 : 1; };
    Key(t.list(), VK_LEFT);
    EXPECT_EQ(t->GetCurrentColumn(), 1);
    rec.answer = nullptr;
    Hold({VK_CONTROL});
    Key(t.list(), VK_HOME);
    EXPECT_EQ(t->GetCurrentRow(), 0);
    EXPECT_EQ(t->GetCurrentColumn(), 0);
    EXPECT_EQ(rec.Of(CellSelecting).back().info.Param, SelectByHome);
    Key(t.list(), VK_END);
    EXPECT_EQ(t->GetCurrentRow(), 5);
    EXPECT_EQ(t->GetCurrentColumn(), 1);
}

TEST(GridInput, ShiftGrowsABlockWhichCopiesCutsAndCollapses) {
    InputGrid t(3, 3);
    Recorder& rec = TheRecorder();
    t->SetCellText(0, 0, "x");
    t->SetCellText(1, 0, "y");
    t->SetCurrentCell(0, 0, 0, 0);
    SetFocus(t.list());
    rec.Clear();
    Hold({VK_SHIFT});
    Key(t.list(), VK_RIGHT);
    Hold({});
    EXPECT_EQ(t->GetCurrentRow(), -1);
    EXPECT_EQ(rec.Count(CellLeft), 1);
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, 0, 2, 1}));
    Hold({VK_CONTROL});
    Key(t.list(), 'C');
    Hold({});
    ASSERT_EQ(rec.Count(ClipboardRequest), 1);
    EXPECT_EQ(rec.Of(ClipboardRequest)[0].info.Param, 0);
    EXPECT_EQ(ClipboardText(), "x\ty\r\n");
    // Shrinking past the anchor turns the block the other way.
    Hold({VK_SHIFT});
    Key(t.list(), VK_LEFT);
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, 0, 1, 1}));
    Key(t.list(), VK_DOWN);
    Key(t.list(), VK_DOWN);
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, 0, 1, 3}));
    Hold({VK_CONTROL});
    Key(t.list(), 'X');
    Hold({});
    EXPECT_EQ(ClipboardText(), "x\r\nr1c0\r\nr2c0\r\n");
    EXPECT_EQ(t->GetCellText(0, 1), "");
    EXPECT_EQ(t->GetCellText(0, 2), "");
    // Escape collapses to the anchor, which becomes current again when accepted.
    rec.Clear();
    Key(t.list(), VK_ESCAPE);
    ASSERT_EQ(rec.Count(CellSelecting), 1);
    EXPECT_EQ(rec.Of(CellSelecting)[0].info.Param, SelectByEscape);
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(t->GetCurrentRow(), 0);
}

TEST(GridInput, SelectAllFollowsTheSelectionModeAndDeleteAsksFirst) {
    InputGrid t(3, 4);
    Recorder& rec = TheRecorder();
    t->SetCurrentCell(1, 2, 0, 0);
    SetFocus(t.list());
    Hold({VK_CONTROL});
    Key(t.list(), 'A');
    Hold({});
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, 0, 3, 4}));
    t->SetAttribute(AttrSelectionMode, 1);
    t->SetCurrentCell(1, 2, 0, 0);
    Hold({VK_CONTROL});
    Key(t.list(), 'A');
    Hold({});
    EXPECT_EQ(Block(t.g), (std::vector<int>{1, 0, 1, 4}));
    // Shift+Right cannot widen a one-column selection.
    Hold({VK_SHIFT});
    Key(t.list(), VK_RIGHT);
    Hold({});
    EXPECT_EQ(Block(t.g), (std::vector<int>{1, 0, 1, 4}));

    rec.answer = [](int code, CellInfo&) { return code == DeleteRequest ? 0 : 1; };
    Key(t.list(), VK_DELETE);
    ASSERT_EQ(rec.Count(DeleteRequest), 1);
    EXPECT_EQ(rec.Of(DeleteRequest)[0].info.ImageHeight, 4);
    EXPECT_EQ(t->GetCellText(1, 3), "r3c1");
    rec.answer = nullptr;
    Key(t.list(), VK_DELETE);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(t->GetCellText(1, r), "");
    EXPECT_EQ(t->GetCellText(0, 3), "r3c0");
}

TEST(GridInput, AfterAPasteTheCurrentCellsEditorShowsWhatTheCellHolds) {
    InputGrid t(3, 2);
    Recorder& rec = TheRecorder();
    // Column 0 rewrites what it is given, column 1 offers a list, column 2 a combo.
    rec.answer = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 1) {
            ci.CellType = ListCell;
            ci.Text = "one\ntwo\nthree";
        } else if (code == QueryCellType && ci.Column == 2) {
            ci.CellType = ComboCell;
            ci.Text = "0\n1\n2";
        } else if (code == CellChanged && ci.Column == 0) {
            for (char& c : ci.Text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return 1;
    };
    auto shown = [](HWND w) {
        char buf[64] = {};
        GetWindowTextA(w, buf, sizeof buf);
        return std::string(buf);
    };
    t->SetCurrentCell(0, 0, 1, 0);
    SetClipboardText("abc\ttwo\t2\r\n");
    EXPECT_EQ(t->PasteClipboard(), 3);
    EXPECT_EQ(t->GetCellText(0, 0), "ABC");
    EXPECT_EQ(shown(EditBoxOf(t.g)), "ABC");
    t->SetCurrentCell(1, 1, 1, 0);
    SetClipboardText("three\r\n");
    t->PasteClipboard();
    EXPECT_EQ(t->GetCellText(1, 1), "three");
    EXPECT_EQ(shown(View(t.g)->ListCombo), "three");
    t->SetCurrentCell(2, 1, 1, 0);
    SetClipboardText("1\r\n");
    t->PasteClipboard();
    EXPECT_EQ(t->GetCellText(2, 1), "1");
    EXPECT_EQ(shown(View(t.g)->EditComboField), "1");
}

TEST(GridInput, PasteOfTwoByTwoSendsFourChangesInRowOrder) {
    InputGrid t(3, 3);
    Recorder& rec = TheRecorder();
    t->SetCurrentCell(1, 1, 0, 0);
    SetFocus(t.list());
    SetClipboardText("a\tb\r\nc\td\r\n");
    rec.Clear();
    Hold({VK_CONTROL});
    Key(t.list(), 'V');
    Hold({});
    EXPECT_EQ(rec.Of(ClipboardRequest).at(0).info.Param, 2);
    auto changed = rec.Of(CellChanged);
    ASSERT_EQ(changed.size(), 4u);
    EXPECT_EQ(changed[0].info.Text, "a");
    EXPECT_EQ(changed[1].info.Row, 1);
    EXPECT_EQ(changed[1].info.Column, 2);
    EXPECT_EQ(changed[2].info.Row, 2);
    EXPECT_EQ(changed[3].info.Text, "d");
    EXPECT_EQ(t->GetCellText(2, 2), "d");
    char buf[16];
    GetWindowTextA(EditBoxOf(t.g), buf, sizeof buf);
    EXPECT_STREQ(buf, "a");
}

TEST(GridInput, CheckCellsToggleInsideTheBoxAndSpaceStepsProgressWithinBounds) {
    InputGrid t(3, 2);
    Recorder& rec = TheRecorder();
    rec.answer = Types({CheckCell, ProgressCell, TextCell}, "1/0");
    t->SetCellText(0, 0, "0");
    t->SetCellText(1, 0, "100");
    t->SetCellText(1, 1, "0");
    RECT cell = CellRect(t.g, 0, 0);
    Click(t.g, 0, 0, 1, 1);  // the corner is outside the box
    EXPECT_EQ(rec.Count(CellChanged), 0);
    Click(t.g, 0, 0);
    ASSERT_EQ(rec.Count(CellChanged), 1);
    EXPECT_EQ(rec.Of(CellChanged)[0].info.Text, "1");
    EXPECT_EQ(t->GetCellText(0, 0), "1");
    (void)cell;
    // Clicked again, now as the current cell: it reads the new value and is reported once.
    ASSERT_EQ(t->GetCurrentRow(), 0);
    Click(t.g, 0, 0);
    EXPECT_EQ(t->GetCellText(0, 0), "0");
    t->EndEdit();
    EXPECT_EQ(rec.Count(CellChanged), 2);

    t->SetCurrentCell(1, 0, 1, 0);
    HWND holder = GetFocus();  // the focus holder of non-text cells
    ASSERT_NE(holder, nullptr);
    Press(holder, VK_SPACE);
    EXPECT_EQ(t->GetCellText(1, 0), "100");
    t->SetCurrentCell(1, 1, 1, 0);
    Hold({VK_CONTROL});
    Press(GetFocus(), VK_SPACE);
    Hold({});
    EXPECT_EQ(t->GetCellText(1, 1), "0");
    Press(GetFocus(), VK_SPACE);
    EXPECT_EQ(t->GetCellText(1, 1), "1");
    // Space on a current check cell changes it now; CellChanged follows with the commit.
    t->SetCurrentCell(0, 1, 1, 0);
    t->SetCellText(0, 1, "1");
    rec.Clear();
    Press(GetFocus(), VK_SPACE);
    EXPECT_EQ(t->GetCellText(0, 1), "0");
    EXPECT_EQ(rec.Count(CellChanged), 0);
    t->EndEdit();
    ASSERT_EQ(rec.Count(CellChanged), 1);
    EXPECT_EQ(rec.Of(CellChanged)[0].info.Text, "0");
}

TEST(GridInput, ButtonsClickOnlyWhenReleasedOverThemAndEnterPressesTheCurrentOne) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    rec.answer = Types({ButtonCell, TextCell});
    t->SetCellText(0, 0, "Go");
    POINT p = CellPoint(t.g, 0, 0);
    SendMessageA(t.list(), WM_LBUTTONDOWN, MK_LBUTTON, At(p));
    EXPECT_EQ(t->GetCellText(0, 0), "Go\\+");
    EXPECT_EQ(GetCapture(), t.list());
    SendMessageA(t.list(), WM_LBUTTONUP, 0, At(p));
    ASSERT_EQ(rec.Count(ButtonClicked), 1);
    EXPECT_EQ(t->GetCellText(0, 0), "Go");

    // Dragged off before the release: shown released, no click.
    rec.Clear();
    SendMessageA(t.list(), WM_LBUTTONDOWN, MK_LBUTTON, At(p));
    POINT away = CellPoint(t.g, 1, 1);
    SendMessageA(t.list(), WM_MOUSEMOVE, MK_LBUTTON, At(away));
    EXPECT_EQ(t->GetCellText(0, 0), "Go");
    SendMessageA(t.list(), WM_LBUTTONUP, 0, At(away));
    EXPECT_EQ(rec.Count(ButtonClicked), 0);

    t->SetCurrentCell(0, 1, 0, 0);
    t->SetCellText(0, 1, "Run");
    SetFocus(t.list());
    Press(t.list(), VK_RETURN);
    EXPECT_EQ(t->GetCellText(0, 1), "Run\\+");
    Release(t.list(), VK_RETURN);
    EXPECT_EQ(t->GetCellText(0, 1), "Run");
    ASSERT_EQ(rec.Count(ButtonClicked), 1);
    EXPECT_EQ(rec.Of(ButtonClicked)[0].info.Row, 1);
}

TEST(GridInput, DragSelectsOnlyAfterSixPixels) {
    InputGrid t(3, 4);
    HWND list = t.list();
    auto screen = [&](POINT p) {
        ClientToScreen(list, &p);
        return p;
    };
    POINT start = CellPoint(t.g, 0, 0, 75, 10);  // near the right edge of the cell
    POINT s = screen(start);
    SetCursorPos(s.x, s.y);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, At(start));
    ASSERT_EQ(t->GetCurrentRow(), 0);
    // Into the next cell, but by 5 pixels only: nothing beyond the clicked cell.
    SetCursorPos(s.x + 5, s.y);
    for (int i = 0; i < 3; ++i) SendMessageA(list, WM_TIMER, gridimpl::DragTimerId, 0);
    EXPECT_EQ(t->GetCurrentRow(), 0);
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, 0, 1, 1}));
    // Further on, the timer alone grows the block.
    POINT to = screen(CellPoint(t.g, 2, 2));
    SetCursorPos(to.x, to.y);
    EXPECT_TRUE(PumpUntil([&] { return Block(t.g) == std::vector<int>{0, 0, 3, 3}; }));
    EXPECT_EQ(t->GetCurrentRow(), -1);
    EXPECT_EQ(TheRecorder().Count(CellLeft), 1);
    SendMessageA(list, WM_LBUTTONUP, 0, At(CellPoint(t.g, 2, 2)));
    EXPECT_NE(GetCapture(), list);
    // Click and drag upwards-left from (2, 3): negative extents.
    POINT s2 = screen(CellPoint(t.g, 2, 3));
    SetCursorPos(s2.x, s2.y);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, At(CellPoint(t.g, 2, 3)));
    POINT to2 = screen(CellPoint(t.g, 1, 2));
    SetCursorPos(to2.x, to2.y);
    EXPECT_TRUE(PumpUntil([&] { return Block(t.g) == std::vector<int>{2, 3, -2, -2}; }));
    SendMessageA(list, WM_LBUTTONUP, 0, At(CellPoint(t.g, 1, 2)));
}

TEST(GridInput, ScrollingMovesByRowsAndPixelsAndParksTheEditorMeanwhile) {
    InputGrid t(12, 60);
    HWND list = t.list();
    Recorder& rec = TheRecorder();
    t->SetCurrentCell(0, 0, 1, 0);
    Chars(EditBoxOf(t.g), "q");
    rec.Clear();
    SendMessageA(list, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 1);
    RECT er;
    GetWindowRect(EditBoxOf(t.g), &er);
    POINT origin{er.left, er.top};
    ScreenToClient(list, &origin);
    EXPECT_EQ(origin.x, -1000);  // parked while the scroll goes on
    EXPECT_EQ(t->GetCellText(0, 0), "r0c0q");  // pending text kept in the cell, unannounced
    EXPECT_EQ(rec.Count(CellChanged), 0);
    int perPage = static_cast<int>(SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0));
    SendMessageA(list, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 1 + perPage);
    SendMessageA(list, WM_VSCROLL, SB_PAGEUP, 0);
    SendMessageA(list, WM_VSCROLL, SB_LINEUP, 0);
    SendMessageA(list, WM_VSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 0);
    GetWindowRect(EditBoxOf(t.g), &er);
    origin = POINT{er.left, er.top};
    ScreenToClient(list, &origin);
    RECT cell = CellRect(t.g, 0, 0);
    EXPECT_GT(origin.x, cell.left);  // placed over its cell again
    EXPECT_LT(origin.y, cell.bottom);
    EXPECT_EQ(t->IsCellModified(), 1);

    SendMessageA(list, WM_HSCROLL, SB_LINERIGHT, 0);
    SendMessageA(list, WM_HSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(GetScrollPos(list, SB_HORZ), 50);
    SendMessageA(list, WM_HSCROLL, SB_PAGERIGHT, 0);
    SendMessageA(list, WM_HSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(GetScrollPos(list, SB_HORZ), 250);
}

TEST(GridInput, ThumbRelease) {
    InputGrid t(2, 60, 0x20045 | ScrollOnThumbRelease);
    HWND list = t.list();
    SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 7), 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 0);
    SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 7), 0);
    SendMessageA(list, WM_VSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 7);
}

TEST(GridInput, TooltipsSplitTitleAndBodyAndRightClicksOutsideSayMinusTen) {
    InputGrid t(2, 2, 0x20045 | Tooltips);
    Recorder& rec = TheRecorder();
    rec.answer = [](int code, CellInfo& ci) {
        if (code == TooltipQuery) ci.Text = "Title\x07" "Body of " + std::to_string(ci.Row);
        return 1;
    };
    HWND list = t.list();
    SendMessageA(list, WM_MOUSEMOVE, 0, At(CellPoint(t.g, 1, 1)));
    ASSERT_EQ(rec.Count(TooltipQuery), 1);
    EXPECT_EQ(rec.Of(TooltipQuery)[0].info.ImageWidth, 250);
    EXPECT_EQ(rec.Of(TooltipQuery)[0].info.BackColour, -1);
    HWND tip = View(t.g)->TooltipWindow;
    ASSERT_NE(tip, nullptr);
    char body[64] = {};
    TTTOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = GetParent(list);
    ti.uId = reinterpret_cast<UINT_PTR>(list);
    ti.lpszText = body;
    SendMessageA(tip, TTM_GETTEXTA, sizeof body, reinterpret_cast<LPARAM>(&ti));
    EXPECT_STREQ(body, "Body of 1");
    // The title sits above the body: taking it away makes the bubble lower.
    LRESULT withTitle = SendMessageA(tip, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageA(tip, TTM_SETTITLEA, 0, 0);
    LRESULT without = SendMessageA(tip, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&ti));
    EXPECT_GT(HIWORD(withTitle), HIWORD(without));
    // The real pointer resting over the cell brings it up through the relayed moves.
    POINT over = CellPoint(t.g, 1, 1);
    ClientToScreen(list, &over);
    SetCursorPos(over.x, over.y);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(tip) != FALSE; }));
    if (const char* hold = getenv("GRID_TEST_HOLD_MS")) PumpUntil([] { return false; }, atoi(hold));
    // Same cell: no new question; another cell: the old tooltip goes.
    SendMessageA(list, WM_MOUSEMOVE, 0, At(CellPoint(t.g, 1, 1, 3, 3)));
    EXPECT_EQ(rec.Count(TooltipQuery), 1);
    SendMessageA(list, WM_MOUSEMOVE, 0, At(CellPoint(t.g, 0, 0)));
    EXPECT_EQ(rec.Count(TooltipQuery), 2);
    EXPECT_FALSE(IsWindow(tip));

    RECT last = CellRect(t.g, 0, 1);
    SendMessageA(list, WM_RBUTTONUP, 0, MAKELPARAM(10, last.bottom + 30));
    ASSERT_EQ(rec.Count(RightButtonUp), 1);
    EXPECT_EQ(rec.Of(RightButtonUp)[0].info.Row, -10);
    EXPECT_EQ(rec.Of(RightButtonUp)[0].info.Column, -10);
    SendMessageA(list, WM_RBUTTONDOWN, MK_RBUTTON, At(CellPoint(t.g, 1, 0)));
    ASSERT_EQ(rec.Count(RightButtonDown), 1);
    EXPECT_EQ(rec.Of(RightButtonDown)[0].info.Column, 1);
}

TEST(GridInput, FocusLossDropsTheCellWithReasonOne) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    HWND other = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 600, 520, 50, 20, t.host,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    t->SetCurrentCell(0, 0, 1, 0);
    Chars(EditBoxOf(t.g), "k");
    rec.Clear();
    SetFocus(other);
    ASSERT_EQ(rec.Count(CellChanged), 1);
    ASSERT_EQ(rec.Count(CellLeft), 1);
    EXPECT_EQ(rec.Of(CellLeft)[0].info.Param, 1);
    EXPECT_EQ(t->GetCurrentRow(), -1);
    // Moving between the grid's own windows keeps it.
    t->SetCurrentCell(0, 0, 1, 0);
    rec.Clear();
    SetFocus(t.list());
    EXPECT_EQ(t->GetCurrentRow(), 0);
    EXPECT_EQ(rec.Count(CellLeft), 0);
}

TEST(GridInput, HeaderDividerDragAsksAndReportsTheNewWidth) {
    InputGrid t(3, 2, 0x20045 | ResizableColumns);
    Recorder& rec = TheRecorder();
    HWND header = HeaderOf(t.g);
    RECT item{};
    SendMessageA(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    rec.answer = [](int code, CellInfo&) { return code == ColumnResizing ? 0 : 1; };
    int before = static_cast<int>(SendMessageA(t.list(), LVM_GETCOLUMNWIDTH, 1, 0));
    auto drag = [&] {
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(item.right - 1, 5));
        SendMessageA(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(item.right + 30, 5));
        SendMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(item.right + 30, 5));
    };
    drag();
    EXPECT_EQ(SendMessageA(t.list(), LVM_GETCOLUMNWIDTH, 1, 0), before);
    EXPECT_GE(rec.Count(ColumnResizing), 1);
    EXPECT_EQ(rec.Count(ColumnChanged), 0);
    rec.answer = nullptr;
    rec.Clear();
    drag();
    EXPECT_GT(SendMessageA(t.list(), LVM_GETCOLUMNWIDTH, 1, 0), before);
    ASSERT_EQ(rec.Count(ColumnChanged), 1);
    EXPECT_EQ(rec.Of(ColumnChanged)[0].info.Column, 0);
    EXPECT_EQ(rec.Of(ColumnChanged)[0].info.Param, 0);
    // Right button on an item, and beside the items.
    rec.Clear();
    SendMessageA(header, WM_RBUTTONUP, 0, MAKELPARAM(item.left + 20, 5));
    SendMessageA(header, WM_RBUTTONUP, 0, MAKELPARAM(690, 5));
    auto up = rec.Of(RightButtonUp);
    ASSERT_EQ(up.size(), 2u);
    EXPECT_EQ(up[0].info.Row, -1);
    EXPECT_EQ(up[0].info.Column, 0);
    EXPECT_EQ(up[1].info.Column, -10);
}

TEST(GridInput, ComboChoicesAreReportedAndEscapeTakesThemBack) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    rec.answer = Types({ListCell, ComboCell}, "one\ntwo\nthree");
    t->SetCellText(0, 0, "two");
    t->SetCurrentCell(0, 0, 1, 0);
    gridimpl::GridViewState* v = View(t.g);
    HWND combo = v->ListCombo;
    EXPECT_EQ(GetFocus(), combo);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
    rec.Clear();
    // The user picks "three": the list cell takes it at once and ListChoice tells.
    SendMessageA(combo, CB_SETCURSEL, 2, 0);
    SendMessageA(t.list(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    ASSERT_EQ(rec.Count(ListChoice), 1);
    EXPECT_EQ(rec.Of(ListChoice)[0].info.Text, "three");
    EXPECT_EQ(t->GetCellText(0, 0), "three");
    Press(combo, VK_ESCAPE);
    ASSERT_EQ(rec.Count(ListChoice), 2);
    EXPECT_EQ(rec.Of(ListChoice)[1].info.Text, "two");
    EXPECT_EQ(t->GetCellText(0, 0), "two");
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
    t->EndEdit();
    EXPECT_EQ(rec.Count(CellChanged), 0);

    // Enter in the list moves on to the combo cell, whose edit field holds the typing.
    t->SetCurrentCell(0, 0, 1, 0);
    Press(combo, VK_RETURN);
    EXPECT_EQ(t->GetCurrentColumn(), 1);
    EXPECT_EQ(GetFocus(), v->EditComboField);
    rec.Clear();
    SendMessageA(v->EditComboField, EM_SETSEL, 0, -1);
    Chars(v->EditComboField, "x");
    EXPECT_EQ(rec.Count(TextDeleting), 1);  // typing over a selection asks first
    ASSERT_EQ(rec.Count(CharTyped), 1);
    EXPECT_EQ(v->EditText, "x");
    Press(v->EditComboField, VK_TAB);
    Hold({VK_SHIFT});
    Release(v->EditComboField, VK_TAB);
    Hold({});
    EXPECT_EQ(t->GetCurrentColumn(), 0);
    ASSERT_EQ(rec.Count(CellChanged), 1);
    EXPECT_EQ(rec.Of(CellChanged)[0].info.Text, "x");
    EXPECT_EQ(t->GetCellText(1, 0), "x");
}

TEST(GridInput, ClicksOnTheCurrentTextCellGoToTheEditorAndAreReportedOnce) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    t->SetCurrentCell(0, 0, 0, 0);
    SetFocus(t.list());
    rec.Clear();
    Click(t.g, 0, 0, 8, 10);
    EXPECT_EQ(GetFocus(), EditBoxOf(t.g));
    EXPECT_EQ(rec.Count(LeftButtonDown), 1);  // the relayed press is not reported again
    EXPECT_EQ(rec.Count(CellSelecting), 0);
    // The editor's own clicks are reported for the current cell.
    SendMessageA(EditBoxOf(t.g), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(EditBoxOf(t.g), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(rec.Count(LeftButtonDown), 2);
    EXPECT_EQ(rec.Of(LeftButtonUp).back().info.Row, 0);
    // A right click on it asks the application before any menu; 0 keeps the menu away.
    rec.answer = [](int code, CellInfo&) { return code == RightButtonUp ? 0 : 1; };
    SendMessageA(t.list(), WM_RBUTTONUP, 0, At(CellPoint(t.g, 0, 0)));
    ASSERT_EQ(rec.Count(RightButtonUp), 1);
    EXPECT_EQ(rec.Of(RightButtonUp)[0].info.Row, 0);
    EXPECT_EQ(rec.Of(RightButtonUp)[0].info.Column, 0);
}

TEST(GridInput, LinksUnderTheCursorTurnHot) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    rec.answer = Types({LinkCell, TextCell});
    HWND list = t.list();
    POINT p = CellPoint(t.g, 0, 1);
    ClientToScreen(list, &p);
    SetCursorPos(p.x, p.y);
    SendMessageA(list, WM_SETCURSOR, reinterpret_cast<WPARAM>(list), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_HAND));
    EXPECT_EQ(View(t.g)->HotRow, 1);
    EXPECT_EQ(View(t.g)->HotColumn, 1);
    // A plain text cell is no link; an empty link cell neither.
    p = CellPoint(t.g, 1, 1);
    ClientToScreen(list, &p);
    SetCursorPos(p.x, p.y);
    SendMessageA(list, WM_SETCURSOR, reinterpret_cast<WPARAM>(list), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(View(t.g)->HotRow, -1);
    t->SetCellText(0, 0, "  ");
    p = CellPoint(t.g, 0, 0);
    ClientToScreen(list, &p);
    SetCursorPos(p.x, p.y);
    SendMessageA(list, WM_SETCURSOR, reinterpret_cast<WPARAM>(list), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(View(t.g)->HotRow, -1);
    SetCursorPos(1000, 1000);
}

TEST(GridInput, MovedColumnsAreReportedAndTheFixedFirstColumnStaysFirst) {
    InputGrid t(3, 2, 0x20045 | FixedFirstColumn);
    Recorder& rec = TheRecorder();
    HWND list = t.list(), header = HeaderOf(t.g);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_HEADERDRAGDROP, LVS_EX_HEADERDRAGDROP);
    RECT second{}, first{};
    SendMessageA(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&second));
    SendMessageA(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&first));
    auto drag = [&](int fromX, int toX) {
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fromX, 5));
        for (int x = fromX; x >= toX; x -= 10)
            SendMessageA(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, 5));
        SendMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(toX, 5));
    };
    // Column 1 dragged in front of column 0 would take its place: it is put back.
    drag(second.left + 40, first.left + 10);
    std::int32_t order[3];
    t->GetColumnOrder(order);
    EXPECT_EQ(order[0], 0);
    for (const Event& e : rec.Of(ColumnChanged)) EXPECT_EQ(e.info.Param, 1);
    // Column 2 dragged onto column 1: a real move, reported with Param 1.
    rec.Clear();
    RECT third{};
    SendMessageA(header, HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&third));
    SendMessageA(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&second));
    drag(third.left + 40, second.left + 10);
    t->GetColumnOrder(order);
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(order[1], 2);
    EXPECT_EQ(order[2], 1);
    ASSERT_EQ(rec.Count(ColumnChanged), 1);
    EXPECT_EQ(rec.Of(ColumnChanged)[0].info.Param, 1);
    EXPECT_EQ(rec.Of(ColumnChanged)[0].info.Column, 2);
    // The moved order is the order of keys and copies.
    t->SetCurrentCell(0, 0, 0, 0);
    SetFocus(list);
    Key(list, VK_RIGHT);
    EXPECT_EQ(t->GetCurrentColumn(), 2);
}

TEST(GridInput, TheWheelParksAndPlacesTheEditorAndKeepsPendingText) {
    InputGrid t(2, 60);
    HWND list = t.list();
    t->SetCurrentCell(0, 3, 1, 0);
    Chars(EditBoxOf(t.g), "w");
    RECT before;
    GetWindowRect(EditBoxOf(t.g), &before);
    SendMessageA(list, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), MAKELPARAM(50, 50));
    int top = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
    EXPECT_GT(top, 0);
    EXPECT_EQ(t->GetCellText(0, 3), "r3c0w");
    EXPECT_EQ(TheRecorder().Count(CellChanged), 0);
    // Scrolled above the first visible row the editor stays parked; back in view, it is placed.
    SendMessageA(list, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(50, 50));
    EXPECT_EQ(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 0);
    RECT after;
    GetWindowRect(EditBoxOf(t.g), &after);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.left, before.left);
}

namespace {

std::vector<COLORREF> CellPixels(GridControl* g, int column, int row) {
    PaintNow(g);
    RECT r = CellRect(g, column, row);
    HDC dc = GetDC(ListOf(g));
    std::vector<COLORREF> out;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) out.push_back(GetPixel(dc, x, y));
    ReleaseDC(ListOf(g), dc);
    return out;
}

int CountColour(const std::vector<COLORREF>& pixels, COLORREF c) {
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), c));
}

}  // namespace

TEST(GridInput, PressedButtonsAndHotLinksShowOnScreen) {
    InputGrid t(2, 2);
    Recorder& rec = TheRecorder();
    rec.answer = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 0) ci.CellType = ButtonCell;
        if (code == QueryCellType && ci.Column == 1) {
            ci.CellType = LinkCell;
            ci.HotTextColour = RGB(255, 0, 0);
        }
        return 1;
    };
    t->SetCellText(0, 0, "Push");
    t->SetCurrentCell(0, 0, 0, 0);  // the click makes it current: compare it as current
    auto released = CellPixels(t.g, 0, 0);
    POINT p = CellPoint(t.g, 0, 0);
    SendMessageA(t.list(), WM_LBUTTONDOWN, MK_LBUTTON, At(p));
    auto pressed = CellPixels(t.g, 0, 0);
    EXPECT_NE(pressed, released);
    SendMessageA(t.list(), WM_LBUTTONUP, 0, At(p));
    EXPECT_EQ(CellPixels(t.g, 0, 0), released);

    EXPECT_EQ(CountColour(CellPixels(t.g, 1, 1), RGB(255, 0, 0)), 0);
    POINT over = CellPoint(t.g, 1, 1);
    ClientToScreen(t.list(), &over);
    SetCursorPos(over.x, over.y);
    SendMessageA(t.list(), WM_SETCURSOR, reinterpret_cast<WPARAM>(t.list()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_GT(CountColour(CellPixels(t.g, 1, 1), RGB(255, 0, 0)), 5);
    SendMessageA(t.list(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(CountColour(CellPixels(t.g, 1, 1), RGB(255, 0, 0)), 0);
    SetCursorPos(1000, 1000);
}

TEST(GridInput, ShiftTabKeepsTheFocusAndPageKeysMoveByAPage) {
    InputGrid t(2, 40);
    Recorder& rec = TheRecorder();
    HWND other = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 600, 520, 50, 20, t.host,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    t->SetCurrentCell(0, 0, 1, 0);
    rec.Clear();
    Hold({VK_SHIFT, VK_TAB});
    SetFocus(other);
    Hold({});
    EXPECT_EQ(GetFocus(), EditBoxOf(t.g));
    EXPECT_EQ(rec.Count(CellLeft), 0);
    EXPECT_EQ(t->GetCurrentRow(), 0);

    SetFocus(t.list());
    int perPage = static_cast<int>(SendMessageA(t.list(), LVM_GETCOUNTPERPAGE, 0, 0));
    Key(t.list(), VK_NEXT);
    EXPECT_EQ(t->GetCurrentRow(), perPage);
    EXPECT_EQ(rec.Of(CellSelecting).back().info.Param, SelectByPageDown);
    // The new current cell was scrolled into view: its editor lies inside the list.
    RECT er, lr;
    GetWindowRect(EditBoxOf(t.g), &er);
    GetClientRect(t.list(), &lr);
    MapWindowPoints(nullptr, t.list(), reinterpret_cast<POINT*>(&er), 2);
    EXPECT_GE(er.top, 0);
    EXPECT_LE(er.bottom, lr.bottom);
    Hold({VK_SHIFT});
    Key(t.list(), VK_PRIOR);
    Hold({});
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, perPage, 1, -(perPage + 1)}));
    Key(t.list(), VK_PRIOR);  // block mode: the anchor becomes current, then moves
    EXPECT_EQ(t->GetCurrentRow(), 0);
    EXPECT_EQ(rec.Of(CellSelecting).back().info.Param, SelectByPageUp);
}

TEST(GridInput, DoubleClickOnADividerSizesTheColumnToItsText) {
    InputGrid t(2, 2, 0x20045 | ResizableColumns);
    Recorder& rec = TheRecorder();
    t->SetCellText(0, 1, "a rather longer text than the column shows");
    HWND header = HeaderOf(t.g);
    RECT item{};
    SendMessageA(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    int before = static_cast<int>(SendMessageA(t.list(), LVM_GETCOLUMNWIDTH, 1, 0));
    SendMessageA(header, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(item.right - 1, 5));
    EXPECT_GT(SendMessageA(t.list(), LVM_GETCOLUMNWIDTH, 1, 0), before);
    ASSERT_EQ(rec.Count(ColumnChanged), 1);
    EXPECT_EQ(rec.Of(ColumnChanged)[0].info.Param, 0);
    EXPECT_EQ(rec.Of(LeftDoubleClick).at(0).info.Row, -1);
    // Not on a divider: swallowed, no size change.
    rec.Clear();
    SendMessageA(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
    int second = static_cast<int>(SendMessageA(t.list(), LVM_GETCOLUMNWIDTH, 2, 0));
    SendMessageA(header, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(item.left + 30, 5));
    EXPECT_EQ(SendMessageA(t.list(), LVM_GETCOLUMNWIDTH, 2, 0), second);
    EXPECT_EQ(rec.Count(ColumnChanged), 0);
}

TEST(GridInput, AClickedComboCellHasItsEditFieldOverTheCell) {
    InputGrid t(3, 3);
    Recorder& rec = TheRecorder();
    rec.answer = Types({TextCell, ComboCell, TextCell}, "0\n1\n2");
    SendMessageA(t.list(), LVM_SETCOLUMNWIDTH, 2, 45);
    Click(t.g, 1, 1);
    ASSERT_EQ(t->GetCurrentColumn(), 1);
    HWND field = View(t.g)->EditComboField;
    RECT fr;
    GetWindowRect(field, &fr);
    POINT mid = CellPoint(t.g, 1, 1);
    ClientToScreen(t.list(), &mid);
    EXPECT_TRUE(IsWindowVisible(field));
    EXPECT_TRUE(PtInRect(&fr, mid)) << fr.left << "," << fr.top << " " << fr.right << "," << fr.bottom
                                    << " mid " << mid.x << "," << mid.y;
}

TEST(GridInput, SelectionModesTwoAndThreeLimitBlocks) {
    InputGrid t(3, 3);
    t->SetAttribute(AttrSelectionMode, 2);
    t->SetCurrentCell(1, 1, 0, 0);
    SetFocus(t.list());
    Hold({VK_SHIFT});
    Key(t.list(), VK_DOWN);  // one row only
    EXPECT_EQ(Block(t.g), (std::vector<int>{1, 1, 1, 1}));
    Key(t.list(), VK_RIGHT);
    EXPECT_EQ(Block(t.g), (std::vector<int>{1, 1, 2, 1}));
    Hold({VK_CONTROL});
    Key(t.list(), 'A');
    EXPECT_EQ(Block(t.g), (std::vector<int>{0, 1, 3, 1}));

    t->SetAttribute(AttrSelectionMode, 3);
    t->SetCurrentCell(1, 1, 0, 0);
    Hold({VK_SHIFT});
    Key(t.list(), VK_DOWN);
    Hold({VK_CONTROL});
    Key(t.list(), 'A');
    Hold({});
    EXPECT_EQ(t->GetCurrentRow(), 1);  // no block selection: the current cell stays
    EXPECT_EQ(Block(t.g), (std::vector<int>{1, 1, 1, 1}));
}

TEST(GridInput, TheHiddenColumnStaysFirstWhateverIsDraggedInFrontOfIt) {
    InputGrid t(3, 2);
    HWND list = t.list(), header = HeaderOf(t.g);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_HEADERDRAGDROP, LVS_EX_HEADERDRAGDROP);
    RECT third{};
    SendMessageA(header, HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&third));
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(third.left + 40, 5));
    for (int x = third.left + 40; x >= 0; x -= 10) SendMessageA(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, 5));
    SendMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(0, 5));
    int order[4] = {};
    SendMessageA(list, LVM_GETCOLUMNORDERARRAY, 4, reinterpret_cast<LPARAM>(order));
    EXPECT_EQ(order[0], 0);
    std::int32_t columns[3];
    t->GetColumnOrder(columns);
    EXPECT_EQ(columns[0], 2);  // without FixedFirstColumn the moved column may lead
    EXPECT_EQ(TheRecorder().Of(ColumnChanged).at(0).info.Param, 1);
}

TEST(GridInput, ASizeChangeKeepsPendingTextAndPlacesTheEditorAnew) {
    InputGrid t(2, 2);
    t->SetCurrentCell(1, 0, 1, 0);
    Chars(EditBoxOf(t.g), "s");
    SendMessageA(t.list(), LVM_SETCOLUMNWIDTH, 1, 150);  // column 0 wider: column 1 moves right
    EXPECT_EQ(t->GetCellText(1, 0), "r0c1s");
    EXPECT_EQ(TheRecorder().Count(CellChanged), 0);
    RECT er;
    GetWindowRect(EditBoxOf(t.g), &er);
    MapWindowPoints(nullptr, t.list(), reinterpret_cast<POINT*>(&er), 2);
    RECT cell = CellRect(t.g, 1, 0);
    EXPECT_GT(er.left, cell.left);
    EXPECT_LT(er.right, cell.right);
    EXPECT_EQ(t->IsCellModified(), 1);  // still reported at the commit
    t->EndEdit();
    EXPECT_EQ(TheRecorder().Count(CellChanged), 1);
}

TEST(GridInput, TheListComboButtonShowsPushedWhileItsListIsOpen) {
    InputGrid t(2, 2);
    TheRecorder().answer = Types({ListCell, TextCell}, "a\nb");
    t->SetCurrentCell(0, 0, 1, 0);
    HWND combo = View(t.g)->ListCombo;
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    auto button = [&] {
        RedrawWindow(combo, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        PumpPending();
        HDC dc = GetDC(combo);
        std::vector<COLORREF> px;
        for (int y = info.rcButton.top; y < info.rcButton.bottom; ++y)
            for (int x = info.rcButton.left; x < info.rcButton.right; ++x) px.push_back(GetPixel(dc, x, y));
        ReleaseDC(combo, dc);
        return px;
    };
    auto closed = button();
    SendMessageA(t.list(), WM_COMMAND, MAKEWPARAM(0, CBN_DROPDOWN), reinterpret_cast<LPARAM>(combo));
    EXPECT_NE(button(), closed);
    SendMessageA(t.list(), WM_COMMAND, MAKEWPARAM(0, CBN_CLOSEUP), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(button(), closed);
}
