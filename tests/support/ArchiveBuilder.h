// Builds COFF archives byte by byte, so tests can make the odd and broken cases no librarian
// writes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ztest {

inline void PutLE32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutBE32(std::string& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutLE16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

// A 60-byte member header; `size_field` overrides the decimal size text when given.
inline std::string MemberHeader(const std::string& name, std::size_t size,
                                const std::string& size_field = "", bool end_marker = true) {
    std::string h(60, ' ');
    h.replace(0, name.size() < 16 ? name.size() : 16, name.substr(0, 16));
    h.replace(16, 1, "0");
    h.replace(28, 1, "0");
    h.replace(34, 1, "0");
    h.replace(40, 3, "644");
    std::string sz = size_field.empty() ? std::to_string(size) : size_field;
    h.replace(48, sz.size() < 10 ? sz.size() : 10, sz.substr(0, 10));
    if (end_marker) h.replace(58, 2, "`\n");
    return h;
}

// A member: header, data, and the pad byte after odd-sized data.
inline std::string Member(const std::string& name, const std::string& data) {
    std::string m = MemberHeader(name, data.size()) + data;
    if (data.size() % 2) m += '\n';
    return m;
}

// Data of a Microsoft-format second linker member holding `names` in the given order.
inline std::string SecondLinkerData(const std::vector<std::string>& names, std::uint32_t members = 1) {
    std::string d;
    PutLE32(d, members);
    for (std::uint32_t i = 0; i < members; ++i) PutLE32(d, 0x100 + i);
    PutLE32(d, static_cast<std::uint32_t>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) PutLE16(d, 1);
    for (const std::string& n : names) {
        d += n;
        d += '\0';
    }
    return d;
}

// Data of a first linker member (big-endian count and offsets) holding `names`.
inline std::string FirstLinkerData(const std::vector<std::string>& names) {
    std::string d;
    PutBE32(d, static_cast<std::uint32_t>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) PutBE32(d, 0x200);
    for (const std::string& n : names) {
        d += n;
        d += '\0';
    }
    return d;
}

// A Microsoft-format archive: first linker member (contents irrelevant to the reader), second
// linker member with `names`, and a stand-in object member.
inline std::string MsArchive(const std::vector<std::string>& names) {
    return "!<arch>\n" + Member("/", FirstLinkerData(names)) + Member("/", SecondLinkerData(names)) +
           Member("//", std::string("longname.dll\0", 13)) + Member("a.obj/", "object");
}

// A GNU-style archive: only the first linker member, then object members.
inline std::string GnuArchive(const std::vector<std::string>& names) {
    return "!<arch>\n" + Member("/", FirstLinkerData(names)) + Member("d000001.o/", "obj1") +
           Member("d000002.o/", "obj2");
}

// A minimal image header: "MZ", the PE offset at 60, "PE\0\0", Characteristics and Magic.
inline std::string MinimalImage(std::size_t size, std::uint32_t pe_offset, std::uint16_t characteristics,
                  std::uint16_t magic, std::uint16_t machine = 0x14C) {
    std::string f(size, '\0');
    f[0] = 'M';
    f[1] = 'Z';
    std::string v;
    PutLE32(v, pe_offset);
    f.replace(60, 4, v);
    auto put = [&](std::size_t at, const std::string& bytes) {
        for (std::size_t i = 0; i < bytes.size() && at + i < f.size(); ++i) f[at + i] = bytes[i];
    };
    put(pe_offset, std::string("PE\0\0", 4));
    v.clear();
    PutLE16(v, machine);
    put(pe_offset + 4, v);
    v.clear();
    PutLE16(v, characteristics);
    put(pe_offset + 22, v);
    v.clear();
    PutLE16(v, magic);
    put(pe_offset + 24, v);
    return f;
}

}  // namespace ztest
