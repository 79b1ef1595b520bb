// The OPM text parser behind FMInst::Load.
#pragma once

#include <vector>

#include "instruments/fminst.h"

// Parses the text [first, last) into bank and returns FMInst::kLoadOk when the
// whole text matches, FMInst::kLoadSyntaxError otherwise. Voices written
// before matching stopped keep their new values. Each line read with a wrong
// value count is added to `skipped` when it is given. Every load keeps its
// state to itself (the grammar's object ids are Boost Spirit's own, shared
// unless BOOST_SPIRIT_THREADSAFE is defined: loads on two threads at once
// need it).
int ParseOpmText(FMInst& bank, const char* first, const char* last, std::vector<OpmLine>* skipped = nullptr);
