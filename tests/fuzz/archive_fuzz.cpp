// libFuzzer entry: any bytes as an import library, and as the data of either linker member.
// Besides not crashing: a read that fails adds nothing, no name the decoding skips is listed,
// and names from a first linker member come out in byte order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "readers/ImportLib.h"
#include "readers/Symbols.h"

namespace {

using zandrel::ReadStatus;

void Check(ReadStatus status, const zandrel::SymbolList& list) {
    if ((zandrel::IsReadFailure(status) || status == ReadStatus::NoSymbolTable) && !list.empty())
        std::abort();
    for (const zandrel::SymbolEntry& e : list)
        if (zandrel::IsSkippedSymbol(e.Name)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    zandrel::SymbolList list;
    Check(zandrel::ParseArchive(bytes, list), list);

    list.clear();
    Check(zandrel::ReadLinkerMember(bytes, list), list);

    list.clear();
    Check(zandrel::ReadFirstLinkerMember(bytes, list), list);
    for (std::size_t i = 1; i < list.size(); ++i)
        if (list[i].Name < list[i - 1].Name) std::abort();
    return 0;
}
