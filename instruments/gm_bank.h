// The General MIDI bank (banks/gm.opm), built into the program so that the
// companion tool needs no bank file.
#pragma once

#include <string>
#include <string_view>

class FMInst;

// The text of banks/gm.opm as it was when the program was built.
std::string_view GmBankText();
// Loads the built-in bank into `bank`; returns FMInst::Load's result.
int LoadGmBank(FMInst& bank);

struct BankLoad;
// The bank a companion command plays with: the file at `path`, or the
// built-in bank when `path` is empty.
BankLoad LoadBankOrBuiltIn(FMInst& bank, const std::string& path);
