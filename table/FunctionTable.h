// The function table's columns and the cells a library symbol starts with. The table has no
// store of its own: the grid holds the cells, and code that reads them goes through TableView.
#pragma once
#include <array>
#include <string>
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

// Only the exact text "TRUE" counts as selected.
inline bool IsSelectedText(const std::string& text) { return text == "TRUE"; }

}  // namespace zandrel
