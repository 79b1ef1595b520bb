// What may be stored, drawn or printed of a text, and what counts as Japanese.
#include "text/text_clean.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CleanText, NoControlCharacterIsKept) {
    const struct {
        std::string in;
        bool multiline;
        std::string out;
    } cases[] = {
        {"a\tb", false, "a b"},
        {"one\r\ntwo\rthree\nfour", true, "one\ntwo\nthree\nfour"},
        {"one\r\ntwo\nthree", false, "one two three"},
        {"\x1B]0;pwned\x07title\x1B[2J", false, "]0;pwnedtitle[2J"},
        {"a\x7F" "b\xC2\x85" "c\xC2\x9B" "d", true, "abcd"},              // DEL, C1 NEL and CSI
        {"x\xEF\xBF\xBE" "y\xEF\xBF\xBF" "z\xEF\xB7\x90", false, "xyz"},  // U+FFFE, U+FFFF, U+FDD0
        {"\xF0\x9F\xBF\xBF" "k", false, "k"},                                // U+1FFFF
        {"\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},    // a surrogate in UTF-8
        {"caf\xE9", false, "caf\xEF\xBF\xBD"},
        {"\xE2\x80\xAE" "abc", false, "\xE2\x80\xAE" "abc"},  // a right-to-left override may stay in a tag
        {"日本語 ①", false, "日本語 ①"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text::CleanText(c.in, c.multiline), c.out) << c.in;
}

TEST(EscapeControls, ControlsShowAsEscapesAndNothingElseChanges) {
    const struct {
        std::string in;
        bool multiline;
        std::string out;
    } cases[] = {
        {"\x1B[2JTitle\x07", false, "\\x1B[2JTitle\\x07"},
        {"Author\r\nForged: line", false, "Author\\x0D\\x0AForged: line"},
        {"line one\nline two", true, "line one\nline two"},
        {"\xC2\x9B" "31m", false, "\\x9B31m"},
        {"\xE2\x80\xAE" "evil", false, "\\u202Eevil"},
        {"\xEF\xBF\xBF", false, "\\uFFFF"},
        {"caf\xE9 \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0", false, "caf\xEF\xBF\xBD ゲーム"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text::EscapeControls(c.in, c.multiline), c.out) << c.in;
}

TEST(Japanese, KanaKanjiAndFullWidthFormsCountLatinDoesNot) {
    for (const char* text : {"かな", "カタカナ", "ｶﾀｶﾅ", "漢字", "①㈱", "ＡＢＣ", "「」", "x\xE3\x80\x80y"})
        EXPECT_TRUE(Text::HasJapanese(text)) << text;
    for (const char* text : {"Title", "Café", "Ⅻ ① ±", "Привет", ""}) EXPECT_FALSE(Text::HasJapanese(text)) << text;
    EXPECT_EQ(Text::DisplayWidth(U'漢'), 2);
    EXPECT_EQ(Text::DisplayWidth(U'ｶ'), 1);
    EXPECT_EQ(Text::DisplayWidth(U'a'), 1);
}

}  // namespace
