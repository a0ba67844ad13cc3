// The project file: group and key text that stores the function table and the settings that go
// with it. Only the text lives here; the application reads and writes the file.
#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "table/FunctionTable.h"

namespace zandrel {

struct ProjectSettings {
    std::string LibName;
    std::string LastPath;
    std::string SavePath;
    long long CallingConvention = 0;  // index of the chosen item
    long long Alias = 0;              // 1 when "Importsource without Alias" is checked
};

struct ProjectData {
    ProjectSettings Settings;
    std::vector<FunctionRow> Rows;
};

// Turns well-formed UTF-16 into the program's single-byte text; a character the code page
// cannot hold becomes "?". The program uses the system's ANSI code page, the code that runs
// without a system Windows-1252 (Utf16ToCp1252).
using WideToSingleByte = std::string (*)(std::u16string_view wide);
std::string Utf16ToCp1252(std::u16string_view wide);

// Group/key text as the project reader accepts it: an optional UTF-8 byte-order mark (values
// are then turned into single-byte text), CR or LF line ends, blank lines, leading blanks and
// tabs, ";" comments, "[group]" lines, "key = value" lines trimmed on both sides, group and key
// names compared without regard to case. The first occurrence of a key wins.
class PreferenceReader {
public:
    explicit PreferenceReader(std::string_view text, WideToSingleByte toSingleByte = Utf16ToCp1252);

    // Selects the group later reads look in; false when it does not exist.
    bool SelectGroup(std::string_view group);
    std::string ReadString(std::string_view key, const std::string& fallback = "") const;
    // The value read as a decimal integer (optional sign, leading digits); not a number is 0.
    long long ReadNumber(std::string_view key, long long fallback = 0) const;
    // The highest i for which the selected group holds the key `prefix` + i (i in decimal as a
    // writer spells it, without leading zeros); -1 when there is none.
    long long HighestIndexedKey(std::string_view prefix) const;

private:
    using Keys = std::map<std::string, std::string>;
    std::map<std::string, Keys> groups_;
    const Keys* current_ = nullptr;
};

// The whole file as written: "[Global]" with LibName, LastPath, SavePath, CallingConvention,
// Alias and CountFunc, an empty line, "[Grid]" with one "Item_<i>" per row; CR LF, no mark.
// Every value is kept to its own line (SingleLineText).
std::string WriteProjectText(const ProjectSettings& settings, const TableView& table);

// Settings and rows restored from project text; what is missing reads as empty or 0. Rows run
// to CountFunc, but never past the highest "Item_" present (nor past kMaxProjectRows): a
// hand-edited count cannot make the table grow without bound.
constexpr long long kMaxProjectRows = 200000;
ProjectData ReadProjectText(std::string_view text, WideToSingleByte toSingleByte = Utf16ToCp1252);

// Whether text is a project at all: it has the group "Global".
bool IsProjectText(std::string_view text);

// "user32.lib" -> "user32.zdx"; a name without "." gets "zdx" appended directly.
std::string ProposedProjectName(const std::string& lib_name);

// One "Item_" value: check, host name, library name, parameter, comment joined by "|". No field
// brings a line break, and none but the comment a "|" (ItemFieldText, SingleLineText).
std::string JoinItem(const FunctionRow& row);
// The reverse; a comment may itself hold "|", missing fields give empty cells.
FunctionRow SplitItem(std::string_view value);

// UTF-8 to single-byte text; broken, overlong and surrogate forms become "?" before the code
// page sees them.
std::string Utf8ToSingleByte(std::string_view utf8, WideToSingleByte toSingleByte = Utf16ToCp1252);

}  // namespace zandrel
