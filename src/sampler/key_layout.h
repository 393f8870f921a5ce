// What a key's render will be, worked out before any frame is rendered: its rate, length and
// loop. The planner counts these against its budgets; RenderKey then fills exactly that.
//
// Rate. A tracker plays an XI sample of relative note r and finetune f on key k at
// 8363 x 2^((k - 48 + r + f / 128) / 12) Hz. FastTracker-compatible players take the finetune in
// steps of 8 (1/16 semitone) and others take it whole, so a finetune that is a multiple of 8 is
// played exactly by every one of them. The render is made at the smallest such rate that is at
// least the highest rate among the key's voices: none of them loses its top octave, the key plays
// the render at exactly its own rate everywhere, and the render's rate lies within 0.4 % of its
// voices' (a tracker that plays samples without interpolation, which most do by default, then
// slips a frame rarely, where a whole semitone's grid would have it slip every few dozen frames
// and spread the noise of it over the spectrum). The rate stays at most 96 kHz (then the largest
// below), and r at least -k: a tracker plays no note below its first, key + r.
//
// Length. A voice sounds until the end of its frames (when it does not loop; its read followed
// step by step as the render takes it, the modulation envelope's pitch included) or until its
// volume envelope is 60 dB down, whichever comes first; the key until the last of its voices, at
// most 10 s. A looped voice whose sustain lies above -60 dB sounds for ever: the render then
// lasts until every such voice has settled (its volume at its sustain level; when its modulation
// envelope moves its pitch or filter, that envelope at its sustain too; and its read inside its
// loop, so that the attack before the loop is not repeated) and the other voices have ended, and
// then one cycle more, which becomes a forward loop: one loop of the loudest such voice (gain x
// sustain level), at the output rate and its settled pitch, rounded to whole frames. A render cut
// at 10 s while a looped voice still sounds ends on such a loop too, over its last cycle at the
// level reached (a cycle longer than the render gives no loop). The loop's voice is rendered at
// the pitch its rounded cycle gives, so that its cycle joins end to start;
// loop_pitch_error_cents says how far that is from its own. Other looped voices keep their own
// pitch and may not join.
#pragma once

#include <cstdint>
#include <span>

#include "sampler/render_voice.h"

namespace brumlet::sampler {

/// The XI's reference: relative note 0 plays at 8363 Hz on C-4, key 48.
inline constexpr double kXiBaseRate = 8363;
inline constexpr int kXiBaseKey = 48;
inline constexpr int kHighestKey = 95;
inline constexpr double kHighestRenderRate = 96000;
inline constexpr double kLongestRenderSeconds = 10;
/// A voice has ended when its volume envelope lies this far below its peak.
inline constexpr double kEndLevelDb = 60;
/// The pitch and the filter cutoff follow the modulation envelope in steps of this many output
/// frames (the read speed is interpolated linearly in between).
inline constexpr int kControlFrames = 32;

/// What a key's render will be, known before rendering (the caller counts it against budgets).
struct KeyRenderLayout {
  double rate = 0;        ///< output rate R, Hz
  int relative_note = 0;  ///< the XI relative note that plays the render at its own rate on the key
  int finetune = 0;       ///< and its finetune: a multiple of 8, which every player plays exactly
  std::uint32_t frames = 0;  ///< output length
  bool loops = false;        ///< a forward loop at the end: [loop_start, frames)
  std::uint32_t loop_start = 0;
  double loop_pitch_error_cents = 0;  ///< what rounding the loop cycle to whole frames costs
  int loop_voice = -1;  ///< the voice whose cycle the loop is, rendered moved by that error
};

/// The rate a tracker plays relative note `relative_note` and `finetune` (1/128 semitone) at on
/// `key`.
double XiRate(int key, int relative_note, int finetune = 0);

/// Lays out the render of `voices` on `key` (0..95; others are clamped into it).
KeyRenderLayout LayOutKey(std::span<const RenderVoice> voices, int key);

/// The XI panning's value for the key: the voices' pans averaged, weighted by their gains.
double KeyPan(std::span<const RenderVoice> voices);

/// Source frames a checked voice steps per output frame `seconds` into the note, at `rate`
/// output frames a second, its pitch moved by `extra_cents`.
double ReadStep(const RenderVoice& checked, double rate, double seconds, double extra_cents = 0);

}  // namespace brumlet::sampler
