#include "sampler/envelope_generator.h"

#include <algorithm>
#include <cmath>

namespace brumlet::sampler {
namespace {

double Amplitude(double db_down) { return std::pow(10.0, -db_down / 20); }

double DecayStart(const EnvelopeShape& e) { return e.delay + e.attack + e.hold; }

// The stage's powers and sums, for the levels of a block.
void Tabulate(VolumeRun& run) {
  run.powers[0] = 1;
  run.sums[0] = 0;
  for (std::size_t i = 1; i < run.powers.size(); ++i) {
    run.powers[i] = run.powers[i - 1] * run.factor;
    run.sums[i] = run.sums[i - 1] + run.powers[i - 1];
  }
  for (std::size_t i = 0; i < run.float_powers.size(); ++i) {
    run.float_powers[i] = static_cast<float>(run.powers[i]);
    run.float_sums[i] = static_cast<float>(run.sums[i]);
  }
}

}  // namespace

double VolumeLevelAt(const EnvelopeShape& volume, double seconds) {
  const EnvelopeShape& e = volume;
  if (seconds < e.delay) return 0;
  if (seconds < e.delay + e.attack) return (seconds - e.delay) / e.attack;
  if (seconds < DecayStart(e)) return 1;
  const double fallen =
      e.decay > 0 ? kVolumeRangeDb * (seconds - DecayStart(e)) / e.decay : e.sustain;
  return Amplitude(std::min(fallen, e.sustain));
}

double ModulationLevelAt(const EnvelopeShape& modulation, double seconds) {
  const EnvelopeShape& e = modulation;
  if (seconds < e.delay) return 0;
  if (seconds < e.delay + e.attack) return (seconds - e.delay) / e.attack;
  if (seconds < DecayStart(e)) return 1;
  const double fallen = e.decay > 0 ? (seconds - DecayStart(e)) / e.decay : 1;
  return std::max(1 - fallen, e.sustain);
}

double VolumeFallSeconds(const EnvelopeShape& volume, double db) {
  if (volume.sustain < db) return std::numeric_limits<double>::infinity();
  return DecayStart(volume) + volume.decay * db / kVolumeRangeDb;
}

double VolumeSettleSeconds(const EnvelopeShape& volume) {
  return DecayStart(volume) + volume.decay * volume.sustain / kVolumeRangeDb;
}

double ModulationSettleSeconds(const EnvelopeShape& modulation) {
  return DecayStart(modulation) + modulation.decay * (1 - modulation.sustain);
}

VolumeRun StartVolumeRun(const EnvelopeShape& volume, double rate) {
  VolumeRun run;
  run.shape = volume;
  run.rate = rate;
  run.stage_end = volume.delay * rate;
  if (run.stage_end <= 0) {
    EnterVolumeStage(run);
  } else {
    Tabulate(run);
  }
  return run;
}

// Each stage starts from the exact level of its first frame, so that stepping never drifts
// across a boundary; within a stage the level is a line (attack) or a geometric series (decay,
// a constant number of dB a frame).
void EnterVolumeStage(VolumeRun& run) {
  const EnvelopeShape& e = run.shape;
  const double seconds = run.frame / run.rate;
  while (run.frame >= run.stage_end) {
    run.factor = 1;
    run.step = 0;
    switch (run.stage) {
      case VolumeStage::kDelay:
        run.stage = VolumeStage::kAttack;
        run.stage_end = (e.delay + e.attack) * run.rate;
        run.level = e.attack > 0 ? std::max(0.0, (seconds - e.delay) / e.attack) : 1;
        run.step = e.attack > 0 ? 1 / (e.attack * run.rate) : 0;
        break;
      case VolumeStage::kAttack:
        run.stage = VolumeStage::kHold;
        run.stage_end = DecayStart(e) * run.rate;
        run.level = 1;
        break;
      case VolumeStage::kHold:
        run.stage = VolumeStage::kDecay;
        run.stage_end = VolumeSettleSeconds(e) * run.rate;
        run.level = 1;
        if (e.decay > 0) {
          run.level = Amplitude(kVolumeRangeDb * std::max(0.0, seconds - DecayStart(e)) / e.decay);
          run.factor = Amplitude(kVolumeRangeDb / (e.decay * run.rate));
        }
        break;
      case VolumeStage::kDecay:
      case VolumeStage::kSustain:
        run.stage = VolumeStage::kSustain;
        run.stage_end = std::numeric_limits<double>::infinity();
        run.level = Amplitude(e.sustain);
        break;
    }
  }
  Tabulate(run);
}

void NextVolumeLevels(VolumeRun& run, double gain, std::span<float> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    if (run.frame >= run.stage_end) EnterVolumeStage(run);
    // The frames left in the stage; at least one, infinitely many in the sustain.
    const double left = std::ceil(run.stage_end - run.frame);
    const std::size_t count =
        left < static_cast<double>(out.size() - done) ? static_cast<std::size_t>(left)
                                                      : out.size() - done;
    const auto level = static_cast<float>(gain * run.level);
    const auto step = static_cast<float>(gain * run.step);
    float* to = &out[done];
    for (std::size_t i = 0; i < count; ++i) {
      to[i] = level * run.float_powers[i] + step * run.float_sums[i];
    }
    run.level = run.level * run.powers[count] + run.step * run.sums[count];
    run.frame += static_cast<double>(count);
    done += count;
  }
}

}  // namespace brumlet::sampler
