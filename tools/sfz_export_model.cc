#include "sfz_export_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sampler/planner.h"
#include "sampler/work_budget.h"
#include "sf2/zone_list.h"

namespace brumlet::sfz_compare {
namespace {

// The export's volume in dB for each centibel of attenuation (measured over both banks: every
// region's volume is this times its zone's attenuation, to six digits).
constexpr double kExportDbPerCentibel = -0.01588;
// --sfz: an SFZ volume of V dB is -25 x V cB of attenuation (0.4 x cB = dB x 10), and a sustain
// of P % is -20 log10(P / 100) / 0.096 cB on a SoundFont envelope's 96 dB scale.
constexpr double kSfzCentibelsPerDb = -25;
constexpr double kEnvelopeDbPerCentibel = 0.096;
constexpr int kMaxCentibels = 1440;
// The shortest time the export writes, 0.001 s, in timecents.
constexpr std::int32_t kOneMillisecond = -11959;

// `x` as the export prints it, to six significant digits (%g).
double SixDigits(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  return std::strtod(text, nullptr);
}

}  // namespace

void ExportedZone(sf2::GeneratorValues& values) {
  namespace gen = sf2::gen;
  std::int32_t& attenuation = values[gen::kInitialAttenuation];
  attenuation = std::clamp<std::int32_t>(attenuation, 0, kMaxCentibels);
  const double volume = SixDigits(kExportDbPerCentibel * attenuation);
  attenuation = static_cast<std::int32_t>(std::lround(kSfzCentibelsPerDb * volume));

  std::int32_t& sustain = values[gen::kSustainVolEnv];
  sustain = std::clamp<std::int32_t>(sustain, 0, kMaxCentibels);
  const double percent = SixDigits(100 * std::pow(10.0, -sustain / 200.0));
  const double down = -20 * std::log10(percent / 100) / kEnvelopeDbPerCentibel;
  sustain = std::min<std::int32_t>(kMaxCentibels, static_cast<std::int32_t>(std::lround(down)));

  std::int32_t& attack = values[gen::kAttackVolEnv];
  attack = std::max(attack, kOneMillisecond);

  if (values[gen::kVibLfoToPitch] == 0 && values[gen::kModLfoToPitch] != 0) {
    values[gen::kVibLfoToPitch] = values[gen::kModLfoToPitch];
    values[gen::kFreqVibLfo] = values[gen::kFreqModLfo];
    values[gen::kDelayVibLfo] = values[gen::kDelayModLfo];
    values[gen::kModLfoToPitch] = 0;
  }
}

sampler::Plan PlanPreset(const sf2::Bank& bank, sf2::Flattener& flattener, std::size_t preset,
                         bool exported) {
  sampler::WorkBudget budget;
  sf2::FlatPreset flat = flattener.Flatten(preset, budget);
  if (flat.skip) return {};
  if (exported) {
    for (sf2::Zone& zone : flat.zones) ExportedZone(zone.values);
  }
  return sampler::PlanInstrument(sf2::ZoneListOf(bank, flat, bank.presets[preset]), budget);
}

}  // namespace brumlet::sfz_compare
