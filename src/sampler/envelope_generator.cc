#include "sampler/envelope_generator.h"

#include <algorithm>
#include <cmath>

namespace brumlet::sampler {
namespace {

double Amplitude(double db_down) { return std::pow(10.0, -db_down / 20); }

double DecayStart(const EnvelopeShape& e) { return e.delay + e.attack + e.hold; }

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
  if (run.stage_end <= 0) EnterVolumeStage(run);
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
}

}  // namespace brumlet::sampler
