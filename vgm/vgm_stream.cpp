#include "vgm/vgm_stream.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace VGM {

namespace {

constexpr std::size_t kWindowSize = 64 * 1024;
constexpr std::size_t kRawChunk = 64 * 1024;
constexpr std::uint8_t kGzipMagic[2] = {0x1F, 0x8B};
// zlib's window bits for a gzip wrapper only (16 + the largest window).
constexpr int kGzipWindowBits = 16 + MAX_WBITS;

std::string Megabytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

struct VgmStream::Inflater {
    z_stream z{};
    bool ready = false;
    bool member_ended = false;
    std::unique_ptr<std::uint8_t[]> in{new std::uint8_t[kRawChunk]};

    Inflater() { ready = inflateInit2(&z, kGzipWindowBits) == Z_OK; }
    ~Inflater() {
        if (ready) inflateEnd(&z);
    }
};

VgmStream::VgmStream(std::uint64_t max_bytes)
    : max_bytes_(max_bytes), window_(new std::uint8_t[kWindowSize]) {}

VgmStream::~VgmStream() {
    if (file_) std::fclose(file_);
}

void VgmStream::Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    eof_ = true;
    begin_ = end_ = 0;
}

bool VgmStream::OpenFile(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        Fail("cannot be opened");
        return false;
    }
    struct stat st;
    if (fstat(fileno(file_), &st) != 0 || S_ISDIR(st.st_mode)) {
        Fail(S_ISDIR(st.st_mode) ? "is a directory" : "cannot be read");
        return false;
    }
    size_known_ = S_ISREG(st.st_mode);
    plain_size_ = size_known_ ? static_cast<std::uint64_t>(st.st_size) : 0;
    return Start();
}

bool VgmStream::OpenMemory(const std::uint8_t* data, std::size_t size) {
    memory_ = data;
    memory_size_ = size;
    plain_size_ = size;
    size_known_ = true;
    return Start();
}

std::size_t VgmStream::RawRead(std::uint8_t* out, std::size_t n) {
    if (file_) {
        const std::size_t got = std::fread(out, 1, n, file_);
        if (got < n && std::ferror(file_)) Fail("cannot be read");
        return got;
    }
    const std::size_t got = std::min(n, memory_size_ - memory_pos_);
    if (got) std::memcpy(out, memory_ + memory_pos_, got);
    memory_pos_ += got;
    return got;
}

bool VgmStream::RawRewind() {
    memory_pos_ = 0;
    if (file_ && std::fseek(file_, 0, SEEK_SET) != 0) {
        Fail("cannot be read");
        return false;
    }
    return true;
}

// Back to the first byte: decides between plain and gzip from the first two.
bool VgmStream::Start() {
    begin_ = end_ = 0;
    position_ = 0;
    eof_ = false;
    std::uint8_t magic[2];
    if (!RawRewind()) return false;
    const std::size_t got = RawRead(magic, 2);
    if (!error_.empty() || !RawRewind()) return false;
    gzip_ = got == 2 && std::memcmp(magic, kGzipMagic, 2) == 0;
    if (!gzip_ && plain_size_ > max_bytes_) {
        Fail("is larger than " + Megabytes(max_bytes_) + ", too large for a VGM file");
        return false;
    }
    if (gzip_) {
        inflater_ = std::make_unique<Inflater>();
        if (!inflater_->ready) {
            Fail("cannot be read: out of memory");
            return false;
        }
    }
    return true;
}

bool VgmStream::Fill() {
    if (eof_) return false;
    if (begin_ > 0) {
        std::memmove(window_.get(), window_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const std::size_t room = kWindowSize - end_;
    std::size_t got = 0;
    if (!gzip_) {
        got = RawRead(window_.get() + end_, room);
    } else {
        Inflater& in = *inflater_;
        z_stream& z = in.z;
        z.next_out = window_.get() + end_;
        z.avail_out = static_cast<uInt>(room);
        while (z.avail_out > 0) {
            if (z.avail_in == 0) {
                z.next_in = in.in.get();
                z.avail_in = static_cast<uInt>(RawRead(in.in.get(), kRawChunk));
                if (!error_.empty()) return false;
                if (z.avail_in == 0) {
                    if (!in.member_ended) {
                        Fail("is a gzip stream that is cut short");
                        return false;
                    }
                    break;
                }
            }
            if (in.member_ended) {
                // gzip allows members one after another; anything else behind
                // the last member is ignored, as gzip itself does.
                if (z.avail_in < 2 && z.next_in[0] == kGzipMagic[0]) {
                    // The second magic byte is in the next chunk.
                    std::uint8_t second;
                    if (RawRead(&second, 1) != 1 || second != kGzipMagic[1]) break;
                    in.in[0] = kGzipMagic[0];
                    in.in[1] = second;
                    z.next_in = in.in.get();
                    z.avail_in = 2;
                }
                if (z.avail_in < 2 || std::memcmp(z.next_in, kGzipMagic, 2) != 0) break;
                inflateReset(&z);
                in.member_ended = false;
            }
            const int rc = inflate(&z, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                in.member_ended = true;
            } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
                Fail("is not a valid gzip stream");
                return false;
            } else if (rc == Z_BUF_ERROR && z.avail_in > 0) {
                Fail("is not a valid gzip stream");
                return false;
            }
        }
        got = room - z.avail_out;
    }
    if (!error_.empty()) return false;
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += got;
    if (position_ + (end_ - begin_) > max_bytes_) {
        Fail("inflates to more than " + Megabytes(max_bytes_) + ", too large for a VGM file");
        return false;
    }
    return true;
}

std::size_t VgmStream::PeekSlow(std::size_t n, const std::uint8_t*& bytes) {
    n = std::min(n, kMaxPeek);
    while (end_ - begin_ < n && Fill()) {
    }
    bytes = window_.get() + begin_;
    return std::min(n, end_ - begin_);
}

std::size_t VgmStream::Read(std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        if (begin_ == end_ && !Fill()) break;
        const std::size_t take = std::min(n - done, end_ - begin_);
        std::memcpy(out + done, window_.get() + begin_, take);
        Consume(take);
        done += take;
    }
    return done;
}

std::uint64_t VgmStream::Skip(std::uint64_t n) {
    std::uint64_t done = 0;
    const std::uint64_t buffered = std::min<std::uint64_t>(n, end_ - begin_);
    Consume(static_cast<std::size_t>(buffered));
    done += buffered;
    // A plain file jumps; only a compressed one has to be read through.
    if (!gzip_ && size_known_ && done < n && !eof_) {
        const std::uint64_t left = plain_size_ > position_ ? plain_size_ - position_ : 0;
        const std::uint64_t jump = std::min(n - done, left);
        if (file_ ? std::fseek(file_, static_cast<long>(position_ + jump), SEEK_SET) != 0 : false) {
            Fail("cannot be read");
            return done;
        }
        memory_pos_ = static_cast<std::size_t>(std::min<std::uint64_t>(memory_size_, position_ + jump));
        position_ += jump;
        done += jump;
    }
    while (done < n) {
        if (begin_ == end_ && !Fill()) break;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, end_ - begin_));
        Consume(take);
        done += take;
    }
    return done;
}

bool VgmStream::Seek(std::uint64_t position) {
    if (!error_.empty()) return false;
    if (position < position_) {
        if (!Start()) return false;
    }
    const std::uint64_t distance = position - position_;
    return Skip(distance) == distance;
}

std::uint64_t VgmStream::SizeToEnd() {
    if (!gzip_ && size_known_) {
        Skip(plain_size_ > position_ ? plain_size_ - position_ : 0);
        return std::max(plain_size_, position_);
    }
    Skip(~std::uint64_t{0} - position_);
    return position_;
}

}  // namespace VGM
