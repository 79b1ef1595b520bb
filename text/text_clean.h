// Characters of a text that must not reach a tag, a picture or a terminal,
// and the Japanese characters that choose a tag's Japanese fields. Texts
// here are UTF-8; ill-formed bytes count as U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Text {

// Control characters: C0 (U+0000-U+001F), DEL, C1 (U+0080-U+009F), and the
// noncharacters U+FDD0-U+FDEF and U+nFFFE/U+nFFFF, which XML forbids or
// programs use as markers. No text that is stored or drawn keeps them.
bool IsControl(char32_t cp);

// Controls that rearrange what a terminal shows: the bidirectional marks,
// embeddings, overrides and isolates, and the Unicode line and paragraph
// separators. A tag may keep them (right-to-left titles need them); text
// output shows them escaped.
bool IsLayoutControl(char32_t cp);

// Hiragana, katakana (full and half width), CJK ideographs and the CJK
// symbols, punctuation and full-width forms of Japanese texts.
bool IsJapanese(char32_t cp);
bool HasJapanese(std::string_view utf8);

// The text as it may be stored: tabs as blanks; line breaks ("\r\n", "\r",
// "\n") as "\n" when `multiline`, else as blanks; other control characters
// dropped; ill-formed UTF-8 as U+FFFD.
std::string CleanText(std::string_view utf8, bool multiline);

// The text as a terminal may print it: controls and layout controls as
// "\x1B" (up to U+00FF) or "\u202E"; "\n" kept when `multiline`; ill-formed
// UTF-8 as U+FFFD. Nothing else changes.
std::string EscapeControls(std::string_view utf8, bool multiline);

// Columns a terminal gives `cp`: 2 for East Asian wide and full-width
// characters, 1 for the others.
int DisplayWidth(char32_t cp);

}  // namespace Text
