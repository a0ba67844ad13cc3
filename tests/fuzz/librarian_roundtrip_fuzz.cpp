// libFuzzer entry: export names from the input, written into an import library by the
// librarian for x86 and for x64, read back by the library reader. The reader must give back
// exactly the public names of the code exports, less those its filter skips by design, and in
// the byte order the librarian sorted them into.
//
// Input: names separated by zero bytes; a name starting with byte 1 is a data export (which
// gets only an "__imp_" symbol, so the reader lists it not at all).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "librarian/ImportLibrary.h"
#include "readers/ImportLib.h"
#include "readers/Symbols.h"

namespace {

using namespace zandrel::librarian;

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// True for "...@N": a name that ends in a byte count.
bool Counted(const std::string& name) {
    const std::size_t at = name.rfind('@');
    return at != std::string::npos && at != 0 && at + 1 < name.size() &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at) + 1, name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// The public symbol of an export (no counts from code here): x86 C names carry the "_" of the C
// decoration, unless the DLL exports them decorated already ("_Name@N"), as do C++ and fastcall
// names.
std::string PublicName(const std::string& name, Machine m) {
    if (m == Machine::X64 || name[0] == '?' || name[0] == '@') return name;
    if (name[0] == '_' && Counted(name)) return name;
    return "_" + name;
}

// Names the librarian cannot take as they are: their symbols would repeat the descriptors' or
// another export's "__imp_" pointer.
bool Reserved(const std::string& symbol) {
    return StartsWith(symbol, "__imp_") || StartsWith(symbol, "\x7f") ||
           StartsWith(symbol, "__IMPORT_DESCRIPTOR_") || symbol == "__NULL_IMPORT_DESCRIPTOR";
}

void RoundTrip(const std::vector<PeExport>& all, Machine m) {
    PeExports exports;
    std::set<std::string> seen;
    std::vector<std::string> expected;
    for (const PeExport& e : all) {
        if (e.Name.empty()) continue;
        // Two names may share one public symbol ("Name@4" and "_Name@4"); the first keeps it.
        const std::string symbol = PublicName(e.Name, m);
        if (Reserved(symbol) || !seen.insert(symbol).second) continue;
        exports.Named.push_back(e);
        if (!e.Data && !zandrel::IsSkippedSymbol(symbol)) expected.push_back(symbol);
    }
    LibraryContents plan = PlanImports(exports, m, "fuzz.dll");
    if (plan.Imports.size() != exports.Named.size()) std::abort();

    std::string lib, reason;
    if (!WriteImportLibrary(plan.Imports, "fuzz.dll", m, 0, lib, reason)) std::abort();
    zandrel::SymbolList list;
    if (zandrel::ParseArchive(lib, list) != zandrel::ReadStatus::Ok) std::abort();

    std::vector<std::string> got;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0 && list[i].Name < list[i - 1].Name) std::abort();
        got.push_back(list[i].Name);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    if (got != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<PeExport> exports;
    while (!rest.empty()) {
        std::size_t zero = rest.find('\0');
        PeExport e;
        e.Name = std::string(rest.substr(0, zero));
        rest = zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);
        if (!e.Name.empty() && e.Name[0] == '\x01') {
            e.Data = true;
            e.Name.erase(0, 1);
        }
        e.Ordinal = exports.size() + 1;
        e.NameIndex = static_cast<std::uint32_t>(exports.size());
        exports.push_back(std::move(e));
    }
    RoundTrip(exports, Machine::X86);
    RoundTrip(exports, Machine::X64);
    return 0;
}
