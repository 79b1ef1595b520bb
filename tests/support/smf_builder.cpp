#include "tests/support/smf_builder.h"

#include "smf/smf_format.h"

namespace testsupport {

using namespace MIDI;

Bytes Vlq(std::uint64_t value) {
    Bytes groups;
    do {
        groups.insert(groups.begin(), static_cast<std::uint8_t>(value & 0x7F));
        value >>= 7;
    } while (value);
    for (std::size_t i = 0; i + 1 < groups.size(); ++i) groups[i] |= 0x80;
    return groups;
}

void AppendBe32(Bytes& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void AppendBe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

TrackBuilder& TrackBuilder::Raw(std::uint64_t delta, std::initializer_list<std::uint8_t> bytes) {
    Bytes d = Vlq(delta);
    data.insert(data.end(), d.begin(), d.end());
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
}

static std::uint8_t Status(int kind, int ch) { return static_cast<std::uint8_t>(kind | (ch & kChannelMask)); }
static std::uint8_t Data(int v) { return static_cast<std::uint8_t>(v); }

TrackBuilder& TrackBuilder::NoteOn(std::uint64_t delta, int ch, int note, int velocity) {
    return Raw(delta, {Status(kNoteOn, ch), Data(note), Data(velocity)});
}
TrackBuilder& TrackBuilder::NoteOff(std::uint64_t delta, int ch, int note, int velocity) {
    return Raw(delta, {Status(kNoteOff, ch), Data(note), Data(velocity)});
}
TrackBuilder& TrackBuilder::Control(std::uint64_t delta, int ch, int controller, int value) {
    return Raw(delta, {Status(kControlChange, ch), Data(controller), Data(value)});
}
TrackBuilder& TrackBuilder::Program(std::uint64_t delta, int ch, int program) {
    return Raw(delta, {Status(kProgramChange, ch), Data(program)});
}
TrackBuilder& TrackBuilder::Bend(std::uint64_t delta, int ch, int bend) {
    const int raw = bend + kPitchBendCentre;
    return Raw(delta, {Status(kPitchBend, ch), Data(raw & 0x7F), Data(raw >> 7)});
}
TrackBuilder& TrackBuilder::Tempo(std::uint64_t delta, std::uint32_t us) {
    return Raw(delta, {kMetaEvent, kMetaSetTempo, 0x03, Data(us >> 16), Data(us >> 8), Data(us)});
}
TrackBuilder& TrackBuilder::Meta(std::uint64_t delta, std::uint8_t type, const Bytes& body) {
    Raw(delta, {kMetaEvent, type});
    Bytes len = Vlq(body.size());
    data.insert(data.end(), len.begin(), len.end());
    data.insert(data.end(), body.begin(), body.end());
    return *this;
}
TrackBuilder& TrackBuilder::Sysex(std::uint64_t delta, const Bytes& body) {
    Raw(delta, {kSystemExclusive});
    Bytes len = Vlq(body.size());
    data.insert(data.end(), len.begin(), len.end());
    data.insert(data.end(), body.begin(), body.end());
    return *this;
}
TrackBuilder& TrackBuilder::EndOfTrack(std::uint64_t delta) { return Raw(delta, {kMetaEvent, kMetaEndOfTrack, 0x00}); }

Bytes BuildSmfRaw(std::uint16_t format, std::uint16_t trackCount, std::uint16_t division,
                  const std::vector<Bytes>& trackData) {
    Bytes out(kHeaderTag, kHeaderTag + 4);
    AppendBe32(out, 6);
    AppendBe16(out, format);
    AppendBe16(out, trackCount);
    AppendBe16(out, division);
    for (const Bytes& t : trackData) {
        out.insert(out.end(), kTrackTag, kTrackTag + 4);
        AppendBe32(out, static_cast<std::uint32_t>(t.size()));
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

Bytes BuildSmf(std::uint16_t format, std::uint16_t division, const std::vector<TrackBuilder>& tracks) {
    std::vector<Bytes> data;
    for (const TrackBuilder& t : tracks) data.push_back(t.data);
    return BuildSmfRaw(format, static_cast<std::uint16_t>(tracks.size()), division, data);
}

}  // namespace testsupport
