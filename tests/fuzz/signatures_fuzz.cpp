// libFuzzer entry: any bytes as a DLL whose code is followed for parameter counts. Forwarders and
// imports lead back into the same bytes, so chains and loops between "DLLs" are tried as well.
// Whatever the input, the walk must end, stay inside the bytes and give one result per export.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "librarian/PeExports.h"
#include "librarian/Signatures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zandrel::librarian;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    PeExports exports;
    std::string reason;
    if (!ReadPeExports(bytes, exports, reason)) return 0;
    ImageLoader loader = [&](const std::string& name, FileBytes& image) {
        if (name.empty() || (name[0] & 1)) return false;  // some names are found, some are not
        image = bytes;
        return true;
    };
    // Smaller than the defaults, so each input stays quick; the bounds are what is tested.
    InferLimits limits;
    limits.InstructionsPerFunction = 4000;
    limits.InstructionsPerImage = 200000;
    // A shallow limit of nested calls, chosen by the input's last byte: functions cut short there
    // are walked again from shallower calls, which a deep limit seldom shows.
    limits.CallDepth = 1 + data[size - 1] % 8;
    const std::vector<Signature> sigs = InferSignatures(bytes, exports, loader, limits);
    if (sigs.size() != exports.Named.size()) std::abort();
    for (const Signature& s : sigs) {
        if (s.Sure == Certainty::Unknown && (s.Count != 0 || s.Convention != CallConvention::Unknown)) std::abort();
        if (s.Convention == CallConvention::Stdcall && s.Count > 256) std::abort();
    }
    return 0;
}
