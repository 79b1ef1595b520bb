// Saving a finished VGM file image to disk without ever losing an earlier
// file: the output names are replaced together or not at all.
#pragma once

#include <cstdint>
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
//   ignored). SIGXFSZ is ignored while saving, so a file-size limit is a
//   write error like any other.
//
// One save at a time per process: the signal handling is process-wide.
SaveResult SaveImage(const std::vector<std::uint8_t>& image, const std::vector<SaveTarget>& targets);

}  // namespace VGM
