// How `fmtool info` shows what it found in a VGM file: as text for people,
// or as JSON for scripts.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "fmtool/info/vgm_inspect.h"

namespace fmtool {

// The text report of one readable file, ending with "valid" or the number of
// problems, each problem on its own line.
void WriteInfoText(std::ostream& out, const std::string& name, const VgmInspection& info);

// One JSON object per file, in an array. An unreadable file is an object with
// its "error".
void WriteInfoJson(std::ostream& out, const std::vector<std::string>& names,
                   const std::vector<VgmInspection>& infos);

}  // namespace fmtool
