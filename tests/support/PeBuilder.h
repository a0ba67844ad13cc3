// Builds small PE images (DLLs) with an export directory byte by byte, so tests can make both
// sound files and the broken ones no linker writes. Layout: headers in the first 0x400 bytes,
// .text (code) at RVA 0x1000, .data at RVA 0x2000, .edata at RVA 0x3000.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ztest {

struct PeExportSpec {
    enum Kind { Code, Data, Forwarded, Empty };
    std::string Name;  // empty: exported by ordinal only
    Kind What = Code;
    std::string Forward;  // for Forwarded, e.g. "NTDLL.RtlAllocateHeap"
};

struct PeSpec {
    bool Pe32Plus = false;
    std::string DllName = "test.dll";
    std::uint32_t OrdinalBase = 1;
    std::vector<PeExportSpec> Exports;
    bool WithExports = true;  // false: no export directory at all
};

struct PeImage {
    std::string Bytes;
    // File offsets of the parts tests like to damage.
    std::size_t Coff = 0x84, Optional = 0x98, ExportEntry = 0, SectionTable = 0;
    std::size_t Directory = 0x800, Functions = 0, Names = 0, Ordinals = 0, FirstName = 0;
    std::uint32_t EdataRva = 0x3000;
    std::size_t EdataEnd = 0;  // file offset just past the last byte the directory uses

    void Set16(std::size_t at, std::uint32_t v) {
        Bytes[at] = static_cast<char>(v & 0xFF);
        Bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    void Set32(std::size_t at, std::uint32_t v) {
        Set16(at, v & 0xFFFF);
        Set16(at + 2, v >> 16);
    }
    // Export directory fields by offset: 12 name, 16 base, 20 functions, 24 names,
    // 28 address table, 32 name table, 36 ordinal table.
    void SetDir(std::size_t field, std::uint32_t v) { Set32(Directory + field, v); }
    std::uint32_t RvaOf(std::size_t file_offset) const {
        return EdataRva + static_cast<std::uint32_t>(file_offset - Directory);
    }
};

inline PeImage BuildPe(const PeSpec& spec) {
    PeImage img;
    const std::size_t opt_size = spec.Pe32Plus ? 240 : 224;
    img.SectionTable = img.Optional + opt_size;
    img.ExportEntry = img.Optional + (spec.Pe32Plus ? 112 : 96);

    // .edata contents, laid out relative to its start.
    const std::size_t n_fn = spec.Exports.size();
    std::size_t n_names = 0;
    for (const PeExportSpec& e : spec.Exports) n_names += e.Name.empty() ? 0 : 1;
    std::string edata(40, '\0');
    const std::size_t fn_at = 40, names_at = fn_at + 4 * n_fn, ords_at = names_at + 4 * n_names;
    std::size_t str_at = ords_at + 2 * n_names;
    edata.resize(str_at, '\0');
    auto put32 = [&edata](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) edata[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto text = [&](const std::string& s) {
        std::uint32_t rva = img.EdataRva + static_cast<std::uint32_t>(edata.size());
        edata += s;
        edata += '\0';
        return rva;
    };
    put32(12, text(spec.DllName));
    put32(16, spec.OrdinalBase);
    put32(20, static_cast<std::uint32_t>(n_fn));
    put32(24, static_cast<std::uint32_t>(n_names));
    put32(28, img.EdataRva + static_cast<std::uint32_t>(fn_at));
    put32(32, img.EdataRva + static_cast<std::uint32_t>(names_at));
    put32(36, img.EdataRva + static_cast<std::uint32_t>(ords_at));
    std::size_t name_no = 0;
    for (std::size_t i = 0; i < n_fn; ++i) {
        const PeExportSpec& e = spec.Exports[i];
        // The name before the forwarder text, so a file cut inside the last text cuts a forwarder.
        if (!e.Name.empty()) {
            std::uint32_t name_rva = text(e.Name);
            if (name_no == 0) img.FirstName = 0x800 + (name_rva - img.EdataRva);
            put32(names_at + 4 * name_no, name_rva);
            edata[ords_at + 2 * name_no] = static_cast<char>(i & 0xFF);
            edata[ords_at + 2 * name_no + 1] = static_cast<char>((i >> 8) & 0xFF);
            ++name_no;
        }
        std::uint32_t rva = 0;
        switch (e.What) {
        case PeExportSpec::Code: rva = 0x1000 + static_cast<std::uint32_t>(16 * i % 0x200); break;
        case PeExportSpec::Data: rva = 0x2000 + static_cast<std::uint32_t>(4 * i % 0x200); break;
        case PeExportSpec::Forwarded: rva = text(e.Forward); break;
        case PeExportSpec::Empty: rva = 0; break;
        }
        put32(fn_at + 4 * i, rva);
    }
    const std::size_t edata_raw = (edata.size() + 0x1FF) & ~static_cast<std::size_t>(0x1FF);

    img.Bytes.assign(0x800 + edata_raw, '\0');
    img.Bytes[0] = 'M';
    img.Bytes[1] = 'Z';
    img.Set32(60, 0x80);
    img.Bytes.replace(0x80, 4, std::string("PE\0\0", 4));
    img.Set16(img.Coff, spec.Pe32Plus ? 0x8664 : 0x14C);
    img.Set16(img.Coff + 2, 3);
    img.Set16(img.Coff + 16, static_cast<std::uint32_t>(opt_size));
    img.Set16(img.Coff + 18, spec.Pe32Plus ? 0x2022 : 0x2102);
    img.Set16(img.Optional, spec.Pe32Plus ? 0x20B : 0x10B);
    img.Set32(img.Optional + 32, 0x1000);  // section alignment
    img.Set32(img.Optional + 36, 0x200);   // file alignment
    img.Set32(img.Optional + 56, 0x4000 + static_cast<std::uint32_t>(edata_raw));  // image size
    img.Set32(img.Optional + 60, 0x400);   // size of headers
    img.Set32(img.Optional + (spec.Pe32Plus ? 108 : 92), 16);
    if (spec.WithExports) {
        img.Set32(img.ExportEntry, img.EdataRva);
        img.Set32(img.ExportEntry + 4, static_cast<std::uint32_t>(edata.size()));
    }
    struct Sec {
        const char* Name;
        std::uint32_t Rva, VSize, Raw, RawSize, Flags;
    };
    const Sec secs[3] = {{".text", 0x1000, 0x200, 0x400, 0x200, 0x60000020},
                         {".data", 0x2000, 0x200, 0x600, 0x200, 0xC0000040},
                         {".edata", 0x3000, static_cast<std::uint32_t>(edata.size()), 0x800,
                          static_cast<std::uint32_t>(edata_raw), 0x40000040}};
    for (int i = 0; i < 3; ++i) {
        const std::size_t s = img.SectionTable + 40 * i;
        img.Bytes.replace(s, std::string(secs[i].Name).size(), secs[i].Name);
        img.Set32(s + 8, secs[i].VSize);
        img.Set32(s + 12, secs[i].Rva);
        img.Set32(s + 16, secs[i].RawSize);
        img.Set32(s + 20, secs[i].Raw);
        img.Set32(s + 36, secs[i].Flags);
    }
    img.Bytes.replace(0x800, edata.size(), edata);
    img.Functions = 0x800 + fn_at;
    img.Names = 0x800 + names_at;
    img.Ordinals = 0x800 + ords_at;
    img.EdataEnd = 0x800 + edata.size();
    return img;
}

// A DLL with one export of each kind: code, ordinal only, data and forwarded.
inline PeSpec MixedExportsSpec(bool wide = false, bool with_exports = true) {
    PeSpec spec;
    spec.Pe32Plus = wide;
    spec.WithExports = with_exports;
    spec.Exports = {{"Open", PeExportSpec::Code, ""},
                    {"", PeExportSpec::Code, ""},
                    {"Shared", PeExportSpec::Data, ""},
                    {"Close", PeExportSpec::Forwarded, "OTHER.Close"}};
    return spec;
}

}  // namespace ztest
