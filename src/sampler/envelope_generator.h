// A voice's two envelopes as a SoundFont player runs them, from the moment the key is struck (the
// render never releases it).
//
// Volume: silent for the delay; the attack rises linearly in amplitude from 0 to 1; the hold
// stays at 1; the decay falls linearly in decibels, 96 dB in `decay` seconds, down to `sustain`
// dB below the peak, where it stays. Modulation: the same phases on a 0..1 scale, linear
// throughout: the decay falls 1.0 in `decay` seconds down to `sustain`.
//
// The render needs the volume at every frame, so it steps through it a block at a time (a
// multiply-add a frame from the level at the block's start, exact at every phase boundary); the
// layout and the block-rate modulation ask for single times.
#pragma once

#include <array>
#include <limits>
#include <span>

#include "sampler/render_voice.h"

namespace brumlet::sampler {

/// The span of the volume envelope: its decay crosses this many dB in `decay` seconds.
inline constexpr double kVolumeRangeDb = 96;

/// The volume envelope's amplitude, 0..1, `seconds` after the note starts.
double VolumeLevelAt(const EnvelopeShape& volume, double seconds);

/// The modulation envelope's value, 0..1, `seconds` after the note starts.
double ModulationLevelAt(const EnvelopeShape& modulation, double seconds);

/// When the volume envelope first lies `db` (> 0) below its peak; infinity when its sustain
/// level is higher than that.
double VolumeFallSeconds(const EnvelopeShape& volume, double db);

/// When the volume envelope reaches its sustain level and stays there.
double VolumeSettleSeconds(const EnvelopeShape& volume);

/// When the modulation envelope reaches its sustain level and stays there.
double ModulationSettleSeconds(const EnvelopeShape& modulation);

enum class VolumeStage { kDelay, kAttack, kHold, kDecay, kSustain };

/// The most frames NextVolumeLevels gives at a time.
inline constexpr int kVolumeBlockFrames = 32;

/// The volume envelope stepped through a block of output frames at a time.
struct VolumeRun {
  EnvelopeShape shape;
  double rate = 0;  ///< output frames a second
  VolumeStage stage = VolumeStage::kDelay;
  double frame = 0;      ///< the frame whose level `level` is
  double stage_end = 0;  ///< the first frame of the next stage
  double level = 0;
  /// Within a stage each frame's level is the last one's times `factor` plus `step`, so the
  /// level i frames on is level x powers[i] + step x sums[i]: powers[i] = factor^i, sums[i] =
  /// 1 + factor + ... + factor^(i - 1). In double from block to block, so that a long stage
  /// does not drift; in float within a block, where the levels are applied to float frames.
  double factor = 1;
  double step = 0;
  std::array<double, kVolumeBlockFrames + 1> powers{}, sums{};
  std::array<float, kVolumeBlockFrames> float_powers{}, float_sums{};
};

VolumeRun StartVolumeRun(const EnvelopeShape& volume, double rate);

/// Moves `run` into the stage that holds its frame; NextVolumeLevels calls it at stage ends.
void EnterVolumeStage(VolumeRun& run);

/// The levels of the run's next `out.size()` frames (at most kVolumeBlockFrames), each times
/// `gain`; the run moves on past them. Each level comes from the stage's first, not from the
/// frame before it, so that no frame waits for the one before.
void NextVolumeLevels(VolumeRun& run, double gain, std::span<float> out);

/// Whether the run has settled at a level that is silence for a 16-bit render (below -120 dB).
inline bool VolumeRunSilent(const VolumeRun& run) {
  return run.stage == VolumeStage::kSustain && run.level < 1e-6;
}

}  // namespace brumlet::sampler
