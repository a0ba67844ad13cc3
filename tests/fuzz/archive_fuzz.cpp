// libFuzzer entry: any bytes as an import library, and as the head of a DLL.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readers/DllMachine.h"
#include "readers/ImportLib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    zandrel::SymbolList list;
    zandrel::ParseArchive(bytes, list);
    zandrel::ReadLinkerMember(bytes, list);
    zandrel::ReadFirstLinkerMember(bytes, list);
    zandrel::DetectDllMachineFromBytes(bytes);
    return 0;
}
