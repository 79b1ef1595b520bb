#include "vgm/vgmout.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "vgm/vgm_format.h"

thread_local std::uint8_t fm_block[2][256] = {};

namespace {

using namespace VGM;

// The EOF field counts from offset 4; the loop field counts from its own offset.
constexpr std::uint32_t kEofBias = kHeaderSize - kOffEof;
constexpr std::uint32_t kLoopBias = kHeaderSize - kOffLoopOffset;

}  // namespace

VGMOUT::VGMOUT(std::uint64_t limit) : stream_limit(limit) {
    std::memset(header, 0, sizeof header);
    std::memcpy(header + kOffIdent, kIdent, sizeof kIdent);
    Put32(header + kOffVersion, kVersion150);
    Put32(header + kOffSn76489Clock, kSn76489Clock);
    Put32(header + kOffRate, kRateNtsc);
    Put16(header + kOffSn76489Feedback, kSn76489Feedback);
    header[kOffSn76489ShiftWidth] = kSn76489ShiftWidth;
    Put32(header + kOffYm2612Clock, kYm2612Clock);
}

void VGMOUT::WriteRegOpn2(std::uint32_t port, std::uint32_t reg, std::uint32_t data) {
    const std::uint32_t bank = port & 1;
    const std::uint8_t r = static_cast<std::uint8_t>(reg);
    const std::uint8_t d = static_cast<std::uint8_t>(data);
    Append({static_cast<std::uint8_t>(kCmdYm2612Port0 + bank), r, d});
    fm_block[bank][r] = d;
}

void VGMOUT::WriteRegDcsg(std::uint32_t data) {
    Append({kCmdSn76489Write, static_cast<std::uint8_t>(data)});
}

void VGMOUT::WritePcmBlock(const std::vector<std::uint8_t>& bytes) {
    const std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
    if (full || bytes.size() > stream_limit || size > kDataBlockSizeMask) {
        full = true;
        return;
    }
    Append({kCmdDataBlock, kDataBlockCompat, kDataTypeYm2612Pcm, static_cast<std::uint8_t>(size),
            static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size >> 16),
            static_cast<std::uint8_t>(size >> 24)});
    if (full) return;
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    if (stream.size() > stream_limit) full = true;
}

void VGMOUT::WritePcmSeek(std::uint32_t offset) {
    Append({kCmdPcmSeek, static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8),
            static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 24)});
}

void VGMOUT::WriteDacAndWait(std::uint32_t samples) {
    if (samples > kMaxDacWait) samples = kMaxDacWait;
    Append({static_cast<std::uint8_t>(kCmdDacWait + samples)});
    AddSamples(samples);
}

void VGMOUT::Append(std::initializer_list<std::uint8_t> bytes) {
    if (full) return;
    stream.insert(stream.end(), bytes);
    if (stream.size() > stream_limit) full = true;
}

void VGMOUT::AddSamples(std::uint32_t samples) {
    if (samples > UINT32_MAX - total_samples) samples_overflow = true;
    total_samples += samples;
}

void VGMOUT::WriteWait(std::uint32_t samples) {
    while (samples > kMaxWait) {
        Append({kCmdWait, 0xFF, 0xFF});
        AddSamples(kMaxWait);
        samples -= kMaxWait;
    }
    Append({kCmdWait, static_cast<std::uint8_t>(samples), static_cast<std::uint8_t>(samples >> 8)});
    AddSamples(samples);
}

void VGMOUT::WriteWait_60() {
    Append({kCmdWaitFrame});
    AddSamples(kSamplesPerFrame);
}

void VGMOUT::WriteWait_50() {
    Append({kCmdWaitFrame50});
    AddSamples(kSamplesPerFrame50);
}

void VGMOUT::SetLoopHere() {
    // A stream this long cannot be saved anyway; Image() refuses it.
    loop_offset = static_cast<std::uint32_t>(stream.size());
    loop_start_samples = total_samples;
}

void VGMOUT::WriteEndMarker() { Append({kCmdEnd}); }

bool VGMOUT::StreamFitsHeader(std::size_t length) {
    return length <= kMaxStreamSize;
}

std::vector<std::uint8_t> VGMOUT::Image() const {
    std::vector<std::uint8_t> image;
    if (Full() || !StreamFitsHeader(stream.size())) return image;
    image.reserve(kHeaderSize + stream.size());
    image.assign(header, header + kHeaderSize);
    std::uint8_t* h = image.data();
    Put32(h + kOffEof, static_cast<std::uint32_t>(stream.size()) + kEofBias);
    Put32(h + kOffTotalSamples, total_samples);
    // A loop of no samples (recorded after the last wait) makes players spin
    // forever, so it is saved as no loop at all.
    const std::uint32_t loop_samples = total_samples - loop_start_samples;
    if (loop_offset != 0 && loop_samples != 0) {
        Put32(h + kOffLoopOffset, loop_offset + kLoopBias);
        Put32(h + kOffLoopSamples, loop_samples);
    }
    Put32(h + kOffDataOffset, 0);
    image.insert(image.end(), stream.begin(), stream.end());
    return image;
}

VGM::SaveResult VGMOUT::Save(const char* /*name*/) {
    const std::vector<std::uint8_t> image = Image();
    if (image.empty()) return VGM::SaveResult::TooLarge;
    std::memcpy(header, image.data(), kHeaderSize);
    return VGM::SaveImage(image, {{"test.vgm", false}, {"test.vgz", true}});
}

void VGMOUT::PtrintAllRegister() {
    for (int bank = 0; bank < 2; ++bank) {
        std::printf("== BANK %d ==\n", bank);
        std::puts("       0   1   2   3   4   5   6   7   8   9   A   B   C   D   E   F");
        for (int row = 0; row < 256; row += 16) {
            std::printf("%02X : ", row);
            for (int reg = row; reg < row + 16; ++reg) std::printf("%03d ", fm_block[bank][reg]);
            std::putchar('\n');
        }
    }
    std::putchar('\n');
}
