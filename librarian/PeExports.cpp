#include "librarian/PeExports.h"

#include <algorithm>

#include "librarian/PeImage.h"

namespace zandrel::librarian {

namespace {

constexpr std::uint64_t kMaxExports = 1u << 20;

bool Fail(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}

}  // namespace

bool ReadPeExports(std::string_view file, PeExports& out, std::string& reason) {
    out = PeExports{};
    PeImage img;
    if (!img.Open(file, reason)) return false;
    out.Machine = img.Machine;
    out.Pe32Plus = img.Pe32Plus;
    std::uint32_t dir_rva = 0, dir_size = 0;
    if (!img.Directory(0, dir_rva, dir_size)) return Fail(reason, "no export directory");
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
        } else if (const PeSection* s = img.SectionOf(e.Rva)) {
            e.Data = !s->Code();
        }
        return true;
    };

    std::vector<bool> named(function_count, false);
    // Room for the names at once (a claim beyond any real DLL's grows as names prove real).
    out.Named.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(name_count, 1u << 16)));
    for (std::uint64_t i = 0; i < name_count; ++i) {
        const std::uint64_t index = img.U16(ordinals + 2 * i);
        if (index >= function_count)
            return Fail(reason, "export name " + std::to_string(i) + " refers to a missing address slot");
        PeExport e;
        if (!img.Text(img.U32(names + 4 * i), e.Name))
            return Fail(reason, "export name " + std::to_string(i) + " lies outside the file or is not terminated");
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
