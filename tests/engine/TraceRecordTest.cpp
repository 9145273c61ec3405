// The trace line's JSON where the golden traces cannot reach: their strings
// are plain names, so escaping shows only here, beside empty and nested arrays.
#include "engine/TraceRecord.h"

#include <gtest/gtest.h>

TEST(TraceRecord, PlacesCommasAndBracketsAndEscapesStrings) {
    TraceRecord record;
    record.add("n", -3).add("text", "a\"b\\c\n").beginArray("none").endArray();
    record.beginArray("rows").beginArray().item(1).item(true).endArray();
    record.beginArray().endArray().endArray();
    EXPECT_EQ(record.line(), R"({"n":-3,"text":"a\"b\\c\u000a","none":[],"rows":[[1,true],[]]})");
}
