#include "smf/read_song.h"

namespace MIDI {

std::unique_ptr<DMIDI> ReadSong(const std::uint8_t* data, std::size_t size, const SmfEventSink& sink,
                                SmfStatus* status) {
    MIDIC reader;
    std::unique_ptr<DMIDI> song = reader.read_smf(data, size, kSongResolution, sink);
    if (song && !reader.convert_clock_to_frame(song.get(), kFramesPerSecond)) song.reset();
    if (status != nullptr) *status = reader.status();
    return song;
}

}  // namespace MIDI
