// The two forms of a loss report: plain text for the musician, JSON for tools.
#pragma once

#include <ostream>
#include <string>

#include "fmtool/check/loss_report.h"

namespace fmtool {

// Channel by channel, worst first, each finding with its count and first
// place ("first at 0:05.2, bar 3 beat 2"), then the song-wide findings, and
// last the line "N of M notes will be heard (P %)".
void WriteReportText(std::ostream& out, const LossReport& report);

// The same findings as one JSON object:
// {"notes": M, "heard": N, "percent": P, "loses_anything": bool,
//  "chip_channels": {"fm1": n, ... "square1": n, ... "noise": n},
//  "channels": [{"channel": 1-16, "plays": "FM 1", "notes": n, "heard": n, "findings": [...]}],
//  "song": [...]}
// where a finding is {"kind", "severity" ("lost", "changed", "info"), "count",
// "program" or "controller" where it has one, "first": {"seconds", "time",
// "bar", "beat"}, "percent" and "seconds" for the song-wide measures, "text"}.
// chip_channels counts the stretches of sound of a frame or more on each chip
// channel, as the decoded output holds them.
void WriteReportJson(std::ostream& out, const LossReport& report);

// "N of M notes will be heard (P %)"
std::string SummaryLine(const LossReport& report);

}  // namespace fmtool
