#include "librarian/ImportLibrary.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace zandrel::librarian {

namespace {

void Le16(std::string& o, std::uint32_t v) {
    o += static_cast<char>(v & 0xFF);
    o += static_cast<char>((v >> 8) & 0xFF);
}
void Le32(std::string& o, std::uint32_t v) {
    Le16(o, v & 0xFFFF);
    Le16(o, v >> 16);
}
void Be32(std::string& o, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) o += static_cast<char>((v >> shift) & 0xFF);
}

// Section characteristics: initialized data, readable and writable, with the alignment bits.
constexpr std::uint32_t kData = 0xC0000040;
constexpr std::uint32_t kAlign2 = 0x00200000;
constexpr std::uint32_t kAlign4 = 0x00300000;
constexpr std::uint32_t kAlign8 = 0x00400000;
constexpr std::uint8_t kClassExternal = 2;
constexpr std::uint8_t kClassStatic = 3;
constexpr std::uint8_t kClassSection = 0x68;

struct Relocation {
    std::uint32_t Offset;
    std::uint32_t Symbol;
};
struct CoffSection {
    const char* Name;  // eight characters at most
    std::uint32_t Characteristics;
    std::string Data;
    std::vector<Relocation> Relocations;
};
struct CoffSymbol {
    std::string Name;
    std::uint32_t Value;
    std::uint16_t Section;  // 1-based; 0 for an undefined symbol
    std::uint8_t Class;
};

// A complete COFF object: header, section table, each section's data followed by its
// relocations, then the symbol table and the string table.
std::string CoffObject(Machine machine, std::uint32_t timestamp, const std::vector<CoffSection>& sections,
                       const std::vector<CoffSymbol>& symbols) {
    const std::uint16_t reloc_type = machine == Machine::X86 ? 7 : 3;  // DIR32NB / ADDR32NB: an RVA
    std::uint32_t pos = 20 + 40 * static_cast<std::uint32_t>(sections.size());
    std::string table, body;
    for (const CoffSection& s : sections) {
        std::string name(s.Name);
        name.resize(8, '\0');
        table += name;
        Le32(table, 0);  // virtual size
        Le32(table, 0);  // virtual address
        Le32(table, static_cast<std::uint32_t>(s.Data.size()));
        Le32(table, s.Data.empty() ? 0 : pos);
        pos += static_cast<std::uint32_t>(s.Data.size());
        body += s.Data;
        Le32(table, s.Relocations.empty() ? 0 : pos);
        Le32(table, 0);  // line numbers
        Le16(table, static_cast<std::uint32_t>(s.Relocations.size()));
        Le16(table, 0);
        Le32(table, s.Characteristics);
        for (const Relocation& r : s.Relocations) {
            Le32(body, r.Offset);
            Le32(body, r.Symbol);
            Le16(body, reloc_type);
            pos += 10;
        }
    }
    std::string strings;
    std::string symtab;
    for (const CoffSymbol& sym : symbols) {
        if (sym.Name.size() <= 8) {
            std::string name = sym.Name;
            name.resize(8, '\0');
            symtab += name;
        } else {
            Le32(symtab, 0);
            Le32(symtab, 4 + static_cast<std::uint32_t>(strings.size()));
            strings += sym.Name;
            strings += '\0';
        }
        Le32(symtab, sym.Value);
        Le16(symtab, sym.Section);
        Le16(symtab, 0);  // type: not a function
        symtab += static_cast<char>(sym.Class);
        symtab += '\0';  // no auxiliary records
    }
    std::string out;
    Le16(out, static_cast<std::uint16_t>(machine));
    Le16(out, static_cast<std::uint32_t>(sections.size()));
    Le32(out, timestamp);
    Le32(out, pos);  // the symbol table follows the last relocation
    Le32(out, static_cast<std::uint32_t>(symbols.size()));
    Le16(out, 0);    // no optional header
    Le16(out, machine == Machine::X86 ? 0x0100 : 0);  // IMAGE_FILE_32BIT_MACHINE
    out += table;
    out += body;
    out += symtab;
    Le32(out, 4 + static_cast<std::uint32_t>(strings.size()));
    out += strings;
    return out;
}

std::string BaseName(const std::string& dll_name) {
    std::size_t dot = dll_name.rfind('.');
    return dot == std::string::npos ? dll_name : dll_name.substr(0, dot);
}

struct Member {
    std::string Data;
    std::vector<std::string> Symbols;
};

std::vector<std::string> SymbolsOf(const ImportEntry& e) {
    if (e.Type == ImportData) return {"__imp_" + e.Symbol};
    return {e.Symbol, "__imp_" + e.Symbol};
}

std::string ShortImport(const ImportEntry& e, const std::string& dll_name, Machine machine,
                        std::uint32_t timestamp) {
    std::string o;
    Le16(o, 0);       // Sig1: IMAGE_FILE_MACHINE_UNKNOWN
    Le16(o, 0xFFFF);  // Sig2
    Le16(o, 0);       // version
    Le16(o, static_cast<std::uint16_t>(machine));
    Le32(o, timestamp);
    Le32(o, static_cast<std::uint32_t>(e.Symbol.size() + 1 + dll_name.size() + 1));
    Le16(o, e.Hint);
    Le16(o, static_cast<std::uint32_t>(e.Type) | static_cast<std::uint32_t>(e.NameType) << 2);
    o += e.Symbol;
    o += '\0';
    o += dll_name;
    o += '\0';
    return o;
}

std::string Header(const std::string& name, std::uint32_t timestamp, std::uint64_t size) {
    std::string h(60, ' ');
    auto put = [&h](std::size_t at, const std::string& text) { h.replace(at, text.size(), text); };
    put(0, name);
    put(16, std::to_string(timestamp));
    put(40, "0");  // mode; owner and group stay blank
    put(48, std::to_string(size));
    put(58, "`\n");
    return h;
}

// True when the name ends in a stdcall byte count: "@" and decimal digits after something.
bool EndsInByteCount(const std::string& name) {
    const std::size_t at = name.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 == name.size()) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at) + 1, name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

ImportEntry ImportFor(const PeExport& e, Machine machine, const Signature& sig) {
    ImportEntry entry;
    entry.Type = e.Data ? ImportData : ImportCode;
    entry.Hint = static_cast<std::uint16_t>(e.NameIndex <= 0xFFFF ? e.NameIndex : 0);
    entry.Symbol = e.Name;
    entry.NameType = ImportName;
    if (machine != Machine::X86 || e.Name.empty()) return entry;
    const char first = e.Name[0];
    if (first == '?' || first == '@') return entry;           // C++ and fastcall names
    const bool counted = EndsInByteCount(e.Name);
    if (first == '_' && counted) return entry;                // "_Name@N": what the DLL's linker wrote
    entry.Symbol = "_" + e.Name;
    // NoPrefix keeps any "@" of the name itself ("Name@8" is imported as "Name@8").
    entry.NameType = ImportNameNoPrefix;
    if (!counted && !e.Data && e.Name.find('@') == std::string::npos && sig.Convention == CallConvention::Stdcall &&
        sig.Sure == Certainty::Exact) {
        // Undecorate takes the "_" and the "@N" off again, so the program still imports "Name".
        entry.Symbol += "@" + std::to_string(4ull * sig.Count);
        entry.NameType = ImportNameUndecorate;
    }
    return entry;
}

LibraryContents PlanImports(const PeExports& exports, Machine machine, const std::string& dll_name,
                            const std::vector<Signature>& signatures) {
    LibraryContents plan;
    const std::string base = BaseName(dll_name);
    std::unordered_set<std::string> taken = {"__IMPORT_DESCRIPTOR_" + base, "__NULL_IMPORT_DESCRIPTOR",
                                             "\x7f" + base + "_NULL_THUNK_DATA"};
    const bool have_signatures = signatures.size() == exports.Named.size();
    for (std::size_t i = 0; i < exports.Named.size(); ++i) {
        const PeExport& e = exports.Named[i];
        if (e.Name.empty()) {
            plan.Warnings.push_back("export " + std::to_string(e.Ordinal) + " has an empty name; left out");
            continue;
        }
        ImportEntry entry = ImportFor(e, machine, have_signatures ? signatures[i] : Signature{});
        std::vector<std::string> symbols = SymbolsOf(entry);
        auto clash = std::find_if(symbols.begin(), symbols.end(),
                                  [&taken](const std::string& s) { return taken.count(s) != 0; });
        if (clash != symbols.end()) {
            plan.Warnings.push_back("export " + e.Name + " left out: symbol " + *clash + " is already taken");
            continue;
        }
        taken.insert(symbols.begin(), symbols.end());
        plan.Imports.push_back(std::move(entry));
    }
    return plan;
}

bool WriteImportLibrary(const std::vector<ImportEntry>& imports, const std::string& dll_name,
                        Machine machine, std::uint32_t timestamp, std::string& bytes, std::string& reason) {
    bytes.clear();
    const std::string base = BaseName(dll_name);
    const std::string descriptor = "__IMPORT_DESCRIPTOR_" + base;
    const std::string null_descriptor = "__NULL_IMPORT_DESCRIPTOR";
    const std::string null_thunk = "\x7f" + base + "_NULL_THUNK_DATA";
    const std::uint32_t pointer = machine == Machine::X86 ? 4 : 8;
    const std::uint32_t thunk_align = machine == Machine::X86 ? kAlign4 : kAlign8;

    // The member index of the second linker member is 16 bits wide.
    if (imports.size() + 3 > 0xFFFF) {
        reason = "too many exports for one library (" + std::to_string(imports.size()) + ")";
        return false;
    }
    std::vector<Member> members;
    members.reserve(imports.size() + 3);

    // The import descriptor: its RVAs point at the lookup table (.idata$4), the DLL name
    // (.idata$6) and the address table (.idata$5), all filled in by the linker.
    std::string dll_text = dll_name + '\0';
    if (dll_text.size() % 2) dll_text += '\0';
    members.push_back(
        {CoffObject(machine, timestamp,
                    {{".idata$2", kData | kAlign4, std::string(20, '\0'), {{12, 2}, {0, 3}, {16, 4}}},
                     {".idata$6", kData | kAlign2, dll_text, {}}},
                    {{descriptor, 0, 1, kClassExternal},
                     {".idata$2", kData, 1, kClassSection},
                     {".idata$6", 0, 2, kClassStatic},
                     {".idata$4", kData, 0, kClassSection},
                     {".idata$5", kData, 0, kClassSection},
                     {null_descriptor, 0, 0, kClassExternal},
                     {null_thunk, 0, 0, kClassExternal}}),
         {descriptor}});
    // The all-zero descriptor that ends the import directory.
    members.push_back({CoffObject(machine, timestamp, {{".idata$3", kData | kAlign4, std::string(20, '\0'), {}}},
                                  {{null_descriptor, 0, 1, kClassExternal}}),
                       {null_descriptor}});
    // The zero entries that end this DLL's lookup and address tables.
    members.push_back({CoffObject(machine, timestamp,
                                  {{".idata$5", kData | thunk_align, std::string(pointer, '\0'), {}},
                                   {".idata$4", kData | thunk_align, std::string(pointer, '\0'), {}}},
                                  {{null_thunk, 0, 1, kClassExternal}}),
                       {null_thunk}});
    for (const ImportEntry& e : imports) members.push_back({ShortImport(e, dll_name, machine, timestamp), SymbolsOf(e)});

    std::uint64_t symbol_count = 0, string_bytes = 0;
    for (const Member& m : members) {
        symbol_count += m.Symbols.size();
        for (const std::string& s : m.Symbols) string_bytes += s.size() + 1;
    }
    const std::uint64_t first_size = 4 + 4 * symbol_count + string_bytes;
    const std::uint64_t second_size = 4 + 4 * members.size() + 4 + 2 * symbol_count + string_bytes;
    const std::string long_names = dll_name + '\0';
    auto span = [](std::uint64_t size) { return 60 + size + (size & 1); };

    std::uint64_t pos = 8 + span(first_size) + span(second_size) + span(long_names.size());
    std::vector<std::uint32_t> offsets;
    offsets.reserve(members.size());
    for (const Member& m : members) {
        offsets.push_back(static_cast<std::uint32_t>(pos));
        pos += span(m.Data.size());
        if (pos > 0xFFFFFFFFull) {
            reason = "the library would exceed 4 GiB";
            return false;
        }
    }
    bytes.reserve(pos);

    // Long DLL names live in the long-names member, which every member then refers to.
    const std::string member_name = dll_name.size() < 16 ? dll_name + "/" : "/0";

    bytes += "!<arch>\n";
    auto add = [&bytes, timestamp](const std::string& name, const std::string& data) {
        bytes += Header(name, timestamp, data.size());
        bytes += data;
        if (data.size() % 2) bytes += '\n';
    };

    // First linker member: big-endian, symbols in member order.
    std::string first;
    first.reserve(first_size);
    Be32(first, static_cast<std::uint32_t>(symbol_count));
    for (std::size_t i = 0; i < members.size(); ++i)
        for (std::size_t k = 0; k < members[i].Symbols.size(); ++k) Be32(first, offsets[i]);
    for (const Member& m : members)
        for (const std::string& s : m.Symbols) first += s + '\0';
    add("/", first);

    // Second linker member: little-endian, symbols sorted byte-wise so the linker can search
    // them, each with the 1-based index of its member.
    struct Entry {
        const std::string* Name;
        std::uint16_t Member;
    };
    std::vector<Entry> sorted;
    sorted.reserve(symbol_count);
    for (std::size_t i = 0; i < members.size(); ++i)
        for (const std::string& s : members[i].Symbols) sorted.push_back({&s, static_cast<std::uint16_t>(i + 1)});
    std::sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) { return *a.Name < *b.Name; });
    std::string second;
    second.reserve(second_size);
    Le32(second, static_cast<std::uint32_t>(members.size()));
    for (std::uint32_t off : offsets) Le32(second, off);
    Le32(second, static_cast<std::uint32_t>(symbol_count));
    for (const Entry& e : sorted) Le16(second, e.Member);
    for (const Entry& e : sorted) second += *e.Name + '\0';
    add("/", second);

    add("//", long_names);
    for (const Member& m : members) add(member_name, m.Data);
    return true;
}

}  // namespace zandrel::librarian
