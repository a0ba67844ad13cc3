// The judge of the parameter-count benchmark: Wine's .spec syntax, the truth it gives on each
// machine, the sorting of answers, and the readers of MinGW's names and gendef's output. A fault
// here would misstate every figure the benchmark prints, so the cases are taken from real lines.
#include <gtest/gtest.h>

#include "SignatureTruth.h"

using namespace zbench;
using zandrel::librarian::CallConvention;
using zandrel::librarian::Certainty;
using zandrel::librarian::Signature;
using K = Truth::Kind;

namespace {

SpecEntry Parse(const char* line) {
    SpecEntry e;
    EXPECT_TRUE(ParseSpecLine(line, e)) << line;
    return e;
}

Truth X86(const char* line) { return TruthFor(Parse(line), Machine::X86); }
Truth X64(const char* line) { return TruthFor(Parse(line), Machine::X64); }

Signature Sig(CallConvention c, Certainty s, std::uint32_t n) {
    Signature g;
    g.Convention = c;
    g.Sure = s;
    g.Count = n;
    return g;
}

constexpr auto Std = CallConvention::Stdcall;
constexpr auto Cdl = CallConvention::Cdecl;
constexpr auto X = CallConvention::X64;
constexpr auto NoConv = CallConvention::Unknown;
constexpr auto Exact = Certainty::Exact;
constexpr auto AtLeast = Certainty::LowerBound;

}  // namespace

TEST(SpecParse, FunctionLinesGiveNameArgumentsAndHandler) {
    SpecEntry e = Parse("@ stdcall -import GetFileAttributesExW(wstr long ptr) KERNEL32_GetAttrEx");
    EXPECT_EQ(e.Kind, SpecEntry::Type::Stdcall);
    EXPECT_EQ(e.Name, "GetFileAttributesExW");
    EXPECT_EQ(e.Args, (std::vector<std::string>{"wstr", "long", "ptr"}));
    EXPECT_EQ(e.Handler, "KERNEL32_GetAttrEx");
    EXPECT_FALSE(e.Forwarder);

    e = Parse("12 cdecl -noname -private _strlwr(str)");
    EXPECT_EQ(e.Ordinal, "12");
    EXPECT_EQ(e.Kind, SpecEntry::Type::Cdecl);
    EXPECT_TRUE(e.Noname);
    EXPECT_TRUE(e.Handler.empty());

    e = Parse("@ thiscall -arch=i386 ??0SchedulerPolicy@Concurrency@@QAE@XZ(ptr) SchedulerPolicy_ctor");
    EXPECT_EQ(e.Kind, SpecEntry::Type::Thiscall);
    EXPECT_EQ(e.Name, "??0SchedulerPolicy@Concurrency@@QAE@XZ");

    e = Parse("@ stdcall GetTickCount()");
    EXPECT_TRUE(e.Args.empty());
    EXPECT_EQ(e.Name, "GetTickCount");

    EXPECT_TRUE(Parse("@ stdcall -fastcall -arch=i386 ExAcquireFastMutex(ptr)").Fastcall);
}

TEST(SpecParse, StubsExternsEquatesAndForwarders) {
    SpecEntry e = Parse("@ stub _getsystime(ptr)");
    EXPECT_EQ(e.Kind, SpecEntry::Type::Stub);
    EXPECT_EQ(e.Name, "_getsystime");
    e = Parse("@ stub -arch=win32 DosDateTimeToVariantTime");
    EXPECT_EQ(e.Name, "DosDateTimeToVariantTime");
    EXPECT_EQ(e.Arch, (std::vector<std::string>{"win32"}));

    e = Parse("@ stdcall AcquireSRWLockExclusive(ptr) ntdll.RtlAcquireSRWLockExclusive");
    EXPECT_TRUE(e.Forwarder);
    EXPECT_EQ(X86("@ stdcall AcquireSRWLockExclusive(ptr) ntdll.RtlAcquireSRWLockExclusive").What, K::Forwarder);
    EXPECT_EQ(X86("@ extern _acmdln MSVCRT__acmdln").What, K::Data);
    EXPECT_EQ(X86("@ extern NlsAnsiCodePage ntdll.NlsAnsiCodePage").What, K::Forwarder);
    EXPECT_EQ(X86("@ equate SomeConstant 0x10").What, K::Data);
    EXPECT_EQ(X86("2 variable VariableA(-1 0xff 0 0)").What, K::Data);
    EXPECT_EQ(X86("55 pascal -register Catch(ptr) Catch16").What, K::Win16);
    // A stub's handler is not a forwarder; the entry stays a stub.
    EXPECT_EQ(X86("@ stub Foo").What, K::Stub);
}

TEST(SpecParse, WholeFilesDropCommentsJoinContinuationsAndSkipApisets) {
    int bad = 0;
    auto entries = ParseSpec("# comment line\n"
                             "@ stdcall A(long) # trailing comment (ptr)\r\n"
                             "\n"
                             "100 pascal CreateWindow(ptr ptr long s_word s_word s_word \\\n"
                             "    s_word word word word ptr) WIN_CreateWindow\n"
                             "apiset api-ms-win-core-x-l1-1-0 = kernelbase.dll\n"
                             "this is not a declaration\n"
                             "@ cdecl B(double int64)",
                             &bad);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, "A");
    EXPECT_EQ(entries[0].Args.size(), 1u);
    EXPECT_EQ(entries[1].Name, "CreateWindow");
    EXPECT_EQ(entries[1].Args.size(), 11u);
    EXPECT_EQ(entries[1].Handler, "WIN_CreateWindow");
    EXPECT_EQ(entries[2].Name, "B");
    EXPECT_EQ(bad, 1);  // the garbage line; apiset lines are not faults

    SpecEntry e;
    EXPECT_FALSE(ParseSpecLine("@ stdcall", e));
    EXPECT_FALSE(ParseSpecLine("@ frobcall Foo()", e));
    EXPECT_FALSE(ParseSpecLine("@ stdcall Foo(long", e));
}

TEST(SpecArch, FiltersPickTheMachine) {
    struct Case {
        const char* line;
        bool x86, x64;
    } cases[] = {
        {"@ stdcall A()", true, true},
        {"@ stdcall -arch=win32 A()", true, false},
        {"@ stdcall -arch=win64 A()", false, true},
        {"@ stdcall -arch=i386 A()", true, false},
        {"@ stdcall -arch=x86_64 A()", false, true},
        {"@ stdcall -arch=!i386 A()", false, true},
        {"@ stdcall -arch=i386,x86_64 A()", true, true},
        {"@ stdcall -arch=arm,arm64 A()", false, false},
        {"@ stdcall -arch=arm,win64 A()", false, true},
        {"@ stdcall -arch=i386,win64 A()", true, true},
        {"1 stdcall -noname -i386 -private -norelay VxDCall0() krnl386.exe16.VxDCall0", true, false},
    };
    for (const Case& c : cases) {
        SpecEntry e = Parse(c.line);
        EXPECT_EQ(AppliesTo(e, Machine::X86), c.x86) << c.line;
        EXPECT_EQ(AppliesTo(e, Machine::X64), c.x64) << c.line;
    }
}

TEST(SpecTruth, StackSlotsOnX86AndArgumentsOnX64) {
    // 64-bit integers and doubles take two slots, int128 four; float one.
    Truth t = X86("@ stdcall D3DXSHEvalHemisphereLight(long ptr int128 int128 ptr ptr ptr)");
    EXPECT_EQ(t.What, K::Stdcall);
    EXPECT_EQ(t.Count, 13u);
    EXPECT_EQ(X86("@ cdecl _atan2(double double) atan2").Count, 4u);
    EXPECT_EQ(X86("@ cdecl _ftol(float int64)").Count, 3u);
    EXPECT_EQ(X86("@ cdecl _ftol(float int64)").What, K::Cdecl);

    t = X64("@ stdcall D3DXSHEvalHemisphereLight(long ptr int128 int128 ptr ptr ptr)");
    EXPECT_EQ(t.What, K::X64);
    EXPECT_EQ(t.Count, 7u);
    EXPECT_EQ(X64("@ cdecl _atan2(double double) atan2").Count, 2u);

    t = X86("@ varargs sprintf(ptr str)");
    EXPECT_EQ(t.What, K::Varargs);
    EXPECT_EQ(t.Count, 2u);
    EXPECT_EQ(X64("@ varargs sprintf(ptr str)").What, K::Varargs);
}

TEST(SpecTruth, ThiscallAndFastcallCountWhatTheCalleePops) {
    Truth t = X86("@ thiscall -arch=i386 ??0X@@QAE@ABV0@H@Z(ptr ptr long) X_ctor");
    EXPECT_EQ(t.What, K::Thiscall);
    EXPECT_EQ(t.Count, 2u);  // `this` in ecx
    EXPECT_EQ(X86("@ thiscall -arch=i386 ??1X@@QAE@XZ(ptr) X_dtor").Count, 0u);
    EXPECT_EQ(X64("@ thiscall ??1X@@QEAA@XZ(ptr) X_dtor").What, K::X64);
    EXPECT_EQ(X64("@ thiscall ??1X@@QEAA@XZ(ptr) X_dtor").Count, 1u);

    t = X86("@ stdcall -fastcall -arch=i386 KeAcquireInStackQueuedSpinLock(ptr ptr)");
    EXPECT_EQ(t.What, K::Fastcall);
    EXPECT_EQ(t.Count, 0u);
    // 64-bit values stay on the stack and do not use up a register.
    EXPECT_EQ(X86("@ stdcall -fastcall F(int64 long ptr long)").Count, 3u);
}

TEST(Classify, ExactAnswersMustMatchCountAndConvention) {
    Truth std3{K::Stdcall, 3};
    EXPECT_EQ(Classify(std3, Machine::X86, Sig(Std, Exact, 3)), Verdict::Exact);
    EXPECT_EQ(Classify(std3, Machine::X86, Sig(Std, Exact, 4)), Verdict::TooHigh);
    EXPECT_EQ(Classify(std3, Machine::X86, Sig(Std, Exact, 2)), Verdict::TooLow);
    EXPECT_EQ(Classify(std3, Machine::X86, Sig(Cdl, Exact, 3)), Verdict::WrongConvention);
    // A wrong count is reported as such, even with the wrong convention too.
    EXPECT_EQ(Classify(std3, Machine::X86, Sig(Cdl, Exact, 1)), Verdict::TooLow);

    Truth cdecl2{K::Cdecl, 2};
    EXPECT_EQ(Classify(cdecl2, Machine::X86, Sig(Cdl, Exact, 2)), Verdict::Exact);
    EXPECT_EQ(Classify(cdecl2, Machine::X86, Sig(Std, Exact, 2)), Verdict::WrongConvention);

    Truth x64{K::X64, 4};
    EXPECT_EQ(Classify(x64, Machine::X64, Sig(X, Exact, 4)), Verdict::Exact);
    EXPECT_EQ(Classify(x64, Machine::X64, Sig(Std, Exact, 4)), Verdict::WrongConvention);
    EXPECT_EQ(Classify(x64, Machine::X64, Sig(X, Exact, 5)), Verdict::TooHigh);
}

TEST(Classify, NoStackParametersIsOneCallUnderBothConventions) {
    Truth std0{K::Stdcall, 0}, cdecl0{K::Cdecl, 0}, this0{K::Thiscall, 0};
    EXPECT_EQ(Classify(std0, Machine::X86, Sig(Cdl, Exact, 0)), Verdict::Exact);
    EXPECT_EQ(Classify(cdecl0, Machine::X86, Sig(Std, Exact, 0)), Verdict::Exact);
    EXPECT_EQ(Classify(this0, Machine::X86, Sig(Cdl, Exact, 0)), Verdict::Exact);
    // Not on x64, where the convention is one and a stdcall answer is a fault.
    EXPECT_EQ(Classify(Truth{K::X64, 0}, Machine::X64, Sig(Std, Exact, 0)), Verdict::WrongConvention);
    // And not when a count is claimed that the function does not have.
    EXPECT_EQ(Classify(std0, Machine::X86, Sig(Cdl, Exact, 1)), Verdict::TooHigh);
}

TEST(Classify, LowerBoundsAndUnknowns) {
    Truth cdecl3{K::Cdecl, 3};
    EXPECT_EQ(Classify(cdecl3, Machine::X86, Sig(Cdl, AtLeast, 3)), Verdict::LowerBound);
    EXPECT_EQ(Classify(cdecl3, Machine::X86, Sig(Cdl, AtLeast, 0)), Verdict::LowerBound);
    EXPECT_EQ(Classify(cdecl3, Machine::X86, Sig(NoConv, AtLeast, 2)), Verdict::LowerBound);
    EXPECT_EQ(Classify(cdecl3, Machine::X86, Sig(Cdl, AtLeast, 4)), Verdict::TooHigh);
    EXPECT_EQ(Classify(cdecl3, Machine::X86, Sig(Std, AtLeast, 1)), Verdict::WrongConvention);
    // Unknown certainty says nothing, whatever else the answer holds.
    EXPECT_EQ(Classify(cdecl3, Machine::X86, Sig(Std, Certainty::Unknown, 9)), Verdict::Unknown);
    EXPECT_EQ(Classify(cdecl3, Machine::X86, Signature{}), Verdict::Unknown);

    // Varargs: the fixed part is the truth; more is too high.
    Truth va{K::Varargs, 2};
    EXPECT_EQ(Classify(va, Machine::X86, Sig(Cdl, Exact, 2)), Verdict::Exact);
    EXPECT_EQ(Classify(va, Machine::X86, Sig(Cdl, AtLeast, 1)), Verdict::LowerBound);
    EXPECT_EQ(Classify(va, Machine::X86, Sig(Cdl, AtLeast, 3)), Verdict::TooHigh);
    // Thiscall and fastcall: the callee pops, as stdcall does.
    EXPECT_EQ(Classify(Truth{K::Thiscall, 2}, Machine::X86, Sig(Std, Exact, 2)), Verdict::Exact);
    EXPECT_EQ(Classify(Truth{K::Fastcall, 1}, Machine::X86, Sig(Cdl, Exact, 1)), Verdict::WrongConvention);
}

TEST(MingwNames, OnlyStdcallDecorationsCount) {
    std::string name;
    std::uint32_t slots = 0;
    ASSERT_TRUE(ParseMingwStdcall("_Sleep@4", name, slots));
    EXPECT_EQ(name, "Sleep");
    EXPECT_EQ(slots, 1u);
    ASSERT_TRUE(ParseMingwStdcall("_GetTickCount@0", name, slots));
    EXPECT_EQ(slots, 0u);
    ASSERT_TRUE(ParseMingwStdcall("_D3DXSHEvalHemisphereLight@52", name, slots));
    EXPECT_EQ(slots, 13u);
    for (const char* s : {"__imp__Sleep@4", "_printf", "@Fast@8", "_Odd@6", "Sleep@4", "_@4", "_??0X@@QAE@XZ@4",
                          "_Name@", "_Name@x4"})
        EXPECT_FALSE(ParseMingwStdcall(s, name, slots)) << s;
}

TEST(Gendef, DecoratedNamesClaimStdcallAndTheRestNothing) {
    const char* def = ";\n; Definition file of KERNEL32.dll\n;\nLIBRARY \"KERNEL32.dll\"\nEXPORTS\n"
                      "ord_19@8 @19\n"
                      "AddAtomA@4\n"
                      "BaseThreadInitThunk\n"
                      "FatalExit ; Check!!! Couldn't determine function argument count. Function doesn't return. \n"
                      "Odd@8 ; Check!!! something else\n"
                      "AcquireSRWLockExclusive = NTDLL.RtlAcquireSRWLockExclusive\n"
                      "??_7bad_cast@@6B@ DATA\n"
                      "??0bad_cast@@QAE@PBD@Z ; has WINAPI (@4)\n"
                      "GetTickCount@0\n";
    auto g = ParseGendef(def, {"AddAtomA", "BaseThreadInitThunk", "FatalExit", "Odd", "AcquireSRWLockExclusive",
                               "??_7bad_cast@@6B@", "??0bad_cast@@QAE@PBD@Z", "GetTickCount"});
    ASSERT_TRUE(g.count("AddAtomA"));
    EXPECT_EQ(g["AddAtomA"].Convention, Std);
    EXPECT_EQ(g["AddAtomA"].Sure, Exact);
    EXPECT_EQ(g["AddAtomA"].Count, 1u);
    EXPECT_EQ(g["GetTickCount"].Sure, Exact);
    EXPECT_EQ(g["GetTickCount"].Count, 0u);
    EXPECT_EQ(g["??0bad_cast@@QAE@PBD@Z"].Sure, Exact);
    EXPECT_EQ(g["??0bad_cast@@QAE@PBD@Z"].Count, 1u);
    // Bare and doubtful names are there but claim nothing.
    ASSERT_TRUE(g.count("BaseThreadInitThunk"));
    EXPECT_EQ(g["BaseThreadInitThunk"].Sure, Certainty::Unknown);
    EXPECT_EQ(g["FatalExit"].Sure, Certainty::Unknown);
    EXPECT_EQ(g["Odd"].Sure, Certainty::Unknown);
    // Forwarders, data and ordinal-only lines are not answers at all.
    EXPECT_FALSE(g.count("AcquireSRWLockExclusive"));
    EXPECT_FALSE(g.count("??_7bad_cast@@6B@"));
    EXPECT_FALSE(g.count("ord_19"));
    EXPECT_EQ(g.size(), 6u);
}
