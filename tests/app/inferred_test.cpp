// Counts read from a DLL's code in the table: Open DLL, the command line and a drop fill the
// "Parameter" cells the library leaves at 0, draw them in their own colour with a tool tip, and
// forget that once the user changes the cell or opens a project. Real windows and the real polib.
#include "app/AppFixture.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "grid/GridInternal.h"
#include "project/ProjectFile.h"
#include "support/CodeDll.h"
#include "../grid/GridTestSupport.h"

using namespace zandrel;
using namespace ztest;

namespace {

constexpr bool kWide = sizeof(void*) == 8;

// Rows as the library lists them (sorted by name), with the count each shows.
// 32-bit: Pair is stdcall (ret 8), so the library's name carries its 2; Sum is cdecl and reads
// two stack slots; Zero's code is nothing but zeros. 64-bit: Add uses two argument registers,
// Three three, Zero again nothing.
std::string CodeDll() {
    if (kWide)
        return DllWithCode(true, {{"Add", "\x8D\x04\x11\xC3"},                   // lea eax, [rcx+rdx]; ret
                                  {"Three", "\x8D\x04\x11\x44\x01\xC0\xC3"},     // ... add eax, r8d; ret
                                  {"Zero", ""}},
                           "code.dll");
    return DllWithCode(false, {{"Pair", std::string("\xC2\x08\x00", 3)},
                               {"Sum", "\x8B\x44\x24\x04\x03\x44\x24\x08\xC3"},  // cdecl, two slots
                               {"Zero", ""}},
                       "code.dll");
}
// Row, count and whether the count is the code's rather than the library's.
struct Expected {
    int row;
    const char* count;
    bool inferred;
};
const std::vector<Expected> kExpected = kWide ? std::vector<Expected>{{0, "2", true}, {1, "3", true}, {2, "0", false}}
                                              : std::vector<Expected>{{0, "2", false}, {1, "2", true}, {2, "0", false}};
constexpr int kMarkedRow = 1;  // inferred in both

class InferredTest : public AppTest {
protected:
    std::string dll;

    void SetUp() override {
        Start();
        app.state.LibrarianPath = ZANDREL_POLIB;
        std::filesystem::create_directories(dir.File("in"));
        std::filesystem::create_directories(dir.File("out"));
        dll = dir.Write("in\\code.dll", CodeDll());
    }
    std::string Out() { return dir.File("out") + "\\"; }

    void ExpectTheCodesCounts() {
        ASSERT_EQ(app.grid->RowCount(), 3);
        for (const Expected& e : kExpected) {
            EXPECT_EQ(Cell(ColParameter, e.row), e.count) << e.row;
            EXPECT_EQ(InferredMarkOf(app, e.row) != nullptr, e.inferred) << e.row;
        }
    }
    // Pixels of a cell's text by their tint: bluish ones (blue well above red, which neither
    // row colour nor black text mixed into it has) and dark ones.
    struct Ink {
        int blue = 0, dark = 0;
    };
    Ink InkOf(int column, int row) {
        gridtest::PaintNow(app.grid);
        RECT r = gridtest::CellRect(app.grid, column, row);
        Ink ink;
        for (int y = r.top + 1; y < r.bottom - 1; ++y)
            for (int x = r.left + 1; x < r.right - 1; ++x) {
                COLORREF c = gridtest::PixelAt(gridtest::ListOf(app.grid), x, y);
                if (GetBValue(c) - GetRValue(c) > 45) ++ink.blue;
                else if (std::max({GetRValue(c), GetGValue(c), GetBValue(c)}) < 110) ++ink.dark;
            }
        return ink;
    }
    // The tool tip the grid shows when the mouse comes over a cell ("" when none).
    std::string TooltipOver(int column, int row) {
        HWND list = gridtest::ListOf(app.grid);
        RECT r = gridtest::CellRect(app.grid, column, row);
        SendMessageA(list, WM_MOUSEMOVE, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        HWND tip = gridimpl::ViewOf(list)->TooltipWindow;
        if (!tip || !IsWindow(tip)) return {};
        return gridtest::TooltipText(tip, list);
    }
};

}  // namespace

TEST_F(InferredTest, OpenDllFillsMarksAndExplainsTheCodesCounts) {
    ask.answers = {dll, Out()};
    RunCommand(app, CmdOpenDll);
    ASSERT_EQ(Title(), "Zandrel 2013  - code.lib  (3 Functions)");
    ExpectTheCodesCounts();
    // The same numbers as the command-line tool's core gives.
    const librarian::InferredCounts counts = DllParameterCounts(dll);
    for (int r = 0; r < 3; ++r) {
        const std::string name = Cell(ColFunctionName, r);
        if (const librarian::InferredCount* c = librarian::InferredCountFor(counts, name, 0)) {
            EXPECT_EQ(Cell(ColParameter, r), std::to_string(c->Count)) << name;
        }
    }

    // Its own colour, beside the others' black.
    CellInfo ci;
    ci.Row = kMarkedRow;
    ci.Column = ColParameter;
    OnGridEvent(app.grid, QueryCellFormat, &ci);
    EXPECT_EQ(ci.TextColour, static_cast<std::int32_t>(kInferredTextColour));
    ci = CellInfo{};
    ci.Row = 2;
    ci.Column = ColParameter;
    OnGridEvent(app.grid, QueryCellFormat, &ci);
    EXPECT_EQ(ci.TextColour, 0);
    const Ink marked = InkOf(ColParameter, kMarkedRow), plain = InkOf(ColParameter, 2);
    EXPECT_GT(marked.blue, 3);
    EXPECT_EQ(marked.dark, 0);
    EXPECT_EQ(plain.blue, 0);
    EXPECT_GT(plain.dark, 3);

    // The tool tip says where the number came from; other cells have none.
    const InferredMark* mark = InferredMarkOf(app, kMarkedRow);
    ASSERT_NE(mark, nullptr);
    const std::string tip = TooltipOver(ColParameter, kMarkedRow);
    EXPECT_EQ(tip, InferredTooltip(*mark));
    EXPECT_EQ(tip, (mark->Sure == librarian::Certainty::Exact ? "" : "At least ") + Cell(ColParameter, kMarkedRow) +
                       ", read from the DLL's code");
    EXPECT_EQ(TooltipOver(ColParameter, 2), "");
    EXPECT_EQ(TooltipOver(ColComment, kMarkedRow), "");

    // The generated block takes the numbers as the cells hold them.
    const std::string block = GenerateFromTable(app);
    EXPECT_NE(block.find(kWide ? "  Three(a.i, b.i, c.i) As \"Three\"" : "  Sum(a.i, b.i) As \"_Sum\""),
              std::string::npos)
        << block;
}

TEST_F(InferredTest, TheMarkGoesWhenTheUserChangesTheCell) {
    ask.answers = {dll, Out()};
    RunCommand(app, CmdOpenDll);
    ASSERT_NE(InferredMarkOf(app, kMarkedRow), nullptr);
    // Typed into the cell's editor and committed.
    app.grid->SetCurrentCell(ColParameter, kMarkedRow, 1, 0);
    HWND field = gridimpl::ViewOf(gridtest::ListOf(app.grid))->EditComboField;
    ASSERT_NE(field, nullptr);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SendMessageA(field, WM_CHAR, '5', 1);
    app.grid->SetCurrentCell(ColComment, 0, 0, 0);
    EXPECT_EQ(Cell(ColParameter, kMarkedRow), "5");
    EXPECT_EQ(InferredMarkOf(app, kMarkedRow), nullptr);
    EXPECT_EQ(InkOf(ColParameter, kMarkedRow).blue, 0);
    EXPECT_GT(InkOf(ColParameter, kMarkedRow).dark, 3);
    EXPECT_EQ(TooltipOver(ColParameter, kMarkedRow), "");
    // Typing back the code's own number does not bring the mark back.
    app.grid->SetCurrentCell(ColParameter, kMarkedRow, 1, 0);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SendMessageA(field, WM_CHAR, kExpected[kMarkedRow].count[0], 1);
    app.grid->SetCurrentCell(ColComment, 0, 0, 0);
    EXPECT_EQ(Cell(ColParameter, kMarkedRow), kExpected[kMarkedRow].count);
    EXPECT_EQ(InferredMarkOf(app, kMarkedRow), nullptr);

    // A block cleared with Delete reaches the other marked cells without an edit of each.
    ask.answers = {dll, Out()};
    RunCommand(app, CmdOpenDll);
    ASSERT_NE(InferredMarkOf(app, kMarkedRow), nullptr);
    app.grid->SetBlock(ColParameter, 0, 1, 3);
    SetFocus(gridtest::ListOf(app.grid));
    SendMessageA(gridtest::ListOf(app.grid), WM_KEYDOWN, VK_DELETE, 1);
    EXPECT_EQ(Cell(ColParameter, kMarkedRow), "");
    for (int r = 0; r < 3; ++r) EXPECT_EQ(InferredMarkOf(app, r), nullptr) << r;

    // A library opened as such has no marks, nor does a project.
    ask.answers = {dll, Out()};
    RunCommand(app, CmdOpenDll);
    LoadImportLib(app, Out() + "code.lib");
    for (int r = 0; r < 3; ++r) EXPECT_EQ(InferredMarkOf(app, r), nullptr) << r;
    EXPECT_EQ(Cell(ColParameter, kMarkedRow), "0");
}

TEST_F(InferredTest, ACommandLineOrDroppedDllIsFilledAlike) {
    ask.answers = {Out()};
    OpenCommandLine(app, {dll});
    ExpectTheCodesCounts();
    // Saved as a project and opened again: the counts as saved, with no mark.
    app.state.ProjectFile = dir.File("saved.zdx");
    SaveProject(app);
    app.grid->ClearRows();
    OpenProject(app, dir.File("saved.zdx"));
    ASSERT_EQ(app.grid->RowCount(), 3);
    EXPECT_EQ(Cell(ColParameter, kMarkedRow), kExpected[kMarkedRow].count);
    EXPECT_EQ(InferredMarkOf(app, kMarkedRow), nullptr);
    EndApplication(app);
    app = App{};

    Start();
    app.state.LibrarianPath = ZANDREL_POLIB;
    ask.answers = {Out()};
    HandleDrop(app, dll + "\n");
    ExpectTheCodesCounts();
}

// The code is read in another thread from the moment the DLL is chosen; the table must get
// the same counts as a reading done on the spot, and a reading nobody takes must not linger.
TEST_F(InferredTest, TheCountsReadBesideTheLibrarianAreTheSameAndAreGivenUpWhenNotWanted) {
    // The folder requester cancelled: no library, and the reading is given up.
    ask.answers = {dll, ""};
    RunCommand(app, CmdOpenDll);
    EXPECT_EQ(app.grid->RowCount(), 0);
    EXPECT_FALSE(app.counts.Running());

    // A reading started for another file is replaced by this DLL's.
    app.counts.Start(dir.File("in\\other.dll"));
    EXPECT_TRUE(app.counts.Running());
    ask.answers = {dll, Out()};
    RunCommand(app, CmdOpenDll);
    ExpectTheCodesCounts();
    EXPECT_FALSE(app.counts.Running());
    const librarian::InferredCounts now = DllParameterCounts(dll);
    for (int r = 0; r < 3; ++r) {
        const librarian::InferredCount* c = librarian::InferredCountFor(now, Cell(ColFunctionName, r), 0);
        EXPECT_EQ(InferredMarkOf(app, r) != nullptr, c != nullptr) << r;
        if (c) {
            EXPECT_EQ(Cell(ColParameter, r), std::to_string(c->Count)) << r;
        }
    }

    // Taken for another DLL than the one started: read on the spot, for that one.
    app.counts.Start(dir.File("in\\other.dll"));
    const librarian::InferredCounts taken = app.counts.Take(dll);
    EXPECT_FALSE(app.counts.Running());
    EXPECT_EQ(taken.size(), now.size());
    for (const auto& [symbol, count] : now) {
        ASSERT_EQ(taken.count(symbol), 1u) << symbol;
        EXPECT_EQ(taken.at(symbol).Count, count.Count) << symbol;
    }

    // A library opened as such ends a reading under way and shows no marks.
    app.counts.Start(dll);
    LoadImportLib(app, Out() + "code.lib");
    EXPECT_FALSE(app.counts.Running());
    for (int r = 0; r < 3; ++r) EXPECT_EQ(InferredMarkOf(app, r), nullptr) << r;
}
