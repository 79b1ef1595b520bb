#include "instruments/gm_bank.h"

#include "instruments/fminst.h"

// Written by the build from banks/gm.opm (instruments/embed_text.cmake).
extern const char kGmBankText[];
extern const unsigned long kGmBankTextSize;

std::string_view GmBankText() { return std::string_view(kGmBankText, kGmBankTextSize); }

int LoadGmBank(FMInst& bank) {
    const std::string_view text = GmBankText();
    return bank.LoadText(text.data(), text.size());
}

BankLoad LoadBankOrBuiltIn(FMInst& bank, const std::string& path) {
    if (!path.empty()) return LoadBankFile(bank, path.c_str());
    BankLoad load;
    load.built_in = true;
    const std::string_view text = GmBankText();
    load.result = bank.LoadText(text.data(), text.size(), &load.skipped);
    return load;
}
