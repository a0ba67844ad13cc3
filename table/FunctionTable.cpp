#include "table/FunctionTable.h"

#include "readers/Symbols.h"

namespace zandrel {

std::string RowTable::CellText(int column, int row) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount) return {};
    return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void AppendSingleLine(std::string& out, std::string_view text) {
    std::size_t first = text.find_first_not_of("\r\n");
    if (first == std::string_view::npos) return;
    std::size_t last = text.find_last_not_of("\r\n");
    text = text.substr(first, last - first + 1);
    for (;;) {
        std::size_t brk = text.find_first_of("\r\n");
        out.append(text.substr(0, brk));
        if (brk == std::string_view::npos) return;
        out += ' ';
        text.remove_prefix(text.find_first_not_of("\r\n", brk));
    }
}

std::string SingleLineText(std::string_view text) {
    std::string out;
    AppendSingleLine(out, text);
    return out;
}

std::string ItemFieldText(std::string_view text) {
    std::string out = SingleLineText(text);
    std::erase(out, '|');
    return out;
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
