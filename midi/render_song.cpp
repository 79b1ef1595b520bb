#include "midi/render_song.h"

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "midi/midip.h"
#include "vgm/vgmout.h"

namespace MIDI {

std::unique_ptr<DMIDI> ReadSong(const std::uint8_t* data, std::size_t size, const SmfEventSink& sink,
                                SmfStatus* status) {
    MIDIC reader;
    std::unique_ptr<DMIDI> song = reader.read_smf(data, size, kSongResolution, sink);
    if (song && !reader.convert_clock_to_frame(song.get(), kFramesPerSecond)) song.reset();
    if (status != nullptr) *status = reader.status();
    return song;
}

void RenderSong(DMIDI* song, FMInst* bank, VGMOUT* vgm) {
    OPN2DRV fm;
    DCSGDRV dcsg;
    MIDIP player;
    fm.InstSet(bank);
    fm.VgmSet(vgm);
    dcsg.VgmSet(vgm);
    player.SetFmdrv(&fm);
    player.SetDcsgdrv(&dcsg);
    player.SetVgmout(vgm);
    player.SetConvertedSmf(song);
    player.Render();
}

}  // namespace MIDI
