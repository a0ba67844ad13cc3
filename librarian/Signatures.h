// What a DLL's own machine code says about each export's parameters: the calling convention and
// how many parameters a declaration needs. Nothing here runs the code; it is decoded and followed
// the way a compiler lays it out, within fixed limits, so a hostile image costs bounded time and
// never a read outside its bytes. A result says how sure it is and never guesses: "unknown" is
// better than a wrong count.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "librarian/FileBytes.h"
#include "librarian/PeExports.h"

namespace zandrel::librarian {

enum class CallConvention : std::uint8_t {
    Unknown,
    Stdcall,  // x86: the callee pops its arguments (ret N)
    Cdecl,    // x86: the caller pops them (plain ret)
    X64,      // the one 64-bit convention
};

// Exact means every path of the code was followed to its end and the count is the whole count.
// For stdcall the returns prove it: the count they pop. Where the caller pops (cdecl, x64) a
// parameter that nothing reads leaves no trace, so the count the code uses is a lower bound,
// except in the two x86 shapes measured to take what they read in all but about one case in
// 600: code that reads no argument yet does something, and code that reads arguments and calls
// no other function. An x64 count is never exact.
enum class Certainty : std::uint8_t {
    Unknown,     // nothing to say (data, forwarder not found, code not followed to its end)
    LowerBound,  // at least Count parameters; there may be more
    Exact,       // Count is what the code takes
};

struct Signature {
    CallConvention Convention = CallConvention::Unknown;
    Certainty Sure = Certainty::Unknown;
    // x86: 4-byte stack slots (ret N / 4 for stdcall; a double or 64-bit integer takes two);
    // x64: arguments.
    std::uint32_t Count = 0;
    bool Variadic = false;  // the code spills its register arguments as a variadic function does
};

// Fetches the image of another DLL named by a forwarder ("KERNEL32" from "KERNEL32.Sleep"), for
// example from beside the DLL or from the system's folder. Returns false when none is found.
using ImageLoader = std::function<bool(const std::string& dll_name, FileBytes& image)>;

// The work one image may cost: a hostile one ends with "unknown" results, never a hang.
struct InferLimits {
    std::uint32_t InstructionsPerFunction = 20000;  // decoded along all paths of one function
    std::uint32_t StatesPerAddress = 16;    // distinct stack states one instruction is visited with
    std::uint32_t CallDepth = 32;           // nested calls followed into their callees
    std::uint32_t ForwardDepth = 4;         // forwarders and imports followed into other DLLs
    std::uint32_t Modules = 64;             // other DLLs loaded
    std::uint32_t JumpTableEntries = 1024;  // targets of one switch table
    std::uint64_t InstructionsPerImage = 50'000'000;  // all exports and the DLLs they lead into
    // Set by another thread when the results are no longer wanted: the work then ends soon,
    // its results weakened as when the budget runs out.
    const std::atomic<bool>* Stop = nullptr;
};

// One Signature for each entry of `exports.Named`, in the same order. `image` is the whole file
// that `exports` was read from.
std::vector<Signature> InferSignatures(std::string_view image, const PeExports& exports,
                                       const ImageLoader& loader = {});
std::vector<Signature> InferSignatures(std::string_view image, const PeExports& exports,
                                       const ImageLoader& loader, const InferLimits& limits);
// The function at `rva` of `image`, exported or not (for tests and tools).
Signature InferSignatureAt(std::string_view image, std::uint32_t rva, const ImageLoader& loader = {},
                           const InferLimits& limits = {});

// Short English words for messages and listings: "stdcall", "cdecl", "x64", "unknown" and
// "exact", "at least", "unknown".
const char* CallConventionText(CallConvention c);
const char* CertaintyText(Certainty c);

}  // namespace zandrel::librarian
