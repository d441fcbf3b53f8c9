#include "cli/jsonlog.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonLog, StringsAreValidJsonWhateverTheBytes) {
    struct Case {
        std::string text;
        std::string json;
    };
    const Case cases[] = {
        {"plain/path 1.jpg", "\"plain/path 1.jpg\""},
        {"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
        {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
        {std::string("\x01\x1F\x7F", 3), "\"\\u0001\\u001f\\u007f\""},
        {"n\xC3\xA4me \xE2\x82\xAC \xF0\x9F\x93\xB7",
         "\"n\xC3\xA4me \xE2\x82\xAC \xF0\x9F\x93\xB7\""},
        // Latin-1, a cut sequence, an overlong '/', a surrogate and a value past U+10FFFF.
        {"\xE4.jpg", "\"\xEF\xBF\xBD.jpg\""},
        {"x\xE2\x82", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JsonString(c.text), c.json) << c.text;
}

TEST(JsonLog, FileAndRunLines) {
    EXPECT_EQ(JsonFileLine("in/a.bmp", "out/a.jpg", "error", "Decoder error: x", 12),
              "{\"input\":\"in/a.bmp\",\"output\":\"out/a.jpg\",\"status\":\"error\","
              "\"message\":\"Decoder error: x\",\"milliseconds\":12}\n");
    EXPECT_EQ(JsonRunLine(3, 1, 2, true, 4567),
              "{\"run\":\"end\",\"files\":6,\"ok\":3,\"skipped\":1,\"error\":2,\"canceled\":true,"
              "\"milliseconds\":4567}\n");
}

} // namespace
