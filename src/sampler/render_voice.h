// What the key renderer is given: the zones sounding on one key, as plain numbers in the units a
// SoundFont player works in. The planner fills these in; nothing here knows a file format.
#pragma once

#include <cstdint>
#include <span>

namespace brumlet::sampler {

/// A SoundFont-style envelope: times in seconds (keynum scaling already applied by the caller).
struct EnvelopeShape {
  double delay = 0, attack = 0, hold = 0, decay = 0;
  double sustain = 0;  ///< volume: dB below the peak (0..96+); modulation: level 0..1 of full
};

/// One zone sounding on the key being rendered.
struct RenderVoice {
  std::span<const std::int16_t> frames{};  ///< the zone's sample data, mono, start..end already cut
  /// How many frames the voice has, where only its layout is wanted and `frames` is not read
  /// yet (a plan counts a render's length before anything is read); `frames` gives it otherwise.
  std::uint32_t length = 0;
  double sample_rate = 44100;  ///< Hz
  double pitch_cents = 0;      ///< on this key, relative to playing the data at its own rate
  bool loops = false;          ///< forward loop over [loop_start, loop_end) of `frames`
  std::uint32_t loop_start = 0, loop_end = 0;
  double gain = 1;         ///< linear amplitude (the caller gives 10^(-0.4 cB / 200))
  double pan = 0;          ///< -1 (left) .. 1 (right); not rendered (the render is mono): KeyPan
  EnvelopeShape volume{};  ///< decay: seconds to fall 96 dB; sustain: dB down on that 96 dB scale
  EnvelopeShape modulation{};  ///< decay: seconds from 1 to 0; sustain: 0..1
  double mod_env_to_pitch_cents = 0;
  double filter_cutoff_cents = 13500;  ///< absolute cents: 8.176 Hz x 2^(cents / 1200)
  double filter_q_db = 0;              ///< resonance peak above the DC gain, in dB (cB / 10)
  double mod_env_to_filter_cents = 0;
};

/// The voice with every number brought into the range the renderer works in: `length` that of
/// `frames` where it has any, gain 0..1000, times
/// 0..10^6 s, volume sustain 0..144 dB, modulation sustain 0..1, cents within +-24000 (cutoff
/// 0..24000), resonance 0..96 dB. A value that is not finite becomes the field's default (a gain,
/// 0). A loop that does not lie within the frames (start before end, end at most the length) is
/// dropped.
RenderVoice CheckedVoice(const RenderVoice& voice);

/// Whether a checked voice makes any sound: it has frames, a rate from 1 Hz up to below 2^31 Hz
/// and a gain above 0. The others are left out of the layout, the render and the pan.
bool Sounds(const RenderVoice& checked);

}  // namespace brumlet::sampler
