// The function table's columns and the cells a library symbol starts with. The table has no
// store of its own: the grid holds the cells, and code that reads them goes through TableView.
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "readers/ImportLib.h"

namespace zandrel {

enum FunctionColumn : int {
    ColSelected = 0,        // "TRUE" when the function is to be imported
    ColFunctionName = 1,    // the symbol as found in the library
    ColPBFunctionName = 2,  // the name in the host language
    ColParameter = 3,       // parameter count as text
    ColComment = 4,
    ColumnCount = 5,
};

using FunctionRow = std::array<std::string, ColumnCount>;

// Read access to a table of text cells, so the generator and the project writer can work on the
// grid itself (no copy) as well as on plain rows.
class TableView {
public:
    virtual ~TableView() = default;
    virtual int RowCount() const = 0;
    virtual std::string CellText(int column, int row) const = 0;
};

// A table held in memory: for the command-line tool and for tests.
class RowTable : public TableView {
public:
    std::vector<FunctionRow> rows;

    int RowCount() const override { return static_cast<int>(rows.size()); }
    std::string CellText(int column, int row) const override;
};

// The five cells a freshly opened library gives a symbol: "TRUE", the name, the host name with
// one leading "_" removed, the parameter count in decimal, an empty comment.
FunctionRow DefaultRowCells(const SymbolEntry& entry);

// All rows of a symbol list, in list order.
RowTable RowsFromSymbols(const SymbolList& symbols);

// A cell's text as it may stand inside one line of a file: each run of CR and LF becomes one
// blank, and a run at either end goes. Cells can get line breaks that no editor lets through (a
// grid paste splits rows only at CR, a scroll stores the editor's pending text, a library names
// its symbols as it likes); in a project or an import block each would end the line early.
void AppendSingleLine(std::string& out, std::string_view text);
std::string SingleLineText(std::string_view text);
// The same without "|": the project format separates an item's fields with it, so only the
// comment, the last field, may hold one.
std::string ItemFieldText(std::string_view text);

// Only the exact text "TRUE" counts as selected.
inline bool IsSelectedText(const std::string& text) { return text == "TRUE"; }

}  // namespace zandrel
