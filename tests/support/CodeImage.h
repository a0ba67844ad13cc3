// Builds small PE images (32-bit or 64-bit DLLs) that carry machine code, for tests of what the
// librarian reads from code: exports (also forwarders), an import table, base relocations and a
// data section. Fixed layout, so tests can write addresses into their code:
//   .text  at RVA 0x1000 (the code, up to 0x7000 bytes)
//   .data  at RVA 0x8000 (up to 0x1000 bytes; pointer tables)
//   .idata at RVA 0x9000, the import address slots first: ImportSlot() names them
//   .edata at RVA 0xA000, .reloc at RVA 0xB000
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ztest {

struct CodeImageSpec {
    bool X64 = false;
    std::uint64_t ImageBase = 0;  // 0: 0x10000000 (x86) or 0x180000000 (x64)
    std::string DllName = "code.dll";
    std::string Text;  // code at RVA 0x1000
    std::string Data;  // data at RVA 0x8000
    struct Export {
        std::string Name;
        std::uint32_t Rva = 0;
        std::string Forward;  // "OTHER.Name": a forwarder instead of code
    };
    std::vector<Export> Exports;
    struct Import {
        std::string Dll;
        std::vector<std::string> Names;
    };
    std::vector<Import> Imports;
    std::vector<std::uint32_t> Relocs;  // RVAs of absolute addresses the image holds

    std::uint64_t Base() const { return ImageBase ? ImageBase : (X64 ? 0x180000000ull : 0x10000000ull); }
};

constexpr std::uint32_t kText = 0x1000, kData = 0x8000, kIdata = 0x9000, kEdata = 0xA000, kReloc = 0xB000;

// The RVA of the import address slot of `spec.Imports[dll].Names[name]`.
inline std::uint32_t ImportSlot(const CodeImageSpec& spec, std::size_t dll, std::size_t name) {
    const std::uint32_t entry = spec.X64 ? 8 : 4;
    std::uint32_t at = kIdata;
    for (std::size_t d = 0; d < dll; ++d) at += entry * static_cast<std::uint32_t>(spec.Imports[d].Names.size() + 1);
    return at + entry * static_cast<std::uint32_t>(name);
}

namespace code_image_detail {
inline void Put(std::string& s, std::size_t at, std::uint64_t v, int bytes) {
    if (s.size() < at + bytes) s.resize(at + bytes, '\0');
    for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline std::size_t Align(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }
}  // namespace code_image_detail

inline std::string BuildCodeImage(const CodeImageSpec& spec) {
    using code_image_detail::Put;
    const std::uint32_t entry = spec.X64 ? 8 : 4;

    // .idata: address slots, then descriptors, lookup tables and names.
    std::string idata;
    std::vector<std::uint32_t> slot_start;
    for (const auto& imp : spec.Imports) {
        slot_start.push_back(kIdata + static_cast<std::uint32_t>(idata.size()));
        idata.resize(idata.size() + entry * (imp.Names.size() + 1), '\0');
    }
    const std::size_t desc_at = idata.size();
    idata.resize(desc_at + 20 * (spec.Imports.size() + 1), '\0');
    for (std::size_t d = 0; d < spec.Imports.size(); ++d) {
        const auto& imp = spec.Imports[d];
        const std::size_t lookup = idata.size();
        idata.resize(lookup + entry * (imp.Names.size() + 1), '\0');
        for (std::size_t i = 0; i < imp.Names.size(); ++i) {
            const std::uint32_t hint = kIdata + static_cast<std::uint32_t>(idata.size());
            idata += std::string(2, '\0') + imp.Names[i] + '\0';
            if (idata.size() % 2) idata += '\0';
            Put(idata, lookup + entry * i, hint, entry);
            Put(idata, slot_start[d] - kIdata + entry * i, hint, entry);
        }
        const std::uint32_t dll_name = kIdata + static_cast<std::uint32_t>(idata.size());
        idata += imp.Dll + '\0';
        const std::size_t desc = desc_at + 20 * d;
        Put(idata, desc, kIdata + lookup, 4);
        Put(idata, desc + 12, dll_name, 4);
        Put(idata, desc + 16, slot_start[d], 4);
    }

    // .edata
    std::string edata(40, '\0');
    const std::size_t n = spec.Exports.size();
    const std::size_t fn_at = 40, names_at = fn_at + 4 * n, ords_at = names_at + 4 * n;
    edata.resize(ords_at + 2 * n, '\0');
    auto text = [&](const std::string& s) {
        const std::uint32_t rva = kEdata + static_cast<std::uint32_t>(edata.size());
        edata += s + '\0';
        return rva;
    };
    Put(edata, 12, text(spec.DllName), 4);
    Put(edata, 16, 1, 4);
    Put(edata, 20, n, 4);
    Put(edata, 24, n, 4);
    Put(edata, 28, kEdata + fn_at, 4);
    Put(edata, 32, kEdata + names_at, 4);
    Put(edata, 36, kEdata + ords_at, 4);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& e = spec.Exports[i];
        Put(edata, fn_at + 4 * i, e.Forward.empty() ? e.Rva : text(e.Forward), 4);
        Put(edata, names_at + 4 * i, text(e.Name), 4);
        Put(edata, ords_at + 2 * i, i, 2);
    }

    // .reloc: one block per page.
    std::string reloc;
    std::vector<std::uint32_t> relocs = spec.Relocs;
    for (std::size_t i = 0; i < relocs.size();) {
        const std::uint32_t page = relocs[i] & ~0xFFFu;
        std::string items;
        while (i < relocs.size() && (relocs[i] & ~0xFFFu) == page) {
            std::string item;
            Put(item, 0, ((spec.X64 ? 10u : 3u) << 12) | (relocs[i] & 0xFFF), 2);
            items += item;
            ++i;
        }
        if ((items.size() / 2) % 2) items += std::string(2, '\0');
        std::string head;
        Put(head, 0, page, 4);
        Put(head, 4, 8 + items.size(), 4);
        reloc += head + items;
    }

    struct Sec {
        const char* name;
        std::uint32_t rva;
        const std::string* bytes;
        std::uint32_t flags;
    };
    const std::string empty(1, '\0');
    const std::vector<Sec> secs = {
        {".text", kText, spec.Text.empty() ? &empty : &spec.Text, 0x60000020},
        {".data", kData, spec.Data.empty() ? &empty : &spec.Data, 0xC0000040},
        {".idata", kIdata, idata.empty() ? &empty : &idata, 0xC0000040},
        {".edata", kEdata, &edata, 0x40000040},
        {".reloc", kReloc, reloc.empty() ? &empty : &reloc, 0x42000040},
    };

    std::string img(0x400, '\0');
    img[0] = 'M';
    img[1] = 'Z';
    Put(img, 60, 0x80, 4);
    img.replace(0x80, 4, std::string("PE\0\0", 4));
    const std::size_t coff = 0x84, opt = 0x98;
    const std::size_t opt_size = spec.X64 ? 240 : 224;
    Put(img, coff, spec.X64 ? 0x8664 : 0x14C, 2);
    Put(img, coff + 2, secs.size(), 2);
    Put(img, coff + 16, opt_size, 2);
    Put(img, coff + 18, 0x2102, 2);  // executable, DLL
    Put(img, opt, spec.X64 ? 0x20B : 0x10B, 2);
    if (spec.X64) {
        Put(img, opt + 24, spec.Base(), 8);
    } else {
        Put(img, opt + 28, spec.Base(), 4);
    }
    Put(img, opt + 32, 0x1000, 4);  // section alignment
    Put(img, opt + 36, 0x200, 4);   // file alignment
    Put(img, opt + 56, 0xC000, 4);  // size of image
    Put(img, opt + 60, 0x400, 4);   // size of headers
    const std::size_t dirs = opt + (spec.X64 ? 112 : 96);
    Put(img, dirs - 4, 16, 4);
    Put(img, dirs + 0, kEdata, 4);
    Put(img, dirs + 4, edata.size(), 4);
    if (!spec.Imports.empty()) {
        Put(img, dirs + 8, kIdata + desc_at, 4);
        Put(img, dirs + 12, 20 * (spec.Imports.size() + 1), 4);
    }
    if (!reloc.empty()) {
        Put(img, dirs + 40, kReloc, 4);
        Put(img, dirs + 44, reloc.size(), 4);
    }
    std::size_t table = opt + opt_size;
    for (const Sec& s : secs) {
        img.replace(table, 8, std::string(s.name).append(8 - std::string(s.name).size(), '\0'));
        const std::size_t raw = code_image_detail::Align(s.bytes->size(), 0x200);
        Put(img, table + 8, s.bytes->size(), 4);
        Put(img, table + 12, s.rva, 4);
        Put(img, table + 16, raw, 4);
        Put(img, table + 20, img.size(), 4);
        Put(img, table + 36, s.flags, 4);
        std::string body = *s.bytes;
        body.resize(raw, '\0');
        img += body;
        table += 40;
    }
    return img;
}

}  // namespace ztest
