#include "sampler/xi_units.h"

#include <algorithm>
#include <cmath>

namespace brumlet::sampler {
namespace {

constexpr int kDefaultRoot = 60;
constexpr int kFinetuneSteps = 128;  // finetune units in a semitone
constexpr double kMaxCentibels = 1440;
constexpr double kMaxPan = 500;

}  // namespace

Pitch SamplePitch(std::uint32_t rate, int root_key, double cents) {
  // The rate's pitch in semitones as a WAV conversion has it (its own rate on key 60: 8363 Hz is
  // relative note -12), taken in extended precision as ComputePitch takes it, then moved.
  const long double own =
      12.0L * std::log(static_cast<long double>(std::clamp(rate, kMinRate, kMaxRate)) / 1045.375L) /
          std::log(2.0L) -
      48;
  double target = static_cast<double>((own + (kDefaultRoot - root_key)) * kFinetuneSteps) +
                  cents * kFinetuneSteps / 100.0;
  target = std::clamp(target, -128.0 * kFinetuneSteps, 127.0 * kFinetuneSteps + 63);
  // The nearest relative note, and the rest on the players' grid: FastTracker-compatible players
  // (openmpt123) take the finetune in steps of 8, rounded down, others (xmp) whole. The finetune
  // is the larger of the rest rounded and its nearest multiple of 8 (ties up): the first plays
  // within 0.5 step, the second within 4 steps, 3.125 cents.
  long long note = static_cast<long long>(std::floor(target / kFinetuneSteps + 0.5));
  const double rest = target - static_cast<double>(note * kFinetuneSteps);
  const auto grid = static_cast<long long>(8 * std::floor(rest / 8 + 0.5));
  long long finetune = std::max(grid, static_cast<long long>(std::floor(rest + 0.5)));
  if (finetune > 63) {  // the finetune holds -64..63: 64 is the next note's -64
    if (note < 127) {
      ++note;
      finetune -= kFinetuneSteps;
    } else {
      finetune = 63;
    }
  }
  return Pitch{static_cast<std::int8_t>(std::clamp<long long>(note, -128, 127)),
               static_cast<std::int8_t>(finetune)};
}

std::uint8_t XiVolume(double centibels) {
  const double volume =
      64.0 * std::pow(10.0, -0.4 * std::clamp(centibels, 0.0, kMaxCentibels) / 200.0);
  return static_cast<std::uint8_t>(std::clamp(std::lround(volume), 0L, 64L));
}

std::uint8_t XiPanning(double pan) {
  const double position = 128.0 + std::clamp(pan, -kMaxPan, kMaxPan) * 128.0 / kMaxPan;
  return static_cast<std::uint8_t>(std::clamp(std::lround(position), 0L, 255L));
}

}  // namespace brumlet::sampler
