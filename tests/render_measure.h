// Renders instruments with real players and measures what comes out: pitch, attack, sustain
// level and release. The integration tests compare an XI played by a tracker engine with the
// SoundFont preset it came from, played by a SoundFont synthesizer, through these figures.
#pragma once

#include <string>
#include <vector>

#include "sampler/envelope_mapping.h"

namespace brumlet::testing {

/// Why a test that needs `tool` (from the Debian package `package`) cannot run; empty when it is
/// installed.
std::string MissingTool(const std::string& tool, const std::string& package);

/// A 16-bit PCM WAV as numbers: its rate and its channels mixed to one, in -1..1.
struct Rendered {
  int rate = 0;
  int channels = 0;
  std::vector<double> mono;
  double Seconds() const { return rate > 0 ? static_cast<double>(mono.size()) / rate : 0; }
};

/// Reads a mono or stereo WAV of 16-bit PCM or 32-bit float; `rate` stays 0 when `bytes` is no
/// such file.
Rendered ReadWav16(const std::string& bytes);

/// The pitch of `signal` between `begin` and `end` seconds, in cents above `reference_hz`, from
/// the autocorrelation of that part; the pitch must lie within a semitone of the reference.
double PitchCents(const Rendered& signal, double begin, double end, double reference_hz);

/// The level of `signal` in dB (RMS, full scale 0 dB) over `window` seconds from each point in
/// `step`-second steps.
std::vector<double> LevelCurveDb(const Rendered& signal, double window = 0.01, double step = 0.005);

/// When the attack of `signal` peaks, in seconds: the middle of the first 20 ms before `until`
/// whose level comes within 0.5 dB of the highest (a linear attack gets there 6 % early).
double AttackPeakSeconds(const Rendered& signal, double until);

/// The RMS level in dB of `signal` between `begin` and `end` seconds.
double LevelDb(const Rendered& signal, double begin, double end);

/// Seconds from `note_off` until the level has fallen `drop_db` below its level over the 50 ms
/// before `note_off`; negative when it never does.
double FallSeconds(const Rendered& signal, double note_off, double drop_db = 30);

/// A type-0 MIDI file that selects `bank` and `program` (bank 128 is the percussion channel),
/// plays `key` at `velocity` for `on_seconds` and ends at `total_seconds`.
std::string MidiNote(int bank, int program, int key, int velocity, double on_seconds,
                     double total_seconds);

/// Has openmpt123 render the module `xm` in `folder` at `rate` Hz to `xm`.wav: 16-bit stereo,
/// no interpolation, dither or volume ramps. Returns the output, or an empty one on failure.
Rendered RenderXm(const std::string& folder, const std::string& xm, int rate);

/// Has fluidsynth render the MIDI file `midi` in `folder` with the bank `bank_path` at `rate` Hz
/// to `out`, without reverb or chorus, as 32-bit float: no dither noise under a quiet note's
/// release. Returns the output, or an empty one on failure.
Rendered RenderMidi(const std::string& folder, const std::string& bank_path,
                    const std::string& midi, const std::string& out, int rate);

/// An XI of one sample, a looped sine of 441 Hz at 44100 Hz (100 frames a period), with
/// `relative_note` and `finetune` and the envelope, fade-out and vibrato of `mapping`. The
/// default pitch plays the sample at about its own rate on C-5.
std::string SineXi(const EnvelopeMapping& mapping, int relative_note = 17, int finetune = -28);

/// The frequency SineXi's sine must sound at on XM note `note` (61 = C-5) with those header
/// values: the sample's rate on C-5 is 16726 Hz x 2^(relative note / 12 + finetune / 1536).
double SineXiHz(int note, int relative_note, int finetune);

/// A SoundFont bank of one preset (bank 0, program 0) of one zone over every key: the looped
/// sine of SineXi, 441 Hz at 44100 Hz with root key 69, and the generators of `generators`.
std::string SineBank(const EnvelopeGenerators& generators);

/// How far openmpt123 plays SineXi's sine from SineXiHz on `note`, in cents: the player's own
/// pitch error for those header values, rendered in `folder`.
double XmPitchErrorCents(const std::string& folder, int note, int relative_note, int finetune);

}  // namespace brumlet::testing
