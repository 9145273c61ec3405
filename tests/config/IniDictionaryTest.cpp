// The INI reader's rules: comments, trimming, headers, duplicates, line ends,
// tabs, the integer conversion and the one form of a range refusal.
#include "config/IniDictionary.h"
#include "engine/DataError.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// Everything the reader kept of a text: each section in byte order with its
// keys in byte order, as "[section] key=value key=value".
std::string kept(const std::string& text) {
    IniDictionary dictionary = IniDictionary::fromText(text);
    std::string shown;
    for (const std::string& section : dictionary.sectionNames()) {
        shown += " [" + section + "]";
        for (const std::string& key : dictionary.keyNames(section)) {
            shown += " " + key + "=" + dictionary.getString(key, section, "?");
        }
    }
    return shown.empty() ? shown : shown.substr(1);
}

} // namespace

TEST(IniDictionary, WhatTheReaderKeepsOfEachLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"; only a comment\n\n   \n;[Properties]\n", ""},
        // Entries before any header live in the empty section, and so do
        // those after "[]".
        {"loose=1\n[S]\nkey=2\n[]\nc=3\n", "[] c=3 loose=1 [S] key=2"},
        // Repeated sections merge and the first value wins.
        {"[P]\na=1\nb=2\nb=3\n[O]\nc=4\n[P]\na=9\nd=5\n", "[O] c=4 [P] a=1 b=2 d=5"},
        // Spaces around the equals sign are trimmed, not inside; tabs never;
        // a line without "=" is both key and value.
        {"[P]\n  two words  =  a value \na=b=c\n=7\nnone=\n",
         "[P] =7 a=b=c none= two words=a value"},
        {"[S]\nkey\t=\t5\n  just words  \n", "[S] just words=just words key\t=\t5"},
        // Only a semicolon in the first column starts a comment.
        {"[P]\n  ;indented=1\nvalue=2 ; not a comment\n#hash=3\n",
         "[P] #hash=3 ;indented=1 value=2 ; not a comment"},
        // Headers keep inner spaces; text after one makes it an entry.
        {"[ P ]\na=1\n[Real] ; note\nb=2\n", "[ P ] [Real] ; note=[Real] ; note a=1 b=2"},
        // Any line end, a byte order mark and a last line without one.
        {"[S]\r\na = 1\r\nb=x y\r\n", "[S] a=1 b=x y"},
        {"[S]\ra = 1\rb=x y\r", "[S] a=1 b=x y"},
        {"\xEF\xBB\xBF[S]\na = 1\r\n;c=2\rb=x y", "[S] a=1 b=x y"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(kept(text), shown) << text;
    }
}

TEST(IniDictionary, LookupsAndTheirDefaults) {
    IniDictionary dictionary = IniDictionary::fromText("[P]\nKey=1\nnone=\n");
    EXPECT_TRUE(dictionary.hasSection("P"));
    EXPECT_FALSE(dictionary.hasSection("p"));
    EXPECT_EQ(dictionary.getInt("key", "P", 5), 5);
    EXPECT_EQ(dictionary.getString("Key", "", "fallback"), "fallback");
    // A value given empty is 0, not the default.
    EXPECT_EQ(dictionary.getInt("none", "P", 99), 0);
}

// Leading digits count, beyond 32 bits the value saturates.
TEST(IniDictionary, IntegerConversionAndSaturation) {
    const std::pair<const char*, int32_t> cases[] = {
        {"12abc", 12},
        {"-3", -3},
        {"0x10", 0},
        {"1.5", 1},
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

// Every range refusal of every loader takes this one form: the value as
// written when it is a number, converted when it is not, and "or more"
// when only the least is bounded.
TEST(IniDictionary, ARangeRefusalNamesFileSectionKeyValueAndRange) {
    struct Case {
        const char* text;
        int32_t max;
        const char* message;
    };
    const Case cases[] = {
        {"[S]\nk=99999999999\n", 10, "t.ini: [S] k is 99999999999; give 1 to 10"},
        {"[S]\nk=12abc\n", 10, "t.ini: [S] k is 12; give 1 to 10"},
        {"[S]\nk=0\n", INT32_MAX, "t.ini: [S] k is 0; give 1 or more"},
        {"[S]\n", 10, "t.ini: [S] k is not given; give 1 to 10"},
    };
    for (const Case& c : cases) {
        try {
            IniDictionary::fromText(c.text, "t.ini").getInt("k", "S", 0, 1, c.max);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const DataError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
    EXPECT_EQ(IniDictionary::fromText("[S]\nk=10\n").getInt("k", "S", 0, 1, 10), 10);
}
