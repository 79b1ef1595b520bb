// Test helper: plays VGM files through Game Music Emu and measures the sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace playertest {

constexpr int kSampleRate = 44100;

// Which of the player's voices belong to which chip.
struct VoiceMap {
    int count = 0;
    std::vector<std::string> names;
    int fmMask = 0;   // voices of the YM2612 ("FM 1".."FM 6" and its DAC, "PCM")
    int psgMask = 0;  // voices of the SN76489 (one "PSG" voice, or squares and noise)
};

// The lengths the player reports for track 0, in milliseconds (-1: unknown).
struct TrackLengths {
    int length = -1;
    int introLength = -1;
    int loopLength = -1;
    int playLength = -1;
};

// The result of opening a file in the player. `error` is empty on success.
struct Opened {
    std::string error;
    TrackLengths lengths;
    VoiceMap voices;
};

// Opens a VGM or VGZ file and reads its track information and voice names.
Opened OpenFile(const std::string& path);

// Renders `frames` stereo frames of track 0 of the file in memory, mixed to
// mono (left + right) / 2, with the voices in `muteMask` muted. Silence
// detection is off, so the player never ends the track early by itself.
// Returns an empty vector on any player error.
std::vector<double> RenderMono(const std::vector<std::uint8_t>& file, long frames, int muteMask = 0);

// Root mean square of samples [begin, end) of `pcm`, clipped to its size.
double Rms(const std::vector<double>& pcm, long begin, long end);

// The magnitude of frequency `hz` in samples [begin, end) under a Hann
// window (a single bin of the Fourier transform, at any frequency).
double Magnitude(const std::vector<double>& pcm, long begin, long end, double hz);

// The fundamental frequency of samples [begin, end) in Hz, from the time
// between the first and the last rising zero crossing (interpolated between
// samples). A crossing counts only after the signal has gone below
// -threshold since the previous one, so small ripples are not counted.
// Returns 0 when fewer than two crossings are found.
double MeasureFrequency(const std::vector<double>& pcm, long begin, long end);

// The fundamental frequency of samples [begin, end) in Hz by the YIN method
// (de Cheveigné and Kawahara): the shortest period, between 1/maxHz and
// 1/minHz, at which the signal repeats itself to within a small share of its
// energy. Unlike counting zero crossings it reads the pitch of bright tones
// whose waveform crosses zero several times a period. Returns 0 when no period
// in the range fits, as for noise or silence.
double MeasurePitch(const std::vector<double>& pcm, long begin, long end, double minHz, double maxHz);

// Sample index of a time in seconds.
inline long At(double seconds) { return static_cast<long>(seconds * kSampleRate); }

}  // namespace playertest
