#include "sequencer/render_song.h"

#include "chips/dcsgdrv.h"
#include "chips/opn2drv.h"
#include "sequencer/midip.h"
#include "vgm/vgmout.h"

namespace MIDI {

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
