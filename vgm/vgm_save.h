// Saving a finished VGM file image to disk without ever losing an earlier
// file: the output names are replaced together or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VGM {

// One output file: its name, and whether it gets the image as it is or as one
// gzip member (zlib's gzip file interface at its default level).
struct SaveTarget {
    std::string path;
    bool gzip = false;
};

enum class SaveResult {
    Ok,
    WriteError,  // a target could not be written or replaced
    TooLarge,    // beyond what the 32-bit offsets of a VGM file can hold
};

// The one-line message of a failed save: "VGM file write error, abort..." or
// "VGM file too large, abort...". Null for Ok.
const char* SaveMessage(SaveResult result);

// Writes `image` to every target. An image larger than kMaxFileSize gives
// TooLarge and touches nothing.
//
// Each target is first written in full under a temporary name in the
// directory of the file it names and flushed to stable storage. Then, under
// an advisory lock (flock) on each of those directories, all are renamed into
// place; should one rename fail, the targets already replaced get their
// earlier file back (or are removed if there was none), so either every
// target holds the new image or every target is as it was. Concurrent saves
// into one directory therefore never mix their outputs.
//
// - A symbolic link at a target name is followed: the file it points to is
//   replaced, in that file's own directory, and the link stays.
// - A replaced file keeps its permission bits; a new one gets 0666 less the
//   umask.
// - A directory at a target name fails the save (WriteError) with nothing
//   touched; a device or a pipe is written in place, without a temporary.
// - SIGINT, SIGTERM or SIGHUP during the save remove the temporaries, then end
//   the process as that signal would (a signal the process ignores stays
//   ignored), on whichever thread the signal arrives. SIGXFSZ is ignored
//   while saving, so a file-size limit is a write error like any other.
//
// Saves may run on several threads at once. On WriteError, `reason` (when
// given) gets the system's error number of the step that failed (EISDIR for
// a directory at a target name), or 0 when there is none.
SaveResult SaveImage(const std::vector<std::uint8_t>& image, const std::vector<SaveTarget>& targets,
                     int* reason = nullptr);

// One output file written bit by bit through a descriptor, for output too
// large to hold in memory, and put in place whole as SaveImage puts one
// target: links followed, permission bits kept, a temporary beside the file
// that a signal or a failure removes, a device or a pipe written in place.
class PendingFile {
public:
    PendingFile();
    ~PendingFile();  // an uncommitted temporary is removed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Opens the new version of `path`. False, with the system's error number
    // in `reason`, when it cannot be written (EISDIR: a directory).
    bool Open(const std::string& path, int& reason);
    // Where the bytes go; -1 before Open and after Commit.
    int fd() const;
    // True when the target is a device or a pipe, written in place: the
    // descriptor may not seek, and a failed run cannot take its bytes back.
    bool direct() const;
    // Writes the file through to the disk and puts it in place.
    bool Commit(int& reason);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Whether two names reach one existing file (device and inode, links
// followed). A name that does not exist is no file.
bool SameFile(const std::string& a, const std::string& b);

// What a name will write to, as a key that two names share exactly when they
// would write the same file: an existing file by its device and inode, a
// file still to be created by its directory's device and inode and its own
// name, links followed. Empty when the name leads nowhere.
std::string OutputKey(const std::string& path);

}  // namespace VGM
