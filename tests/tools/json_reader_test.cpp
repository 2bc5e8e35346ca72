// The JSON reader of kiln run: what a parsed document holds, and that the
// largest inputs the run command promises are read (its faults are tested
// through kiln run).
#include <gtest/gtest.h>

#include <string>

#include "tools/kiln/json.h"

namespace {

TEST(JsonReader, DocumentsReadBackWithNamesPositionsAndNesting) {
    json::Document doc;
    std::string error;
    ASSERT_TRUE(json::Parse("{\"n\": 2,\n \"inputs\": {\"A\": [[1, -2.5e1], true, null, \"x\\u00e9\\n\"], \"B\": {}},"
                            " \"\": []}",
                            &doc, &error))
        << error;
    const json::Value& root = doc.Root();
    ASSERT_TRUE(root.IsObject());
    ASSERT_EQ(root.Size(), 3u);
    EXPECT_EQ(root.Key(0), "n");
    EXPECT_EQ(root.Item(0).Number(), 2.0);
    const json::Value* inputs = root.Find("inputs");
    ASSERT_NE(inputs, nullptr);
    EXPECT_EQ(inputs->line, 2);
    EXPECT_EQ(inputs->column, 12);
    const json::Value* a = inputs->Find("A");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->Size(), 4u);
    ASSERT_EQ(a->Item(0).Size(), 2u);
    EXPECT_EQ(a->Item(0).Item(1).Number(), -25.0);
    EXPECT_TRUE(a->Item(1).boolean);
    EXPECT_EQ(a->Item(2).kind, json::Value::Kind::Null);
    EXPECT_EQ(a->Item(3).Text(), "x\xC3\xA9\n");
    EXPECT_TRUE(inputs->Find("B")->IsObject());
    EXPECT_EQ(inputs->Find("B")->Size(), 0u);
    EXPECT_EQ(root.Find("")->Size(), 0u);
    EXPECT_EQ(root.Find("missing"), nullptr);
    EXPECT_EQ(a->Find("n"), nullptr);  // not an object
}

// Four inputs of the most vectors a run takes (5.2 million values) used to
// pass the value limit; they must read, as the help text promises.
TEST(JsonReader, ReadsFourFullInputs) {
    const size_t vectors = 262144;
    std::string text = "{\"n\": " + std::to_string(vectors) + ", \"inputs\": {";
    for (int input = 0; input < 4; ++input) {
        text += (input ? ", \"TEXCOORD" : "\"TEXCOORD") + std::to_string(input) + "\": [";
        for (size_t i = 0; i < vectors; ++i) text += i ? ",[1,2,3,4]" : "[1,2,3,4]";
        text += "]";
    }
    text += "}}";
    json::Document doc;
    std::string error;
    ASSERT_TRUE(json::Parse(text, &doc, &error)) << error;
    const json::Value* third = doc.Root().Find("inputs")->Find("TEXCOORD2");
    ASSERT_NE(third, nullptr);
    ASSERT_EQ(third->Size(), vectors);
    EXPECT_EQ(third->Item(vectors - 1).Item(3).Number(), 4.0);
    // The root, n and inputs with their names, four named arrays of arrays of four.
    EXPECT_EQ(doc.ValueCount(), 5 + 4 * (2 + vectors * 5));
}

}  // namespace
