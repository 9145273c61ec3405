// The INI reader's rules: comments, trimming, headers, duplicates, line ends,
// tabs and the integer conversion.
#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <utility>

using testing_support::writeFile;

TEST(IniDictionary, EmptyOrCommentOnlyFileHasNoSections) {
    IniDictionary dictionary = IniDictionary::fromText("; only a comment\n\n   \n;[Properties]\n");
    EXPECT_FALSE(dictionary.hasSection(""));
    EXPECT_FALSE(dictionary.hasSection("Properties"));
    EXPECT_EQ(dictionary.getString("a", "Properties", "fallback"), "fallback");
    EXPECT_EQ(dictionary.getInt("a", "", 42), 42);
}

TEST(IniDictionary, EntriesBeforeAnyHeaderLiveInTheEmptySection) {
    IniDictionary dictionary = IniDictionary::fromText("loose=1\n[S]\nkey=2\n");
    EXPECT_EQ(dictionary.getInt("loose", "", 0), 1);
    EXPECT_EQ(dictionary.getInt("key", "S", 0), 2);
    EXPECT_EQ(dictionary.getInt("loose", "S", -1), -1);
}

TEST(IniDictionary, RepeatedSectionsMergeAndTheFirstValueWins) {
    IniDictionary dictionary = IniDictionary::fromText(
        "[Properties]\na=1\nb=2\nb=3\n[Other]\nc=4\n[Properties]\na=9\nd=5\n");
    EXPECT_EQ(dictionary.getInt("a", "Properties", 0), 1);
    EXPECT_EQ(dictionary.getInt("b", "Properties", 0), 2);
    EXPECT_EQ(dictionary.getInt("d", "Properties", 0), 5);
    EXPECT_EQ(dictionary.getInt("c", "Other", 0), 4);
}

TEST(IniDictionary, SpacesAroundTheEqualsSignAreTrimmedButNotInside) {
    IniDictionary dictionary = IniDictionary::fromText(
        "[P]\ncharacterWidth = 8\nempty=\n  two words  =  a value \na=b=c\n=7\n");
    EXPECT_EQ(dictionary.getString("characterWidth", "P", ""), "8");
    EXPECT_EQ(dictionary.getString("empty", "P", "default"), "");
    EXPECT_EQ(dictionary.getInt("empty", "P", 99), 0);
    EXPECT_EQ(dictionary.getString("two words", "P", ""), "a value");
    EXPECT_EQ(dictionary.getString("a", "P", ""), "b=c");
    EXPECT_EQ(dictionary.getInt("", "P", 0), 7);
}

TEST(IniDictionary, OnlyASemicolonInTheFirstColumnStartsAComment) {
    IniDictionary dictionary =
        IniDictionary::fromText("[P]\n  ;indented=1\nvalue=2 ; not a comment\n#hash=3\n");
    EXPECT_EQ(dictionary.getInt(";indented", "P", 0), 1);
    EXPECT_EQ(dictionary.getString("value", "P", ""), "2 ; not a comment");
    EXPECT_EQ(dictionary.getInt("#hash", "P", 0), 3);
}

TEST(IniDictionary, HeadersKeepInnerSpacesAndTrailingTextMakesAnEntry) {
    IniDictionary dictionary =
        IniDictionary::fromText("[ Properties ]\na=1\n[Real] ; note\nb=2\n[]\nc=3\n");
    EXPECT_TRUE(dictionary.hasSection(" Properties "));
    EXPECT_EQ(dictionary.getInt("a", "Properties", -1), -1);
    EXPECT_EQ(dictionary.getInt("a", " Properties ", -1), 1);
    EXPECT_FALSE(dictionary.hasSection("Real"));
    // The line was an entry of the section before it, and so was b.
    EXPECT_TRUE(dictionary.hasKey("[Real] ; note", " Properties "));
    EXPECT_EQ(dictionary.getInt("b", " Properties ", 0), 2);
    EXPECT_EQ(dictionary.getInt("c", "", 0), 3);
}

TEST(IniDictionary, LookupsAreCaseSensitive) {
    IniDictionary dictionary = IniDictionary::fromText("[Properties]\nKey=1\n");
    EXPECT_EQ(dictionary.getInt("Key", "properties", 5), 5);
    EXPECT_EQ(dictionary.getInt("key", "Properties", 5), 5);
}

TEST(IniDictionary, LineEndsBomTabsLinesWithoutEqualsAndALastLineWithoutLineFeed) {
    IniDictionary lf = IniDictionary::fromText("[S]\na = 1\nb=x y\n");
    for (const char* text : {"[S]\r\na = 1\r\nb=x y\r\n", "[S]\ra = 1\rb=x y\r",
                             "\xEF\xBB\xBF[S]\na = 1\r\n;c=2\rb=x y"}) {
        IniDictionary other = IniDictionary::fromText(text);
        EXPECT_EQ(other.getString("a", "S", ""), lf.getString("a", "S", "?")) << text;
        EXPECT_EQ(other.getString("b", "S", ""), "x y") << text;
        EXPECT_FALSE(other.hasKey(";c", "S")) << text;
    }
    // Tabs are not trimmed; a line without "=" is both key and value.
    IniDictionary other = IniDictionary::fromText("[S]\nkey\t=\t5\n  just words  \nlast=3");
    EXPECT_EQ(other.getString("key\t", "S", ""), "\t5");
    EXPECT_EQ(other.getInt("key\t", "S", 0), 5);
    EXPECT_FALSE(other.hasKey("key", "S"));
    EXPECT_EQ(other.getString("just words", "S", ""), "just words");
    EXPECT_EQ(other.getInt("last", "S", 0), 3);
}

// Leading digits count, beyond 32 bits the value saturates.
TEST(IniDictionary, IntegerConversionAndSaturation) {
    const std::pair<const char*, int32_t> cases[] = {
        {"12abc", 12},
        {"-3", -3},
        {"0x10", 0},
        {"1.5", 1},
        {"-12", -12},
        {"+4", 4},
        {"- 4", 0},
        {" \t\v\f\r\n42", 42},
        {"words", 0},
        {"", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999999999999999", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999", INT32_MIN},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parseIniInt(text), value) << text;
    }
}

TEST(IniDictionary, ReadsAFileWhole) {
    writeFile("reader.ini", "[Properties]\r\nsheet = font.bmp\r\ncharacterHeight=8");
    IniDictionary dictionary(gEngine->files(), "reader.ini");
    EXPECT_EQ(dictionary.getString("sheet", "Properties", ""), "font.bmp");
    EXPECT_EQ(dictionary.getInt("characterHeight", "Properties", 0), 8);
}

TEST(IniDictionary, AFileThatCannotBeReadIsNamedInTheError) {
    try {
        IniDictionary dictionary(gEngine->files(), "no-such-file.ini");
        FAIL() << "a missing file was read";
    } catch (const DataError& error) {
        EXPECT_EQ(error.file(), "no-such-file.ini");
        EXPECT_NE(std::string(error.what()).find("cannot open"), std::string::npos);
    }
    // A folder opens on this system but cannot be read as a file.
    EXPECT_THROW(IniDictionary(gEngine->files(), "."), DataError);
}
