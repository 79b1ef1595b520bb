#include "fmtool/info/vgm_inspect.h"

#include <algorithm>
#include <cstdio>

#include "smf/smf_score.h"
#include "vgm/vgm_format.h"

namespace fmtool {

namespace {

using VGM::VgmReader;

constexpr std::uint32_t kFirstVersion = 0x100;
constexpr std::uint32_t kLastVersion = 0x171;

std::string Hex(std::uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

std::string Samples(std::uint64_t samples) {
    return std::to_string(samples) + " (" + MIDI::FormatMinutes(static_cast<double>(samples) / VGM::kSampleRate) +
           ")";
}

// A BCD version whose digits are all decimal, within the versions there are.
bool KnownVersion(std::uint32_t v) {
    for (std::uint32_t d = v; d != 0; d >>= 4)
        if ((d & 0xF) > 9) return false;
    return v >= kFirstVersion && v <= kLastVersion;
}

// Follows the commands, the loop point and the chip notes in one pass.
class Pass {
public:
    Pass(VgmInspection& out, std::vector<VGM::ChipNote>* notes)
        : out_(out), notes_(notes), tracker_([this](const VGM::ChipNote& n) { Note(n); }) {}

    void Run(VgmReader& reader) {
        const VGM::VgmHeader& h = reader.header();
        VGM::VgmCommand c;
        while (reader.Next(c)) {
            ++out_.commands;
            tracker_.Command(c.bytes, c.length);
            Pcm(c);
        }
        tracker_.Finish();
        out_.wait_samples = reader.samples();
        const std::uint64_t stop = reader.stop_offset();
        out_.loop_found = reader.loop().found;
        out_.loop_sample = reader.loop().sample;
        const bool loopInside = reader.loop().inside;
        out_.data_read_through = (reader.stop() == VgmReader::Stop::kEndCommand ||
                                  reader.stop() == VgmReader::Stop::kEndOfData) &&
                                 stop >= h.data_start;

        std::vector<std::string>& p = out_.problems;
        switch (reader.stop()) {
        case VgmReader::Stop::kEndCommand: break;
        case VgmReader::Stop::kEndOfData:
            if (stop < h.data_start) {
                p.push_back("data offset points at " + Hex(h.data_start) + ", past the end of the file");
            } else {
                p.push_back(h.gd3_start == stop ? "no end command (0x66) before the GD3 tag"
                                                : "no end command (0x66)");
            }
            break;
        case VgmReader::Stop::kUnknownCommand: {
            char buf[96];
            std::snprintf(buf, sizeof buf, "unknown command 0x%02X at %s; the data after it cannot be read",
                          reader.stop_byte(), Hex(stop).c_str());
            p.push_back(buf);
            break;
        }
        case VgmReader::Stop::kCutShort: p.push_back("the file ends inside the command at " + Hex(stop)); break;
        case VgmReader::Stop::kUnreadable:
        case VgmReader::Stop::kNone: break;
        }
        if (!out_.data_read_through) return;
        CheckLengths(h, stop, loopInside);
    }

private:
    // The DAC's reads of the PCM bank (the YM2612 data blocks, one after
    // another), each checked against the bank's end.
    void Pcm(const VGM::VgmCommand& c) {
        const std::uint8_t op = c.op();
        if (op == VGM::kCmdDataBlock && c.length > 2 && c.bytes[2] == VGM::kDataTypeYm2612Pcm) {
            out_.pcm_bytes += c.block_size;
        } else if (op == VGM::kCmdPcmSeek && c.length >= 5) {
            ++out_.dac_seeks;
            pcm_at_ = VGM::Get32(c.bytes + 1);
        } else if (op >= VGM::kCmdDacWait && op <= VGM::kCmdDacWait + VGM::kMaxDacWait) {
            ++out_.dac_bytes;
            if (pcm_at_++ >= out_.pcm_bytes && !past_bank_) {
                past_bank_ = true;
                out_.problems.push_back("the DAC reads past the end of its PCM data at " + Hex(c.offset));
            }
        }
    }

    void Note(const VGM::ChipNote& n) {
        ChannelSummary& s = out_.channels[n.channel];
        ++s.key_ons;
        s.active_samples += n.Samples();
        for (int note : {n.note, n.pitch_changes ? VGM::NearestMidiNote(n.last_hz) : -1}) {
            if (note < 0) continue;
            s.lowest = s.lowest < 0 ? note : std::min(s.lowest, note);
            s.highest = std::max(s.highest, note);
        }
        if (!notes_) return;
        if (notes_->size() < kMaxCollectedNotes)
            notes_->push_back(n);
        else
            ++out_.notes_left_out;
    }

    // The header's sample counts and loop against what the commands hold.
    void CheckLengths(const VGM::VgmHeader& h, std::uint64_t stop, bool loopInside) {
        std::vector<std::string>& p = out_.problems;
        if (h.total_samples != out_.wait_samples)
            p.push_back("total samples " + Samples(h.total_samples) + ", but the waits add up to " +
                        Samples(out_.wait_samples));
        if (h.loop_start == 0) {
            if (h.loop_samples != 0)
                p.push_back("loop samples " + Samples(h.loop_samples) + " without a loop offset");
            return;
        }
        const std::string at = "loop offset points at " + Hex(h.loop_start);
        if (h.loop_start < h.data_start) {
            p.push_back(at + ", before the sound data");
        } else if (loopInside) {
            p.push_back(at + ", inside a command");
        } else if (!out_.loop_found) {
            p.push_back(at + ", past the end of the sound data at " + Hex(stop));
        } else {
            const std::uint64_t after = out_.wait_samples - out_.loop_sample;
            if (after == 0)
                p.push_back("zero-length loop: no waits after the loop point, a player would hang");
            else if (h.loop_samples != after)
                p.push_back("loop samples " + Samples(h.loop_samples) + ", but the waits after the loop point add up to " +
                            Samples(after));
        }
    }

    VgmInspection& out_;
    std::uint64_t pcm_at_ = 0;  // the DAC's next byte in the PCM bank
    bool past_bank_ = false;
    std::vector<VGM::ChipNote>* notes_;
    VGM::ChipNoteTracker tracker_;
};

void CheckHeader(VgmInspection& out) {
    const VGM::VgmHeader& h = out.header;
    if (!KnownVersion(h.version))
        out.problems.push_back("version " + h.VersionText() + " (" + Hex(h.version) + ") is not one of 1.00 to 1.71");
    if (h.data_offset_zero)
        out.remarks.push_back("data offset is 0 in a " + h.VersionText() + " header; read as 0x40, as players do");
    if (h.data_offset_in_header)
        out.problems.push_back("data offset " + Hex(h.data_offset) + " points inside the header; read from 0x40");
}

void CheckGd3(VgmInspection& out, VgmReader& reader, std::uint64_t dataEnd) {
    const VGM::VgmHeader& h = out.header;
    if (h.gd3_start == 0) return;
    const std::string at = "GD3 offset points at " + Hex(h.gd3_start);
    if (h.gd3_start >= h.data_start && h.gd3_start < dataEnd) {
        out.problems.push_back(at + ", inside the sound data");
        return;
    }
    bool tooLong = false;
    const VGM::Gd3Reading gd3 = reader.ReadGd3(tooLong);
    if (!reader.error().empty()) return;
    if (!gd3.found) {
        const std::uint64_t size = reader.FileSize();
        if (!reader.error().empty()) return;
        out.problems.push_back(at + (h.gd3_start >= size ? ", past the end of the file" : ", where there is no GD3 tag"));
        return;
    }
    out.has_gd3 = true;
    if (tooLong) {
        out.problems.push_back("GD3 tag of " + std::to_string(gd3.length) + " bytes is too long to read");
        return;
    }
    out.gd3 = gd3.tag;
    out.problems.insert(out.problems.end(), gd3.problems.begin(), gd3.problems.end());
}

VgmInspection Inspect(VgmReader& reader, bool opened, std::vector<VGM::ChipNote>* notes) {
    VgmInspection out;
    if (!opened) {
        out.error = reader.error();
        return out;
    }
    out.header = reader.header();
    out.gzip = reader.gzip();
    CheckHeader(out);
    Pass(out, notes).Run(reader);
    const std::uint64_t dataEnd = reader.stop_offset();
    if (reader.stop() != VgmReader::Stop::kUnreadable) CheckGd3(out, reader, dataEnd);
    if (reader.error().empty()) out.file_size = reader.FileSize();
    if (!reader.error().empty()) {
        out.error = reader.error();
        return out;
    }
    out.readable = true;
    const std::uint64_t claimed = std::uint64_t{out.header.eof_offset} + VGM::kOffEof;
    if (claimed != out.file_size)
        out.problems.insert(out.problems.begin(), "EOF offset " + Hex(out.header.eof_offset) + " gives a file of " +
                                                      std::to_string(claimed) + " bytes; it has " +
                                                      std::to_string(out.file_size));
    return out;
}

}  // namespace

VgmInspection InspectVgmFile(const std::string& path, std::vector<VGM::ChipNote>* notes) {
    VgmReader reader;
    const bool opened = reader.Open(path);
    return Inspect(reader, opened, notes);
}

VgmInspection InspectVgmMemory(const std::uint8_t* data, std::size_t size, std::vector<VGM::ChipNote>* notes) {
    VgmReader reader;
    const bool opened = reader.OpenMemory(data, size);
    return Inspect(reader, opened, notes);
}

const char* ChipChannelName(unsigned channel) {
    static const char* const kNames[VGM::kChipChannels] = {"FM 1",     "FM 2",     "FM 3",     "FM 4",
                                                           "FM 5",     "FM 6",     "Square 1", "Square 2",
                                                           "Square 3", "Noise"};
    return channel < VGM::kChipChannels ? kNames[channel] : "?";
}

std::string NoteName(int note) {
    static const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    if (note < 0) return "-";
    return kNames[note % 12] + std::to_string(note / 12 - 1);
}

}  // namespace fmtool
