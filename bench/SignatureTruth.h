// The parts of the parameter-count benchmark that judge: reading Wine's .spec files (the argument
// lists Wine's own DLLs are built from), MinGW's decorated import names and gendef's output, and
// sorting each answer against such a truth into exact, lower bound, unknown or wrong.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "librarian/Signatures.h"

namespace zbench {

enum class Machine : std::uint8_t { X86, X64 };

// One declaration of a .spec file: `ORDINAL FUNCTYPE [FLAGS] NAME([ARGS]) [HANDLER]`, or the
// shorter forms of stub, extern, equate and variable.
struct SpecEntry {
    enum class Type : std::uint8_t { Stdcall, Cdecl, Varargs, Thiscall, Pascal, Stub, Extern, Equate, Variable };
    Type Kind = Type::Stdcall;
    std::string Ordinal;              // "@" or a number
    std::string Name;                 // "@" for an ordinal-only export
    std::vector<std::string> Args;    // argument types as written
    std::string Handler;              // C function, or "dll.Function" for a forwarder
    std::vector<std::string> Arch;    // the -arch= list ("!i386" excludes); empty: every machine
    bool Noname = false, Fastcall = false, Register = false, Forwarder = false;
};

// Reads a whole .spec file: comments (#) dropped, backslash-continued lines joined, apiset
// lines and 16-bit-only syntax skipped where it cannot be a Win32 export. Lines that do not
// parse are counted in `bad` when given.
std::vector<SpecEntry> ParseSpec(std::string_view text, int* bad = nullptr);

// One logical line (no comment, no continuation); false when it declares nothing.
bool ParseSpecLine(std::string_view line, SpecEntry& out);

// Whether the entry exists on this machine's build of the DLL.
bool AppliesTo(const SpecEntry& e, Machine m);

// What the truth says about one export on one machine.
struct Truth {
    enum class Kind : std::uint8_t {
        Stdcall,   // x86: callee pops Count slots
        Cdecl,     // x86: caller pops, Count slots
        Varargs,   // Count fixed slots (x86) or arguments (x64), then more
        Thiscall,  // x86: `this` in ecx, callee pops Count stack slots
        Fastcall,  // x86: first two small arguments in ecx/edx, callee pops Count stack slots
        X64,       // Count arguments
        Stub,      // Wine has no implementation: not counted
        Forwarder, // lives in another DLL: not counted
        Data,      // extern, equate, variable
        Win16,     // pascal: 16-bit entry points only
    };
    Kind What = Kind::Stub;
    std::uint32_t Count = 0;
};

Truth TruthFor(const SpecEntry& e, Machine m);

// x86 stack slots of one argument type: 64-bit integers and doubles take two, int128 four.
std::uint32_t SlotsOf(std::string_view arg);

// True for the kinds that go into a table row (a function with an argument list).
bool IsFunction(Truth::Kind k);

// The row name: "stdcall", "cdecl", "varargs", "thiscall", "fastcall", "x64".
const char* TruthKindText(Truth::Kind k);

enum class Verdict : std::uint8_t { Exact, LowerBound, Unknown, TooHigh, TooLow, WrongConvention };
constexpr int kVerdicts = 6;
const char* VerdictText(Verdict v);
inline bool IsWrong(Verdict v) {
    return v == Verdict::TooHigh || v == Verdict::TooLow || v == Verdict::WrongConvention;
}

// Sorts one answer against the truth.
// - Certainty Unknown is unknown, whatever convention it names.
// - An exact answer is exact when count and convention match. On x86 a function without stack
//   parameters is the same call under stdcall and cdecl (a plain `ret` either way), so there
//   either convention is right. Thiscall and fastcall are judged by what the callee pops:
//   stdcall with the stack slots.
// - A lower bound above the truth is too high; at or below it, a lower bound.
// - A count that fits under a named convention that does not is a wrong convention; a wrong
//   count is too high or too low whatever the convention.
// - An answer of convention Unknown claims no convention.
Verdict Classify(const Truth& t, Machine m, const zandrel::librarian::Signature& s);

// "_Name@12" of a 32-bit MinGW import library: the name and its stdcall stack slots. False for
// every other symbol (import pointers, cdecl and fastcall names, byte counts not in slots).
bool ParseMingwStdcall(std::string_view symbol, std::string& name, std::uint32_t& slots);

// What gendef claims for the exports of one DLL, from its .def output. A name decorated "@N"
// (or a C++ name with "; has WINAPI (@N)") claims stdcall with N/4 exact slots. A bare name
// claims no count: gendef saw no `ret N`, which it writes for cdecl and for what it could not
// follow alike, so it is unknown. Forwarders ("= dll.Name"), DATA and ordinal-only lines are
// left out, as are names gendef marks "Check!!!" (it could not find the count).
// `known` are the export names of the DLL: "Name@8" is a decoration only if "Name" is one.
std::map<std::string, zandrel::librarian::Signature> ParseGendef(std::string_view def,
                                                                  const std::vector<std::string>& known);

// "stdcall 3", "varargs 1+", ... for listings.
std::string TruthText(const Truth& t);
std::string SignatureText(const zandrel::librarian::Signature& s);

}  // namespace zbench
