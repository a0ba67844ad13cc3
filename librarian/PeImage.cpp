#include "librarian/PeImage.h"

#include <algorithm>

namespace zandrel::librarian {

namespace {
bool Fail(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}
}  // namespace

bool PeImage::Open(std::string_view file, std::string& reason) {
    *this = PeImage{};
    file_ = file;
    if (!Has(0, 64) || file[0] != 'M' || file[1] != 'Z') return Fail(reason, "not a PE image (no MZ header)");
    const std::uint64_t pe = U32(60);
    if (!Has(pe, 4) || file.substr(pe, 4) != std::string_view("PE\0\0", 4))
        return Fail(reason, "not a PE image (no PE signature)");
    const std::uint64_t coff = pe + 4;
    if (!Has(coff, 20)) return Fail(reason, "truncated file (COFF header cut off)");
    Machine = static_cast<std::uint16_t>(U16(coff));
    const std::uint32_t section_count = U16(coff + 2);
    const std::uint32_t optional_size = U16(coff + 16);
    const std::uint64_t opt = coff + 20;
    if (optional_size < 2 || !Has(opt, optional_size))
        return Fail(reason, "truncated file (optional header cut off)");
    const std::uint32_t magic = U16(opt);
    std::uint64_t count_at = 0;  // NumberOfRvaAndSizes, followed by the data directories
    if (magic == 0x10B) {
        count_at = 92;
        if (optional_size >= 32) ImageBase = U32(opt + 28);
    } else if (magic == 0x20B) {
        count_at = 108;
        Pe32Plus = true;
        if (optional_size >= 32) ImageBase = U64(opt + 24);
    } else {
        return Fail(reason, "not a PE image (unknown optional header magic)");
    }
    if (optional_size >= 64) HeaderSize = U32(opt + 60);  // SizeOfHeaders
    if (optional_size >= count_at + 4) {
        directories_ = opt + count_at + 4;
        const std::uint64_t room = (optional_size - count_at - 4) / 8;
        directory_count_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(U32(opt + count_at), room));
    }

    const std::uint64_t table = opt + optional_size;
    if (!Has(table, static_cast<std::uint64_t>(section_count) * 40))
        return Fail(reason, "truncated file (section table cut off)");
    SectionTableEnd = table + static_cast<std::uint64_t>(section_count) * 40;
    Sections.reserve(section_count);
    for (std::uint32_t i = 0; i < section_count; ++i) {
        const std::uint64_t s = table + 40ull * i;
        Sections.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20), U32(s + 36)});
    }
    return true;
}

bool PeImage::Directory(unsigned index, std::uint32_t& rva, std::uint32_t& size) const {
    if (index >= directory_count_) return false;
    rva = U32(directories_ + 8ull * index);
    size = U32(directories_ + 8ull * index + 4);
    return rva != 0 && size != 0;
}

bool PeImage::Region(std::uint32_t rva, std::uint64_t& begin, std::uint64_t& end) const {
    for (const PeSection& s : Sections) {
        std::uint64_t size = s.RawSize;
        // Bytes past the virtual size are not part of the loaded section.
        if (s.VirtualSize != 0) size = std::min<std::uint64_t>(size, s.VirtualSize);
        if (rva >= s.Rva && rva - static_cast<std::uint64_t>(s.Rva) < size) {
            begin = static_cast<std::uint64_t>(s.RawOffset) + (rva - s.Rva);
            end = std::min<std::uint64_t>(static_cast<std::uint64_t>(s.RawOffset) + size, file_.size());
            return begin < end;
        }
    }
    if (rva < HeaderSize) {  // the headers are mapped at RVA 0
        begin = rva;
        end = std::min<std::uint64_t>(HeaderSize, file_.size());
        return begin < end;
    }
    return false;
}

bool PeImage::Map(std::uint32_t rva, std::uint64_t length, std::uint64_t& offset) const {
    std::uint64_t begin = 0, end = 0;
    if (!Region(rva, begin, end) || length > end - begin) return false;
    offset = begin;
    return true;
}

bool PeImage::Text(std::uint32_t rva, std::string& text) const {
    std::string_view view;
    if (!TextView(rva, view)) return false;
    text.assign(view.data(), view.size());
    return true;
}

bool PeImage::TextView(std::uint32_t rva, std::string_view& text) const {
    std::uint64_t begin = 0, end = 0;
    if (!Region(rva, begin, end)) return false;
    std::string_view rest = file_.substr(begin, end - begin);
    std::size_t zero = rest.find('\0');
    if (zero == std::string_view::npos) return false;
    text = rest.substr(0, zero);
    return true;
}

const PeSection* PeImage::SectionOf(std::uint32_t rva) const {
    for (const PeSection& s : Sections) {
        std::uint64_t size = std::max(s.VirtualSize, s.RawSize);
        if (rva >= s.Rva && rva - static_cast<std::uint64_t>(s.Rva) < size) return &s;
    }
    return nullptr;
}

bool PeImage::Code(std::uint32_t rva, std::uint64_t& begin, std::uint64_t& end, Span* span) const {
    const PeSection* in = SectionOf(rva);
    if (!in || !in->Code() || !Region(rva, begin, end)) return false;
    if (!span) return true;
    // Which sections answered, each the first whose extent holds rva: the span is where both
    // stay the first, so it leaves out every earlier section's extent.
    auto loaded = [](const PeSection& s) { return static_cast<std::uint64_t>(std::max(s.VirtualSize, s.RawSize)); };
    auto backed = [](const PeSection& s) {
        std::uint64_t size = s.RawSize;
        if (s.VirtualSize != 0) size = std::min<std::uint64_t>(size, s.VirtualSize);
        return size;
    };
    const std::size_t none = Sections.size();
    std::size_t code = none, region = none;
    for (std::size_t i = 0; i < Sections.size() && (code == none || region == none); ++i) {
        const PeSection& s = Sections[i];
        if (code == none && rva >= s.Rva && rva - static_cast<std::uint64_t>(s.Rva) < loaded(s)) code = i;
        if (region == none && rva >= s.Rva && rva - static_cast<std::uint64_t>(s.Rva) < backed(s)) region = i;
    }
    if (code == none || region == none) return true;  // the headers answered: no span
    const PeSection& c = Sections[code];
    const PeSection& r = Sections[region];
    std::uint64_t lo = std::max<std::uint64_t>(c.Rva, r.Rva);
    std::uint64_t hi = std::min<std::uint64_t>(c.Rva + loaded(c), r.Rva + backed(r));
    for (std::size_t i = 0; i < std::max(code, region); ++i) {
        const std::uint64_t a = Sections[i].Rva, b = a + loaded(Sections[i]);
        if (a == b) continue;
        if (b <= rva) lo = std::max(lo, b); else hi = std::min(hi, a);
    }
    span->Lo = lo;
    span->Hi = hi;
    span->Rva = r.Rva;
    span->Raw = r.RawOffset;
    span->End = std::min<std::uint64_t>(static_cast<std::uint64_t>(r.RawOffset) + backed(r), file_.size());
    return true;
}

}  // namespace zandrel::librarian
