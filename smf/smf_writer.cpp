#include "smf/smf_writer.h"

#include <algorithm>

#include "smf/smf_format.h"

namespace MIDI {

namespace {

void AppendBe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Byte by byte: GCC 12's -O3 takes a range insert into the still empty vector
// for an overflow (a false -Wstringop-overflow).
void AppendTag(std::vector<std::uint8_t>& out, const char (&tag)[4]) {
    for (char c : tag) out.push_back(static_cast<std::uint8_t>(c));
}

// Program change and channel pressure carry one data byte, the rest two.
bool HasTwoDataBytes(std::uint8_t status) {
    const std::uint8_t kind = status & kKindMask;
    return kind != kProgramChange && kind != kChannelPressure;
}

std::vector<std::uint8_t> TrackData(const SmfTrack& track) {
    std::vector<std::uint8_t> data;
    std::uint64_t now = 0;
    std::uint8_t running = 0;
    for (const SmfEvent& e : track.events) {
        const std::uint64_t tick = std::max(now, e.tick);
        AppendVlq(data, tick - now);
        now = tick;
        if (e.status == kMetaEvent) {
            data.push_back(kMetaEvent);
            data.push_back(e.data1);
            AppendVlq(data, e.body.size());
            data.insert(data.end(), e.body.begin(), e.body.end());
            running = 0;
            continue;
        }
        if (e.status != running) data.push_back(e.status);
        running = e.status;
        data.push_back(e.data1 & 0x7F);
        if (HasTwoDataBytes(e.status)) data.push_back(e.data2 & 0x7F);
    }
    AppendVlq(data, std::max(now, track.end_tick) - now);
    data.push_back(kMetaEvent);
    data.push_back(kMetaEndOfTrack);
    data.push_back(0);
    return data;
}

}  // namespace

void AppendVlq(std::vector<std::uint8_t>& out, std::uint64_t value) {
    std::uint8_t groups[10];
    int n = 0;
    do {
        groups[n++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

std::vector<std::uint8_t> WriteSmf(std::uint16_t format, std::uint16_t division, const std::vector<SmfTrack>& tracks) {
    std::vector<std::uint8_t> out;
    AppendTag(out, kHeaderTag);
    AppendBe(out, kHeaderChunkSize - kChunkHeaderSize, 4);
    AppendBe(out, format, 2);
    AppendBe(out, tracks.size(), 2);
    AppendBe(out, division, 2);
    for (const SmfTrack& track : tracks) {
        const std::vector<std::uint8_t> data = TrackData(track);
        AppendTag(out, kTrackTag);
        AppendBe(out, data.size(), 4);
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

}  // namespace MIDI
