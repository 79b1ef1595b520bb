#include "smf/midic.h"

#include <algorithm>
#include <limits>

#include "smf/smf_bytes.h"
#include "smf/smf_format.h"
#include "smf/smf_tempo.h"

namespace MIDI {

namespace {

// Number of data bytes of a channel message, by the status byte's high nibble
// minus 8. The 0xF entry is never used: system and meta events take their own path.
constexpr int eventSize[8] = {2, 2, 2, 2, 1, 1, 2, 2};

// Ticks beyond this are held here: a clock this far out is rejected as too
// long anyway, and holding it keeps every later product inside 64 bits.
constexpr std::uint64_t kTickCeiling = std::uint64_t{1} << 50;

}  // namespace

// Every message of the reader and of the file reading, one per kind of rejection.
const char* SmfMessage(SmfStatus status) {
    switch (status) {
        case SmfStatus::Ok: return "";
        case SmfStatus::OpenError: return "File open error, abort...";
        case SmfStatus::ReadError: return "SMF file read error, abort...";
        case SmfStatus::HeaderIllegal: return "MIDIC: HeaderChunk Illegal, abort...";
        case SmfStatus::HeaderLengthIllegal: return "MIDIC: HeaderChunk Length Illegal, abort...";
        case SmfStatus::DivisionIllegal: return "MIDIC: HeaderChunk Division Illegal, abort...";
        case SmfStatus::TrackIllegal: return "MIDIC: TrackChunk Illegal, abort...";
        case SmfStatus::EndOfFile: return "MIDIC: Unexpected end of file, abort...";
        case SmfStatus::NoRunningStatus: return "MIDIC: Running status without status byte, abort...";
        case SmfStatus::TooLong: return "MIDIC: Song too long, abort...";
    }
    return "";
}

SmfStatus CheckSmfStart(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return SmfStatus::Ok;
    return std::equal(data, data + 4, reinterpret_cast<const std::uint8_t*>(kHeaderTag)) ? SmfStatus::Ok
                                                                                        : SmfStatus::HeaderIllegal;
}

std::unique_ptr<DMIDI> MIDIC::read_smf(const std::uint8_t* data, std::size_t size, unsigned res,
                                       const SmfEventSink& eventSink) {
    resolution = res;
    sink = eventSink ? &eventSink : nullptr;
    auto owned = std::make_unique<DMIDI>();
    song = owned.get();
    SmfCursor in(data, size);
    unsigned trackCount = 0;
    Result r = read_header(in, &trackCount);
    if (r == Result::Ok) r = read_tracks(in, trackCount);
    song = nullptr;
    sink = nullptr;
    last = r;
    if (r != Result::Ok) return nullptr;

    // A lambda lets the comparison inline: the sort is half of the reading time.
    std::stable_sort(owned->events.begin(), owned->events.end(),
                     [](const DMIDI_EVENT& a, const DMIDI_EVENT& b) { return LessClock(a, b); });
    DMIDI_EVENT end;
    end.clock = owned->events.empty() ? 0 : owned->events.back().clock;
    end.channel = kEndChannel;
    end.status = kStatusSystem;
    end.data1 = kEndData;
    end.data2 = kEndData;
    owned->events.push_back(end);
    owned->timebase = resolution;
    return owned;
}

// The header checks run in order on the bytes present; a file that ends
// before a check can be made is reported as cut short.
MIDIC::Result MIDIC::read_header(SmfCursor& in, unsigned* trackCount) {
    if (!in.has(4)) return Result::EndOfFile;
    if (CheckSmfStart(in.here(), 4) != Result::Ok) return Result::HeaderIllegal;
    if (!in.has(8)) return Result::EndOfFile;
    in.skip(4);
    if (!in.matches("\0\0\0\6", 4)) return Result::HeaderLengthIllegal;
    if (!in.has(kHeaderChunkSize - 4)) return Result::EndOfFile;
    in.skip(6);  // length and format: every format is merged alike
    std::uint16_t tracks = 0, division = 0;
    in.be16(tracks);
    in.be16(division);
    *trackCount = tracks;
    // Bit 15 marks SMPTE timing; its low 15 bits are read as ticks per quarter note.
    song->timebase = division & ~kSmpteDivision;
    return song->timebase == 0 ? Result::DivisionIllegal : Result::Ok;
}

MIDIC::Result MIDIC::read_tracks(SmfCursor& in, unsigned trackCount) {
    for (unsigned t = 0; t < trackCount; ++t) {
        track = t;
        if (!in.has(kChunkHeaderSize)) return Result::EndOfFile;
        if (!in.matches(kTrackTag, 4)) return Result::TrackIllegal;
        in.skip(4);
        std::uint32_t length = 0;
        in.be32(length);
        if (!in.has(length)) return Result::EndOfFile;
        const std::size_t end = in.pos() + length;

        Event state;
        // The last event may run past the declared length; the next chunk
        // is then read where that event ended.
        while (in.pos() < end) {
            Result r = parse_deltatime(in, &state);
            if (r == Result::Ok) r = parse_event(in, &state);
            if (r != Result::Ok) return r;
        }
    }
    return Result::Ok;
}

MIDIC::Result MIDIC::parse_deltatime(SmfCursor& in, Event* state) {
    std::uint64_t delta = 0;
    if (!in.vlq(delta)) return Result::EndOfFile;
    state->ticks = std::min(state->ticks + delta, kTickCeiling);
    return Result::Ok;
}

MIDIC::Result MIDIC::parse_event(SmfCursor& in, Event* state) {
    std::uint8_t first = 0;
    if (!in.peek(first)) return Result::EndOfFile;
    if (first == kMetaEvent) return parse_meta(in, state);
    if (first >= kFirstSystemStatus) {
        // System exclusive and other system messages: skipped whole, running
        // status kept.
        in.skip(1);
        std::uint64_t length = 0;
        if (!in.vlq(length) || !in.has(length)) return Result::EndOfFile;
        emit(*state, first, 0, 0, in.here(), static_cast<std::size_t>(length));
        in.skip(length);
        return Result::Ok;
    }

    std::uint8_t status;
    if (first & kStatusBit) {
        status = first;
        state->running_status = first;
        in.skip(1);
    } else if (state->running_status == 0) {
        return Result::NoRunningStatus;
    } else {
        status = static_cast<std::uint8_t>(state->running_status);
    }
    std::uint8_t d1 = 0, d2 = 0;
    if (!in.u8(d1) || (eventSize[(status >> 4) - 8] == 2 && !in.u8(d2))) return Result::EndOfFile;
    emit(*state, status, d1, d2);
    return dmid_append(state->ticks, status, d1, d2);
}

MIDIC::Result MIDIC::parse_meta(SmfCursor& in, Event* state) {
    in.skip(1);
    std::uint8_t type = 0;
    std::uint64_t length = 0;
    if (!in.u8(type) || !in.vlq(length)) return Result::EndOfFile;
    // The tempo is always read from the three bytes after the length field,
    // whatever length the event declares.
    std::uint32_t us = 0;
    if (type == kMetaSetTempo && !SmfCursor(in).be24(us)) return Result::EndOfFile;
    if (!in.has(length)) return Result::EndOfFile;
    emit(*state, kMetaEvent, type, 0, in.here(), static_cast<std::size_t>(length));
    // A tempo of 0 microseconds a beat has no finite BPM: the previous
    // tempo stays in force.
    if (us != 0) {
        const std::uint32_t bpm = TempoToBpm(us);
        const Result r = append(state->ticks, kTempoChannel, kStatusSystem, bpm & 0xFF, (bpm >> 8) & 0xFF);
        if (r != Result::Ok) return r;
    }
    in.skip(length);
    return Result::Ok;
}

void MIDIC::emit(const Event& state, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                 const std::uint8_t* body, std::size_t body_size) const {
    if (sink == nullptr) return;
    SmfRawEvent e;
    e.track = track;
    e.ticks = state.ticks;
    e.status = status;
    e.data1 = data1;
    e.data2 = data2;
    e.body = body;
    e.body_size = body_size;
    (*sink)(e);
}

MIDIC::Result MIDIC::dmid_append(std::uint64_t ticks, int status, int data1, int data2) {
    const auto channel = static_cast<std::uint8_t>(status & kChannelMask);
    const auto kind = static_cast<std::uint8_t>(status & kKindMask);
    if (kind == kPitchBend) {
        const auto bend = static_cast<std::uint16_t>(data2 * 128 + data1 - kPitchBendCentre);
        return append(ticks, channel, kind, bend & 0xFF, bend >> 8);
    }
    return append(ticks, channel, kind, static_cast<std::uint8_t>(data1), static_cast<std::uint8_t>(data2));
}

MIDIC::Result MIDIC::append(std::uint64_t ticks, std::uint8_t channel, std::uint8_t status, std::uint8_t data1,
                            std::uint8_t data2) {
    // Rescale the file's ticks to the target resolution, truncating.
    if (resolution != 0 && ticks > std::numeric_limits<std::uint64_t>::max() / resolution) return Result::TooLong;
    const std::uint64_t scaled = ticks * resolution / song->timebase;
    if (scaled > std::numeric_limits<std::uint32_t>::max()) return Result::TooLong;
    DMIDI_EVENT e;
    e.clock = static_cast<std::uint32_t>(scaled);
    e.channel = channel;
    e.status = status;
    e.data1 = data1;
    e.data2 = data2;
    song->events.push_back(e);
    return Result::Ok;
}

DMIDI* MIDIC::convert_clock_to_frame(DMIDI* s, unsigned fps) {
    last = Result::Ok;
    if (s->events.empty()) return s;

    // First pass: ticks to milliseconds through the tempo map. Each time is
    // taken from the last tempo change, so truncation does not pile up. The
    // arithmetic is 64-bit; a time that does not fit a clock is far too long.
    std::uint64_t tempo = 120, changeTick = 0, changeMs = 0;
    for (DMIDI_EVENT& e : s->events) {
        const std::uint64_t divisor = std::uint64_t{s->timebase} * tempo;
        const std::uint64_t since = e.clock >= changeTick ? e.clock - changeTick : 0;
        const std::uint64_t t = changeMs + (divisor ? since * 60000 / divisor : 0);
        if (t > std::numeric_limits<std::uint32_t>::max()) {
            last = Result::TooLong;
            return nullptr;
        }
        if (e.is_tempo()) {
            tempo = e.tempo();
            changeTick = e.clock;
            changeMs = t;
        }
        e.clock = static_cast<std::uint32_t>(t);
    }

    // Second pass: milliseconds to frames. A song whose sample count would
    // not fit the VGM header is refused.
    for (DMIDI_EVENT& e : s->events) {
        const std::uint64_t frame = std::uint64_t{e.clock} * fps / 1000;
        if (frame > kMaxEndFrame) {
            last = Result::TooLong;
            return nullptr;
        }
        e.clock = static_cast<std::uint32_t>(frame);
    }
    return s;
}

}  // namespace MIDI
