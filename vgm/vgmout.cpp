#include "vgm/vgmout.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "vgm/vgm_format.h"

std::uint8_t fm_block[2][256] = {};

namespace {

using namespace VGM;

// The EOF field counts from offset 4; the loop field counts from its own offset.
constexpr std::uint32_t kEofBias = kHeaderSize - kOffEof;
constexpr std::uint32_t kLoopBias = kHeaderSize - kOffLoopOffset;

const char* const kVgmName = "test.vgm";
const char* const kVgzName = "test.vgz";

// gzwrite takes an int-sized length; larger images go in slices of this size.
constexpr std::size_t kGzSlice = 1u << 30;

// Creates a fresh temporary file next to `target` with `open` (which must
// create exclusively, so nothing already there is ever followed or reused).
// Returns the handle, or null with `tmp` empty.
template <typename Handle, typename Open>
Handle CreateTemp(const char* target, std::string& tmp, Open open) {
    const std::string base = std::string(target) + ".tmp-" + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = base + std::to_string(attempt);
        errno = 0;
        if (Handle h = open(tmp.c_str())) return h;
        if (errno != EEXIST) break;
    }
    tmp.clear();
    return nullptr;
}

bool WritePlainTemp(const std::vector<std::uint8_t>& image, std::string& tmp) {
    std::FILE* f = CreateTemp<std::FILE*>(kVgmName, tmp, [](const char* n) {
        return std::fopen(n, "wbx");
    });
    if (!f) return false;
    const bool written = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

bool WriteGzipTemp(const std::vector<std::uint8_t>& image, std::string& tmp) {
    gzFile gz = CreateTemp<gzFile>(kVgzName, tmp, [](const char* n) {
        return gzopen(n, "wbx");
    });
    if (!gz) return false;
    bool written = true;
    for (std::size_t pos = 0; written && pos < image.size(); pos += kGzSlice) {
        const std::size_t len = std::min(kGzSlice, image.size() - pos);
        written = gzwrite(gz, image.data() + pos, static_cast<unsigned>(len)) ==
                  static_cast<int>(len);
    }
    const bool closed = gzclose(gz) == Z_OK;
    return written && closed;
}

// rename() cannot put a file where a directory stands; finding that out
// before the first rename keeps both earlier files as they were.
bool TargetIsDirectory(const char* target) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::symlink_status(target, ec));
}

void RemoveTemp(const std::string& tmp) {
    if (!tmp.empty()) std::remove(tmp.c_str());
}

}  // namespace

VGMOUT::VGMOUT() {
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
    stream.push_back(static_cast<std::uint8_t>(kCmdYm2612Port0 + bank));
    stream.push_back(r);
    stream.push_back(d);
    fm_block[bank][r] = d;
}

void VGMOUT::WriteRegDcsg(std::uint32_t data) {
    stream.push_back(kCmdSn76489Write);
    stream.push_back(static_cast<std::uint8_t>(data));
}

void VGMOUT::AddSamples(std::uint32_t samples) {
    if (samples > UINT32_MAX - total_samples) samples_overflow = true;
    total_samples += samples;
}

void VGMOUT::WriteWait(std::uint32_t samples) {
    while (samples > kMaxWait) {
        stream.insert(stream.end(), {kCmdWait, 0xFF, 0xFF});
        AddSamples(kMaxWait);
        samples -= kMaxWait;
    }
    stream.insert(stream.end(), {kCmdWait, static_cast<std::uint8_t>(samples),
                                 static_cast<std::uint8_t>(samples >> 8)});
    AddSamples(samples);
}

void VGMOUT::WriteWait_60() {
    stream.push_back(kCmdWaitFrame);
    AddSamples(kSamplesPerFrame);
}

void VGMOUT::WriteWait_50() {
    stream.push_back(kCmdWaitFrame50);
    AddSamples(kSamplesPerFrame50);
}

void VGMOUT::SetLoopHere() {
    // A stream this long cannot be saved anyway; Image() refuses it.
    loop_offset = static_cast<std::uint32_t>(stream.size());
    loop_start_samples = total_samples;
}

void VGMOUT::WriteEndMarker() { stream.push_back(kCmdEnd); }

bool VGMOUT::StreamFitsHeader(std::size_t length) {
    return length <= UINT32_MAX - kEofBias;
}

std::vector<std::uint8_t> VGMOUT::Image() const {
    std::vector<std::uint8_t> image;
    if (!StreamFitsHeader(stream.size()) || samples_overflow) return image;
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

bool VGMOUT::Save(const char* /*name*/) {
    const std::vector<std::uint8_t> image = Image();
    if (image.empty()) return false;
    std::memcpy(header, image.data(), kHeaderSize);

    std::string vgm_tmp, vgz_tmp;
    bool ok = WritePlainTemp(image, vgm_tmp) && WriteGzipTemp(image, vgz_tmp) &&
              !TargetIsDirectory(kVgmName) && !TargetIsDirectory(kVgzName);
    if (ok && std::rename(vgm_tmp.c_str(), kVgmName) == 0) {
        vgm_tmp.clear();
        ok = std::rename(vgz_tmp.c_str(), kVgzName) == 0;
        if (ok) vgz_tmp.clear();
    } else {
        ok = false;
    }
    RemoveTemp(vgm_tmp);
    RemoveTemp(vgz_tmp);
    return ok;
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
