// libFuzzer entry: any bytes as a project file. Reading accepts anything; and a project that
// was read, written and read again is the same project. That holds because the reader hands out
// values trimmed and without line ends, which the writer then writes back unchanged, and because
// only the comment, the last field of an item, can hold "|". Text under a UTF-8 mark is held
// to it too: the decoder turns overlong forms into "?", so no value comes out holding a line end
// or a blank at either end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "project/ProjectFormat.h"

namespace {

using namespace zandrel;

bool Same(const ProjectData& a, const ProjectData& b) {
    const ProjectSettings& x = a.Settings;
    const ProjectSettings& y = b.Settings;
    return x.LibName == y.LibName && x.LastPath == y.LastPath && x.SavePath == y.SavePath &&
           x.CallingConvention == y.CallingConvention && x.Alias == y.Alias && a.Rows == b.Rows;
}

// Whether an "Item_" key has three digits or more (a row from 100 on). Such a table costs many
// times the time of a small one and takes no other path through the reader or the writer, so
// those inputs are passed over to keep the fuzzer fast.
bool NamesFarRow(std::string_view text) {
    constexpr std::string_view key = "item_";
    for (std::size_t at = 0; at + key.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < key.size()) {
            char c = text[at + i];
            if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != key[i]) break;
            ++i;
        }
        if (i < key.size()) continue;
        std::string_view rest = text.substr(at + i);
        std::size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
        if (digits >= 3) return true;
    }
    return false;
}

ProjectData WrittenAndRead(const ProjectData& data) {
    RowTable table;
    table.rows = data.Rows;
    return ReadProjectText(WriteProjectText(data.Settings, table));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (NamesFarRow(text)) return 0;
    const ProjectData first = ReadProjectText(text);

    if (!Same(first, WrittenAndRead(first))) std::abort();

    // Group and key names are compared without regard to case.
    PreferenceReader prefs(text);
    const bool found = prefs.SelectGroup("GLOBAL");
    const std::string lib = prefs.ReadString("LIBNAME", "?");
    if (prefs.SelectGroup("global") != found || prefs.ReadString("libname", "?") != lib)
        std::abort();
    return 0;
}
