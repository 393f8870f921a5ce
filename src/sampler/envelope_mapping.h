// A zone's volume envelope and vibrato LFO, as a SoundFont gives them, as an XI volume envelope,
// fade-out and auto-vibrato.
//
// The two formats count time differently. A SoundFont gives each phase a length in timecents
// (seconds = 2^(tc / 1200)); an XI envelope is a polyline of at most 12 points, in ticks of the
// player (50 a second at the default tempo) and volumes of 0..64, linear in amplitude, that
// stops at its sustain point until the note is released. After that the fade-out takes the
// note down linearly in amplitude, one step a tick.
//
// The SoundFont's attack is linear in amplitude, so one segment draws it exactly. Its decay and
// release fall a fixed number of decibels a second; the decay becomes a chain of segments, and
// the release a fade-out timed to match it where it has fallen 30 dB.
#pragma once

#include "sampler/zone.h"
#include "xi/envelope.h"

namespace brumlet {

/// The generators of one zone that shape its volume over time and its vibrato, in the
/// SoundFont's own units, each starting at the format's default.
struct EnvelopeGenerators {
  int delay_vol_env = -12000;    ///< timecents before the attack
  int attack_vol_env = -12000;   ///< timecents to rise from silence to the peak
  int hold_vol_env = -12000;     ///< timecents at the peak
  int decay_vol_env = -12000;    ///< timecents to cross the envelope's range (96 dB)
  int sustain_vol_env = 0;       ///< attenuation in 0.1 % of the range; 1000 and more is silence
  int release_vol_env = -12000;  ///< timecents to cross the range after the note ends
  int delay_vib_lfo = -12000;    ///< timecents before the vibrato starts
  int freq_vib_lfo = 0;          ///< absolute cents: 8.176 Hz x 2^(cents / 1200)
  int vib_lfo_to_pitch = 0;      ///< cents of pitch at the LFO's full swing
};

/// What an XI can hold of those generators.
struct EnvelopeMapping {
  xi::VolumeEnvelope volume;
  xi::AutoVibrato vibrato;
  /// Longer than kLastEnvelopeTick: drawn as it is up to there and held at the level it reached.
  bool held = false;
};

namespace envelope_mapping {
inline constexpr int kTicksPerSecond = 50;
/// The furthest tick a point may lie at, so that every tracker's editor can show the envelope.
inline constexpr int kLastEnvelopeTick = 324;
/// The player's fade-out volume starts here and loses the fade-out value every tick.
inline constexpr int kFadeOutStart = 32768;
inline constexpr int kMaxFadeOut = 0xFFF;
/// Cents of pitch swing either way per unit of auto-vibrato depth: 1/64 semitone, so that the
/// deepest vibrato, 15, swings 23.4 cents up and down.
inline constexpr double kCentsPerDepth = 100.0 / 64;
}  // namespace envelope_mapping

/// Maps the generators of the zone that stands for an instrument to its XI envelope, fade-out
/// and auto-vibrato. Values outside the SoundFont's ranges are clamped into them first.
EnvelopeMapping MapEnvelope(const EnvelopeGenerators& generators);

/// The envelope and vibrato generators of `zone` as it plays `key`: the hold and decay shorten
/// by their keynum timecents for every key above 60.
EnvelopeGenerators EnvelopeAt(const sampler::Zone& zone, int key);

}  // namespace brumlet
