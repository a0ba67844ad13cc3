#include "librarian/PeExports.h"

#include <algorithm>

namespace zandrel::librarian {

namespace {

constexpr std::uint32_t kScnCntCode = 0x00000020;
constexpr std::uint32_t kScnMemExecute = 0x20000000;
constexpr std::uint64_t kMaxExports = 1u << 20;

struct Section {
    std::uint32_t Rva = 0;
    std::uint32_t VirtualSize = 0;
    std::uint32_t RawSize = 0;
    std::uint32_t RawOffset = 0;
    std::uint32_t Characteristics = 0;
};

// All arithmetic on offsets is done in 64 bits, so no sum of 32-bit fields can wrap.
class Image {
public:
    explicit Image(std::string_view file) : file_(file) {}

    bool Has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= file_.size() && length <= file_.size() - offset;
    }
    std::uint32_t U16(std::uint64_t at) const {
        return static_cast<unsigned char>(file_[at]) | static_cast<unsigned char>(file_[at + 1]) << 8;
    }
    std::uint32_t U32(std::uint64_t at) const {
        return U16(at) | U16(at + 2) << 16;
    }

    std::vector<Section> sections;
    std::uint64_t header_size = 0;

    // The bytes of the section (or the headers) that hold `rva`, as [begin, end) file offsets;
    // false when no part of the file backs that address.
    bool Region(std::uint32_t rva, std::uint64_t& begin, std::uint64_t& end) const {
        for (const Section& s : sections) {
            std::uint64_t size = s.RawSize;
            // Bytes past the virtual size are not part of the loaded section.
            if (s.VirtualSize != 0) size = std::min<std::uint64_t>(size, s.VirtualSize);
            if (rva >= s.Rva && rva - static_cast<std::uint64_t>(s.Rva) < size) {
                begin = static_cast<std::uint64_t>(s.RawOffset) + (rva - s.Rva);
                end = std::min<std::uint64_t>(static_cast<std::uint64_t>(s.RawOffset) + size, file_.size());
                return begin < end;
            }
        }
        if (rva < header_size) {  // the headers are mapped at RVA 0
            begin = rva;
            end = std::min<std::uint64_t>(header_size, file_.size());
            return begin < end;
        }
        return false;
    }

    // File offset of `length` bytes at `rva`, all inside one section's data.
    bool Map(std::uint32_t rva, std::uint64_t length, std::uint64_t& offset) const {
        std::uint64_t begin = 0, end = 0;
        if (!Region(rva, begin, end) || length > end - begin) return false;
        offset = begin;
        return true;
    }

    // The zero-terminated text at `rva`; false when it leaves its section unterminated.
    bool Text(std::uint32_t rva, std::string& text) const {
        std::uint64_t begin = 0, end = 0;
        if (!Region(rva, begin, end)) return false;
        std::string_view rest = file_.substr(begin, end - begin);
        std::size_t zero = rest.find('\0');
        if (zero == std::string_view::npos) return false;
        text.assign(rest.data(), zero);
        return true;
    }

    const Section* SectionOf(std::uint32_t rva) const {
        for (const Section& s : sections) {
            std::uint64_t size = std::max(s.VirtualSize, s.RawSize);
            if (rva >= s.Rva && rva - static_cast<std::uint64_t>(s.Rva) < size) return &s;
        }
        return nullptr;
    }

private:
    std::string_view file_;
};

bool Fail(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}

}  // namespace

bool ReadPeExports(std::string_view file, PeExports& out, std::string& reason) {
    out = PeExports{};
    Image img(file);
    if (!img.Has(0, 64) || file[0] != 'M' || file[1] != 'Z')
        return Fail(reason, "not a PE image (no MZ header)");
    const std::uint64_t pe = img.U32(60);
    if (!img.Has(pe, 4) || file.substr(pe, 4) != std::string_view("PE\0\0", 4))
        return Fail(reason, "not a PE image (no PE signature)");
    const std::uint64_t coff = pe + 4;
    if (!img.Has(coff, 20)) return Fail(reason, "truncated file (COFF header cut off)");
    out.Machine = static_cast<std::uint16_t>(img.U16(coff));
    const std::uint32_t section_count = img.U16(coff + 2);
    const std::uint32_t optional_size = img.U16(coff + 16);
    const std::uint64_t opt = coff + 20;
    if (optional_size < 2 || !img.Has(opt, optional_size))
        return Fail(reason, "truncated file (optional header cut off)");
    const std::uint32_t magic = img.U16(opt);
    std::uint64_t count_at = 0;  // NumberOfRvaAndSizes, followed by the data directories
    if (magic == 0x10B) {
        count_at = 92;
    } else if (magic == 0x20B) {
        count_at = 108;
        out.Pe32Plus = true;
    } else {
        return Fail(reason, "not a PE image (unknown optional header magic)");
    }
    if (optional_size >= 64) img.header_size = img.U32(opt + 60);  // SizeOfHeaders

    const std::uint64_t table = opt + optional_size;
    if (!img.Has(table, static_cast<std::uint64_t>(section_count) * 40))
        return Fail(reason, "truncated file (section table cut off)");
    for (std::uint32_t i = 0; i < section_count; ++i) {
        const std::uint64_t s = table + 40ull * i;
        img.sections.push_back({img.U32(s + 12), img.U32(s + 8), img.U32(s + 16), img.U32(s + 20),
                                img.U32(s + 36)});
    }

    if (optional_size < count_at + 12 || img.U32(opt + count_at) < 1)
        return Fail(reason, "no export directory");
    const std::uint32_t dir_rva = img.U32(opt + count_at + 4);
    const std::uint32_t dir_size = img.U32(opt + count_at + 8);
    if (dir_rva == 0 || dir_size == 0) return Fail(reason, "no export directory");
    std::uint64_t dir = 0;
    if (!img.Map(dir_rva, 40, dir)) return Fail(reason, "export directory lies outside the file");

    const std::uint32_t name_rva = img.U32(dir + 12);
    out.OrdinalBase = img.U32(dir + 16);
    const std::uint64_t function_count = img.U32(dir + 20);
    const std::uint64_t name_count = img.U32(dir + 24);
    const std::uint32_t functions_rva = img.U32(dir + 28);
    const std::uint32_t names_rva = img.U32(dir + 32);
    const std::uint32_t ordinals_rva = img.U32(dir + 36);
    if (name_rva != 0 && !img.Text(name_rva, out.DllName)) out.DllName.clear();  // only informative

    // Ordinals are 16-bit in an import, so no loadable DLL comes near this; the cap keeps a
    // forged count from making us build millions of entries out of one shared name.
    if (function_count > kMaxExports || name_count > kMaxExports)
        return Fail(reason, "export directory claims more than " + std::to_string(kMaxExports) + " exports");
    // The tables must lie in the file before anything is sized from their counts.
    std::uint64_t functions = 0, names = 0, ordinals = 0;
    if (function_count != 0 && !img.Map(functions_rva, function_count * 4, functions))
        return Fail(reason, "export address table lies outside the file");
    if (name_count != 0) {
        if (!img.Map(names_rva, name_count * 4, names))
            return Fail(reason, "export name table lies outside the file");
        if (!img.Map(ordinals_rva, name_count * 2, ordinals))
            return Fail(reason, "export ordinal table lies outside the file");
    }

    auto fill = [&](PeExport& e, std::uint64_t index) -> bool {
        e.Ordinal = out.OrdinalBase + index;
        e.Rva = img.U32(functions + 4 * index);
        if (e.Rva >= dir_rva && e.Rva - static_cast<std::uint64_t>(dir_rva) < dir_size) {
            // An address inside the export directory is the text of a forwarder.
            if (!img.Text(e.Rva, e.Forwarder)) return false;
        } else if (const Section* s = img.SectionOf(e.Rva)) {
            e.Data = (s->Characteristics & (kScnCntCode | kScnMemExecute)) == 0;
        }
        return true;
    };

    std::vector<bool> named(function_count, false);
    for (std::uint64_t i = 0; i < name_count; ++i) {
        const std::string number = std::to_string(i);
        const std::uint64_t index = img.U16(ordinals + 2 * i);
        if (index >= function_count)
            return Fail(reason, "export name " + number + " refers to a missing address slot");
        PeExport e;
        if (!img.Text(img.U32(names + 4 * i), e.Name))
            return Fail(reason, "export name " + number + " lies outside the file or is not terminated");
        e.NameIndex = static_cast<std::uint32_t>(i);
        if (!fill(e, index))
            return Fail(reason, "forwarder of export " + e.Name + " is not terminated");
        named[index] = true;
        if (e.Rva != 0) out.Named.push_back(std::move(e));  // a named empty slot exports nothing
    }
    for (std::uint64_t index = 0; index < function_count; ++index) {
        if (named[index] || img.U32(functions + 4 * index) == 0) continue;
        PeExport e;
        if (!fill(e, index))
            return Fail(reason, "forwarder of ordinal " + std::to_string(e.Ordinal) + " is not terminated");
        out.OrdinalOnly.push_back(std::move(e));
    }
    return true;
}

}  // namespace zandrel::librarian
