#include "project/ProjectFormat.h"

#include <algorithm>
#include <cstdint>

#include "base/Path.h"

namespace zandrel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Windows-1252 bytes 0x80..0x9F and the characters they stand for; 0 marks unused slots.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char Cp1252For(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string Utf16ToCp1252(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        // A pair stands for one character, beyond the code page.
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                          wide[i + 1] <= 0xDFFF;
        if (pair) ++i;
        out += Cp1252For(c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : c);
    }
    return out;
}

std::string Utf8ToSingleByte(std::string_view s, WideToSingleByte toSingleByte) {
    // Decoded here rather than by the system, so that broken and overlong forms are refused
    // alike everywhere; the code page only gets well-formed characters.
    std::u16string wide;
    wide.reserve(s.size());
    bool ascii = true;
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0)) {
            wide += u'?';  // a stray or cut-off sequence
            ++i;
            continue;
        }
        std::uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            wide += u'?';
            ++i;
            continue;
        }
        // An overlong form could smuggle a line end or a blank past the reader's trimming (C0 8D
        // is CR), and a value with a line end breaks the file when it is saved again.
        static constexpr std::uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
        const bool valid = cp >= kLeast[extra] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!valid) {
            wide += u'?';
        } else if (cp >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(cp);
        }
        ascii = ascii && cp < 0x80;
        i += static_cast<std::size_t>(extra) + 1;
    }
    if (ascii) return std::string(wide.begin(), wide.end());
    return toSingleByte ? toSingleByte(wide) : Utf16ToCp1252(wide);
}

PreferenceReader::PreferenceReader(std::string_view text, WideToSingleByte toSingleByte) {
    bool utf8 = text.substr(0, kBom.size()) == kBom;
    if (utf8) text.remove_prefix(kBom.size());
    Keys* group = nullptr;  // keys before any group header belong to the unnamed group
    group = &groups_[""];
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            std::string_view name = line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1);
            group = &groups_[Lower(name)];
            continue;
        }
        std::size_t eq = line.find('=');
        std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1));
        std::string v = utf8 ? Utf8ToSingleByte(value, toSingleByte) : std::string(value);
        group->emplace(Lower(key), std::move(v));
    }
    current_ = &groups_[""];
}

bool PreferenceReader::SelectGroup(std::string_view group) {
    auto it = groups_.find(Lower(group));
    current_ = it == groups_.end() ? nullptr : &it->second;
    return current_ != nullptr;
}

std::string PreferenceReader::ReadString(std::string_view key, const std::string& fallback) const {
    if (!current_) return fallback;
    auto it = current_->find(Lower(key));
    return it == current_->end() ? fallback : it->second;
}

long long PreferenceReader::ReadNumber(std::string_view key, long long fallback) const {
    if (!current_) return fallback;
    auto it = current_->find(Lower(key));
    if (it == current_->end()) return fallback;
    const std::string& v = it->second;
    std::size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    unsigned long long n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = n * 10 + static_cast<unsigned>(v[i] - '0');
    if (negative) n = ~n + 1;
    return static_cast<long long>(n);
}

long long PreferenceReader::HighestIndexedKey(std::string_view prefix) const {
    if (!current_) return -1;
    const std::string lower = Lower(prefix);
    long long highest = -1;
    for (auto it = current_->lower_bound(lower); it != current_->end(); ++it) {
        std::string_view key = it->first;
        if (key.substr(0, lower.size()) != lower) break;  // keys are sorted: the run has ended
        std::string_view digits = key.substr(lower.size());
        if (digits.empty() || digits.size() > 18 || (digits[0] == '0' && digits.size() > 1)) continue;
        long long i = 0;
        bool ok = true;
        for (char c : digits) {
            if (c < '0' || c > '9') {
                ok = false;
                break;
            }
            i = i * 10 + (c - '0');
        }
        if (ok && i > highest) highest = i;
    }
    return highest;
}

std::string JoinItem(const FunctionRow& row) {
    // Whatever road a text took into the cell, the item stays one line of five fields.
    return ItemFieldText(row[ColSelected]) + "|" + ItemFieldText(row[ColPBFunctionName]) + "|" +
           ItemFieldText(row[ColFunctionName]) + "|" + ItemFieldText(row[ColParameter]) + "|" +
           SingleLineText(row[ColComment]);
}

FunctionRow SplitItem(std::string_view value) {
    // Field order in the file: check, host name, library name, parameter, then the comment.
    static constexpr int kColumnOfField[4] = {ColSelected, ColPBFunctionName, ColFunctionName, ColParameter};
    FunctionRow row;
    for (int field = 0; field < 4; ++field) {
        std::size_t bar = value.find('|');
        row[static_cast<std::size_t>(kColumnOfField[field])] = std::string(value.substr(0, bar));
        if (bar == std::string_view::npos) return row;
        value.remove_prefix(bar + 1);
    }
    row[ColComment] = std::string(value);
    return row;
}

std::string WriteProjectText(const ProjectSettings& s, const TableView& table) {
    const int n = table.RowCount();
    std::string out = "[Global]\r\n";
    out += "LibName = " + SingleLineText(s.LibName) + "\r\n";
    out += "LastPath = " + SingleLineText(s.LastPath) + "\r\n";
    out += "SavePath = " + SingleLineText(s.SavePath) + "\r\n";
    out += "CallingConvention = " + std::to_string(s.CallingConvention) + "\r\n";
    out += "Alias = " + std::to_string(s.Alias) + "\r\n";
    out += "CountFunc = " + std::to_string(n) + "\r\n";
    out += "\r\n[Grid]\r\n";
    for (int r = 0; r < n; ++r) {
        FunctionRow row;
        for (int c = 0; c < ColumnCount; ++c) row[static_cast<std::size_t>(c)] = table.CellText(c, r);
        out += "Item_" + std::to_string(r) + " = " + JoinItem(row) + "\r\n";
    }
    return out;
}

bool IsProjectText(std::string_view text) { return PreferenceReader(text).SelectGroup("Global"); }

ProjectData ReadProjectText(std::string_view text, WideToSingleByte toSingleByte) {
    PreferenceReader prefs(text, toSingleByte);
    ProjectData data;
    prefs.SelectGroup("Global");
    data.Settings.LibName = prefs.ReadString("LibName");
    data.Settings.LastPath = prefs.ReadString("LastPath");
    data.Settings.SavePath = prefs.ReadString("SavePath");
    data.Settings.CallingConvention = prefs.ReadNumber("CallingConvention");
    data.Settings.Alias = prefs.ReadNumber("Alias");
    long long n = prefs.ReadNumber("CountFunc");
    prefs.SelectGroup("Grid");
    // A hand-edited count can be absurd. Rows past the last item would all be empty, so they
    // are not made; gaps below it stay empty rows.
    n = std::min({n, prefs.HighestIndexedKey("Item_") + 1, kMaxProjectRows});
    for (long long i = 0; i < n; ++i)
        data.Rows.push_back(SplitItem(prefs.ReadString("Item_" + std::to_string(i))));
    return data;
}

std::string ProposedProjectName(const std::string& lib_name) { return WithNewExtension(lib_name, "zdx"); }

}  // namespace zandrel
