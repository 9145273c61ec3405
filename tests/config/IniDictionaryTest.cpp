// The INI reader's rules: comments, trimming, headers, duplicates, line ends,
// the integer conversion and the one form of a range refusal.
#include "config/IniDictionary.h"
#include "engine/DataError.h"

#include <gtest/gtest.h>

#include <tuple>
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
        // Entries before any header live in the empty section, and so do
        // those after "[]".
        {"loose=1\n[S]\nkey=2\n[]\nc=3\n", "[] c=3 loose=1 [S] key=2"},
        // Repeated sections merge and the first value wins.
        {"[P]\na=1\nb=2\nb=3\n[O]\nc=4\n[P]\na=9\nd=5\n", "[O] c=4 [P] a=1 b=2 d=5"},
        // Spaces around the equals sign are trimmed, not inside; a line
        // without "=" is both key and value.
        {"[P]\n  two words  =  a value \na=b=c\n=7\nnone=\n",
         "[P] =7 a=b=c none= two words=a value"},
        // Only a semicolon in the first column starts a comment.
        {"[P]\n  ;indented=1\nvalue=2 ; not a comment\n#hash=3\n",
         "[P] #hash=3 ;indented=1 value=2 ; not a comment"},
        // Any line end, mixed, a byte order mark and a last line without one.
        {"\xEF\xBB\xBF[S]\na = 1\r\n;c=2\rb=x y", "[S] a=1 b=x y"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(kept(text), shown) << text;
    }
}

// Leading digits count (as the range refusal's "12abc" shows), beyond 32
// bits the value saturates.
TEST(IniDictionary, IntegerConversionAndSaturation) {
    const std::pair<const char*, int32_t> cases[] = {
        {" \t\v\f\r\n42", 42},
        {"2147483648", 2147483647},
        {"-2147483649", INT32_MIN},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parseIniInt(text), value) << text;
    }
}

// Every range refusal of every loader takes this one form: the value as
// written when it is a number, converted when it is not, and "or more"
// when only the least is bounded. A missing value and an empty one are
// read; values in range are every loader's, on the demo data.
TEST(IniDictionary, ARangeRefusalNamesFileSectionKeyValueAndRange) {
    // {the text, the largest value allowed, the message}
    const std::tuple<const char*, int32_t, const char*> cases[] = {
        {"[S]\nk=99999999999\n", 10, "t.ini: [S] k is 99999999999; give 1 to 10"},
        {"[S]\nk=12abc\n", 10, "t.ini: [S] k is 12; give 1 to 10"},
        {"[S]\nk=0\n", INT32_MAX, "t.ini: [S] k is 0; give 1 or more"},
        {"[S]\n", 10, "t.ini: [S] k is not given; give 1 to 10"},
    };
    for (const auto& [text, max, message] : cases) {
        try {
            IniDictionary::fromText(text, "t.ini").getInt("k", "S", 0, 1, max);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const DataError& error) {
            EXPECT_STREQ(error.what(), message);
        }
    }
    IniDictionary dictionary = IniDictionary::fromText("[S]\nk=10\nempty=\n");
    // Keys are case-sensitive; a missing key takes the default, but a value
    // given empty is 0.
    EXPECT_EQ(dictionary.getInt("K", "S", 5), 5);
    EXPECT_EQ(dictionary.getInt("empty", "S", 99), 0);
}
