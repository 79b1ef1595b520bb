// Fuzz target: reading a text of unknown encoding, and everything that
// stores, draws or prints it. Besides the sanitizers' checks it holds the
// promises: the decoded text is well-formed UTF-8 in every reading, a
// cleaned or escaped text holds no control character, and a tag of such
// texts reads back without a fault and without control characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text_clean.h"
#include "text/text_decode.h"
#include "text/utf8.h"
#include "vgm/gd3.h"

namespace {

// Aborts when `utf8` holds a control character (a line break only if `multiline`).
void CheckClean(const std::string& utf8, bool multiline, bool layout_too) {
    if (!Text::IsUtf8(utf8)) std::abort();
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = Text::NextUtf8(utf8, i);
        if (cp == '\n' && multiline) continue;
        if (Text::IsControl(cp) || (layout_too && Text::IsLayoutControl(cp))) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const Text::Encoding prefer : {Text::Encoding::Unknown, Text::Encoding::ShiftJis, Text::Encoding::Latin1}) {
        for (const bool cut : {false, true}) {
            const Text::DecodedText d = Text::DecodeText(bytes, prefer, cut);
            if (!Text::IsUtf8(d.utf8)) std::abort();
            if (!cut && d.encoding == Text::Encoding::Latin1 && d.utf8.size() < size) std::abort();
        }
    }
    const std::string text = Text::DecodeText(bytes, Text::SongEncoding({std::string(bytes)}), size >= 64).utf8;
    CheckClean(Text::CleanText(text, false), false, false);
    CheckClean(Text::CleanText(text, true), true, false);
    CheckClean(Text::EscapeControls(text, true), true, true);
    (void)Text::HasJapanese(text);

    // The raw bytes as a tag's every text, as another tool might hand them over.
    VGM::Gd3Tag tag;
    for (std::string& field : tag.text) field = std::string(bytes);
    const std::vector<std::uint8_t> gd3 = VGM::BuildGd3(tag);
    const VGM::Gd3Reading back = VGM::ParseGd3(gd3.data(), gd3.size());
    if (!back.found || !back.problems.empty()) std::abort();
    for (int f = 0; f < VGM::kGd3FieldCount; ++f) CheckClean(back.tag.text[f], f == VGM::kGd3Notes, false);
    return 0;
}
