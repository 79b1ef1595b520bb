#include "tests/support/vgm_reader.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "vgm/vgm_format.h"

namespace testsupport {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) out += ' ';
        out += buf;
    }
    return out;
}

std::string VgmCommand::Hex() const { return testsupport::Hex(bytes); }

std::string Hex(const std::vector<VgmCommand>& commands) {
    std::string out;
    for (const VgmCommand& c : commands) {
        if (!out.empty()) out += ' ';
        out += c.Hex();
    }
    return out;
}

// Operand count of each command this project writes.
static int OperandCount(std::uint8_t op) {
    switch (op) {
        case VGM::kCmdSn76489Write: return 1;
        case VGM::kCmdYm2612Port0: case VGM::kCmdYm2612Port1: case VGM::kCmdWait: return 2;
        case VGM::kCmdWaitFrame: case VGM::kCmdWaitFrame50: case VGM::kCmdEnd: return 0;
        default: return -1;
    }
}

std::vector<VgmCommand> DecodeStream(const std::vector<std::uint8_t>& stream) {
    std::vector<VgmCommand> out;
    std::size_t i = 0;
    while (i < stream.size()) {
        VgmCommand c;
        const std::uint8_t op = stream[i];
        const int n = OperandCount(op);
        if (n < 0 || i + 1 + n > stream.size()) {
            c.bytes.push_back(op);
            out.push_back(c);
            break;
        }
        c.bytes.assign(stream.begin() + i, stream.begin() + i + 1 + n);
        if (op == VGM::kCmdWait) c.wait = VGM::Get16(&c.bytes[1]);
        if (op == VGM::kCmdWaitFrame) c.wait = VGM::kSamplesPerFrame;
        if (op == VGM::kCmdWaitFrame50) c.wait = VGM::kSamplesPerFrame50;
        out.push_back(c);
        i += 1 + n;
        if (op == VGM::kCmdEnd) break;
    }
    return out;
}

std::uint32_t VgmFile::Field32(std::size_t offset) const {
    if (offset + 4 > bytes.size()) return 0xDEADBEEF;
    return VGM::Get32(&bytes[offset]);
}

std::vector<std::uint8_t> VgmFile::Stream() const {
    if (bytes.size() < VGM::kHeaderSize) return {};
    return std::vector<std::uint8_t>(bytes.begin() + VGM::kHeaderSize, bytes.end());
}

VgmFile ReadVgmFile(const std::string& path) {
    VgmFile f;
    std::ifstream in(path, std::ios::binary);
    if (!in) return f;
    f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    f.ok = !in.bad();
    return f;
}

VgmFile ReadVgzFile(const std::string& path) {
    VgmFile f;
    gzFile gz = gzopen(path.c_str(), "rb");
    if (!gz) return f;
    std::uint8_t buf[65536];
    int n;
    while ((n = gzread(gz, buf, sizeof buf)) > 0) f.bytes.insert(f.bytes.end(), buf, buf + n);
    f.ok = n == 0 && gzclose(gz) == Z_OK;
    if (n != 0) gzclose(gz);
    return f;
}

}  // namespace testsupport
