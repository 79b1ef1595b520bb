// The bank `fmtool voices rip` writes: the ripped voices as programs 0, 1, ...
// in order of first use, each with a comment on where it was heard.
#pragma once

#include <string>
#include <vector>

#include "instruments/voice_record.h"
#include "vgm/voice_rip.h"

namespace fmtool {

// At most 128 voices (the first used); `warnings` says when there were more.
// Names are the song's file stem and the program ("stage1 3").
VoiceBank BankFromRip(const VGM::VoiceRip& rip, const std::string& song, std::vector<std::string>& warnings);

// "first heard on FM 2 at 0:12.3; 45 notes, on FM 2, FM 3"
std::string RipComment(const VGM::RippedVoice& voice);

}  // namespace fmtool
