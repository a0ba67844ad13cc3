// The preview as a real Scintilla control: its set-up, the styles of every byte, the margin,
// read-only, and the styled-editor operations around it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Scintilla.h"
#include "preview/Preview.h"
#include "preview/StyledEditor.h"
#include "table/ImportSource.h"

using namespace zandrel;

namespace {

LRESULT CALLBACK ParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

HWND CreateParent() {
    static const bool registered = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZandrelPreviewTestParent";
        return RegisterClassA(&wc) != 0;
    }();
    if (!registered) return nullptr;
    return CreateWindowExA(0, "ZandrelPreviewTestParent", "preview test",
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

LRESULT Send(HWND w, UINT m, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageA(w, m, wp, lp); }

std::string Text(HWND w) {
    const auto len = static_cast<std::size_t>(Send(w, SCI_GETLENGTH));
    std::string text(len + 1, '\0');
    Send(w, SCI_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(len);
    return text;
}

// One character per byte of the document: "-" for style 32, the digit otherwise, "?" for others.
std::string StyleMask(HWND w) {
    std::string mask;
    const auto len = Send(w, SCI_GETLENGTH);
    for (LRESULT i = 0; i < len; ++i) {
        const auto s = Send(w, SCI_GETSTYLEAT, static_cast<WPARAM>(i));
        mask += s == STYLE_DEFAULT ? '-' : (s >= 0 && s <= 9) ? static_cast<char>('0' + s) : '?';
    }
    return mask;
}

std::string R(char c, std::size_t n) { return std::string(n, c); }

int MarginFor(HWND w, const char* nines) {
    return static_cast<int>(Send(w, SCI_TEXTWIDTH, STYLE_LINENUMBER,
                                 reinterpret_cast<LPARAM>(nines))) + 10 + 10;
}

// One visible parent for the suite (making and destroying top-level windows is slow under
// Wine); a new preview in it for every test.
class Preview : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sharedParent = CreateParent(); }
    static void TearDownTestSuite() {
        if (sharedParent != nullptr) DestroyWindow(sharedParent);
        sharedParent = nullptr;
    }
    void SetUp() override {
        parent = sharedParent;
        ASSERT_NE(parent, nullptr);
        preview = CreatePreview(parent);
        ASSERT_NE(preview, nullptr);
        hiddenAtCreation = !IsWindowVisible(preview);
        MoveWindow(preview, 5, 5, 760, 500, TRUE);
        ShowWindow(preview, SW_SHOW);
    }
    void TearDown() override {
        if (IsWindow(preview)) DestroyWindow(preview);
    }
    LRESULT S(UINT m, WPARAM wp = 0, LPARAM lp = 0) { return Send(preview, m, wp, lp); }

    static inline HWND sharedParent = nullptr;
    HWND parent = nullptr;
    HWND preview = nullptr;
    bool hiddenAtCreation = false;
};

TEST_F(Preview, IsSetUpAsAReadOnlyColouredUtf8Editor) {
    EXPECT_TRUE(hiddenAtCreation);
    EXPECT_EQ(GetDlgCtrlID(preview), kPreviewId);
    EXPECT_EQ(StyledEditorWindow(kPreviewId), preview);
    EXPECT_EQ(S(SCI_GETCODEPAGE), SC_CP_UTF8);
    EXPECT_EQ(S(SCI_GETREADONLY), 1);
    EXPECT_EQ(S(SCI_GETMARGINWIDTHN, 1), 0);
    EXPECT_EQ(S(SCI_GETCARETLINEVISIBLE), 1);
    EXPECT_EQ(S(SCI_GETCARETLINEBACK), 0xFCFEDB);
    EXPECT_EQ(S(SCI_GETTABWIDTH), 2);
    EXPECT_EQ(S(SCI_GETUSETABS), 1);

    struct Look {
        int style, fore, bold, italic;
    };
    const Look looks[] = {{STYLE_DEFAULT, 0x000000, 0, 0}, {1, 0x800000, 1, 0},
                          {2, 0x006400, 0, 1},             {3, 0x737373, 0, 0},
                          {4, 0x0000FF, 0, 0},             {5, 0x3A34AE, 1, 0},
                          {6, 0xFF0000, 0, 0}};
    for (const Look& l : looks) {
        SCOPED_TRACE(l.style);
        const auto st = static_cast<WPARAM>(l.style);
        EXPECT_EQ(S(SCI_STYLEGETFORE, st), l.fore);
        EXPECT_EQ(S(SCI_STYLEGETBACK, st), 0xDFFFFF);
        EXPECT_EQ(S(SCI_STYLEGETBOLD, st), l.bold);
        EXPECT_EQ(S(SCI_STYLEGETITALIC, st), l.italic);
        EXPECT_EQ(S(SCI_STYLEGETSIZE, st), 10);
        char font[64] = {};
        S(SCI_STYLEGETFONT, st, reinterpret_cast<LPARAM>(font));
        EXPECT_STREQ(font, "Courier New");
    }
    EXPECT_EQ(S(SCI_GETMARGINWIDTHN, 0), MarginFor(preview, "9"));
}

std::string GeneratedBlock() {
    RowTable table;
    table.rows = {{"TRUE", "_MessageBoxA@16", "MessageBoxA", "4", "caf\xE9 #1"},
                  {"TRUE", "_Beep@8", "Beep", "2", ""},
                  {"FALSE", "_Skip@4", "Skip", "1", ""},
                  {"TRUE", "_Sleep@4", "Sleep", "1", ""}};
    ImportOptions options;
    options.LibName = "user32.lib";
    options.Now = [] { return ClockTime{2026, 12, 8, 9, 5}; };
    return GenerateImportSource(table, options);
}

// The block above as the preview must colour it, byte by byte of its UTF-8 text.
std::string GeneratedBlockMask() {
    return "--" +                                                              // empty line
           R('2', 21) + "--" +                                                 // ; Libname:
           R('2', 28) + "--" +                                                 // ; created:
           "111111-" + R('3', 12) + "--" +                                     // Import "..."
           "--" + R('6', 12) + R('-', 18) + "6-11-" + R('3', 17) + "-" + R('2', 10) + "--" +
           "--" + R('6', 5) + R('-', 8) + "6-11-" + R('3', 9) + "--" +         // Beep
           "--" + R('6', 6) + R('-', 3) + "6-11-" + R('3', 10) + "--" +        // Sleep
           R('1', 9) + "--";                                                   // EndImport
}

TEST_F(Preview, EveryByteOfAGeneratedBlockGetsItsStyle) {
    const std::string block = GeneratedBlock();
    RefreshPreview(block);
    const std::string text = Text(preview);
    EXPECT_EQ(text.size(), block.size() + 1);  // the e-acute is two bytes in UTF-8
    if (GetACP() == 1252) {
        EXPECT_NE(text.find("; caf\xC3\xA9 #1\r\n"), std::string::npos);
    }
    EXPECT_EQ(StyleMask(preview), GeneratedBlockMask()) << text;
    EXPECT_EQ(S(SCI_GETREADONLY), 1);
}

TEST_F(Preview, StylingRequestedByScintillaGoesUpToTheAskedPosition) {
    RefreshPreview(GeneratedBlock());
    const std::string expected = GeneratedBlockMask();
    S(SCI_CLEARDOCUMENTSTYLE);
    ASSERT_EQ(StyleMask(preview), R('0', expected.size()));

    // Part of line 4 (the MessageBoxA line): styled through that position, nothing after it.
    const auto stop = static_cast<std::size_t>(S(SCI_POSITIONFROMLINE, 4)) + 20;
    S(SCI_COLOURISE, 0, static_cast<LPARAM>(stop));
    const std::string partial = StyleMask(preview);
    EXPECT_EQ(partial.substr(0, stop), expected.substr(0, stop));
    EXPECT_EQ(partial.substr(stop), R('0', expected.size() - stop));

    S(SCI_COLOURISE, 0, -1);
    EXPECT_EQ(StyleMask(preview), expected);
}

TEST_F(Preview, EdgeCasesAreStyledInTheControl) {
    RefreshPreview("#word # x\r\n"
                   "name  (a) 12 3.5 .5 1.2.3 16h\r\n"
                   "\"open\r\n"
                   "endimport ENDIMPORT Importer ; c\r\n");
    EXPECT_EQ(StyleMask(preview), "55555-5----" +
                                      R('6', 7) + "-6-44-444-44---444------" +
                                      "33333--" +
                                      R('1', 9) + "-" + R('1', 9) + R('-', 10) + "222--");
}

TEST_F(Preview, LineNumberMarginWidensAtTenLinesAndNarrowsBack) {
    std::string nine;
    for (int i = 1; i < 9; ++i) nine += "line\r\n";
    nine += "last";
    RefreshPreview(nine);
    ASSERT_EQ(S(SCI_GETLINECOUNT), 9);
    const auto narrow = S(SCI_GETMARGINWIDTHN, 0);
    EXPECT_EQ(narrow, MarginFor(preview, "9"));

    SetEditorOption(kPreviewId, EditorReadOnly, 0);
    const char more[] = "\r\ntenth";
    S(SCI_APPENDTEXT, sizeof more - 1, reinterpret_cast<LPARAM>(more));
    ASSERT_EQ(S(SCI_GETLINECOUNT), 10);
    const auto wide = S(SCI_GETMARGINWIDTHN, 0);
    EXPECT_EQ(wide, MarginFor(preview, "99"));
    EXPECT_GT(wide, narrow);

    S(SCI_UNDO);
    ASSERT_EQ(S(SCI_GETLINECOUNT), 9);
    EXPECT_EQ(S(SCI_GETMARGINWIDTHN, 0), narrow);

    RefreshPreview(nine + "\r\n" + nine);  // 17 lines through a refresh
    EXPECT_EQ(S(SCI_GETMARGINWIDTHN, 0), wide);
}

TEST_F(Preview, TypingChangesNothingButARefreshStillDoes) {
    RefreshPreview("Import \"a.lib\"\r\nEndImport\r\n");
    const std::string before = Text(preview);
    SetFocus(preview);
    S(SCI_GOTOPOS, 3);
    S(WM_CHAR, 'x', 1);
    S(WM_KEYDOWN, VK_BACK, 1);
    S(WM_CHAR, '\b', 1);
    S(WM_KEYDOWN, VK_DELETE, 1);
    S(WM_KEYDOWN, VK_RETURN, 1);
    S(WM_CHAR, '\r', 1);
    S(SCI_SELECTALL);
    S(WM_CUT);
    S(SCI_REPLACESEL, 0, reinterpret_cast<LPARAM>("gone"));
    EXPECT_EQ(Text(preview), before);

    RefreshPreview("EndImport\r\n");
    EXPECT_EQ(Text(preview), "EndImport\r\n");
    EXPECT_EQ(S(SCI_GETREADONLY), 1);

    // The same typing does change an editable control, so the checks above can fail.
    SetEditorOption(kPreviewId, EditorReadOnly, 0);
    S(SCI_GOTOPOS, 0);
    S(WM_CHAR, 'x', 1);
    EXPECT_EQ(Text(preview), "xEndImport\r\n");
}

int g_calls = 0, g_lastId = 0, g_modified = 0;
void CountNotifications(int id, const SCNotification* n) {
    ++g_calls;
    g_lastId = id;
    if (n->nmhdr.code == SCN_MODIFIED) ++g_modified;
}

TEST_F(Preview, OtherStyledEditorsKeepTheirOwnWordsAndGoAwayCleanly) {
    HWND other = CreateStyledEditor(parent, 77, 0, 0, 200, 100, CountNotifications, 0);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Send(other, SCI_GETCODEPAGE), SC_CP_UTF8);
    SetEditorText(77, "Import b\r\n", 1);
    EXPECT_EQ(g_lastId, 77);
    EXPECT_GT(g_modified, 0);
    EXPECT_EQ(Send(other, SCI_GETMARGINWIDTHN, 0), 0);  // no line numbers asked for
    EXPECT_EQ(StyleMask(other), "----------");          // the preview's keywords are not its own
    EXPECT_EQ(Send(other, SCI_CANUNDO), 0);

    AddKeywords(77, "B", 3, 0, 1, 1);
    EXPECT_EQ(StyleMask(other), "-------3--");
    RefreshPreview("b Import");
    EXPECT_EQ(StyleMask(preview), "--111111");

    const int callsBefore = g_calls;
    DestroyWindow(other);
    EXPECT_EQ(StyledEditorWindow(77), nullptr);
    SetEditorText(77, "x", 0);
    EXPECT_EQ(AddWords(77, "x", 1, 0), 0);
    EXPECT_EQ(g_calls, callsBefore);
    EXPECT_EQ(StyledEditorWindow(kPreviewId), preview);

    DestroyWindow(preview);
    EXPECT_EQ(StyledEditorWindow(kPreviewId), nullptr);
    RefreshPreview("after the window");  // must not touch the released record
}

TEST(PreviewLifetime, GoesAwayWithItsParent) {
    HWND parent = CreateParent();
    ASSERT_NE(parent, nullptr);
    HWND preview = CreatePreview(parent);
    ASSERT_NE(preview, nullptr);
    RefreshPreview("EndImport");
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(preview));
    EXPECT_EQ(StyledEditorWindow(kPreviewId), nullptr);
    RefreshPreview("after the window");
    EXPECT_EQ(CreatePreview(nullptr), nullptr);  // a child control needs its parent
}

}  // namespace
