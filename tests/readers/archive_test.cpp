#include <gtest/gtest.h>

#include <filesystem>

#include "readers/ImportLib.h"
#include "support/ArchiveBuilder.h"
#include "support/HostileFiles.h"
#include "support/TempDir.h"

using namespace zandrel;
using namespace ztest;
using namespace std::string_literals;

namespace {
std::vector<std::string> Names(const SymbolList& list) {
    std::vector<std::string> out;
    for (const SymbolEntry& e : list) out.push_back(e.Name);
    return out;
}
}  // namespace

TEST(ParseArchive, SecondLinkerMemberInStoredOrderWithFilter) {
    SymbolList list;
    std::string lib = MsArchive({"_b@8", "__IMPORT_DESCRIPTOR_x", "__NULL_IMPORT_DESCRIPTOR",
                                 "__imp__b@8", "_a", "\x7fx_NULL_THUNK_DATA", "?f@@YAXXZ", "Plain"});
    EXPECT_EQ(ParseArchive(lib, list), ReadStatus::Ok);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Name, "_b@8");  // no sorting: the table's order
    EXPECT_EQ(list[0].ParamCount, 2);
    EXPECT_EQ(list[1].Name, "_a");
    EXPECT_EQ(list[2].Name, "Plain");
}

TEST(ParseArchive, OddFirstMemberIsFollowedByAPadByte) {
    std::string first(7, 'x');  // odd size
    std::string lib = "!<arch>\n" + Member("/", first) + Member("/", SecondLinkerData({"_F@4"}));
    ASSERT_EQ(lib[8 + 60 + 7], '\n');
    SymbolList list;
    EXPECT_EQ(ParseArchive(lib, list), ReadStatus::Ok);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].ParamCount, 1);
}

TEST(ParseArchive, DuplicateAndEmptyNamesEachGiveAnEntry) {
    SymbolList list;
    ASSERT_EQ(ParseArchive(MsArchive({"_x", "", "_x"}), list), ReadStatus::Ok);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"_x", "", "_x"}));
}

TEST(ParseArchive, RejectsWhatIsNoArchive) {
    SymbolList list;
    EXPECT_EQ(ParseArchive("", list), ReadStatus::NotAnArchive);
    EXPECT_EQ(ParseArchive("!<arch>", list), ReadStatus::NotAnArchive);
    EXPECT_EQ(ParseArchive("!<ARCH>\n" + Member("/", "x"), list), ReadStatus::NotAnArchive);
    EXPECT_EQ(ParseArchive("hello world, this is text\n", list), ReadStatus::NotAnArchive);
    EXPECT_TRUE(list.empty());
}

TEST(ParseArchive, BrokenOrMissingSecondHeaderGivesNothing) {
    SymbolList list;
    std::string first = "!<arch>\n" + Member("/", "abcd");
    EXPECT_EQ(ParseArchive(first, list), ReadStatus::NoSymbolTable);  // only the first member
    std::string second = Member("/", SecondLinkerData({"_f"}));
    EXPECT_EQ(ParseArchive(first + second.substr(0, 59), list), ReadStatus::CorruptHeader);
    std::string no_marker = second;
    no_marker[58] = ' ';
    EXPECT_EQ(ParseArchive(first + no_marker, list), ReadStatus::CorruptHeader);
    // A first member whose size points past the end of the file.
    std::string huge = "!<arch>\n" + MemberHeader("/", 0, "9999999999") + second;
    EXPECT_EQ(ParseArchive(huge, list), ReadStatus::CorruptHeader);
    std::string negative = "!<arch>\n" + MemberHeader("/", 0, "-60") + second;
    EXPECT_EQ(ParseArchive(negative, list), ReadStatus::CorruptHeader);
    EXPECT_EQ(ParseArchive("!<arch>\n" + MemberHeader("/", 4).substr(0, 30), list),
              ReadStatus::CorruptHeader);
    EXPECT_TRUE(list.empty());
}

TEST(ParseArchive, FirstHeaderEndMarkerIsNotExamined) {
    std::string lib = "!<arch>\n" + MemberHeader("/", 4, "", false) + "abcd" +
                      Member("/", SecondLinkerData({"_f"}));
    SymbolList list;
    EXPECT_EQ(ParseArchive(lib, list), ReadStatus::Ok);
    EXPECT_EQ(list.size(), 1u);
}

TEST(ReadLinkerMember, CountsBeyondTheDataStopWithoutWrapping) {
    SymbolList list;
    std::string d;
    PutLE32(d, 0xFFFFFFFFu);  // M: 4 + 4M wraps to 0 in 32 bits
    PutLE32(d, 1);
    d += "_f";
    d += '\0';
    EXPECT_EQ(ReadLinkerMember(d, list), ReadStatus::CorruptTable);
    d.clear();
    PutLE32(d, 0x40000000u);  // 4M wraps to 0 in 32 bits
    PutLE32(d, 1);
    PutLE16(d, 1);
    d += "_f";
    d += '\0';
    EXPECT_EQ(ReadLinkerMember(d, list), ReadStatus::CorruptTable);
    d.clear();
    PutLE32(d, 0);
    PutLE32(d, 0x80000000u);  // N: 2N wraps to 0 in 32 bits
    d += "_f";
    d += '\0';
    EXPECT_EQ(ReadLinkerMember(d, list), ReadStatus::CorruptTable);
    EXPECT_EQ(ReadLinkerMember("", list), ReadStatus::CorruptTable);
    EXPECT_TRUE(list.empty());
}

TEST(ReadLinkerMember, MoreNamesCountedThanStoredReadsToTheEnd) {
    std::string d;
    PutLE32(d, 0);
    PutLE32(d, 5);
    for (int i = 0; i < 5; ++i) PutLE16(d, 1);
    d += "_a";
    d += '\0';
    d += "_b";  // not terminated: ends at the end of the data
    SymbolList list;
    EXPECT_EQ(ReadLinkerMember(d, list), ReadStatus::TruncatedNames);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"_a", "_b"}));
}

TEST(ReadLinkerMember, NoNamesIsAnEmptyTable) {
    std::string d;
    PutLE32(d, 0);
    PutLE32(d, 0);
    SymbolList list;
    EXPECT_EQ(ReadLinkerMember(d, list), ReadStatus::Ok);
    EXPECT_TRUE(list.empty());
}

TEST(ParseArchive, GnuArchiveReadsFirstMemberSortedWithoutBookkeeping) {
    SymbolList list;
    std::string lib = GnuArchive({"__imp__Zeta@4", "_Zeta@4", "__head_libfoo_a", "__libfoo_a_iname",
                                  "_head_libfoo_a", "libfoo_a_iname", "_Alpha", "_Beta@8", "_Alpha",
                                  "__NULL_IMPORT_DESCRIPTOR", "\x7f" "foo_NULL_THUNK_DATA"});
    EXPECT_EQ(ParseArchive(lib, list), ReadStatus::Ok);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"_Alpha", "_Alpha", "_Beta@8", "_Zeta@4"}));
    EXPECT_EQ(list[2].ParamCount, 2);
}

TEST(ParseArchive, SecondMemberWithoutLinkerNameNeedsALinkerFirstMember) {
    // Neither member is a symbol table: nothing is made up from object data.
    std::string lib = "!<arch>\n" + Member("a.o/", "aaaa") + Member("b.o/", "bbbb");
    SymbolList list;
    EXPECT_EQ(ParseArchive(lib, list), ReadStatus::NoSymbolTable);
    EXPECT_TRUE(list.empty());
}

TEST(ReadLibFile, FilesThatAreNoLibraryGiveAnEmptyList) {
    TempDir dir;
    SymbolList list{{"stale", 1}};
    EXPECT_EQ(ReadLibFile(dir.File("missing.lib"), list), ReadStatus::Unreadable);
    EXPECT_TRUE(list.empty());
    list = {{"stale", 1}};
    EXPECT_EQ(ReadLibFile(dir.Write("empty.lib", ""), list), ReadStatus::EmptyFile);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ReadLibFile(dir.Write("text.lib", "just some text\r\n"), list), ReadStatus::NotAnArchive);
    EXPECT_TRUE(list.empty());
}

TEST(ReadLibFile, ReadingTwiceGivesTheSameListNotADoubledOne) {
    TempDir dir;
    std::string path = dir.Write("two.lib", MsArchive({"_a@4", "_b"}));
    SymbolList list;
    ASSERT_EQ(ReadLibFile(path, list), ReadStatus::Ok);
    ASSERT_EQ(ReadLibFile(path, list), ReadStatus::Ok);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"_a@4", "_b"}));
}

TEST(ReadLibFile, EveryTruncationOfALibraryIsHandled) {
    // Cutting a valid library at every length must never read out of bounds (ASan watches).
    std::string lib = MsArchive({"_a@4", "_bb@8", "__imp__a@4", "ccc"});
    for (std::size_t n = 0; n <= lib.size(); ++n) {
        SymbolList list;
        ParseArchive(std::string_view(lib).substr(0, n), list);
        EXPECT_LE(list.size(), 3u);
    }
}

TEST(ReadLibFile, HostileLibrariesGiveWhatTheTableShowsWithinBoundedWork) {
    TempDir dir;
    for (const HostileFile& f : WriteHostileLibraries(dir)) {
        SymbolList list;
        ReadStatus status = ReadLibFile(f.Path, list);
        EXPECT_EQ(list.size(), static_cast<std::size_t>(f.Rows)) << f.Label;
        EXPECT_EQ(IsReadFailure(status), f.CliStatus != 0) << f.Label << ": " << ReadStatusText(status);
        if (!f.Reason.empty()) {
            EXPECT_NE(std::string(ReadStatusText(status)).find(f.Reason), std::string::npos) << f.Label;
        }
    }
}

TEST(ReadFirstLinkerMember, AFloodOfNamesStopsAtTheLimit) {
    // A million one-letter names: more than any library lists, yet all within the member.
    const std::uint32_t count = 1000000;
    std::string d;
    PutBE32(d, count);
    d.append(4ull * count, '\0');
    for (std::uint32_t i = 0; i < count; ++i) d += "a\0"s;
    SymbolList list;
    EXPECT_EQ(ReadFirstLinkerMember(d, list), ReadStatus::TooManySymbols);
    EXPECT_EQ(list.size(), kMaxSymbols);
    EXPECT_EQ(list.front().Name, "a");
}

namespace {
// Names of every kind a table holds, long enough that the second linker member lies pages
// and read buffers away from the front of the file.
std::vector<std::string> ManyNames(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        const std::string base = "Function" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 40), 'x');
        names.push_back("_" + base + "@" + std::to_string(4 * (i % 9)));
        names.push_back("__imp__" + base);
    }
    return names;
}

std::string g_shrink_path;
std::uintmax_t g_shrink_to = 0;
void ShrinkFile(const std::string& path) {
    if (path == g_shrink_path) std::filesystem::resize_file(path, g_shrink_to);
}

class CountingSink : public SymbolSink {
public:
    void Add(std::string_view name, std::int32_t paramCount) override {
        list.push_back(SymbolEntry{std::string(name), paramCount});
    }
    SymbolList list;
};
}  // namespace

TEST(ReadLibFile, AFileShrunkWhileBeingReadIsAReadErrorNotACrash) {
    // Another program truncates the library after the reader took its size: the bytes it
    // then reads are gone. (A mapped file ended the process with SIGBUS here.)
    TempDir dir;
    const std::string lib = MsArchive(ManyNames(3000));
    ASSERT_GT(lib.size(), 200000u);
    const std::size_t second_names = lib.find("_Function0@0", lib.find("_Function0@0") + 1);
    for (std::uintmax_t to : {std::uintmax_t{0}, std::uintmax_t{100}, std::uintmax_t{70000},
                              std::uintmax_t{second_names + 5000}, std::uintmax_t{lib.size() - 200}}) {
        g_shrink_path = dir.Write("shrinking.lib", lib);
        g_shrink_to = to;
        SetReadLibFileProbe(ShrinkFile);
        SymbolList list{{"stale", 1}};
        const ReadStatus status = ReadLibFile(g_shrink_path, list);
        CountingSink sink;
        g_shrink_path = dir.Write("shrinking.lib", lib);
        const ReadStatus streamed = ReadLibFile(g_shrink_path, sink);
        SetReadLibFileProbe(nullptr);
        EXPECT_EQ(status, ReadStatus::Unreadable) << "cut to " << to << ": " << ReadStatusText(status);
        EXPECT_TRUE(list.empty()) << "cut to " << to;
        EXPECT_EQ(streamed, ReadStatus::Unreadable) << "cut to " << to;
    }
    // Untouched, the same file reads completely.
    SymbolList list;
    EXPECT_EQ(ReadLibFile(dir.Write("whole.lib", lib), list), ReadStatus::Ok);
    EXPECT_EQ(list.size(), 3000u);
}

TEST(ReadLibFile, ReadingPieceByPieceGivesWhatTheBytesInMemoryGive) {
    // The file is read in pieces of some tens of kilobytes; names that straddle them, names
    // longer than several of them, a last name without its terminator and tables cut short
    // must come out exactly as the same bytes parsed in one go.
    std::vector<std::string> names = ManyNames(2500);
    names.insert(names.begin() + 1500, "_" + std::string(150000, 'L') + "@8");
    names.insert(names.begin() + 10, std::string(70000, 'M'));
    std::vector<std::string> libs = {MsArchive(names), GnuArchive(names)};
    std::string unterminated = "!<arch>\n" + Member("/", "abcd") + MemberHeader("/", 0);
    unterminated += SecondLinkerData(ManyNames(2000));
    unterminated += std::string(200000, 'T');  // the last name runs to the end of the file
    libs.push_back(unterminated);
    const std::string whole = MsArchive(names);
    for (std::size_t cut : {whole.size() - 150, whole.size() - 1000, whole.size() - 70000})
        libs.push_back(whole.substr(0, cut));
    TempDir dir;
    for (std::size_t i = 0; i < libs.size(); ++i) {
        SymbolList expected, read;
        const ReadStatus want = ParseArchive(libs[i], expected);
        EXPECT_EQ(ReadLibFile(dir.Write("lib.lib", libs[i]), read), want) << "library " << i;
        EXPECT_GT(expected.size(), 1000u) << "library " << i;
        ASSERT_EQ(read.size(), expected.size()) << "library " << i;
        for (std::size_t k = 0; k < read.size(); ++k) {
            ASSERT_EQ(read[k].Name, expected[k].Name) << "library " << i << ", entry " << k;
            ASSERT_EQ(read[k].ParamCount, expected[k].ParamCount) << "library " << i << ", entry " << k;
        }
        CountingSink sink;
        EXPECT_EQ(ReadLibFile(dir.File("lib.lib"), sink), want) << "library " << i;
        EXPECT_EQ(sink.list.size(), expected.size()) << "library " << i;
    }
}
