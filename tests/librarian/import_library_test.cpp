// The import library writer, checked by taking its output apart again: archive members, both
// linker members, the descriptor objects and the short import objects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "librarian/ImportLibrary.h"
#include "readers/ImportLib.h"

using namespace zandrel::librarian;
using ::testing::ElementsAre;

namespace {

std::uint32_t Le16(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s.at(at)) | static_cast<unsigned char>(s.at(at + 1)) << 8;
}
std::uint32_t Le32(const std::string& s, std::size_t at) { return Le16(s, at) | Le16(s, at + 2) << 16; }
std::uint32_t Be32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s.at(at + i));
    return v;
}
std::vector<std::string> Strings(const std::string& s, std::size_t at, std::size_t count) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t end = s.find('\0', at);
        out.push_back(s.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

struct ArchiveMember {
    std::size_t Offset;  // of the header
    std::string Name, Data;
};

std::vector<ArchiveMember> Members(const std::string& lib) {
    std::vector<ArchiveMember> out;
    EXPECT_EQ(lib.substr(0, 8), "!<arch>\n");
    std::size_t pos = 8;
    while (pos < lib.size()) {
        std::string header = lib.substr(pos, 60);
        EXPECT_EQ(header.substr(58), "`\n");
        std::size_t size = std::stoul(header.substr(48, 10));
        std::string name = header.substr(0, 16);
        name.erase(name.find_last_not_of(' ') + 1);
        out.push_back({pos, name, lib.substr(pos + 60, size)});
        pos += 60 + size + (size & 1);
        if (size & 1) {
            EXPECT_EQ(lib[pos - 1], '\n');
        }
    }
    EXPECT_EQ(pos, lib.size());
    return out;
}

struct Coff {
    std::uint16_t Machine = 0;
    struct Section {
        std::string Name, Data;
        std::uint32_t Flags;
        std::vector<std::pair<std::uint32_t, std::string>> Relocs;  // offset, symbol name
        std::vector<std::uint32_t> RelocTypes;
    };
    struct Symbol {
        std::string Name;
        std::uint32_t Value;
        std::int16_t Section;
        int Class;
    };
    std::vector<Section> Sections;
    std::vector<Symbol> Symbols;
};

Coff ParseCoff(const std::string& o) {
    Coff c;
    c.Machine = static_cast<std::uint16_t>(Le16(o, 0));
    const std::uint32_t nsec = Le16(o, 2), symtab = Le32(o, 8), nsym = Le32(o, 12);
    EXPECT_EQ(Le16(o, 16), 0u);
    const std::size_t strtab = symtab + 18 * nsym;
    EXPECT_EQ(Le32(o, strtab), o.size() - strtab);
    for (std::uint32_t i = 0; i < nsym; ++i) {
        std::size_t s = symtab + 18 * i;
        Coff::Symbol sym;
        if (Le32(o, s) == 0) sym.Name = o.c_str() + strtab + Le32(o, s + 4);
        else sym.Name = o.substr(s, 8).c_str();
        sym.Value = Le32(o, s + 8);
        sym.Section = static_cast<std::int16_t>(Le16(o, s + 12));
        sym.Class = static_cast<unsigned char>(o[s + 16]);
        EXPECT_EQ(o[s + 17], 0);
        c.Symbols.push_back(sym);
    }
    for (std::uint32_t i = 0; i < nsec; ++i) {
        std::size_t h = 20 + 40 * i;
        Coff::Section sec;
        sec.Name = o.substr(h, 8).c_str();
        sec.Data = o.substr(Le32(o, h + 20), Le32(o, h + 16));
        sec.Flags = Le32(o, h + 36);
        for (std::uint32_t r = 0; r < Le16(o, h + 32); ++r) {
            std::size_t at = Le32(o, h + 24) + 10 * r;
            sec.Relocs.push_back({Le32(o, at), c.Symbols.at(Le32(o, at + 4)).Name});
            sec.RelocTypes.push_back(Le16(o, at + 8));
        }
        c.Sections.push_back(sec);
    }
    return c;
}

std::vector<ImportEntry> Imports(Machine m, const std::vector<std::pair<std::string, bool>>& names) {
    PeExports ex;
    for (std::size_t i = 0; i < names.size(); ++i) {
        PeExport e;
        e.Name = names[i].first;
        e.Data = names[i].second;
        e.NameIndex = static_cast<std::uint32_t>(i);
        ex.Named.push_back(e);
    }
    return PlanImports(ex, m, "user32.dll").Imports;
}

std::string Build(const std::vector<ImportEntry>& imports, Machine m, const std::string& dll = "user32.dll") {
    std::string bytes, reason;
    EXPECT_TRUE(WriteImportLibrary(imports, dll, m, 0x5F000000, bytes, reason)) << reason;
    return bytes;
}

}  // namespace

TEST(ImportNames, X86GetsTheCPrefixThatTheNameTypeTakesOff) {
    auto entry = [](const char* name, Machine m, bool data = false, std::uint32_t index = 3) {
        PeExport e;
        e.Name = name;
        e.Data = data;
        e.NameIndex = index;
        return ImportFor(e, m);
    };
    ImportEntry e = entry("MessageBoxA", Machine::X86);
    EXPECT_EQ(e.Symbol, "_MessageBoxA");
    EXPECT_EQ(e.NameType, ImportNameNoPrefix);
    EXPECT_EQ(e.Type, ImportCode);
    EXPECT_EQ(e.Hint, 3);
    // An "@" of the export's own must survive: NoPrefix, never Undecorate.
    EXPECT_EQ(entry("Func@8", Machine::X86).Symbol, "_Func@8");
    EXPECT_EQ(entry("Func@8", Machine::X86).NameType, ImportNameNoPrefix);
    EXPECT_EQ(entry("_iob", Machine::X86, true).Symbol, "__iob");
    EXPECT_EQ(entry("_iob", Machine::X86, true).Type, ImportData);
    for (const char* decorated : {"??2@YAPAXI@Z", "@Fast@8"}) {
        EXPECT_EQ(entry(decorated, Machine::X86).Symbol, decorated);
        EXPECT_EQ(entry(decorated, Machine::X86).NameType, ImportName);
    }
    EXPECT_EQ(entry("MessageBoxA", Machine::X64).Symbol, "MessageBoxA");
    EXPECT_EQ(entry("MessageBoxA", Machine::X64).NameType, ImportName);
    EXPECT_EQ(entry("Far", Machine::X64, false, 70000).Hint, 0);  // only a hint: none beats a wrong one
}

TEST(ImportNames, X86NamesFollowTheCodeAndTheDllsOwnDecoration) {
    const Signature stdcall2{CallConvention::Stdcall, Certainty::Exact, 2, false};
    auto entry = [](const char* name, const Signature& sig = {}, bool data = false, Machine m = Machine::X86) {
        PeExport e;
        e.Name = name;
        e.Data = data;
        return ImportFor(e, m, sig);
    };
    struct Case {
        const char* name;
        Signature sig;
        const char* symbol;
        ImportNameType type;
    };
    const Case cases[] = {
        // A plain name of stdcall code with a known count: the full decoration, undecorated again.
        {"MessageBoxA", {CallConvention::Stdcall, Certainty::Exact, 4, false}, "_MessageBoxA@16", ImportNameUndecorate},
        {"Init", {CallConvention::Stdcall, Certainty::Exact, 0, false}, "_Init@0", ImportNameUndecorate},
        {"_under", stdcall2, "__under@8", ImportNameUndecorate},
        // Anything less sure, or not stdcall, keeps the C prefix alone.
        {"MessageBoxA", {CallConvention::Stdcall, Certainty::LowerBound, 4, false}, "_MessageBoxA", ImportNameNoPrefix},
        {"printf", {CallConvention::Cdecl, Certainty::Exact, 1, true}, "_printf", ImportNameNoPrefix},
        {"Unknown", {}, "_Unknown", ImportNameNoPrefix},
        // Decorated by the DLL's own linker: "_Name@N" stands as MSVC's library keeps it.
        {"_glewInit@0", {}, "_glewInit@0", ImportName},
        {"_glewInit@0", stdcall2, "_glewInit@0", ImportName},
        {"_Proc@1@12", {}, "_Proc@1@12", ImportName},
        // "Name@N" (MinGW's stdcall exports): the "_" in front, imported exactly as spelt.
        {"Func@8", {}, "_Func@8", ImportNameNoPrefix},
        {"Func@8", stdcall2, "_Func@8", ImportNameNoPrefix},
        {"@Fast@8", stdcall2, "@Fast@8", ImportName},
        {"?Member@C@@QAEXH@Z", stdcall2, "?Member@C@@QAEXH@Z", ImportName},
        // An "@" without a byte count after it is no decoration; Undecorate would cut the name.
        {"_x@", {}, "__x@", ImportNameNoPrefix},
        {"_x@1a", {}, "__x@1a", ImportNameNoPrefix},
        {"a@b", stdcall2, "_a@b", ImportNameNoPrefix},
        {"@", {}, "@", ImportName},
    };
    for (const Case& c : cases) {
        ImportEntry e = entry(c.name, c.sig);
        EXPECT_EQ(e.Symbol, c.symbol) << c.name;
        EXPECT_EQ(e.NameType, c.type) << c.name;
    }
    // Data is never decorated; x64 names are taken as they are, whatever the code says.
    EXPECT_EQ(entry("Table", stdcall2, true).Symbol, "_Table");
    EXPECT_EQ(entry("Table", stdcall2, true).NameType, ImportNameNoPrefix);
    EXPECT_EQ(entry("Open", {CallConvention::X64, Certainty::Exact, 3, false}, false, Machine::X64).Symbol, "Open");
    EXPECT_EQ(entry("_glewInit@0", {}, false, Machine::X64).Symbol, "_glewInit@0");
}

TEST(ImportNames, PlanTakesOneSignaturePerExport) {
    PeExports ex;
    for (const char* name : {"Open", "Close", "Close@4", "Data"}) {
        PeExport e;
        e.Name = name;
        e.Data = std::string(name) == "Data";
        ex.Named.push_back(e);
    }
    const Signature stdcall1{CallConvention::Stdcall, Certainty::Exact, 1, false};
    LibraryContents plan = PlanImports(ex, Machine::X86, "user32.dll", {stdcall1, stdcall1, {}, stdcall1});
    std::vector<std::string> symbols;
    for (const ImportEntry& e : plan.Imports) symbols.push_back(e.Symbol);
    // "Close" decorated takes "_Close@4" first; the DLL's own "Close@4" would repeat it.
    EXPECT_THAT(symbols, ElementsAre("_Open@4", "_Close@4", "_Data"));
    ASSERT_EQ(plan.Warnings.size(), 1u);
    EXPECT_NE(plan.Warnings[0].find("Close@4"), std::string::npos);
    // Signatures that do not match the exports one for one are not used at all.
    plan = PlanImports(ex, Machine::X86, "user32.dll", {stdcall1});
    EXPECT_EQ(plan.Imports[0].Symbol, "_Open");
    EXPECT_EQ(plan.Imports.size(), 4u);
}

TEST(ImportLibraryWriter, DecoratedNamesReadBackWithTheirCountAndNameType) {
    PeExports ex;
    for (const char* name : {"MessageBoxA", "_glewInit@0", "Func@8", "printf"}) {
        PeExport e;
        e.Name = name;
        ex.Named.push_back(e);
    }
    LibraryContents plan = PlanImports(ex, Machine::X86, "user32.dll",
                                       {{CallConvention::Stdcall, Certainty::Exact, 4, false}, {}, {}, {}});
    const std::string lib = Build(plan.Imports, Machine::X86);
    zandrel::SymbolList list;
    ASSERT_EQ(zandrel::ParseArchive(lib, list), zandrel::ReadStatus::Ok);
    std::map<std::string, int> counts;
    for (const auto& e : list) counts[e.Name] = e.ParamCount;
    EXPECT_EQ(counts, (std::map<std::string, int>{{"_Func@8", 2}, {"_MessageBoxA@16", 4}, {"_glewInit@0", 0},
                                                  {"_printf", 0}}));
    // The name type stands in bits 2-4 of each short import object's type word.
    std::map<std::string, int> types;
    for (const ArchiveMember& m : Members(lib)) {
        if (m.Data.size() < 20 || Le16(m.Data, 2) != 0xFFFF) continue;
        types[m.Data.substr(20, m.Data.find('\0', 20) - 20)] = static_cast<int>(Le16(m.Data, 18) >> 2 & 7);
    }
    EXPECT_EQ(types, (std::map<std::string, int>{{"_Func@8", ImportNameNoPrefix},
                                                 {"_MessageBoxA@16", ImportNameUndecorate},
                                                 {"_glewInit@0", ImportName},
                                                 {"_printf", ImportNameNoPrefix}}));
}

TEST(ImportNames, PlanLeavesOutNamelessAndClashingExports) {
    PeExports ex;
    auto add = [&ex](const std::string& name, bool data = false) {
        PeExport e;
        e.Name = name;
        e.Data = data;
        ex.Named.push_back(e);
    };
    add("Run");
    add("Run");                          // the same name twice in a damaged table
    add("");                             // nothing to link by
    add("_IMPORT_DESCRIPTOR_user32");    // would become the descriptor's own symbol on x86
    add("_imp__Run");                    // on x86 "__imp__Run", which is Run's pointer already
    PeExport only;
    only.Ordinal = 9;
    ex.OrdinalOnly.push_back(only);
    LibraryContents plan = PlanImports(ex, Machine::X86, "user32.dll");
    ASSERT_EQ(plan.Imports.size(), 1u);
    EXPECT_EQ(plan.Imports[0].Symbol, "_Run");
    EXPECT_EQ(plan.Warnings.size(), 4u);
    // On x64 the descriptor-like name does not clash.
    EXPECT_EQ(PlanImports(ex, Machine::X64, "user32.dll").Imports.size(), 3u);
}

TEST(ImportLibraryWriter, LinkerMembersAgreeWithTheMembers) {
    for (Machine m : {Machine::X86, Machine::X64}) {
        SCOPED_TRACE(m == Machine::X86 ? "X86" : "X64");
        std::string lib = Build(Imports(m, {{"Zeta", false}, {"alpha", false}, {"Data1", true}, {"\xE4rger", false}}), m);
        std::vector<ArchiveMember> members = Members(lib);
        ASSERT_EQ(members.size(), 3u + 3 + 4);
        EXPECT_EQ(members[0].Name, "/");
        EXPECT_EQ(members[1].Name, "/");
        EXPECT_EQ(members[2].Name, "//");
        EXPECT_EQ(members[2].Data, std::string("user32.dll\0", 11));
        for (std::size_t i = 3; i < members.size(); ++i) EXPECT_EQ(members[i].Name, "user32.dll/");

        // Second linker member: offsets of the object members, sorted names, 1-based indices.
        const std::string& second = members[1].Data;
        const std::uint32_t count = Le32(second, 0);
        ASSERT_EQ(count, members.size() - 3);
        std::map<std::uint32_t, std::size_t> index_of_offset;
        for (std::uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(Le32(second, 4 + 4 * i), members[3 + i].Offset);
            index_of_offset[static_cast<std::uint32_t>(members[3 + i].Offset)] = i + 1;
        }
        const std::size_t n = Le32(second, 4 + 4 * count);
        const std::size_t idx_at = 8 + 4 * count;
        std::vector<std::string> names = Strings(second, idx_at + 2 * n, n);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));  // byte order: 0x7F and 0xE4 last
        std::set<std::pair<std::string, std::size_t>> from_second;
        for (std::size_t i = 0; i < n; ++i) from_second.insert({names[i], Le16(second, idx_at + 2 * i)});

        // First linker member: big-endian, the same symbols with header offsets.
        const std::string& first = members[0].Data;
        ASSERT_EQ(Be32(first, 0), n);
        std::vector<std::string> first_names = Strings(first, 4 + 4 * n, n);
        std::set<std::pair<std::string, std::size_t>> from_first;
        for (std::size_t i = 0; i < n; ++i) from_first.insert({first_names[i], index_of_offset.at(Be32(first, 4 + 4 * i))});
        EXPECT_EQ(from_first, from_second);

        const std::string u = m == Machine::X86 ? "_" : "";
        std::set<std::pair<std::string, std::size_t>> expected = {
            {"__IMPORT_DESCRIPTOR_user32", 1}, {"__NULL_IMPORT_DESCRIPTOR", 2}, {"\x7fuser32_NULL_THUNK_DATA", 3},
            {u + "Zeta", 4}, {"__imp_" + u + "Zeta", 4}, {u + "alpha", 5}, {"__imp_" + u + "alpha", 5},
            {"__imp_" + u + "Data1", 6}, {u + "\xE4rger", 7}, {"__imp_" + u + "\xE4rger", 7}};
        EXPECT_EQ(from_second, expected);

        // Our own reader lists each function once, in table order.
        zandrel::SymbolList list;
        EXPECT_EQ(zandrel::ParseArchive(lib, list), zandrel::ReadStatus::Ok);
        std::vector<std::string> listed;
        for (const auto& e : list) listed.push_back(e.Name);
        EXPECT_THAT(listed, ElementsAre(u + "Zeta", u + "alpha", u + "\xE4rger"));
    }
}

TEST(ImportLibraryWriter, ShortImportObjects) {
    std::string lib = Build(Imports(Machine::X86, {{"Beep", false}, {"Counter", true}}), Machine::X86, "k.dll");
    std::vector<ArchiveMember> members = Members(lib);
    ASSERT_EQ(members.size(), 8u);
    const std::string& code = members[6].Data;
    EXPECT_EQ(Le16(code, 0), 0u);
    EXPECT_EQ(Le16(code, 2), 0xFFFFu);
    EXPECT_EQ(Le16(code, 4), 0u);
    EXPECT_EQ(Le16(code, 6), 0x14Cu);
    EXPECT_EQ(Le32(code, 8), 0x5F000000u);
    EXPECT_EQ(Le32(code, 12), code.size() - 20);
    EXPECT_EQ(Le16(code, 16), 0u);                  // hint: first in the name table
    EXPECT_EQ(Le16(code, 18), 0u | 2 << 2);         // code, NoPrefix
    EXPECT_EQ(code.substr(20), std::string("_Beep\0k.dll\0", 12));
    const std::string& data = members[7].Data;
    EXPECT_EQ(Le16(data, 16), 1u);
    EXPECT_EQ(Le16(data, 18), 1u | 2 << 2);         // data, NoPrefix
    EXPECT_EQ(data.substr(20), std::string("_Counter\0k.dll\0", 15));
    EXPECT_EQ(members[7].Name, "k.dll/");
    EXPECT_EQ(lib.size() % 2, 0u);  // odd members are padded

    lib = Build(Imports(Machine::X64, {{"Beep", false}}), Machine::X64, "k.dll");
    const std::string x64 = Members(lib)[6].Data;
    EXPECT_EQ(Le16(x64, 6), 0x8664u);
    EXPECT_EQ(Le16(x64, 18), 0u | 1 << 2);          // code, by exact name
    EXPECT_EQ(x64.substr(20), std::string("Beep\0k.dll\0", 11));
}

TEST(ImportLibraryWriter, DescriptorObjects) {
    for (Machine m : {Machine::X86, Machine::X64}) {
        SCOPED_TRACE(m == Machine::X86 ? "X86" : "X64");
        const bool x86 = m == Machine::X86;
        std::vector<ArchiveMember> members = Members(Build({}, m, "a-rather-long-name.dll"));
        ASSERT_EQ(members.size(), 6u);
        EXPECT_EQ(members[2].Data, std::string("a-rather-long-name.dll\0", 23));
        EXPECT_EQ(members[3].Name, "/0");

        Coff desc = ParseCoff(members[3].Data);
        EXPECT_EQ(desc.Machine, static_cast<std::uint16_t>(m));
        ASSERT_EQ(desc.Sections.size(), 2u);
        EXPECT_EQ(desc.Sections[0].Name, ".idata$2");
        EXPECT_EQ(desc.Sections[0].Data, std::string(20, '\0'));
        EXPECT_EQ(desc.Sections[0].Flags, 0xC0300040u);
        using R = std::pair<std::uint32_t, std::string>;
        EXPECT_THAT(desc.Sections[0].Relocs, ElementsAre(R{12, ".idata$6"}, R{0, ".idata$4"}, R{16, ".idata$5"}));
        EXPECT_THAT(desc.Sections[0].RelocTypes, ElementsAre(x86 ? 7u : 3u, x86 ? 7u : 3u, x86 ? 7u : 3u));
        EXPECT_EQ(desc.Sections[1].Name, ".idata$6");
        EXPECT_EQ(desc.Sections[1].Data, std::string("a-rather-long-name.dll\0\0", 24));
        EXPECT_EQ(desc.Sections[1].Flags, 0xC0200040u);
        ASSERT_EQ(desc.Symbols.size(), 7u);
        EXPECT_EQ(desc.Symbols[0].Name, "__IMPORT_DESCRIPTOR_a-rather-long-name");
        EXPECT_EQ(desc.Symbols[0].Section, 1);
        EXPECT_EQ(desc.Symbols[0].Class, 2);
        EXPECT_EQ(desc.Symbols[5].Name, "__NULL_IMPORT_DESCRIPTOR");
        EXPECT_EQ(desc.Symbols[5].Section, 0);
        EXPECT_EQ(desc.Symbols[6].Name, "\x7f" "a-rather-long-name_NULL_THUNK_DATA");
        EXPECT_EQ(desc.Symbols[6].Class, 2);

        Coff null_desc = ParseCoff(members[4].Data);
        ASSERT_EQ(null_desc.Sections.size(), 1u);
        EXPECT_EQ(null_desc.Sections[0].Name, ".idata$3");
        EXPECT_EQ(null_desc.Sections[0].Data, std::string(20, '\0'));
        ASSERT_EQ(null_desc.Symbols.size(), 1u);
        EXPECT_EQ(null_desc.Symbols[0].Name, "__NULL_IMPORT_DESCRIPTOR");
        EXPECT_EQ(null_desc.Symbols[0].Section, 1);

        Coff thunk = ParseCoff(members[5].Data);
        ASSERT_EQ(thunk.Sections.size(), 2u);
        EXPECT_EQ(thunk.Sections[0].Name, ".idata$5");
        EXPECT_EQ(thunk.Sections[1].Name, ".idata$4");
        for (const auto& s : thunk.Sections) {
            EXPECT_EQ(s.Data, std::string(x86 ? 4 : 8, '\0'));
            EXPECT_EQ(s.Flags, x86 ? 0xC0300040u : 0xC0400040u);
        }
        ASSERT_EQ(thunk.Symbols.size(), 1u);
        EXPECT_EQ(thunk.Symbols[0].Name, "\x7f" "a-rather-long-name_NULL_THUNK_DATA");
    }
}

TEST(ImportLibraryWriter, MoreMembersThanTheIndexHoldsIsRefused) {
    std::vector<ImportEntry> many(0xFFFF - 3, ImportEntry{"_f", ImportCode, ImportNameNoPrefix, 0});
    std::string bytes, reason;
    EXPECT_TRUE(WriteImportLibrary(many, "x.dll", Machine::X86, 0, bytes, reason)) << reason;
    many.push_back(many.back());
    EXPECT_FALSE(WriteImportLibrary(many, "x.dll", Machine::X86, 0, bytes, reason));
    EXPECT_EQ(reason, "too many exports for one library (65533)");
}
