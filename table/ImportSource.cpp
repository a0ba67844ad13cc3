#include "table/ImportSource.h"

#include <cstdio>
#include <ctime>

#include "base/Number.h"

namespace zandrel {

namespace {
ClockTime FromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min};
}
}  // namespace

ClockTime LocalClockTime() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return FromTm(tm);
}

ClockTime UtcClockTime(std::int64_t seconds) {
    // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm): independent of the
    // width of time_t on 32-bit Windows.
    std::int64_t days = seconds / 86400;
    std::int64_t rem = seconds % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d),
            static_cast<int>(rem / 3600), static_cast<int>(rem % 3600 / 60)};
}

std::string FormatCreated(const ClockTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d  %02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return buf;
}

std::string GenerateImportSource(const TableView& table, const ImportOptions& options) {
    const int rows = table.RowCount();
    if (rows <= 0) return {};
    // Cells and the library's name go in through AppendSingleLine: a line break from any of
    // them would split a declaration.
    const std::string lib = SingleLineText(options.LibName);
    std::string out = "\r\n";
    out += "; Libname: " + lib + "\r\n";
    out += "; created: " + FormatCreated(options.Now ? options.Now() : LocalClockTime()) + "\r\n";
    out += options.CallingConvention == "CDECL" ? "ImportC \"" : "Import \"";
    out += lib + "\"\r\n";
    // Appended piece by piece: a temporary string per piece would cost more than the rest.
    for (int r = 0; r < rows; ++r) {
        if (!IsSelectedText(table.CellText(ColSelected, r))) continue;
        out += "  ";
        AppendSingleLine(out, table.CellText(ColPBFunctionName, r));
        out += '(';
        std::int64_t params = ParseNumber(table.CellText(ColParameter, r));
        if (params > 26) params = 26;
        for (std::int64_t k = 1; k <= params; ++k) {
            if (k > 1) out += ", ";
            out += static_cast<char>(96 + k);
            out += ".i";
        }
        if (options.Alias) {
            out += ')';
        } else {
            out += ") As \"";
            AppendSingleLine(out, table.CellText(ColFunctionName, r));
            out += '"';
        }
        const std::string comment = table.CellText(ColComment, r);
        if (comment.find_first_not_of("\r\n") != std::string::npos) {
            out += " ; ";
            AppendSingleLine(out, comment);
        }
        out += "\r\n";
    }
    out += "EndImport\r\n";
    return out;
}

}  // namespace zandrel
