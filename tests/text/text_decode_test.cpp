// Real byte strings of MIDI files read as their writers meant them.
#include "text/text_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace {

using Text::DecodeText;
using Text::Encoding;

struct Case {
    const char* what;
    std::string bytes;
    std::string utf8;
    Encoding encoding;
    Encoding prefer = Encoding::Unknown;
    bool cut_end = false;
};

TEST(DecodeText, EachTextByWhatItIs) {
    const Case cases[] = {
        {"plain ASCII", "Green Hill", "Green Hill", Encoding::Ascii},
        {"UTF-8 kanji", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "日本語", Encoding::Utf8},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" "Caf\xC3\xA9", "Café", Encoding::Utf8},
        {"Shift-JIS hiragana", "\x82\xA9\x82\xC8", "かな", Encoding::ShiftJis},
        {"Shift-JIS kanji and katakana", "\x89\xB9\x8A\x79\x83\x65\x83\x58\x83\x67", "音楽テスト", Encoding::ShiftJis},
        {"half-width katakana", "\xB9\xDE\xB0\xD1", "ｹﾞｰﾑ", Encoding::ShiftJis},
        {"NEC row 13: circled one, kabushiki", "\x87\x40\x87\x8A", "①㈱", Encoding::ShiftJis},
        {"IBM extension and NEC-selected IBM kanji", "\xFA\x40\xED\x40", "ⅰ纊", Encoding::ShiftJis},
        // 0x5C and 0x7E stay ASCII (code page 932), also as a second byte.
        {"backslash and tilde beside kanji", "\x8B\xC8\\~", "曲\\~", Encoding::ShiftJis},
        {"0x5C as a second byte", "\x83\x5C", "ソ", Encoding::ShiftJis},
        {"wave dash as Windows maps it", "\x81\x60", "～", Encoding::ShiftJis},
        {"Latin-1 word", "Caf\xE9", "Café", Encoding::Latin1},
        {"Latin-1 user-defined Shift-JIS row", "Se\xF1or", "Señor", Encoding::Latin1},
        {"Latin-1 capital beside letters, lone katakana in Shift-JIS", "\xC9lan", "Élan", Encoding::Latin1},
        {"Latin-1 copyright sign", "\xA9 1995 Someone", "© 1995 Someone", Encoding::Latin1},
        {"Latin-1 small letters inside words, kanji in Shift-JIS", "Sp\xE5r 1, H\xE9l\xE8ne", "Spår 1, Hélène",
         Encoding::Latin1},
        {"Japanese after Latin letters", "MIDI\x83\x66\x81\x5B\x83\x5E", "MIDIデータ", Encoding::ShiftJis},
        {"a lone kanji", "\x8B\xC8", "曲", Encoding::ShiftJis},
        {"byte valid nowhere but Latin-1", "\x80" "A", "\xC2\x80" "A", Encoding::Latin1},
        // Valid in two encodings: the order decides, unless the song prefers.
        {"UTF-8 e-acute, also two Shift-JIS katakana", "\xC3\xA9", "é", Encoding::Utf8},
        {"the same in a Shift-JIS song", "\xC3\xA9", "ﾃｩ", Encoding::ShiftJis, Encoding::ShiftJis},
        {"a byte-order mark outweighs the song", "\xEF\xBB\xBF\xC3\xA9", "é", Encoding::Utf8, Encoding::ShiftJis},
        {"two katakana, also plus-minus and two", "\xB1\xB2", "ｱｲ", Encoding::ShiftJis},
        {"the same in a Latin-1 song", "\xB1\xB2", "±²", Encoding::Latin1, Encoding::Latin1},
        {"a Latin-1 song does not overrule UTF-8", "\xC3\xA9", "é", Encoding::Utf8, Encoding::Latin1},
        // A text cut at a byte count loses only its cut character.
        {"Shift-JIS cut short", "\x82\xA9\x82", "\xC2\x82\xC2\xA9\xC2\x82", Encoding::Latin1},
        {"Shift-JIS cut by the reader", "\x82\xA9\x82", "か", Encoding::ShiftJis, Encoding::Unknown, true},
        {"UTF-8 cut by the reader", "\xE6\x97\xA5\xE6\x9C", "日", Encoding::Utf8, Encoding::Unknown, true},
        {"a cut text loses a last byte that may begin a character", "Caf\xE9", "Caf", Encoding::Utf8, Encoding::Unknown,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Text::DecodedText d = DecodeText(c.bytes, c.prefer, c.cut_end);
        EXPECT_EQ(d.utf8, c.utf8);
        EXPECT_EQ(d.encoding, c.encoding) << Text::EncodingName(d.encoding);
    }
}

TEST(DecodeText, SongEncodingIsWhatItsUnambiguousTextsSay) {
    const std::string sjis = "\x83\x65\x83\x58\x83\x67", utf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", latin1 = "Caf\xE9",
                      either = "\xC3\xA9", ascii = "Title";
    const struct {
        std::vector<std::string> texts;
        Encoding song;
    } cases[] = {
        {{ascii, sjis, either}, Encoding::ShiftJis},
        {{utf8, either, utf8, sjis}, Encoding::Utf8},
        {{latin1, "\xB1\xB2", latin1}, Encoding::Latin1},
        {{sjis, latin1}, Encoding::Unknown},
        {{ascii, either}, Encoding::Unknown},
        {{}, Encoding::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(Text::SongEncoding(c.texts), c.song) << c.texts.size();

    // A text of the cut length or more was cut: its broken end does not make it Latin-1.
    const std::vector<std::string> cut = {"\x82\xA9\x82"};
    EXPECT_EQ(Text::SongEncoding(cut), Encoding::Latin1);
    EXPECT_EQ(Text::SongEncoding(cut, 3), Encoding::ShiftJis);
}

// Whatever the bytes, the result is well-formed UTF-8, and Latin-1 keeps
// every byte as one character.
TEST(DecodeText, HostileBytesGiveWellFormedText) {
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    const std::string big(64 * 1024, '\x82');  // lead bytes only
    std::string kana;
    for (int i = 0; i < 32 * 1024; ++i) kana += "\x82\xA0";
    for (const std::string& bytes : {every, big, kana, kana.substr(1), std::string("\xE3\x81")}) {
        for (const Encoding prefer : {Encoding::Unknown, Encoding::ShiftJis, Encoding::Latin1}) {
            for (const bool cut : {false, true}) {
                const Text::DecodedText d = DecodeText(bytes, prefer, cut);
                EXPECT_TRUE(Text::IsUtf8(d.utf8));
                if (d.encoding == Encoding::Latin1) {
                    const auto high = std::count_if(bytes.begin(), bytes.end(),
                                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
                    EXPECT_EQ(d.utf8.size(), bytes.size() + static_cast<std::size_t>(high));
                }
            }
        }
    }
    EXPECT_EQ(DecodeText(kana).utf8.size(), kana.size() / 2 * 3);  // 32768 times "あ"
    EXPECT_EQ(DecodeText(kana.substr(1)).encoding, Encoding::Latin1);
}

TEST(Utf8, CutEndIsOnlyAnIncompleteLastSequence) {
    std::size_t complete = 99;
    EXPECT_TRUE(Text::IsUtf8("ab\xE6\x97", true, &complete));
    EXPECT_EQ(complete, 2u);
    EXPECT_FALSE(Text::IsUtf8("ab\xE6\x97", false));
    EXPECT_FALSE(Text::IsUtf8("\xE6\x97" "a", true));  // broken inside, not at the end
    EXPECT_FALSE(Text::IsUtf8("a\x97", true));         // a stray continuation byte
    EXPECT_TRUE(Text::IsUtf8("\xEF\xBF\xBD", false, &complete));  // a real U+FFFD
    EXPECT_EQ(complete, 3u);
}

}  // namespace
