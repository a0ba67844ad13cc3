// Parameter counts read from machine code: hand-made snippets in small images, one for each way
// compilers lay code out, both machines; hostile code; then real DLLs of Wine where present.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "librarian/PeExports.h"
#include "librarian/PeImage.h"
#include "librarian/Signatures.h"
#include "support/CodeImage.h"

using namespace zandrel::librarian;
using namespace ztest;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s += static_cast<char>(v);
    return s;
}
std::string Le32(std::uint64_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
// A relative operand: from the end of an instruction that ends at `end` to `target` (RVAs).
std::string Rel(std::uint32_t end, std::uint32_t target) { return Le32(target - end); }

// Code is placed function by function at fixed offsets of .text, so snippets can name each other.
class Code {
public:
    explicit Code(bool x64 = false) { spec.X64 = x64; }
    // Puts `bytes` at RVA `rva` (inside .text) and exports it as `name` (when not empty).
    std::uint32_t At(std::uint32_t rva, const std::string& bytes, const std::string& name = "") {
        const std::size_t off = rva - kText;
        if (spec.Text.size() < off + bytes.size()) spec.Text.resize(off + bytes.size(), '\xCC');
        spec.Text.replace(off, bytes.size(), bytes);
        if (!name.empty()) spec.Exports.push_back({name, rva, ""});
        return rva;
    }
    std::uint64_t Va(std::uint32_t rva) const { return spec.Base() + rva; }

    std::map<std::string, Signature> Infer(const ImageLoader& loader = {}, const InferLimits& limits = {}) {
        image = BuildCodeImage(spec);
        PeExports exports;
        std::string reason;
        EXPECT_TRUE(ReadPeExports(image, exports, reason)) << reason;
        const std::vector<Signature> sigs = InferSignatures(image, exports, loader, limits);
        EXPECT_EQ(sigs.size(), exports.Named.size());
        std::map<std::string, Signature> out;
        for (std::size_t i = 0; i < sigs.size() && i < exports.Named.size(); ++i) out[exports.Named[i].Name] = sigs[i];
        return out;
    }

    CodeImageSpec spec;
    std::string image;
};

std::string Text(const Signature& s) {
    std::string t = std::string(CallConventionText(s.Convention)) + " " + CertaintyText(s.Sure) + " " +
                    std::to_string(s.Count);
    if (s.Variadic) t += " variadic";
    return t;
}

// x86 snippets used by several tests.
const std::string kRet8 = Bytes({0x8B, 0x44, 0x24, 0x04, 0xC2, 0x08, 0x00});  // mov eax,[esp+4]; ret 8
const std::string kRet16 = Bytes({0xC2, 0x10, 0x00});                          // ret 16

}  // namespace

// --- x86 ------------------------------------------------------------------------------------------

TEST(SignaturesX86, ReturnsAndStackSlots) {
    Code c;
    c.At(0x1000, kRet8, "Ret8");
    // cdecl: mov eax,[esp+4]; add eax,[esp+8]; ret
    c.At(0x1020, Bytes({0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08, 0xC3}), "Cdecl2");
    // an ebp frame with locals: push ebp; mov ebp,esp; sub esp,16; mov eax,[ebp+0x10];
    // mov [ebp-4],eax; leave; ret
    c.At(0x1040, Bytes({0x55, 0x89, 0xE5, 0x83, 0xEC, 0x10, 0x8B, 0x45, 0x10, 0x89, 0x45, 0xFC, 0xC9, 0xC3}), "Frame3");
    // a double takes two slots: fld qword [esp+4]; ret
    c.At(0x1060, Bytes({0xDD, 0x44, 0x24, 0x04, 0xC3}), "Double");
    // pushes move the stack: push esi; mov eax,[esp+0xC]; pop esi; ret
    c.At(0x1080, Bytes({0x56, 0x8B, 0x44, 0x24, 0x0C, 0x5E, 0xC3}), "Pushed2");
    // no parameters, but reads memory: mov eax,[0x10008000]; ret
    c.At(0x10A0, Bytes({0xA1}) + Le32(c.Va(0x8000)) + Bytes({0xC3}), "Global");
    // only a constant: nothing shows whether parameters are ignored
    c.At(0x10C0, Bytes({0x31, 0xC0, 0xC3}), "Constant");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["Ret8"]), "stdcall exact 2");
    EXPECT_EQ(Text(r["Cdecl2"]), "cdecl exact 2");
    EXPECT_EQ(Text(r["Frame3"]), "cdecl exact 3");
    EXPECT_EQ(Text(r["Double"]), "cdecl exact 2");
    EXPECT_EQ(Text(r["Pushed2"]), "cdecl exact 2");
    EXPECT_EQ(Text(r["Global"]), "cdecl exact 0");
    EXPECT_EQ(Text(r["Constant"]), "cdecl at least 0");
}

TEST(SignaturesX86, AllReturnsMustAgree) {
    Code c;
    // test ecx,ecx; jz +3; ret 4; ret 8
    c.At(0x1000, Bytes({0x85, 0xC9, 0x74, 0x03, 0xC2, 0x04, 0x00, 0xC2, 0x08, 0x00}), "Disagree");
    c.At(0x1020, Bytes({0x85, 0xC9, 0x74, 0x03, 0xC2, 0x04, 0x00, 0xC2, 0x04, 0x00}), "Agree");
    // a plain ret on one path, ret 4 on the other
    c.At(0x1040, Bytes({0x85, 0xC9, 0x74, 0x01, 0xC3, 0xC2, 0x04, 0x00}), "Mixed");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["Disagree"]), "unknown unknown 0");
    EXPECT_EQ(Text(r["Agree"]), "stdcall exact 1");
    EXPECT_EQ(Text(r["Mixed"]), "unknown unknown 0");
}

TEST(SignaturesX86, TailJumpsAndCallsIntoTheImage) {
    Code c;
    c.At(0x1000, kRet8, "Ret8");
    // jmp Ret8
    c.At(0x1100, Bytes({0xE9}) + Rel(0x1105, 0x1000), "Tail");
    // push 1; push 2; call Ret8 (pops both); mov eax,[esp+4]; ret: the stack is back at entry
    c.At(0x1120, Bytes({0x6A, 0x01, 0x6A, 0x02, 0xE8}) + Rel(0x1129, 0x1000) + Bytes({0x8B, 0x44, 0x24, 0x04, 0xC3}),
         "AfterStdcall");
    // push 1; call eax; mov eax,[esp+8]; ret: what the unknown callee pops is not known
    c.At(0x1140, Bytes({0x6A, 0x01, 0xFF, 0xD0, 0x8B, 0x44, 0x24, 0x08, 0xC3}), "AfterUnknown");
    // recursion: cmp dword [esp+4],0; jz +12; push dword [esp+4]; call self; ret 4; ret 4
    c.At(0x1160, Bytes({0x83, 0x7C, 0x24, 0x04, 0x00, 0x74, 0x0C, 0xFF, 0x74, 0x24, 0x04, 0xE8}) + Rel(0x1170, 0x1160) +
                     Bytes({0xC2, 0x04, 0x00, 0xC2, 0x04, 0x00}),
         "Recursive");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["Tail"]), "stdcall exact 2");
    EXPECT_EQ(Text(r["AfterStdcall"]), "cdecl at least 1");  // it calls a function
    EXPECT_EQ(r["AfterUnknown"].Sure, Certainty::LowerBound);
    EXPECT_EQ(Text(r["Recursive"]), "stdcall exact 1");
}

TEST(SignaturesX86, CallsThatNeverReturnEndTheirPath) {
    Code c;
    c.spec.Imports = {{"KERNEL32.dll", {"ExitProcess"}}};
    const std::uint32_t exit_slot = ImportSlot(c.spec, 0, 0);
    // cmp dword [esp+4],0; jnz +11; push 1; call [ExitProcess]; ret 16 (never reached); ret 4
    c.At(0x1000, Bytes({0x83, 0x7C, 0x24, 0x04, 0x00, 0x75, 0x0B, 0x6A, 0x01, 0xFF, 0x15}) + Le32(c.Va(exit_slot)) +
                     kRet16 + Bytes({0xC2, 0x04, 0x00}),
         "ExitsOrRet4");
    // a function of the image that never returns: push 0; call [ExitProcess]
    c.At(0x1100, Bytes({0x6A, 0x00, 0xFF, 0x15}) + Le32(c.Va(exit_slot)));
    // cmp dword [esp+4],0; jnz +8; call Dies; ret 24 (never reached); ret 4
    c.At(0x1120, Bytes({0x83, 0x7C, 0x24, 0x04, 0x00, 0x75, 0x08, 0xE8}) + Rel(0x112C, 0x1100) +
                     Bytes({0xC2, 0x18, 0x00, 0xC2, 0x04, 0x00}),
         "CallsDies");
    // the exit itself says nothing of its caller's count
    c.At(0x1140, Bytes({0x6A, 0x00, 0xFF, 0x15}) + Le32(c.Va(exit_slot)), "OnlyExits");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["ExitsOrRet4"]), "stdcall exact 1");
    EXPECT_EQ(Text(r["CallsDies"]), "stdcall exact 1");
    EXPECT_EQ(Text(r["OnlyExits"]), "unknown unknown 0");
}

TEST(SignaturesX86, ReadsCountWhereNoReturnIsSeen) {
    Code c;
    c.spec.Imports = {{"KERNEL32.dll", {"ExitProcess"}}};
    const std::uint32_t exit_slot = ImportSlot(c.spec, 0, 0);
    // push dword [esp+8]; call [ExitProcess]: the second slot read, no return to tell who pops
    c.At(0x1000, Bytes({0xFF, 0x74, 0x24, 0x08, 0xFF, 0x15}) + Le32(c.Va(exit_slot)), "ExitsWithSecond");
    // mov ecx,[esp+4]; mov eax,[ecx]; jmp [eax+8]: hands on to a virtual function
    c.At(0x1100, Bytes({0x8B, 0x4C, 0x24, 0x04, 0x8B, 0x01, 0xFF, 0x60, 0x08}), "VirtualTailReadsFirst");
    // lea eax,[esp+4]; push eax; call [ExitProcess]: the arguments' address handed on
    c.At(0x1200, Bytes({0x8D, 0x44, 0x24, 0x04, 0x50, 0xFF, 0x15}) + Le32(c.Va(exit_slot)), "HandsOnAddress");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["ExitsWithSecond"]), "unknown at least 2");
    EXPECT_EQ(Text(r["VirtualTailReadsFirst"]), "unknown at least 1");
    EXPECT_EQ(Text(r["HandsOnAddress"]), "unknown unknown 0");
}

TEST(SignaturesX86, FunctionsKnownNeverToReturnStillShowTheirReadsWhereTheyStandForTheCaller) {
    // The other DLL's ExitThread reads its one argument and never returns.
    Code other;
    other.spec.DllName = "ntdll.dll";
    other.spec.Imports = {{"KERNEL32.dll", {"ExitProcess"}}};
    // push dword [esp+4]; call [ExitProcess]
    other.At(0x1000, Bytes({0xFF, 0x74, 0x24, 0x04, 0xFF, 0x15}) + Le32(other.Va(ImportSlot(other.spec, 0, 0))),
             "ExitThread");
    const std::string other_image = BuildCodeImage(other.spec);
    ImageLoader loader = [&](const std::string& name, FileBytes& image) {
        if (name != "ntdll") return false;
        image = other_image;
        return true;
    };
    Code c;
    c.spec.Imports = {{"ntdll.dll", {"ExitThread"}}};
    const std::uint32_t slot = ImportSlot(c.spec, 0, 0);
    c.At(0x1000, Bytes({0xFF, 0x25}) + Le32(c.Va(slot)), "Thunk");  // jmp [ExitThread]
    c.spec.Exports.push_back({"Forwarded", 0, "ntdll.ExitThread"});
    // push 0; call [ExitThread]; ret 8: the call ends the path, what it reads is our push
    c.At(0x1100, Bytes({0x6A, 0x00, 0xFF, 0x15}) + Le32(c.Va(slot)) + kRet8, "Calls");
    // cmp dword [esp+4],0; jz +6; jmp [ExitThread]; ret 4
    c.At(0x1200, Bytes({0x83, 0x7C, 0x24, 0x04, 0x00, 0x74, 0x06, 0xFF, 0x25}) + Le32(c.Va(slot)) + Bytes({0xC2, 0x04, 0x00}),
         "ReturnsOrHandsOn");
    auto r = c.Infer(loader);
    EXPECT_EQ(Text(r["Thunk"]), "unknown at least 1");
    EXPECT_EQ(Text(r["Forwarded"]), "unknown at least 1");
    EXPECT_EQ(Text(r["Calls"]), "unknown unknown 0");
    EXPECT_EQ(Text(r["ReturnsOrHandsOn"]), "stdcall exact 1");
    // Without the other DLL nothing is seen of it, and a call still ends the path.
    auto alone = c.Infer();
    EXPECT_EQ(Text(alone["Thunk"]), "unknown unknown 0");
    EXPECT_EQ(Text(alone["ReturnsOrHandsOn"]), "stdcall exact 1");
}

TEST(SignaturesX86, PathsThatDifferOnlyInACompareLongDoneMeet) {
    // mov eax,[esp+4]; then 18 times: cmp ecx,k; jnz +2; jmp Join; and at Join: ret. Every path
    // reaches Join with the same registers, only the last compare's value told them apart: more
    // paths than the states one instruction may be walked with, had they counted as different.
    Code c;
    std::string code = Bytes({0x8B, 0x44, 0x24, 0x04});
    const int blocks = 18;
    const int join = 4 + 7 * blocks;
    for (int k = 0; k < blocks; ++k) {
        const int end = 4 + 7 * k + 7;
        code += Bytes({0x83, 0xF9, k, 0x75, 0x02, 0xEB, join - end});
    }
    c.At(0x1000, code + Bytes({0xC3}), "ManyCompares");
    InferLimits limits;
    ASSERT_LT(limits.StatesPerAddress, static_cast<std::uint32_t>(blocks));
    EXPECT_EQ(Text(c.Infer({}, limits)["ManyCompares"]), "cdecl exact 1");
}

TEST(SignaturesX86, ImportsAndForwardersLeadIntoOtherDlls) {
    Code other;
    other.spec.DllName = "other.dll";
    other.At(0x1000, kRet16, "Func");
    const std::string other_image = BuildCodeImage(other.spec);
    int loads = 0;
    ImageLoader loader = [&](const std::string& name, FileBytes& image) {
        ++loads;
        if (name != "OTHER" && name != "other") return false;
        image = other_image;
        return true;
    };

    Code c;
    c.spec.Imports = {{"other.dll", {"Func", "Missing"}}};
    c.At(0x1000, Bytes({0xFF, 0x25}) + Le32(c.Va(ImportSlot(c.spec, 0, 0))), "Thunk");
    c.At(0x1010, Bytes({0xFF, 0x25}) + Le32(c.Va(ImportSlot(c.spec, 0, 1))), "ThunkToNothing");
    c.spec.Exports.push_back({"Forwarded", 0, "OTHER.Func"});
    c.spec.Exports.push_back({"ForwardedByOrdinal", 0, "OTHER.#1"});
    c.spec.Exports.push_back({"ForwardedNowhere", 0, "NOWHERE.Func"});
    auto r = c.Infer(loader);
    EXPECT_EQ(Text(r["Thunk"]), "stdcall exact 4");
    EXPECT_EQ(Text(r["ThunkToNothing"]), "unknown unknown 0");
    EXPECT_EQ(Text(r["Forwarded"]), "stdcall exact 4");
    EXPECT_EQ(Text(r["ForwardedByOrdinal"]), "stdcall exact 4");
    EXPECT_EQ(Text(r["ForwardedNowhere"]), "unknown unknown 0");
    EXPECT_EQ(loads, 2);  // other and NOWHERE, each asked for once

    auto alone = c.Infer();  // without a loader nothing outside is known
    EXPECT_EQ(Text(alone["Thunk"]), "unknown unknown 0");
    EXPECT_EQ(Text(alone["Forwarded"]), "unknown unknown 0");
}

TEST(SignaturesX86, PointersTheImageHoldsAreFoundThroughRelocations) {
    Code c;
    c.At(0x1000, kRet8);
    c.At(0x1010, Bytes({0xC2, 0x04, 0x00}));
    c.spec.Data = Le32(c.Va(0x1000)) + Le32(c.Va(0x1000)) + Le32(c.Va(0x1000)) + Le32(c.Va(0x1010));
    c.spec.Relocs = {0x8000, 0x8004, 0x8008, 0x800C};
    // jmp [0x10008000]: a pointer the image fills in for itself
    c.At(0x1100, Bytes({0xFF, 0x25}) + Le32(c.Va(0x8000)), "ThroughPointer");
    // switch: mov eax,[esp+4]; cmp eax,2; ja +7; jmp [eax*4+table]; default: ret 8
    auto sw = [&](std::uint32_t table, std::uint8_t bound) {
        return Bytes({0x8B, 0x44, 0x24, 0x04, 0x83, 0xF8, bound, 0x77, 0x07, 0xFF, 0x24, 0x85}) + Le32(c.Va(table)) +
               Bytes({0xC2, 0x08, 0x00});
    };
    c.At(0x1120, sw(0x8000, 2), "Switch");          // three cases, all ret 8
    c.At(0x1140, sw(0x8004, 2), "SwitchDisagrees");  // its third case is ret 4
    // the same table without a bound on the index: not followed
    c.At(0x1160, Bytes({0x8B, 0x44, 0x24, 0x04, 0xFF, 0x24, 0x85}) + Le32(c.Va(0x8000)), "Unbounded");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["ThroughPointer"]), "stdcall exact 2");
    EXPECT_EQ(Text(r["Switch"]), "stdcall exact 2");
    EXPECT_EQ(Text(r["SwitchDisagrees"]), "unknown unknown 0");
    EXPECT_EQ(Text(r["Unbounded"]), "unknown at least 1");  // its index is read all the same

    c.spec.Relocs.clear();  // without relocations the data is just numbers
    auto bare = c.Infer();
    EXPECT_EQ(Text(bare["ThroughPointer"]), "unknown unknown 0");
}

TEST(SignaturesX86, ArgumentAddressHandedOnIsVariadic) {
    Code c;
    c.At(0x1000, Bytes({0x31, 0xC0, 0xC3}));  // a cdecl helper without parameters
    // lea eax,[esp+8]; push eax; push dword [esp+8]; call helper; add esp,8; ret
    c.At(0x1010, Bytes({0x8D, 0x44, 0x24, 0x08, 0x50, 0xFF, 0x74, 0x24, 0x08, 0xE8}) + Rel(0x101E, 0x1000) +
                     Bytes({0x83, 0xC4, 0x08, 0xC3}),
         "Printf");
    // the same address in ecx for a function of the image that takes it there: mov eax,[ecx]; ret
    c.At(0x1028, Bytes({0x8B, 0x01, 0xC3}));
    c.At(0x1030, Bytes({0x8D, 0x4C, 0x24, 0x08, 0xE8}) + Rel(0x1039, 0x1028) + Bytes({0xC3}), "InRegister");
    // ... and for one that does not read ecx: the address merely lies there
    c.At(0x1040, Bytes({0x8D, 0x4C, 0x24, 0x08, 0xE8}) + Rel(0x1049, 0x1000) + Bytes({0xC3}), "LeftInRegister");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["Printf"]), "cdecl at least 1 variadic");
    EXPECT_EQ(Text(r["InRegister"]), "cdecl at least 1 variadic");
    EXPECT_EQ(Text(r["LeftInRegister"]), "cdecl exact 0");
}

// Where the caller pops, a parameter nothing reads leaves no trace, so a count is exact only in
// the shapes measured to take what they read: no argument read but something done, or arguments
// read and no function called (a tail jump's callee counts as the jumper's own code).
TEST(SignaturesX86, CallerPopsCountsAreExactOnlyInShapesThatShowThemAll) {
    Code c;
    // mov eax,[esp+4]; add eax,[esp+8]; ret
    c.At(0x1000, Bytes({0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08, 0xC3}), "Leaf");
    c.At(0x1020, Bytes({0xA1}) + Le32(c.Va(0x8000)) + Bytes({0xC3}));  // mov eax,[global]; ret
    // mov eax,[esp+4]; push eax; call helper; add esp,4; ret
    c.At(0x1040, Bytes({0x8B, 0x44, 0x24, 0x04, 0x50, 0xE8}) + Rel(0x104A, 0x1020) + Bytes({0x83, 0xC4, 0x04, 0xC3}),
         "Caller");
    c.At(0x1060, Bytes({0xE8}) + Rel(0x1065, 0x1020) + Bytes({0xC3}), "CallerOfNone");  // call helper; ret
    c.At(0x1080, Bytes({0xE9}) + Rel(0x1085, 0x1000), "TailToLeaf");
    c.At(0x10A0, Bytes({0xE9}) + Rel(0x10A5, 0x1040), "TailToCaller");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["Leaf"]), "cdecl exact 2");
    EXPECT_EQ(Text(r["Caller"]), "cdecl at least 1");
    EXPECT_EQ(Text(r["CallerOfNone"]), "cdecl exact 0");
    EXPECT_EQ(Text(r["TailToLeaf"]), "cdecl exact 2");
    EXPECT_EQ(Text(r["TailToCaller"]), "cdecl at least 1");
}

TEST(SignaturesX86, SystemCallStubsLeaveTheirCountToTheSystem) {
    Code c;
    // mov eax,0xeb; mov edx,dispatcher; call edx; ret: the dispatcher reads the stub's arguments
    // right above the return addresses
    c.At(0x1000, Bytes({0xB8, 0xEB, 0x00, 0x00, 0x00, 0xBA}) + Le32(c.Va(0x1100)) + Bytes({0xFF, 0xD2, 0xC3}),
         "CallerPopsStub");
    // ... ret 8: what the stub pops is its count all the same
    c.At(0x1020, Bytes({0xB8, 0xEC, 0x00, 0x00, 0x00, 0xBA}) + Le32(c.Va(0x1100)) + Bytes({0xFF, 0xD2, 0xC2, 0x08, 0x00}),
         "PoppingStub");
    // a callee unknown as well, called from a frame of its own: push ebp; mov ebp,esp; sub esp,8;
    // call [global]; leave; ret
    c.At(0x1040, Bytes({0x55, 0x89, 0xE5, 0x83, 0xEC, 0x08, 0xFF, 0x15}) + Le32(c.Va(0x8000)) + Bytes({0xC9, 0xC3}),
         "FramedCall");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["CallerPopsStub"]), "cdecl at least 0");
    EXPECT_EQ(Text(r["PoppingStub"]), "stdcall exact 2");
    EXPECT_EQ(Text(r["FramedCall"]), "cdecl exact 0");
}

// A call to a jump into another DLL is a call into that DLL: where the DLL cannot be read, the path
// goes on as after a call through the import itself, instead of ending as if nothing came back.
TEST(SignaturesX86, CallsThroughThunksAreCallsIntoTheOtherDll) {
    Code c;
    c.spec.Imports = {{"other.dll", {"Func"}}};
    const std::uint32_t slot = ImportSlot(c.spec, 0, 0);
    c.At(0x1000, Bytes({0xFF, 0x25}) + Le32(c.Va(slot)));  // jmp [Func]
    // sub esp,8; mov eax,[esp+12]; mov [esp],eax; call Thunk / call [Func]; add esp,8; ret 4
    const std::string head = Bytes({0x83, 0xEC, 0x08, 0x8B, 0x44, 0x24, 0x0C, 0x89, 0x04, 0x24});
    const std::string tail = Bytes({0x83, 0xC4, 0x08, 0xC2, 0x04, 0x00});
    c.At(0x1100, head + Bytes({0xE8}) + Rel(0x110F, 0x1000) + tail, "CallsThunk");
    c.At(0x1200, head + Bytes({0xFF, 0x15}) + Le32(c.Va(slot)) + tail, "CallsImport");
    // mov eax,[ecx]; jmp [eax+8]: a virtual function called for us, whose pop nobody knows
    c.At(0x1300, Bytes({0x8B, 0x01, 0xFF, 0x60, 0x08}), "VirtualTail");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["CallsImport"]), "stdcall exact 1");
    EXPECT_EQ(Text(r["CallsThunk"]), Text(r["CallsImport"]));
    EXPECT_EQ(Text(r["VirtualTail"]), "unknown unknown 0");
}

// --- x64 ------------------------------------------------------------------------------------------

TEST(SignaturesX64, RegistersReadBeforeWritten) {
    Code c(true);
    c.At(0x1000, Bytes({0x89, 0xC8, 0x01, 0xD0, 0xC3}), "Two");                // mov eax,ecx; add eax,edx; ret
    c.At(0x1010, Bytes({0xF2, 0x0F, 0x58, 0xC2, 0xC3}), "ThirdIsDouble");      // addsd xmm0,xmm2; ret
    // xor ecx,ecx; mov eax,[rip+data]; add eax,ecx; ret
    c.At(0x1020, Bytes({0x31, 0xC9, 0x8B, 0x05}) + Rel(0x1028, 0x8000) + Bytes({0x01, 0xC8, 0xC3}), "WrittenFirst");
    // pxor xmm1,xmm1 and cvtsi2sd xmm0,eax read nothing of the arguments: xor-zeroing, merging
    c.At(0x1040, Bytes({0x66, 0x0F, 0xEF, 0xC9, 0x8B, 0x05}) + Rel(0x104A, 0x8000) +
                     Bytes({0xF2, 0x0F, 0x2A, 0xC0, 0xF2, 0x0F, 0x58, 0xC1, 0xC3}),
         "Idioms");
    c.At(0x1060, Bytes({0x48, 0x8B, 0x44, 0x24, 0x30, 0xC3}), "SixthOnStack");  // mov rax,[rsp+0x30]; ret
    // -O0 spills to the home area, one read back: mov [rsp+8],rcx; mov [rsp+0x10],rdx; mov rax,[rsp+8]
    c.At(0x1080, Bytes({0x48, 0x89, 0x4C, 0x24, 0x08, 0x48, 0x89, 0x54, 0x24, 0x10, 0x48, 0x8B, 0x44, 0x24, 0x08, 0xC3}),
         "Spilled");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["Two"]), "x64 at least 2");
    EXPECT_EQ(Text(r["ThirdIsDouble"]), "x64 at least 3");
    EXPECT_EQ(Text(r["WrittenFirst"]), "x64 at least 0");
    EXPECT_EQ(Text(r["Idioms"]), "x64 at least 0");
    EXPECT_EQ(Text(r["SixthOnStack"]), "x64 at least 6");
    EXPECT_EQ(Text(r["Spilled"]), "x64 at least 2");
}

TEST(SignaturesX64, CalleesAndSavedRegisters) {
    Code c(true);
    c.At(0x1000, Bytes({0x89, 0xC8, 0x01, 0xD0, 0xC3}));  // reads rcx and rdx
    c.At(0x1010, Bytes({0x48, 0x8B, 0x01, 0xC3}));        // mov rax,[rcx]; ret
    // sub rsp,0x28; call Two; add rsp,0x28; ret: both registers handed on untouched
    c.At(0x1100, Bytes({0x48, 0x83, 0xEC, 0x28, 0xE8}) + Rel(0x1109, 0x1000) + Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3}),
         "PassesTwo");
    // the same with xor edx,edx first
    c.At(0x1120, Bytes({0x48, 0x83, 0xEC, 0x28, 0x31, 0xD2, 0xE8}) + Rel(0x112B, 0x1000) +
                     Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3}),
         "PassesOne");
    // jmp Two
    c.At(0x1140, Bytes({0xE9}) + Rel(0x1145, 0x1000), "TailTwo");
    // a wrapper keeping xmm0/xmm1 across a call: push rbp; mov rbp,rsp; sub rsp,0x40; and rsp,-16;
    // movaps [rsp+0x20],xmm0; movaps [rsp+0x30],xmm1; call One; movaps xmm1,[rsp+0x30];
    // movaps xmm0,[rsp+0x20]; mov rsp,rbp; pop rbp; ret
    c.At(0x1160, Bytes({0x55, 0x48, 0x89, 0xE5, 0x48, 0x83, 0xEC, 0x40, 0x48, 0x83, 0xE4, 0xF0, 0x0F, 0x29, 0x44, 0x24,
                        0x20, 0x0F, 0x29, 0x4C, 0x24, 0x30, 0xE8}) +
                     Rel(0x117B, 0x1010) +
                     Bytes({0x0F, 0x28, 0x4C, 0x24, 0x30, 0x0F, 0x28, 0x44, 0x24, 0x20, 0x48, 0x89, 0xEC, 0x5D, 0xC3}),
         "SavesXmm");
    // sub rsp,0x28; call rax; add rsp,0x28; ret: the unknown callee may take rcx..r9 from us
    c.At(0x11A0, Bytes({0x48, 0x83, 0xEC, 0x28, 0xFF, 0xD0, 0x48, 0x83, 0xC4, 0x28, 0xC3}), "CallsUnknown");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["PassesTwo"]), "x64 at least 2");
    EXPECT_EQ(Text(r["PassesOne"]), "x64 at least 1");
    EXPECT_EQ(Text(r["TailTwo"]), "x64 at least 2");
    EXPECT_EQ(Text(r["SavesXmm"]), "x64 at least 1");
    EXPECT_EQ(Text(r["CallsUnknown"]), "x64 at least 0");
}

TEST(SignaturesX64, VariadicSpillsAndImports) {
    Code other(true);
    other.spec.DllName = "other.dll";
    other.At(0x1000, Bytes({0x48, 0x8B, 0x01, 0x48, 0x03, 0x02, 0x4C, 0x01, 0xC0, 0xC3}), "Three");  // rcx, rdx, r8
    const std::string other_image = BuildCodeImage(other.spec);
    ImageLoader loader = [&](const std::string& name, FileBytes& image) {
        if (name != "other") return false;
        image = other_image;
        return true;
    };
    Code c(true);
    c.spec.Imports = {{"other.dll", {"Three"}}};
    c.At(0x1000, Bytes({0x48, 0x8B, 0x01, 0x48, 0x03, 0x02, 0xC3}));  // mov rax,[rcx]; add rax,[rdx]; ret
    // printf(fmt, ...): spill rdx, r8, r9; sub rsp,0x28; lea rdx,[rsp+0x38] (the first variadic
    // slot); call vprintf-like; add rsp,0x28; ret
    c.At(0x1100, Bytes({0x48, 0x89, 0x54, 0x24, 0x10, 0x4C, 0x89, 0x44, 0x24, 0x18, 0x4C, 0x89, 0x4C, 0x24, 0x20, 0x48,
                        0x83, 0xEC, 0x28, 0x48, 0x8D, 0x54, 0x24, 0x38, 0xE8}) +
                     Rel(0x111D, 0x1000) + Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3}),
         "Printf");
    // jmp [rip+slot]
    c.At(0x1140, Bytes({0xFF, 0x25}) + Rel(0x1146, ImportSlot(c.spec, 0, 0)), "Thunk");
    auto r = c.Infer(loader);
    EXPECT_EQ(Text(r["Printf"]), "x64 at least 1 variadic");
    EXPECT_EQ(Text(r["Thunk"]), "x64 at least 3");
}

// What x64 code reads is all it shows: with the caller cleaning up, an argument nothing reads (or
// one handed on untouched to a system call, which reads what it likes) leaves no trace.
TEST(SignaturesX64, CountsAreLowerBoundsEvenWhereEveryPathIsFollowed) {
    Code nt(true);
    nt.spec.DllName = "ntdll.dll";
    // mov r10,rcx; mov eax,0x6e; syscall; ret
    nt.At(0x1000, Bytes({0x4C, 0x8B, 0xD1, 0xB8, 0x6E, 0x00, 0x00, 0x00, 0x0F, 0x05, 0xC3}), "NtOpenThreadToken");
    const std::string nt_image = BuildCodeImage(nt.spec);
    ImageLoader loader = [&](const std::string& name, FileBytes& image) {
        if (name != "ntdll") return false;
        image = nt_image;
        return true;
    };
    Code c(true);
    c.spec.Imports = {{"ntdll.dll", {"NtOpenThreadToken"}}};
    // push rbx; sub rsp,0x20; movzx r8d,r8b; call [NtOpenThreadToken]; add rsp,0x20; pop rbx; ret:
    // rcx, rdx and r9 go on as they came
    c.At(0x1000, Bytes({0x53, 0x48, 0x83, 0xEC, 0x20, 0x45, 0x0F, 0xB6, 0xC0, 0xFF, 0x15}) +
                     Rel(0x100F, ImportSlot(c.spec, 0, 0)) + Bytes({0x48, 0x83, 0xC4, 0x20, 0x5B, 0xC3}),
         "OpenThreadToken");
    c.At(0x1040, Bytes({0x8B, 0x05}) + Rel(0x1046, 0x8000) + Bytes({0xC3}), "ReadsNone");  // mov eax,[rip+g]; ret
    auto r = c.Infer(loader);
    EXPECT_EQ(Text(r["OpenThreadToken"]), "x64 at least 3");
    EXPECT_EQ(Text(r["ReadsNone"]), "x64 at least 0");
}

// x64 arguments are read the same whether or not the function returns to its caller itself: one
// that ends in a jump through a pointer (a virtual function called for us), one that only throws,
// one that calls a jump into a DLL that cannot be read. Without a read nothing is told.
TEST(SignaturesX64, ReadsCountWhereNoReturnIsSeen) {
    Code c(true);
    c.spec.Imports = {{"KERNEL32.dll", {"RaiseException"}}, {"other.dll", {"Func"}}};
    // mov rax,[rcx]; jmp [rax+8]
    c.At(0x1000, Bytes({0x48, 0x8B, 0x01, 0xFF, 0x60, 0x08}), "VirtualTail");
    // mov [rip+g],edx; sub rsp,0x28; xor ecx,ecx; call [RaiseException]
    c.At(0x1100, Bytes({0x89, 0x15}) + Rel(0x1106, 0x8000) + Bytes({0x48, 0x83, 0xEC, 0x28, 0x31, 0xC9, 0xFF, 0x15}) +
                     Rel(0x1112, ImportSlot(c.spec, 0, 0)),
         "OnlyThrows");
    c.At(0x1200, Bytes({0xFF, 0x25}) + Rel(0x1206, ImportSlot(c.spec, 1, 0)));  // jmp [Func]
    // mov rax,[rcx]; sub rsp,0x28; call Thunk; add rsp,0x28; ret
    c.At(0x1300, Bytes({0x48, 0x8B, 0x01, 0x48, 0x83, 0xEC, 0x28, 0xE8}) + Rel(0x130C, 0x1200) +
                     Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3}),
         "CallsThunk");
    // xor eax,eax; jmp rax
    c.At(0x1400, Bytes({0x31, 0xC0, 0xFF, 0xE0}), "ReadsNothing");
    auto r = c.Infer();
    EXPECT_EQ(Text(r["VirtualTail"]), "x64 at least 1");
    EXPECT_EQ(Text(r["OnlyThrows"]), "x64 at least 2");
    EXPECT_EQ(Text(r["CallsThunk"]), "x64 at least 1");
    EXPECT_EQ(Text(r["ReadsNothing"]), "unknown unknown 0");
}

TEST(SignaturesX64, ArgumentsPassedOnToAFunctionThatNeverReturnsAreOurs) {
    Code other(true);
    other.spec.DllName = "ntdll.dll";
    // mov [rip+g],ecx; int3: reads its first argument, never returns
    other.At(0x1000, Bytes({0x89, 0x0D}) + Rel(0x1006, 0x8000) + Bytes({0xCC}), "RtlExitUserProcess");
    const std::string other_image = BuildCodeImage(other.spec);
    ImageLoader loader = [&](const std::string& name, FileBytes& image) {
        if (name != "ntdll") return false;
        image = other_image;
        return true;
    };
    Code c(true);
    c.spec.Imports = {{"ntdll.dll", {"RtlExitUserProcess"}}};
    const std::uint32_t slot = ImportSlot(c.spec, 0, 0);
    // sub rsp,0x28; call [RtlExitUserProcess]: ecx handed on as it came
    c.At(0x1000, Bytes({0x48, 0x83, 0xEC, 0x28, 0xFF, 0x15}) + Rel(0x100A, slot), "ExitProcess");
    // sub rsp,0x28; xor ecx,ecx; call [RtlExitUserProcess]: the argument is ours, not the caller's
    c.At(0x1100, Bytes({0x48, 0x83, 0xEC, 0x28, 0x31, 0xC9, 0xFF, 0x15}) + Rel(0x110C, slot), "ExitsWithZero");
    auto r = c.Infer(loader);
    EXPECT_EQ(Text(r["ExitProcess"]), "x64 at least 1");
    EXPECT_EQ(Text(r["ExitsWithZero"]), "unknown unknown 0");
    EXPECT_EQ(Text(c.Infer()["ExitProcess"]), "unknown unknown 0");  // nothing seen of the other DLL
}

// --- hostile code ---------------------------------------------------------------------------------

// The walk answers "is this code, and where do its bytes lie" from the span the last answer
// came with; with sections that overlap, run short of their raw data or of their virtual size,
// every address of a span must get the answer asking again would give.
TEST(SignaturesHostile, CodeSpansOfOddSectionTablesAgreeWithAskingAgain) {
    CodeImageSpec spec;
    spec.Text = std::string(0x3000, '\x90');
    spec.Data = std::string(0x800, '\0');
    const std::string base = BuildCodeImage(spec);
    auto put32 = [](std::string& img, std::size_t at, std::uint32_t v) { img.replace(at, 4, Le32(v)); };
    const std::size_t table = 0x98 + 224;  // x86 optional header
    // .data moved about, made code, or spread over .text's addresses and bytes.
    struct Data {
        std::uint32_t rva, virtual_size, raw, raw_size, flags;
    };
    const std::uint32_t keep = 0xFFFFFFFF;
    const Data datas[] = {{0x8000, keep, keep, keep, 0xC0000040}, {0x2000, keep, keep, keep, 0x60000020},
                          {0x1000, keep, keep, keep, 0x60000020}, {0x3800, keep, keep, keep, 0x60000020},
                          {0x0800, 0x5000, 0x400, 0x3000, 0x60000020}, {0x0800, 0x5000, 0x400, 0x3000, 0xC0000040},
                          {0x2800, 0x100, 0x400, 0x3000, 0x60000020}};
    int variants = 0;
    for (std::uint32_t text_virtual : {0x3000u, 0x1800u, 0x5000u, 0u})
        for (const Data& d : datas) {
            std::string img = base;
            put32(img, table + 8, text_virtual);
            const std::uint32_t fields[] = {d.virtual_size, d.rva, d.raw_size, d.raw};
            for (int f = 0; f < 4; ++f)
                if (fields[f] != keep) put32(img, table + 40 + 8 + 4 * f, fields[f]);
            put32(img, table + 40 + 36, d.flags);
            PeImage pe;
            std::string reason;
            ASSERT_TRUE(pe.Open(img, reason)) << reason;
            ++variants;
            for (std::uint32_t rva = 0; rva < 0xC000; rva += 0x80) {
                std::uint64_t b = 0, e = 0;
                PeImage::Span span;
                if (!pe.Code(rva, b, e, &span) || span.Lo >= span.Hi) continue;
                EXPECT_TRUE(rva >= span.Lo && rva < span.Hi) << std::hex << rva;
                for (std::uint64_t at = span.Lo; at < span.Hi; at += (at + 0x40 < span.Hi ? 0x40 : 1)) {
                    std::uint64_t b2 = 0, e2 = 0;
                    const auto a = static_cast<std::uint32_t>(at);
                    ASSERT_TRUE(pe.Code(a, b2, e2)) << std::hex << "variant " << variants << " at " << a;
                    EXPECT_EQ(b2, span.Raw + (at - span.Rva)) << std::hex << a;
                    EXPECT_EQ(e2, span.End) << std::hex << a;
                }
            }
        }
    EXPECT_EQ(variants, 28);
}

TEST(SignaturesHostile, StrayJumpsAndLoopsEndWithinBounds) {
    for (bool x64 : {false, true}) {
        Code c(x64);
        c.At(0x1000, Bytes({0xE9}) + Rel(0x1005, 0x7FFF0000u), "OutOfImage");
        c.At(0x1010, Bytes({0xEB, 0xFE}), "Forever");                     // jmp $
        c.At(0x1020, Bytes({0x50, 0xEB, 0xFD}), "PushForever");           // push eax; jmp back
        c.At(0x1030, Bytes({0xB8, 0xC3, 0x00, 0x00, 0x00, 0xEB, 0xFA}), "IntoTheMiddle");  // lands on C3
        c.At(0x1040, Bytes({0xFF, 0xE0}), "JumpRegister");                // jmp eax
        c.At(0x1050, Bytes({0x0F, 0xFF, 0xFF, 0xFF}), "NotCode");
        // the last bytes of .text run off its end
        c.spec.Text.resize(0x100, '\x90');
        c.At(0x10FF, Bytes({0x8B}), "RunsOffTheEnd");
        c.spec.Exports.push_back({"IntoHeaders", 0x10, ""});
        c.spec.Exports.push_back({"IntoData", 0x8000, ""});
        c.spec.Exports.push_back({"Nowhere", 0x7FFFFFF0, ""});
        const auto start = std::chrono::steady_clock::now();
        auto r = c.Infer();
        for (const char* name : {"OutOfImage", "Forever", "PushForever", "JumpRegister", "NotCode", "RunsOffTheEnd",
                                 "IntoHeaders", "IntoData", "Nowhere"})
            EXPECT_EQ(r[name].Sure, Certainty::Unknown) << name << (x64 ? " x64" : " x86");
        EXPECT_EQ(r["IntoTheMiddle"].Count, 0u);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
}

TEST(SignaturesHostile, LimitsTurnLongWalksIntoUnknown) {
    Code c;
    // a long chain of branches, each joining again: many paths, few states
    std::string chain;
    for (int i = 0; i < 200; ++i) chain += Bytes({0x85, 0xC9, 0x74, 0x01, 0x90});  // test; jz +1; nop
    c.At(0x1000, chain + Bytes({0xC2, 0x04, 0x00}), "Chain");
    InferLimits tight;
    tight.InstructionsPerFunction = 50;
    EXPECT_EQ(Text(c.Infer({}, tight)["Chain"]), "unknown unknown 0");
    EXPECT_EQ(Text(c.Infer()["Chain"]), "stdcall exact 1");

    // many exports of the same code are walked once
    Code many;
    many.At(0x1000, kRet8);
    for (int i = 0; i < 5000; ++i) many.spec.Exports.push_back({"F" + std::to_string(i), 0x1000, ""});
    InferLimits budget;
    budget.InstructionsPerImage = 100;  // far too little for 5000 walks of two instructions
    auto r = many.Infer({}, budget);
    EXPECT_EQ(Text(r["F0"]), "stdcall exact 2");
    EXPECT_EQ(Text(r["F4999"]), "stdcall exact 2");
}

TEST(SignaturesHostile, AFunctionCutAtTheCallLimitIsWalkedAgainFromAShallowerCall) {
    // A calls B calls C; exports are walked A first. With one level of calls, B met from A cannot
    // walk C, but B asked for itself can: its answer must not depend on having been met first.
    Code c;
    // push dword [esp+4]; call B; ret 4
    c.At(0x1200, Bytes({0xFF, 0x74, 0x24, 0x04, 0xE8}) + Rel(0x1209, 0x1100) + Bytes({0xC2, 0x04, 0x00}), "A");
    c.At(0x1100, Bytes({0xFF, 0x74, 0x24, 0x04, 0xE8}) + Rel(0x1109, 0x1000) + Bytes({0xC2, 0x04, 0x00}), "B");
    c.At(0x1000, Bytes({0x8B, 0x44, 0x24, 0x04, 0xC2, 0x04, 0x00}), "C");  // mov eax,[esp+4]; ret 4
    InferLimits shallow;
    shallow.CallDepth = 1;
    auto r = c.Infer({}, shallow);
    EXPECT_NE(r["A"].Sure, Certainty::Exact);  // C lies beyond the limit from A
    EXPECT_EQ(Text(r["B"]), "stdcall exact 1");
    EXPECT_EQ(Text(r["C"]), "stdcall exact 1");
    EXPECT_EQ(Text(InferSignatureAt(c.image, 0x1100, {}, shallow)), "stdcall exact 1");
    EXPECT_EQ(Text(c.Infer()["A"]), "stdcall exact 1");
}

TEST(SignaturesHostile, ForwarderChainsAndLoopsEnd) {
    // A forwards to itself, B to C and C back to B, under every name the loader answers to.
    Code c;
    c.spec.DllName = "loop.dll";
    c.spec.Exports = {{"A", 0, "LOOP.A"}, {"B", 0, "LOOP.C"}, {"C", 0, "LOOP.B"}, {"D", 0, "LOOP"}};
    const std::string image = BuildCodeImage(c.spec);
    int loads = 0;
    ImageLoader loader = [&](const std::string&, FileBytes& out) {
        ++loads;
        out = image;
        return true;
    };
    auto r = c.Infer(loader);
    for (const char* name : {"A", "B", "C", "D"}) EXPECT_EQ(Text(r[name]), "unknown unknown 0") << name;
    EXPECT_LE(loads, 1);
}

TEST(Signatures, TextsForListings) {
    EXPECT_STREQ(CallConventionText(CallConvention::Stdcall), "stdcall");
    EXPECT_STREQ(CallConventionText(CallConvention::Cdecl), "cdecl");
    EXPECT_STREQ(CallConventionText(CallConvention::X64), "x64");
    EXPECT_STREQ(CallConventionText(CallConvention::Unknown), "unknown");
    EXPECT_STREQ(CertaintyText(Certainty::Exact), "exact");
    EXPECT_STREQ(CertaintyText(Certainty::LowerBound), "at least");
    EXPECT_STREQ(CertaintyText(Certainty::Unknown), "unknown");
}

// --- Wine's own DLLs ------------------------------------------------------------------------------

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Signatures of a DLL's exports by name, other DLLs loaded from the same folder (kept once read).
// With `only`, just those exports are walked, each in a walk of its own.
std::map<std::string, std::string> WineSignatures(const std::string& folder, const std::string& dll,
                                                  const std::vector<std::string>* only = nullptr) {
    std::map<std::string, std::string> out;
    const std::string image = ReadFile(folder + "/" + dll);
    PeExports exports;
    std::string reason;
    if (!ReadPeExports(image, exports, reason)) return out;
    auto kept = std::make_shared<std::map<std::string, std::string>>();
    ImageLoader loader = [&, kept](const std::string& name, FileBytes& bytes) {
        std::string lower;
        for (char ch : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (const std::string& file : {lower + ".dll", lower}) {
            if (kept->count(file)) {
                bytes = (*kept)[file];
                return true;
            }
            if (std::filesystem::is_regular_file(folder + "/" + file)) {
                bytes = (*kept)[file] = ReadFile(folder + "/" + file);
                return true;
            }
        }
        return false;
    };
    if (!only) {
        const std::vector<Signature> sigs = InferSignatures(image, exports, loader);
        for (std::size_t i = 0; i < sigs.size(); ++i) out[exports.Named[i].Name] = Text(sigs[i]);
        return out;
    }
    for (const PeExport& e : exports.Named) {
        if (std::find(only->begin(), only->end(), e.Name) == only->end()) continue;
        PeExports one = exports;
        one.Named = {e};
        out[e.Name] = Text(InferSignatures(image, one, loader)[0]);
    }
    return out;
}

}  // namespace

TEST(SignaturesReal, WineX86) {
    const std::string folder = std::string(ZANDREL_WINE_DLL32);
    if (!std::filesystem::exists(folder + "/kernel32.dll")) GTEST_SKIP() << "no Wine 32-bit DLLs in " << folder;
    auto k = WineSignatures(folder, "kernel32.dll");
    EXPECT_EQ(k["Sleep"], "stdcall exact 1");
    EXPECT_EQ(k["CreateFileW"], "stdcall exact 7");
    EXPECT_EQ(k["GetProcAddress"], "stdcall exact 2");
    EXPECT_EQ(k["MulDiv"], "stdcall exact 3");
    EXPECT_EQ(k["ExitProcess"], "unknown at least 1");  // it never returns: no convention to tell
    auto u = WineSignatures(folder, "user32.dll");
    EXPECT_EQ(u["MessageBoxA"], "stdcall exact 4");
    EXPECT_EQ(u["wsprintfA"], "cdecl at least 2 variadic");
    auto m = WineSignatures(folder, "msvcrt.dll");
    EXPECT_EQ(m["strlen"], "cdecl exact 1");
    EXPECT_EQ(m["memcpy"], "cdecl at least 3");  // it calls memmove
    EXPECT_EQ(m["qsort"], "cdecl at least 4");
    EXPECT_EQ(m["printf"], "cdecl at least 1 variadic");
}

TEST(SignaturesReal, WineX64) {
    const std::string folder = std::string(ZANDREL_WINE_DLL64);
    if (!std::filesystem::exists(folder + "/kernel32.dll")) GTEST_SKIP() << "no Wine 64-bit DLLs in " << folder;
    auto k = WineSignatures(folder, "kernel32.dll");
    EXPECT_EQ(k["MulDiv"], "x64 at least 3");
    EXPECT_EQ(k["GetProcAddress"], "x64 at least 2");
    EXPECT_EQ(k["lstrlenA"], "x64 at least 1");
    EXPECT_EQ(k["OpenThreadToken"], "x64 at least 3");  // its fourth goes on untouched to a system call
    auto u = WineSignatures(folder, "user32.dll");
    EXPECT_EQ(u["MessageBoxA"], "x64 at least 4");
    EXPECT_EQ(u["wsprintfA"], "x64 at least 2 variadic");
    auto m = WineSignatures(folder, "msvcrt.dll");
    EXPECT_EQ(m["memcpy"], "x64 at least 3");
    EXPECT_EQ(m["qsort"], "x64 at least 4");
    EXPECT_EQ(m["printf"], "x64 at least 1 variadic");
}

// A function's answer is its own: walked alone or after every other export of its DLL, it is the
// same (a function cut short while still being walked must not be remembered as it was cut).
TEST(SignaturesReal, AnswersDoNotDependOnWhatWasWalkedBefore) {
    for (const std::string& folder : {std::string(ZANDREL_WINE_DLL32), std::string(ZANDREL_WINE_DLL64)}) {
        if (!std::filesystem::exists(folder + "/msvcp90.dll")) continue;
        for (const char* dll : {"msvcp90.dll", "msvcrt.dll"}) {
            SCOPED_TRACE(folder + "/" + dll);
            const auto together = WineSignatures(folder, dll);
            // Those that once differed, and a sample of the rest.
            std::vector<std::string> names = {"??_F?$ctype@D@std@@QAEXXZ", "??0?$ctype@G@std@@QAE@I@Z",
                                              "??_F?$ctype@D@std@@QEAAXXZ", "??0?$ctype@_W@std@@QEAA@_K@Z",
                                              "_atodbl", "_cprintf", "_ecvt", "_fcvt_s"};
            std::size_t i = 0;
            for (const auto& [name, text] : together)
                if (++i % 300 == 0) names.push_back(name);
            const auto alone = WineSignatures(folder, dll, &names);
            EXPECT_GE(alone.size(), 6u);
            for (const auto& [name, text] : alone) EXPECT_EQ(text, together.at(name)) << name;
        }
    }
}
