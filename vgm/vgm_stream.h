// The bytes of a VGM file, plain or gzip-compressed (a .vgz), read front to
// back through a small window, from disk or from memory. Memory use does not
// depend on the file's size, and a compressed file that inflates past a
// ceiling is refused instead of being read without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace VGM {

// Far beyond any real VGM file (the largest, full of PCM samples, are tens of
// megabytes), and small enough that holding one whole in memory is safe.
constexpr std::uint64_t kMaxVgmBytes = std::uint64_t{512} << 20;

class VgmStream {
public:
    explicit VgmStream(std::uint64_t max_bytes = kMaxVgmBytes);
    ~VgmStream();
    VgmStream(const VgmStream&) = delete;
    VgmStream& operator=(const VgmStream&) = delete;

    // Opens a file, or bytes in memory that must outlive the stream. A gzip
    // stream (it begins 1F 8B) is inflated as it is read, several members one
    // after another as gzip allows. Returns false with error() set.
    bool OpenFile(const std::string& path);
    bool OpenMemory(const std::uint8_t* data, std::size_t size);

    bool gzip() const { return gzip_; }
    // Bytes of the (inflated) file before the next one to be read.
    std::uint64_t position() const { return position_; }
    // The first problem met, e.g. "is not a valid gzip stream"; empty while
    // there is none. Once set, the stream reads as ended.
    const std::string& error() const { return error_; }

    // Makes up to `n` (at most kMaxPeek) bytes available at once without
    // consuming them; returns how many there are (fewer only at the end).
    static constexpr std::size_t kMaxPeek = 64;
    std::size_t Peek(std::size_t n, const std::uint8_t*& bytes) {
        if (end_ - begin_ >= n) {  // the common case, kept inline: the window holds them
            bytes = window_.get() + begin_;
            return n;
        }
        return PeekSlow(n, bytes);
    }
    void Consume(std::size_t n) {  // n no more than the last Peek returned
        begin_ += n;
        position_ += n;
    }
    // Reads up to `n` bytes into `out`; returns how many were read.
    std::size_t Read(std::uint8_t* out, std::size_t n);
    // Moves forward by `n` bytes; returns how many were passed over.
    std::uint64_t Skip(std::uint64_t n);
    // Moves to `position` (back to the start and forward again when it lies
    // behind, which for a compressed file means inflating it anew). Returns
    // false when the file ends first.
    bool Seek(std::uint64_t position);
    // The size of the whole (inflated) file: reads through to the end of a
    // compressed one. The next read starts at the end.
    std::uint64_t SizeToEnd();

private:
    struct Inflater;

    bool Start();
    bool RawRewind();
    std::size_t PeekSlow(std::size_t n, const std::uint8_t*& bytes);
    bool Fill();            // more bytes into the window; false at the end
    std::size_t RawRead(std::uint8_t* out, std::size_t n);
    void Fail(const std::string& message);

    std::uint64_t max_bytes_;
    std::FILE* file_ = nullptr;
    const std::uint8_t* memory_ = nullptr;
    std::size_t memory_size_ = 0, memory_pos_ = 0;
    std::uint64_t plain_size_ = 0;  // size of a plain file, when known at open
    bool size_known_ = false;       // a regular file or memory, not a pipe
    bool gzip_ = false;
    std::unique_ptr<Inflater> inflater_;
    std::unique_ptr<std::uint8_t[]> window_;
    std::size_t begin_ = 0, end_ = 0;  // the unread bytes of the window
    std::uint64_t position_ = 0;
    bool eof_ = false;
    std::string error_;
};

}  // namespace VGM
