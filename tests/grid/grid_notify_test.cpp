// Which notifications a grid sends, with which record, and what it does with the answers.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridInternal.h"

using namespace zandrel;
using namespace gridtest;

namespace {

gridimpl::GridViewState* View(GridControl* g) { return gridimpl::ViewOf(ListOf(g)); }

void Type(GridControl* g, const char* text) { SetWindowTextA(EditBoxOf(g), text); }

}  // namespace

TEST(GridNotify, PaintingAsksFormatThenTypeWithThePresets) {
    TestGrid t(2, 2);
    TheRecorder().recordPaint = true;
    t->SetEventHandler(RecordingHandler);
    PaintNow(t.g);
    auto& ev = TheRecorder().events;
    HFONT listFont = reinterpret_cast<HFONT>(SendMessageA(ListOf(t.g), WM_GETFONT, 0, 0));
    // For cell (1, 1): QueryCellFormat with every preset, then QueryCellType.
    int format = -1, type = -1;
    for (size_t i = 0; i < ev.size(); ++i) {
        if (ev[i].info.Row != 1 || ev[i].info.Column != 1) continue;
        if (ev[i].code == QueryCellFormat && format < 0) format = static_cast<int>(i);
        if (ev[i].code == QueryCellType && type < 0) type = static_cast<int>(i);
    }
    ASSERT_GE(format, 0);
    ASSERT_GT(type, format);
    const CellInfo& f = ev[static_cast<size_t>(format)].info;
    EXPECT_EQ(f.CellType, 0);
    EXPECT_EQ(f.Font, listFont);
    EXPECT_EQ(f.BackColour, 0xFFFFFF);
    EXPECT_EQ(f.TextColour, 0);
    EXPECT_EQ(f.TextFormat, 0);
    EXPECT_EQ(f.MaskColour, 0xFFFFFF);
    EXPECT_EQ(f.Text, "");
    EXPECT_EQ(f.Param, 0);
    EXPECT_EQ(f.ImageWidth, 0);
    EXPECT_EQ(f.BorderColour, 0);
    EXPECT_EQ(f.BorderFlags, 0);
    EXPECT_EQ(f.GradientStart, -1);
    EXPECT_EQ(f.GradientEnd, -1);
    EXPECT_EQ(f.Link, 0);
    EXPECT_EQ(f.HotTextColour, -1);
    EXPECT_EQ(ev[static_cast<size_t>(type)].info.CellType, 0);
    // Header items ask with Row -1 and the button-face colour; the hidden column is never asked.
    bool header = false;
    for (const Event& e : ev) {
        EXPECT_NE(e.info.Column, -1) << "code " << e.code;
        if (e.code == QueryCellFormat && e.info.Row == -1 && e.info.Column == 1) {
            header = true;
            EXPECT_EQ(e.info.BackColour, static_cast<std::int32_t>(GetSysColor(COLOR_BTNFACE)));
        }
    }
    EXPECT_TRUE(header);
}

TEST(GridNotify, ACommitIsAcceptedRefusedOrRewritten) {
    TestGrid t(2, 2);
    t->SetEventHandler(RecordingHandler);
    // Refused: the old text stays, in the cell and in the editor's text.
    TheRecorder().answer = [](int code, CellInfo&) { return code == CellChanged ? 0 : 1; };
    t->SetCurrentCell(0, 0, 0, 0);
    Type(t.g, "abc");
    t->EndEdit();
    ASSERT_EQ(TheRecorder().Count(CellChanged), 1);
    const CellInfo sent = TheRecorder().Of(CellChanged)[0].info;
    EXPECT_EQ(sent.Text, "abc");
    EXPECT_EQ(sent.Row, 0);
    EXPECT_EQ(sent.Column, 0);
    EXPECT_EQ(t->GetCellText(0, 0), "r0c0");
    t->SetCurrentCell(0, 0, 0, 0);
    char buf[16] = {};
    GetWindowTextA(EditBoxOf(t.g), buf, sizeof buf);
    EXPECT_STREQ(buf, "r0c0");
    // Accepted with another text: that text is stored.
    TheRecorder().answer = [](int code, CellInfo& ci) {
        if (code == CellChanged) ci.Text = "rewritten";
        return 1;
    };
    Type(t.g, "typed");
    t->EndEdit();
    EXPECT_EQ(t->GetCellText(0, 0), "rewritten");
    // Unchanged text: nothing is sent.
    TheRecorder().Clear();
    t->SetCurrentCell(1, 1, 0, 0);
    t->EndEdit();
    EXPECT_EQ(TheRecorder().Count(CellChanged), 0);
}

TEST(GridNotify, NoCommitStartsInsideCellChanged) {
    TestGrid t(2, 2);
    static GridControl* grid;
    grid = t.g;
    static int inner;
    inner = 0;
    TheRecorder().answer = [](int code, CellInfo&) {
        if (code == CellChanged) {
            ++inner;
            grid->EndEdit();  // would commit again
        }
        return 1;
    };
    t->SetEventHandler(RecordingHandler);
    t->SetCurrentCell(0, 1, 0, 0);
    Type(t.g, "x");
    t->EndEdit();
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(TheRecorder().Count(CellChanged), 1);
}

TEST(GridNotify, WithoutAHandlerEverythingIsAccepted) {
    TestGrid t(2, 2);
    t->SetCurrentCell(1, 0, 0, 0);
    Type(t.g, "free");
    t->EndEdit();
    EXPECT_EQ(t->GetCellText(1, 0), "free");
    // Every cell is a TextCell: a clear empties them.
    t->ClearBlock(0, 0, 2, 2);
    EXPECT_EQ(t->GetCellText(0, 1), "");
    CellInfo ci;
    EXPECT_EQ(gridimpl::SendGridEvent(View(t.g), CellSelecting, ci), 1);
    EXPECT_EQ(gridimpl::SendGridEvent(View(t.g), TooltipQuery, ci), 1);
    EXPECT_EQ(ci.Text, "");
}

TEST(GridNotify, RemovingTheHandlerCommitsTheOpenEditFirst) {
    TestGrid t(2, 2);
    TheRecorder().answer = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 1) ci.CellType = CheckCell;
        return 1;
    };
    t->SetEventHandler(RecordingHandler);
    t->SetCurrentCell(0, 0, 0, 0);
    Type(t.g, "before removal");
    t->SetEventHandler(nullptr);
    EXPECT_EQ(TheRecorder().Count(CellChanged), 1);
    EXPECT_EQ(t->GetCellText(0, 0), "before removal");
    EXPECT_EQ(View(t.g)->CurrentType, 0);
}

TEST(GridNotify, CellLeftWhenTheCurrentCellAndItsBlockAreDropped) {
    TestGrid t(3, 3);
    t->SetEventHandler(RecordingHandler);
    t->SetCurrentCell(2, 1, 0, 0);
    t->EndEdit();
    ASSERT_EQ(TheRecorder().Count(CellLeft), 1);
    EXPECT_EQ(TheRecorder().Of(CellLeft)[0].info.Row, 1);
    EXPECT_EQ(TheRecorder().Of(CellLeft)[0].info.Column, 2);
    EXPECT_EQ(TheRecorder().Of(CellLeft)[0].info.Param, 0);
    // Adding a column drops the current cell as well, and reports the new column afterwards.
    TheRecorder().Clear();
    t->SetCurrentCell(0, 0, 0, 0);
    t->AddColumn(-1, "new", 40);
    EXPECT_EQ(TheRecorder().Count(CellLeft), 1);
    ASSERT_TRUE(PumpUntil([] { return TheRecorder().Count(ColumnChanged) == 1; }));
    const CellInfo added = TheRecorder().Of(ColumnChanged)[0].info;
    EXPECT_EQ(added.Row, -1);
    EXPECT_EQ(added.Column, -1);
    EXPECT_EQ(added.Param, 2);
}

TEST(GridNotify, CellSelectingAnswerMovesTheBlockToTheTarget) {
    TestGrid t(3, 3);
    TheRecorder().answer = [](int code, CellInfo&) { return code == CellSelecting ? 0 : 1; };
    t->SetEventHandler(RecordingHandler);
    t->SetBlock(0, 0, 2, 2);
    CellInfo ci = gridimpl::PresetCellInfo(View(t.g), 2, 1);
    ci.Param = SelectByDown;
    EXPECT_EQ(gridimpl::SendGridEvent(View(t.g), CellSelecting, ci), 0);  // refused: unchanged
    std::int32_t b[4];
    t->GetBlock(b);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[2], 2);
    TheRecorder().answer = [](int code, CellInfo&) { return code == CellSelecting ? 5 : 1; };
    gridimpl::SendGridEvent(View(t.g), CellSelecting, ci);  // non-zero: the block follows
    t->GetBlock(b);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 2);
    EXPECT_EQ(b[2], 1);
    EXPECT_EQ(b[3], 1);
    EXPECT_EQ(View(t.g)->BlockState, 2);
    EXPECT_EQ(View(t.g)->AnchorRow, 2);
}

TEST(GridNotify, QueryCellFormatGetsBlockColoursOnlyWithoutCurrentCell) {
    TestGrid t(3, 3, 20, 0x45 | NoInnerGridLines);
    TheRecorder().answer = [](int code, CellInfo& ci) {
        if (code == QueryCellFormat) ci.BackColour = 0x112233;
        return 1;
    };
    t->SetEventHandler(RecordingHandler);
    auto* v = View(t.g);
    t->SetBlock(1, 0, 2, 2);
    CellInfo in = gridimpl::PresetCellInfo(v, 1, 2);
    gridimpl::SendGridEvent(v, QueryCellFormat, in);
    EXPECT_EQ(in.BackColour, 0xF1DBCE);
    EXPECT_EQ(in.BorderFlags & BorderNoGridLines, BorderNoGridLines);
    EXPECT_EQ(v->CellBorders, BorderRightThick | BorderBottomThick);
    CellInfo out = gridimpl::PresetCellInfo(v, 2, 2);
    gridimpl::SendGridEvent(v, QueryCellFormat, out);
    EXPECT_EQ(out.BackColour, 0x112233);
    // A user's block: its anchor is dark grey with light grey text.
    v->BlockState = 2;
    CellInfo anchor = gridimpl::PresetCellInfo(v, 0, 1);
    gridimpl::SendGridEvent(v, QueryCellFormat, anchor);
    EXPECT_EQ(anchor.BackColour, 0x808080);
    EXPECT_EQ(anchor.TextColour, 0xD8D8D8);
    // BlockColour -1 leaves the application's colour.
    t->SetAttribute(AttrBlockColour, -1);
    CellInfo plain = gridimpl::PresetCellInfo(v, 1, 1);
    gridimpl::SendGridEvent(v, QueryCellFormat, plain);
    EXPECT_EQ(plain.BackColour, 0x112233);
    // With a current cell no cell gets block colours.
    t->SetAttribute(AttrBlockColour, 0xF1DBCE);
    t->SetCurrentCell(1, 0, 0, 0);
    CellInfo cur = gridimpl::PresetCellInfo(v, 0, 1);
    gridimpl::SendGridEvent(v, QueryCellFormat, cur);
    EXPECT_EQ(cur.BackColour, 0x112233);
}

TEST(GridNotify, HeaderClickReportsTheGridColumn) {
    TestGrid t(3, 2);
    t->SetEventHandler(RecordingHandler);
    HWND header = HeaderOf(t.g);
    RECT item{};
    SendMessageA(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));  // grid column 1
    LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(header, WM_LBUTTONUP, 0, at);
    ASSERT_TRUE(PumpUntil([] { return TheRecorder().Count(HeaderClicked) > 0; }));
    EXPECT_EQ(TheRecorder().Of(HeaderClicked)[0].info.Row, -1);
    EXPECT_EQ(TheRecorder().Of(HeaderClicked)[0].info.Column, 1);
}

TEST(GridNotify, ComboCellsOfferTheirItemsAndReportAChoice) {
    TestGrid t(2, 2);
    TheRecorder().answer = [](int code, CellInfo& ci) {
        if (code == QueryCellType && ci.Column == 0) {
            ci.CellType = ListCell;
            ci.Text = "a\n\nb";
        }
        if (code == QueryCellType && ci.Column == 1) {
            ci.CellType = ComboCell;
            ci.Text = "0\n1\n2";
        }
        return 1;
    };
    t->SetEventHandler(RecordingHandler);
    auto* v = View(t.g);
    t->SetCurrentCell(0, 0, 0, 0);
    ASSERT_EQ(SendMessageA(v->ListCombo, CB_GETCOUNT, 0, 0), 3);  // the empty item included
    EXPECT_EQ(SendMessageA(v->ListCombo, CB_GETLBTEXTLEN, 1, 0), 0);
    SendMessageA(v->ListCombo, CB_SETCURSEL, 2, 0);
    SendMessageA(ListOf(t.g), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(v->ListCombo));
    ASSERT_EQ(TheRecorder().Count(ListChoice), 1);
    EXPECT_EQ(TheRecorder().Of(ListChoice)[0].info.Text, "b");
    EXPECT_EQ(t->GetCellText(0, 0), "b");
    // A ComboCell shows its value in the edit field, and typing there is the cell's text.
    t->SetCurrentCell(1, 1, 0, 0);
    EXPECT_EQ(SendMessageA(v->EditCombo, CB_GETCOUNT, 0, 0), 3);
    char buf[16] = {};
    GetWindowTextA(v->EditCombo, buf, sizeof buf);
    EXPECT_STREQ(buf, "r1c1");
    SetWindowTextA(v->EditComboField, "12");
    SendMessageA(ListOf(t.g), WM_COMMAND, MAKEWPARAM(0, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(v->EditCombo));
    EXPECT_EQ(t->GetCellText(1, 1), "12");
    EXPECT_EQ(t->IsCellModified(), 1);
}

TEST(GridNotify, AThrowingHandlerRefusesInsteadOfCrossingTheWindowProcedure) {
    TestGrid t(1, 1);
    TheRecorder().answer = [](int code, CellInfo&) -> int {
        if (code == CellChanged) throw std::runtime_error("handler failed");
        return 1;
    };
    t->SetEventHandler(RecordingHandler);
    t->SetCurrentCell(0, 0, 0, 0);
    Type(t.g, "lost");
    t->EndEdit();
    EXPECT_EQ(t->GetCellText(0, 0), "r0c0");
}
