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
  const Pitch own = ComputePitch(static_cast<std::int32_t>(std::clamp(rate, kMinRate, kMaxRate)));
  long long units = own.relative_note * kFinetuneSteps + own.finetune +
                    static_cast<long long>(kDefaultRoot - root_key) * kFinetuneSteps +
                    std::llround(cents * kFinetuneSteps / 100.0);
  units = std::clamp<long long>(units, -128 * kFinetuneSteps, 127 * kFinetuneSteps + 63);
  // The nearest relative note, a finetune of -64..63 for the rest.
  const long long note = (units + 64 >= 0)
                             ? (units + 64) / kFinetuneSteps
                             : -((-(units + 64) + kFinetuneSteps - 1) / kFinetuneSteps);
  return Pitch{static_cast<std::int8_t>(note),
               static_cast<std::int8_t>(units - note * kFinetuneSteps)};
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
