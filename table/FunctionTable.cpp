#include "table/FunctionTable.h"

#include "readers/Symbols.h"

namespace zandrel {

std::string RowTable::CellText(int column, int row) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount) return {};
    return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

FunctionRow DefaultRowCells(const SymbolEntry& entry) {
    return {"TRUE", entry.Name, PBFunctionNameFromSymbol(entry.Name),
            std::to_string(entry.ParamCount), ""};
}

RowTable RowsFromSymbols(const SymbolList& symbols) {
    RowTable table;
    table.rows.reserve(symbols.size());
    for (const SymbolEntry& e : symbols) table.rows.push_back(DefaultRowCells(e));
    return table;
}

}  // namespace zandrel
