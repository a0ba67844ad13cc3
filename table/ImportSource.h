// The import declaration block of the host language, generated from the function table.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "table/FunctionTable.h"

namespace zandrel {

struct ClockTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};
using Clock = std::function<ClockTime()>;

// The computer's local date and time.
ClockTime LocalClockTime();
// A moment given as seconds since 1970, in UTC (for reproducible output).
ClockTime UtcClockTime(std::int64_t seconds);

struct ImportOptions {
    std::string LibName;                       // file name of the library, no folder
    std::string CallingConvention = "STDCALL"; // text of the chosen item
    bool Alias = false;                        // "Importsource without Alias" checked
    Clock Now = LocalClockTime;
};

// The "; created: " stamp: "yyyy/mm/dd  hh:ii".
std::string FormatCreated(const ClockTime& t);

// The whole block, every line ended by CR LF; empty for an empty table.
std::string GenerateImportSource(const TableView& table, const ImportOptions& options);

}  // namespace zandrel
