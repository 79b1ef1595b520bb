// A voice's character in a few words, from its registers, for `fmtool
// voices list`: "bright, fast attack, decays".
#pragma once

#include <string>

#include "instruments/voice_record.h"

namespace fmtool {

// Brightness from the modulators' levels (the loudest modulator that reaches
// a carrier; none: pure, or buzzy with strong feedback), attack from the
// loudest carrier's attack rate, then how its envelope goes on: holds,
// settles (falls to a held level), decays (to silence while held), and a
// long release; vibrato or tremolo where the LFO reaches the voice, SSG-EG,
// and "silent" where every carrier is at total level 127.
std::string VoiceCharacter(const FmVoice& voice, const VoiceExtras& extras);

}  // namespace fmtool
