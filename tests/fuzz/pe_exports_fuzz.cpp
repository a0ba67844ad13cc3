// libFuzzer entry: any bytes as a DLL for the librarian; whatever it accepts must give a library
// that our own reader reads back completely.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "librarian/ImportLibrary.h"
#include "readers/ImportLib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zandrel::librarian;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    PeExports exports;
    std::string reason;
    if (!ReadPeExports(bytes, exports, reason)) return 0;
    for (Machine m : {Machine::X86, Machine::X64}) {
        LibraryContents plan = PlanImports(exports, m, "fuzz.dll");
        std::string lib;
        if (!WriteImportLibrary(plan.Imports, "fuzz.dll", m, 0, lib, reason)) continue;
        zandrel::SymbolList list;
        if (zandrel::ParseArchive(lib, list) != zandrel::ReadStatus::Ok) std::abort();
    }
    return 0;
}
