// UTF-8, read strictly and written plainly: the one place that knows how the
// encoding is laid out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Text {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the UTF-8 sequence at s[i] and moves i past it. A byte that does
// not start a well-formed sequence (a stray continuation byte, an overlong
// form, a surrogate, a value past U+10FFFF, a sequence cut short) is taken
// alone and decodes as U+FFFD. `i` must be below s.size().
char32_t NextUtf8(std::string_view s, std::size_t& i);

// Appends `cp` (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Whether every byte of `s` belongs to a well-formed sequence. With
// `allow_cut_end`, the last sequence may be cut short (a text cut at a byte
// count); `complete` then receives the length without that cut piece.
bool IsUtf8(std::string_view s, bool allow_cut_end = false, std::size_t* complete = nullptr);

// `s` with every byte that is not part of well-formed UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view s);

}  // namespace Text
