// The rows the grid holds itself behind its virtual list: texts and row data follow the rows
// through every change, the list still answers item messages sent to it, and no row data leaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GridTestSupport.h"
#include "grid/GridInternal.h"

using namespace zandrel;
using namespace gridtest;

namespace {

std::string ListText(HWND list, int row, int subItem, int capacity = 256, LRESULT* length = nullptr) {
    // Filled so that an untouched buffer shows; terminated at its end.
    std::vector<char> buf(static_cast<size_t>(std::max(capacity, 1)), '#');
    buf.back() = 0;
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = buf.data();
    item.cchTextMax = capacity;
    LRESULT n = SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    if (length) *length = n;
    return capacity > 0 ? std::string(buf.data()) : std::string();
}

RowData* ListRowData(HWND list, int row) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = 12345;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<RowData*>(item.lParam);
}

int ItemCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

// Each row's label, so that a test can see the order of all rows at once.
std::string Labels(GridControl* g) {
    std::string out;
    for (int r = 0; r < g->RowCount(); ++r) out += (r ? "," : "") + g->GetCellText(-1, r);
    return out;
}

struct SortLog {
    std::vector<std::pair<LPARAM, LPARAM>> calls;
    HWND list = nullptr;
};
SortLog g_sort;

// By row value, as the application might sort; records every call.
int CALLBACK ByValue(LPARAM a, LPARAM b, LPARAM param) {
    g_sort.calls.push_back({a, b});
    EXPECT_EQ(param, 77);
    const int va = reinterpret_cast<RowData*>(a)->Value, vb = reinterpret_cast<RowData*>(b)->Value;
    return va < vb ? -1 : va > vb ? 1 : 0;
}

// By the text of column 0 read back through the list with the indexes given.
int CALLBACK ByTextAtIndex(LPARAM a, LPARAM b, LPARAM) {
    g_sort.calls.push_back({a, b});
    return ListText(g_sort.list, static_cast<int>(a), 1).compare(ListText(g_sort.list, static_cast<int>(b), 1));
}

}  // namespace

TEST(GridRows, TextsAndRowDataFollowTheirRows) {
    TestGrid t(3, 4);
    for (int r = 0; r < 4; ++r) t->SetRowValue(r, 100 + r);
    // A row in the middle pushes the rest down with their texts and data.
    ASSERT_EQ(t->AddRow(1, "new", 0), 1);
    EXPECT_EQ(Labels(t.g), "L0,new,L1,L2,L3");
    EXPECT_EQ(t->GetCellText(2, 1), "");
    EXPECT_EQ(t->GetCellText(2, 2), "r1c2");
    EXPECT_EQ(t->GetRowValue(1), 0);
    EXPECT_EQ(t->GetRowValue(4), 103);
    EXPECT_EQ(t->GetRowFlags(1), 0);
    EXPECT_EQ(t->GetRowFlags(2), static_cast<int>(RowGroupStart));
    // Removing pulls them up.
    t->RemoveRow(0);
    EXPECT_EQ(Labels(t.g), "new,L1,L2,L3");
    EXPECT_EQ(t->GetCellText(0, 3), "r3c0");
    EXPECT_EQ(t->GetRowValue(3), 103);

    // A column added in front moves every text after it one column on; the new one is empty.
    t->AddColumn(0, "first", 50);
    ASSERT_EQ(t->ColumnCount(), 4);
    EXPECT_EQ(t->GetCellText(0, 1), "");
    EXPECT_EQ(t->GetCellText(1, 1), "r1c0");
    EXPECT_EQ(t->GetCellText(3, 3), "r3c2");
    EXPECT_EQ(t->GetCellText(-1, 1), "L1");  // the label stays
    t->SetCellText(0, 2, "in new");
    // Removing a column pulls the later texts back.
    t->RemoveColumn(1);
    ASSERT_EQ(t->ColumnCount(), 3);
    EXPECT_EQ(t->GetCellText(0, 2), "in new");
    EXPECT_EQ(t->GetCellText(1, 2), "r2c1");
    EXPECT_EQ(t->GetCellText(2, 2), "r2c2");
    // Moving columns on screen leaves every text in its grid column.
    std::int32_t order[] = {2, 0, 1};
    t->SetColumnOrder(order);
    EXPECT_EQ(t->GetCellText(2, 3), "r3c2");
    EXPECT_EQ(t->GetCellText(0, 3), "");
    EXPECT_EQ(ListText(ListOf(t.g), 3, 3), "r3c2");
    // A text set beyond what a row held before, and cleared again.
    t->AddColumn(-1, "last", 40);
    t->SetCellText(3, 0, "far");
    EXPECT_EQ(t->GetCellText(3, 0), "far");
    t->SetCellText(3, 0, "");
    EXPECT_EQ(t->GetCellText(3, 0), "");
}

TEST(GridRows, SortingMovesWholeRowsAndDropsTheCurrentCell) {
    TestGrid t(2, 6);
    const int values[] = {5, 3, 5, 1, 3, 0};
    std::vector<RowData*> data;
    for (int r = 0; r < 6; ++r) {
        t->SetRowValue(r, values[r]);
        data.push_back(gridimpl::RowDataOf(gridimpl::ViewOf(ListOf(t.g)), r));
    }
    t->SetCurrentCell(1, 2, 0, 0);
    ASSERT_EQ(t->GetCurrentRow(), 2);
    g_sort = SortLog{};
    ASSERT_TRUE(SendMessageA(ListOf(t.g), LVM_SORTITEMS, 77, reinterpret_cast<LPARAM>(&ByValue)));
    // Stable: equal values keep their order (L0 before L2, L1 before L4).
    EXPECT_EQ(Labels(t.g), "L5,L3,L1,L4,L0,L2");
    EXPECT_EQ(t->GetCellText(1, 0), "r5c1");
    EXPECT_EQ(t->GetCellText(0, 5), "r2c0");
    EXPECT_EQ(t->GetRowValue(4), 5);
    EXPECT_EQ(t->GetCurrentRow(), -1);
    // The comparison saw the rows' own data, and as many calls as a merge of six rows takes
    // at most.
    ASSERT_FALSE(g_sort.calls.empty());
    EXPECT_LE(g_sort.calls.size(), 11u);
    for (auto& call : g_sort.calls) {
        EXPECT_NE(std::find(data.begin(), data.end(), reinterpret_cast<RowData*>(call.first)), data.end());
        EXPECT_NE(std::find(data.begin(), data.end(), reinterpret_cast<RowData*>(call.second)), data.end());
    }
    // The first comparison is of the first two rows, as the list view's own sort begins.
    EXPECT_EQ(reinterpret_cast<RowData*>(g_sort.calls[0].first), data[0]);
    EXPECT_EQ(reinterpret_cast<RowData*>(g_sort.calls[0].second), data[1]);

    // By index: the rows stay where they were while the comparison reads them.
    const char* texts[] = {"d", "b", "f", "a", "c", "e"};
    for (int r = 0; r < 6; ++r) t->SetCellText(0, r, texts[r]);
    g_sort = SortLog{};
    g_sort.list = ListOf(t.g);
    ASSERT_TRUE(SendMessageA(ListOf(t.g), LVM_SORTITEMSEX, 0, reinterpret_cast<LPARAM>(&ByTextAtIndex)));
    std::string sorted;
    for (int r = 0; r < 6; ++r) sorted += t->GetCellText(0, r);
    EXPECT_EQ(sorted, "abcdef");
    EXPECT_EQ(t->RowCount(), 6);
    EXPECT_FALSE(SendMessageA(ListOf(t.g), LVM_SORTITEMS, 0, 0));  // no comparison
}

TEST(GridRows, ListMessagesFromOutsideAnswerAsBefore) {
    TestGrid t(2, 3);
    HWND list = ListOf(t.g);
    EXPECT_EQ(ItemCount(list), 3);
    // Texts, also into a buffer too small, and in UTF-16.
    LRESULT n = 0;
    EXPECT_EQ(ListText(list, 1, 2, 256, &n), "r1c1");
    EXPECT_EQ(n, 4);
    EXPECT_EQ(ListText(list, 1, 2, 3, &n), "r1");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(ListText(list, 2, 0), "L2");
    EXPECT_EQ(ListText(list, 7, 1, 16, &n), std::string(15, '#'));  // no such row: untouched
    EXPECT_EQ(n, 0);
    wchar_t wide[16] = {};
    LVITEMW wi{};
    wi.iSubItem = 1;
    wi.pszText = wide;
    wi.cchTextMax = 16;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&wi)), 4);
    EXPECT_STREQ(wide, L"r0c0");

    // Texts set through the list are the grid's cells.
    LVITEMA set{};
    set.iSubItem = 1;
    set.pszText = const_cast<char*>("from outside");
    EXPECT_TRUE(SendMessageA(list, LVM_SETITEMTEXTA, 2, reinterpret_cast<LPARAM>(&set)));
    EXPECT_EQ(t->GetCellText(0, 2), "from outside");
    wi.iSubItem = 2;
    wi.pszText = const_cast<wchar_t*>(L"wide text");
    EXPECT_TRUE(SendMessageW(list, LVM_SETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&wi)));
    EXPECT_EQ(t->GetCellText(1, 1), "wide text");
    set.iSubItem = 3;  // no such column
    EXPECT_FALSE(SendMessageA(list, LVM_SETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&set)));
    set.iSubItem = 1;
    EXPECT_FALSE(SendMessageA(list, LVM_SETITEMTEXTA, 3, reinterpret_cast<LPARAM>(&set)));

    // LVM_GETITEM / LVM_SETITEM: text, row data and the state the list keeps.
    t->SetRowValue(1, 41);
    RowData* d = ListRowData(list, 1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Value, 41);
    EXPECT_EQ(ListRowData(list, 3), nullptr);
    char buf[32] = {};
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = 0;
    item.iSubItem = 0;
    item.stateMask = LVIS_SELECTED;
    item.pszText = buf;
    item.cchTextMax = sizeof buf;
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ(buf, "L0");
    EXPECT_EQ(item.state & LVIS_SELECTED, 0u);
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    ASSERT_TRUE(SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state)));
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(item.state & LVIS_SELECTED, static_cast<UINT>(LVIS_SELECTED));
    item.mask = LVIF_TEXT;
    item.iSubItem = 2;
    item.pszText = const_cast<char*>("set item");
    ASSERT_TRUE(SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(t->GetCellText(1, 0), "set item");

    // Rows added through the list, in UTF-16 too; a count hint changes nothing.
    LVITEMW add{};
    add.mask = LVIF_TEXT;
    add.iItem = 1;
    add.pszText = const_cast<wchar_t*>(L"wide row");
    EXPECT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&add)), 1);
    EXPECT_EQ(t->RowCount(), 4);
    EXPECT_EQ(t->GetCellText(-1, 1), "wide row");
    EXPECT_EQ(t->GetRowValue(1), 0);  // a row from outside has no data
    EXPECT_EQ(t->GetRowValue(2), 41);
    EXPECT_TRUE(SendMessageA(list, LVM_SETITEMCOUNT, 100, 0));
    EXPECT_EQ(ItemCount(list), 4);
    EXPECT_EQ(t->RowCount(), 4);

    // The list's own requests for a text are answered from the rows.
    char shown[32] = {};
    NMLVDISPINFOA info{};
    info.hdr.hwndFrom = list;
    info.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    info.hdr.code = LVN_GETDISPINFOA;
    info.item.mask = LVIF_TEXT;
    info.item.iItem = 3;
    info.item.iSubItem = 1;
    info.item.pszText = shown;
    info.item.cchTextMax = sizeof shown;
    SendMessageA(GetParent(list), WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(shown, "from outside");
}

TEST(GridRows, ABigTableEmptiesAndFreesEveryRowData) {
    const long before = gridimpl::LiveRowDataCount();
    constexpr int rows = 200000;
    {
        TestGrid t(2, 0);
        HWND list = ListOf(t.g);
        for (int round = 0; round < 2; ++round) {
            t->SetRedraw(0, 0);
            for (int r = 0; r < rows; ++r) {
                ASSERT_EQ(t->AddRow(-1, "", 0), 1);
                t->SetCellText(0, r, "Func" + std::to_string(r));
            }
            t->SetRedraw(1, 1);
            ASSERT_EQ(t->RowCount(), rows);
            ASSERT_EQ(ItemCount(list), rows);
            EXPECT_EQ(t->GetCellText(0, rows - 1), "Func" + std::to_string(rows - 1));
            EXPECT_EQ(gridimpl::LiveRowDataCount() - before, rows);
            if (round == 0) {
                t->ClearRows();
                EXPECT_EQ(t->RowCount(), 0);
                EXPECT_EQ(ItemCount(list), 0);
                EXPECT_EQ(gridimpl::LiveRowDataCount(), before);
            }
        }
        // The second load goes with the grid.
    }
    EXPECT_EQ(gridimpl::LiveRowDataCount(), before);
    // And with the window alone destroyed under the grid.
    {
        HWND host = HostWindow();
        GridControl* g = NewGrid(host, 0, 0, 300, 200, 20, 0x20045);
        ASSERT_NE(g, nullptr);
        g->AddColumn(-1, "A", 50);
        for (int r = 0; r < 1000; ++r) g->AddRow(-1, "", 0);
        EXPECT_EQ(gridimpl::LiveRowDataCount() - before, 1000);
        DestroyWindow(host);
        EXPECT_EQ(gridimpl::LiveRowDataCount(), before);
        g->Free();
    }
}
