#include "vgm/vgm_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "vgm/vgm_format.h"

namespace VGM {

namespace {


constexpr std::uint32_t kClockMask = 0x3FFFFFFF;
constexpr std::uint32_t kDualBit = 0x40000000;
constexpr std::uint32_t kVariantBit = 0x80000000;

constexpr std::size_t kOffVolumeModifier = 0x7C;  // 1.60
constexpr std::size_t kOffLoopBase = 0x7E;        // 1.60
constexpr std::size_t kOffLoopModifier = 0x7F;    // 1.51
constexpr std::size_t kOffSnFlags = 0x2B;         // 1.51

// The lengths of the commands of VGM 1.71, command byte included: one
// operand byte for 0x30-0x3F and 0x4F-0x50, two for 0x40-0x4E, 0x51-0x5F and
// 0xA0-0xBF, three for 0xC0-0xDF, four for 0xE0-0xFF; the waits 0x61 (two),
// 0x62, 0x63 and 0x7n, the DAC writes 0x8n, the end 0x66, the data block head
// 0x67 (six), the PCM RAM write 0x68 (eleven), the DAC stream controls 0x90-0x95.
// Everything else is undefined (0).
constexpr std::array<std::uint8_t, 256> MakeLengths() {
    std::array<std::uint8_t, 256> t{};
    for (int op = 0x30; op <= 0x3F; ++op) t[op] = 2;
    for (int op = 0x40; op <= 0x4E; ++op) t[op] = 3;
    t[0x4F] = 2;
    t[0x50] = 2;
    for (int op = 0x51; op <= 0x5F; ++op) t[op] = 3;
    t[0x61] = 3;
    t[0x62] = 1;
    t[0x63] = 1;
    t[0x66] = 1;
    t[0x67] = kDataBlockHead;
    t[0x68] = 12;
    for (int op = 0x70; op <= 0x8F; ++op) t[op] = 1;
    const std::uint8_t stream[6] = {5, 5, 6, 11, 2, 5};
    for (int i = 0; i < 6; ++i) t[0x90 + i] = stream[i];
    for (int op = 0xA0; op <= 0xBF; ++op) t[op] = 3;
    for (int op = 0xC0; op <= 0xDF; ++op) t[op] = 4;
    for (int op = 0xE0; op <= 0xFF; ++op) t[op] = 5;
    return t;
}
constexpr std::array<std::uint8_t, 256> kLengths = MakeLengths();

struct ChipField {
    std::size_t offset;
    const char* name;
    std::uint32_t since;    // the version that brought the field
    const char* variant;    // the chip bit 31 stands for, or null
};

const ChipField kChipFields[] = {
    {0x0C, "SN76489", 0x100, "T6W28"}, {0x10, "YM2413", 0x100, nullptr},
    {0x2C, "YM2612", 0x110, nullptr},  {0x30, "YM2151", 0x110, nullptr},
    {0x38, "Sega PCM", 0x151, nullptr}, {0x40, "RF5C68", 0x151, nullptr},
    {0x44, "YM2203", 0x151, nullptr},  {0x48, "YM2608", 0x151, nullptr},
    {0x4C, "YM2610", 0x151, "YM2610B"}, {0x50, "YM3812", 0x151, nullptr},
    {0x54, "YM3526", 0x151, nullptr},  {0x58, "Y8950", 0x151, nullptr},
    {0x5C, "YMF262", 0x151, nullptr},  {0x60, "YMF278B", 0x151, nullptr},
    {0x64, "YMF271", 0x151, nullptr},  {0x68, "YMZ280B", 0x151, nullptr},
    {0x6C, "RF5C164", 0x151, nullptr}, {0x70, "PWM", 0x151, nullptr},
    {0x74, "AY8910", 0x151, nullptr},  {0x80, "Game Boy DMG", 0x161, nullptr},
    {0x84, "NES APU", 0x161, nullptr}, {0x88, "MultiPCM", 0x161, nullptr},
    {0x8C, "uPD7759", 0x161, nullptr}, {0x90, "OKIM6258", 0x161, nullptr},
    {0x98, "OKIM6295", 0x161, nullptr}, {0x9C, "K051649", 0x161, nullptr},
    {0xA0, "K054539", 0x161, nullptr}, {0xA4, "HuC6280", 0x161, nullptr},
    {0xA8, "C140", 0x161, nullptr},    {0xAC, "K053260", 0x161, nullptr},
    {0xB0, "Pokey", 0x161, nullptr},   {0xB4, "QSound", 0x161, nullptr},
    {0xB8, "SCSP", 0x171, nullptr},    {0xC0, "WonderSwan", 0x171, nullptr},
    {0xC4, "VSU", 0x171, nullptr},     {0xC8, "SAA1099", 0x171, nullptr},
    {0xCC, "ES5503", 0x171, nullptr},  {0xD0, "ES5506", 0x171, nullptr},
    {0xD8, "X1-010", 0x171, nullptr},  {0xDC, "C352", 0x171, nullptr},
    {0xE0, "GA20", 0x171, nullptr},
};

constexpr std::uint32_t kVersionRate = 0x101;
constexpr std::uint32_t kVersionSnFields = 0x110;
constexpr std::uint32_t kVersionDataOffset = 0x150;
constexpr std::uint32_t kVersion151 = 0x151;
constexpr std::uint32_t kVersion160 = 0x160;

// Samples waited by the one-byte waits: 0x62, 0x63, 0x7n (n + 1) and the DAC
// writes 0x8n (n). The wait 0x61 carries its count in its operands.
constexpr std::array<std::uint16_t, 256> MakeWaits() {
    std::array<std::uint16_t, 256> t{};
    t[kCmdWaitFrame] = kSamplesPerFrame;
    t[kCmdWaitFrame50] = kSamplesPerFrame50;
    for (int n = 0; n < 16; ++n) {
        t[kCmdWaitShort + n] = static_cast<std::uint16_t>(n + 1);
        t[kCmdDacWait + n] = static_cast<std::uint16_t>(n);
    }
    return t;
}
constexpr std::array<std::uint16_t, 256> kWaits = MakeWaits();

}  // namespace

std::size_t VgmCommandLength(std::uint8_t op) { return kLengths[op]; }

std::uint32_t VgmHeader::Field32(std::size_t offset) const {
    return offset + 4 <= size ? Get32(bytes + offset) : 0;
}

std::string VgmHeader::VersionText() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%X.%02X", version >> 8, version & 0xFF);
    return buf;
}

const std::string& VgmReader::error() const { return error_.empty() ? stream_.error() : error_; }

bool VgmReader::Open(const std::string& path) { return stream_.OpenFile(path) && ReadHeader(); }

bool VgmReader::OpenMemory(const std::uint8_t* data, std::size_t size) {
    return stream_.OpenMemory(data, size) && ReadHeader();
}

bool VgmReader::ReadHeader() {
    VgmHeader& h = header_;
    h.size = stream_.Read(h.bytes, kHeaderSize);
    if (!stream_.error().empty()) return false;
    if (h.size < 4 || std::memcmp(h.bytes, kIdent, 4) != 0) {
        error_ = "is not a VGM file";
        return false;
    }
    if (h.size < kHeaderSize) {
        error_ = "ends inside the VGM header";
        return false;
    }
    h.version = Get32(h.bytes + kOffVersion);
    h.eof_offset = Get32(h.bytes + kOffEof);
    h.gd3_offset = Get32(h.bytes + kOffGd3);
    h.total_samples = Get32(h.bytes + kOffTotalSamples);
    h.loop_offset = Get32(h.bytes + kOffLoopOffset);
    h.loop_samples = Get32(h.bytes + kOffLoopSamples);

    h.data_start = kHeaderSize;
    if (h.version >= kVersionDataOffset) {
        h.data_offset = Get32(h.bytes + kOffDataOffset);
        if (h.data_offset == 0) {
            h.data_offset_zero = true;
        } else if (kOffDataOffset + std::uint64_t{h.data_offset} < kHeaderSize) {
            h.data_offset_in_header = true;
        } else {
            h.data_start = kOffDataOffset + std::uint64_t{h.data_offset};
        }
    }
    // The rest of the header, as far as the data start.
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(h.data_start, VgmHeader::kMaxSize));
    h.size += stream_.Read(h.bytes + h.size, want - h.size);
    if (!stream_.error().empty()) return false;

    const auto has = [&h](std::size_t offset, std::size_t width, std::uint32_t since) {
        return h.version >= since && offset + width <= h.size;
    };
    if (has(kOffRate, 4, kVersionRate)) h.rate = Get32(h.bytes + kOffRate);
    if (has(kOffSn76489Feedback, 2, kVersionSnFields)) h.sn_feedback = Get16(h.bytes + kOffSn76489Feedback);
    if (has(kOffSn76489ShiftWidth, 1, kVersionSnFields)) h.sn_shift_width = h.bytes[kOffSn76489ShiftWidth];
    if (has(kOffSnFlags, 1, kVersion151)) h.sn_flags = h.bytes[kOffSnFlags];
    if (has(kOffVolumeModifier, 1, kVersion160)) h.volume_modifier = h.bytes[kOffVolumeModifier];
    if (has(kOffLoopBase, 1, kVersion160)) h.loop_base = h.bytes[kOffLoopBase];
    if (has(kOffLoopModifier, 1, kVersion151)) h.loop_modifier = h.bytes[kOffLoopModifier];
    for (const ChipField& f : kChipFields) {
        if (!has(f.offset, 4, f.since)) continue;
        const std::uint32_t raw = Get32(h.bytes + f.offset);
        if ((raw & kClockMask) == 0) continue;
        VgmChip chip;
        chip.name = f.variant && (raw & kVariantBit) ? f.variant : f.name;
        chip.offset = f.offset;
        chip.clock = raw & kClockMask;
        chip.dual = (raw & kDualBit) != 0;
        h.chips.push_back(chip);
    }
    if (h.loop_offset != 0) h.loop_start = kOffLoopOffset + std::uint64_t{h.loop_offset};
    if (h.gd3_offset != 0) h.gd3_start = kOffGd3 + std::uint64_t{h.gd3_offset};
    gd3_after_data_ = h.gd3_start > h.data_start ? h.gd3_start : 0;

    // On to the first command; a file that ends first has no sound data.
    stream_.Skip(h.data_start - stream_.position());
    return stream_.error().empty();
}

bool VgmReader::Next(VgmCommand& c) {
    if (stop_ != Stop::kNone) return false;
    const auto halt = [this](Stop why) {
        stop_ = why;
        stop_offset_ = stream_.position();
        return false;
    };
    const std::uint8_t* p;
    // Sound data without an end command runs into the tag; an offset that
    // points at anything else is the header's fault, not the data's.
    if (stream_.position() == gd3_after_data_ && stream_.Peek(4, p) == 4 && std::memcmp(p, kGd3Ident, 4) == 0)
        return halt(Stop::kEndOfData);
    // One look at as many bytes as the longest command: fewer only at the end.
    const std::size_t got = stream_.Peek(VgmCommand::kMaxLength, p);
    if (got == 0) return halt(stream_.error().empty() ? Stop::kEndOfData : Stop::kUnreadable);
    const std::uint8_t op = p[0];
    const std::size_t length = kLengths[op];
    if (length == 0) {
        stop_byte_ = op;
        return halt(Stop::kUnknownCommand);
    }
    const std::uint64_t loop = header_.loop_start;
    const bool loop_open = loop != 0 && !loop_.found && !loop_.inside;
    if (op == kCmdEnd) {
        if (loop_open && stream_.position() == loop) loop_ = {true, false, samples_};
        return halt(Stop::kEndCommand);
    }
    if (loop_open && stream_.position() >= loop) {
        if (stream_.position() == loop)
            loop_ = {true, false, samples_};
        else
            loop_.inside = true;
    }
    if (got < length) return halt(stream_.error().empty() ? Stop::kCutShort : Stop::kUnreadable);

    c.offset = stream_.position();
    c.sample = samples_;
    c.length = static_cast<std::uint8_t>(length);
    // A copy of fixed size is a few moves; the bytes past `length` are not used.
    if (got == VgmCommand::kMaxLength)
        std::memcpy(c.bytes, p, VgmCommand::kMaxLength);
    else
        std::memcpy(c.bytes, p, length);
    c.wait = op == kCmdWait ? Get16(p + 1) : kWaits[op];
    c.block_size = op == kCmdDataBlock ? Get32(p + 3) & kDataBlockSizeMask : 0;
    stream_.Consume(length);
    if (c.block_size != 0 && stream_.Skip(c.block_size) < c.block_size) {
        stop_offset_ = c.offset;
        stop_ = stream_.error().empty() ? Stop::kCutShort : Stop::kUnreadable;
        return false;
    }
    samples_ += c.wait;
    return true;
}

Gd3Reading VgmReader::ReadGd3(bool& too_long) {
    too_long = false;
    const std::uint64_t at = header_.gd3_start;
    if (at == 0 || !stream_.Seek(at)) return {};
    std::uint8_t head[kGd3HeaderSize];
    const std::size_t got = stream_.Read(head, sizeof head);
    if (got < kGd3HeaderSize) return ParseGd3(head, got);
    const std::uint32_t length = Get32(head + 8);
    if (length > kMaxGd3Bytes) {
        too_long = true;
        Gd3Reading unread;
        unread.found = std::memcmp(head, kGd3Ident, 4) == 0;
        unread.version = Get32(head + 4);
        unread.length = length;
        return unread;
    }
    std::vector<std::uint8_t> tag(kGd3HeaderSize + length);
    std::memcpy(tag.data(), head, kGd3HeaderSize);
    const std::size_t body = stream_.Read(tag.data() + kGd3HeaderSize, length);
    return ParseGd3(tag.data(), kGd3HeaderSize + body);
}

}  // namespace VGM
