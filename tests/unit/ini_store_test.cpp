#include "settings/ini_store.h"
#include "support/frame_bytes.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zev1 {
namespace {

std::string text(const std::vector<std::uint8_t>& b) {
    return {b.begin(), b.end()};
}
ini_store parse(std::string_view s) {
    return ini_store::parse(bytes_of(s));
}

// UTF-16 bytes of an ASCII/UTF-16 text given as code units, with or without a BOM.
std::vector<std::uint8_t> utf16(std::u16string_view units, bool big_endian) {
    std::vector<std::uint8_t> out;
    for (char16_t u : units) {
        const auto hi = static_cast<std::uint8_t>(u >> 8);
        const auto lo = static_cast<std::uint8_t>(u & 0xFF);
        out.push_back(big_endian ? hi : lo);
        out.push_back(big_endian ? lo : hi);
    }
    return out;
}

TEST(IniStore, ReadingDropsCommentsBlanksAndLinesBeforeTheFirstSection) {
    auto s = parse("orphan=1\r\n; note\r\n\r\n  [ main ]  \r\n  k =  v w  \r\n   ;x=2\r\n"
                   "raw line\r\n\t\r\nv=a=b\r\n");
    EXPECT_EQ(s.ReadString("main", "k", "-"), "v w");
    EXPECT_EQ(s.ReadString("main", "v", "-"), "a=b");
    EXPECT_EQ(s.ReadString("main", "x", "-"), "-");
    EXPECT_EQ(s.ReadString("main", "orphan", "-"), "-");
    EXPECT_EQ(s.ReadString("main", "raw line", "-"), "-");
    EXPECT_EQ(text(s.serialize()), "[main]\r\nk=v w\r\nraw line\r\nv=a=b\r\n\r\n");
}

TEST(IniStore, SectionsAndKeysIgnoreLetterCaseAndTheLatestWriteSetsTheSpelling) {
    auto s = parse("[Main_Win]\nLEVEL=7\nother=x\n");
    EXPECT_EQ(s.ReadInteger("main_win", "level", 5), 7);
    EXPECT_EQ(s.ReadString("MAIN_WIN", "Other", ""), "x");
    s.WriteInteger("main_win", "level", 7);
    EXPECT_EQ(text(s.serialize()), "[Main_Win]\nlevel=7\nother=x\n\n");
}

TEST(IniStore, NewKeysGoToTheEndOfTheirSectionAndNewSectionsToTheEnd) {
    auto s = parse("[a]\nx=1\n[b]\ny=2\n");
    s.WriteString("a", "z", "3");
    s.WriteString("c", "w", "4");
    s.WriteString("A", "x", "9");
    EXPECT_EQ(text(s.serialize()), "[a]\nx=9\nz=3\n\n[b]\ny=2\n\n[c]\nw=4\n\n");
}

TEST(IniStore, RepeatedSectionHeaderContinuesTheSameSection) {
    auto s = parse("[a]\nx=1\n[b]\n[A]\ny=2\n");
    EXPECT_EQ(s.ReadString("a", "y", ""), "2");
    EXPECT_EQ(text(s.serialize()), "[a]\nx=1\ny=2\n\n[b]\n\n");
}

TEST(IniStore, RepeatedKeyAnswersWithItsFirstLineAndKeepsTheOthers) {
    auto s = parse("[a]\nk=1\nK=2\nj=3\n");
    EXPECT_EQ(s.ReadString("a", "k", "-"), "1");
    s.WriteString("a", "k", "4");
    EXPECT_EQ(s.ReadString("A", "K", "-"), "4");
    EXPECT_EQ(text(s.serialize()), "[a]\nk=4\nK=2\nj=3\n\n");
}

TEST(IniStore, ReadIntegerAcceptsDecimalAndBothHexFormsAndNothingElse) {
    const auto read = [](const char* stored) {
        ini_store s;
        s.WriteString("main_win", "level", stored);
        return s.ReadInteger("main_win", "level", 5);
    };
    const std::pair<const char*, std::int32_t> accepted[] = {
        {"0x10", 16},
        {"0X1f", 31},
        {"$1F", 31},
        {"-12", -12},
        {"+7", 7},
        {"007", 7},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"0xFFFFFFFF", -1},
        {"0x7fffffff", INT32_MAX},
    };
    for (const auto& [stored, expected] : accepted) {
        EXPECT_EQ(read(stored), expected) << '"' << stored << '"';
    }
    // Everything else gives the default.
    for (const char* stored :
         {"abc", "0x", "0X", "$", "-", "", "12a", "1 2", "0x1g", "0x-5", "2147483648",
          "-2147483649", "0x100000000", "99999999999999999999", "1.5"}) {
        EXPECT_EQ(read(stored), 5) << '"' << stored << '"';
    }
    EXPECT_EQ(ini_store{}.ReadInteger("main_win", "level", 5), 5);
}

TEST(IniStore, BooleansGoThroughIntegers) {
    auto s = parse("[m]\nzero=0\none=1\ntwo=2\nhex=0x0\nword=yes\n");
    EXPECT_FALSE(s.ReadBool("m", "zero", true));
    EXPECT_TRUE(s.ReadBool("m", "one", false));
    EXPECT_TRUE(s.ReadBool("m", "two", false));
    EXPECT_FALSE(s.ReadBool("m", "hex", true));
    EXPECT_TRUE(s.ReadBool("m", "word", true));
    EXPECT_FALSE(s.ReadBool("m", "word", false));
    EXPECT_TRUE(s.ReadBool("main", "nemecky", true));
    s.WriteBool("m", "t", true);
    s.WriteBool("m", "f", false);
    EXPECT_EQ(s.ReadString("m", "t", ""), "1");
    EXPECT_EQ(s.ReadString("m", "f", ""), "0");
    s.WriteInteger("m", "n", -42);
    EXPECT_EQ(s.ReadString("m", "n", ""), "-42");
}

TEST(IniStore, EightBitBytesWithoutBomAreKeptAsTheyAre) {
    const std::string file = "[com]\ncom=COM3\nname=\xE9\xFF\x80\n\n";
    auto s = parse(file);
    EXPECT_EQ(s.file_encoding(), ini_store::encoding::ansi);
    EXPECT_EQ(s.ReadString("com", "name", ""), "\xE9\xFF\x80");
    EXPECT_EQ(text(s.serialize()), file);
}

TEST(IniStore, Utf8BomIsWrittenBack) {
    const std::string file = "\xEF\xBB\xBF[main]\r\nname=\xC5\xBDlu\xC5\xA5\r\n\r\n";
    auto s = parse(file);
    EXPECT_EQ(s.file_encoding(), ini_store::encoding::utf8_bom);
    EXPECT_EQ(s.ReadString("main", "name", ""), "\xC5\xBDlu\xC5\xA5");
    s.WriteString("main", "k", "v");
    EXPECT_EQ(text(s.serialize()), "\xEF\xBB\xBF[main]\r\nname=\xC5\xBDlu\xC5\xA5\r\nk=v\r\n\r\n");
}

TEST(IniStore, Utf16FilesAreDecodedAndWrittenBackInTheirByteOrder) {
    // U+017D, a supplementary character (surrogate pair) and an unpaired surrogate.
    const std::u16string content =
        u"\uFEFF[main]\r\nname=\u017Dlu\xD83D\xDE00\r\nodd=\xDC01x\r\n\r\n";
    for (bool big_endian : {false, true}) {
        const auto file = utf16(content, big_endian);
        auto s = ini_store::parse(file);
        EXPECT_EQ(s.file_encoding(),
                  big_endian ? ini_store::encoding::utf16be_bom : ini_store::encoding::utf16le_bom);
        EXPECT_EQ(s.ReadString("main", "name", ""), "\xC5\xBDlu\xF0\x9F\x98\x80");
        EXPECT_EQ(s.serialize(), file) << "big endian " << big_endian;
        s.WriteString("MAIN", "k", "\xC3\xA9");
        EXPECT_EQ(s.serialize(),
                  utf16(u"\uFEFF[main]\r\nname=\u017Dlu\xD83D\xDE00\r\nodd=\xDC01x\r\nk=\u00E9"
                        u"\r\n\r\n",
                        big_endian));
    }
}

TEST(IniStore, Utf16OddTrailingByteBecomesReplacementCharacter) {
    auto file = utf16(u"\uFEFF[a]\nk=v", false);
    file.push_back(0x41);
    auto s = ini_store::parse(file);
    EXPECT_EQ(s.ReadString("a", "k", ""), "v\xEF\xBF\xBD");
}

TEST(IniStore, AcceptsEveryLineEndAndKeepsTheFilesOwn) {
    auto cr = parse("[a]\rk=1\rj=2");
    EXPECT_EQ(cr.ReadString("a", "j", ""), "2");
    EXPECT_EQ(text(parse("[a]\r\nk=1\nj=2").serialize()), "[a]\r\nk=1\r\nj=2\r\n\r\n");
    EXPECT_EQ(text(parse("[a]\nk=1\r\nj=2").serialize()), "[a]\nk=1\nj=2\n\n");
    ini_store fresh;
    fresh.WriteInteger("main_win", "level", 5);
#ifdef _WIN32
    EXPECT_EQ(text(fresh.serialize()), "[main_win]\r\nlevel=5\r\n\r\n");
#else
    EXPECT_EQ(text(fresh.serialize()), "[main_win]\nlevel=5\n\n");
#endif
}

TEST(IniStore, WrittenLineBreaksCannotSplitALine) {
    ini_store s;
    s.WriteString("a", "k", "x\r\n[evil]\ny=1");
    const auto again = ini_store::parse(s.serialize());
    EXPECT_EQ(again.ReadString("evil", "y", "absent"), "absent");
    EXPECT_EQ(again.ReadString("a", "k", ""), "x  [evil] y=1");
}

TEST(IniStore, EmptyStoreWritesNothingButItsBom) {
    EXPECT_TRUE(ini_store{}.serialize().empty());
    EXPECT_TRUE(parse("; only a comment\nno section\n").serialize().empty());
    EXPECT_EQ(text(parse("\xEF\xBB\xBF").serialize()), "\xEF\xBB\xBF");
}

} // namespace
} // namespace zev1
