// Reading the export directory of a PE image (DLL or EXE), 32-bit or 64-bit. Every table and
// string is bounds-checked against the file before it is touched, so a damaged or hostile file
// gives a reason, never a crash or a huge allocation.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::librarian {

struct PeExport {
    std::string Name;             // empty for an ordinal-only export
    std::uint64_t Ordinal = 0;    // ordinal base + index in the address table
    std::uint32_t Rva = 0;        // address of the code or data, or of the forwarder text
    std::uint32_t NameIndex = 0;  // position in the name pointer table (the loader's hint)
    bool Data = false;            // lives in a section that is not executable
    std::string Forwarder;        // "OTHER.Name" or "OTHER.#12" when the export forwards
};

struct PeExports {
    bool Pe32Plus = false;          // optional-header magic 0x20B
    std::uint16_t Machine = 0;      // COFF machine field of the image
    std::string DllName;            // the name the export directory gives (may be empty)
    std::uint32_t OrdinalBase = 0;
    std::vector<PeExport> Named;        // in the order of the name pointer table
    std::vector<PeExport> OrdinalOnly;  // used address slots that no name refers to
};

// Reads the export directory of the image held in `file`. On failure returns false and sets
// `reason` to a short English explanation (without the file name).
bool ReadPeExports(std::string_view file, PeExports& out, std::string& reason);

}  // namespace zandrel::librarian
