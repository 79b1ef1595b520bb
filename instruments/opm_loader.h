// The OPM text parser behind FMInst::Load.
#pragma once

class FMInst;

// Parses the text [first, last) into bank and returns FMInst::kLoadOk when the
// whole text matches, FMInst::kLoadSyntaxError otherwise. Voices written
// before matching stopped keep their new values. Not reentrant.
int ParseOpmText(FMInst& bank, const char* first, const char* last);
