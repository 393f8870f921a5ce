#include "sampler/report_notes.h"

#include <vector>

#include "messages.h"

namespace brumlet::sampler {

static_assert(std::size(kLostWords) == static_cast<std::size_t>(Lost::kCount));

std::string ReportNotes(const Plan& plan, const InstrumentPlan& part, int scaled_down,
                        std::string_view more_lost) {
  std::vector<std::string> notes;
  const auto count = [&notes](int n, std::string_view one, std::string_view many,
                              std::string_view what) {
    if (n > 0) notes.push_back(CountNote(n, one, many, what));
  };
  if (part.drum_keys) notes.push_back(KeysNote(part.drum_keys->low, part.drum_keys->high));
  if (part.part == 1) {
    std::string left_out =
        LeftOutNote(plan.velocity_layers_left_out, plan.layers_left_out, plan.zones_above_keyboard);
    if (!left_out.empty()) notes.push_back(std::move(left_out));
  }
  count(part.pairs_mixed, "stereo pair", "stereo pairs", "mixed");
  count(part.samples_merged, "sample", "samples", "beyond 16 merged");
  count(part.loops_dropped, "loop", "loops", "outside its sample dropped");
  if (part.scale_tuning_kept < part.scale_tuning_keys) {
    notes.push_back(ScaleTuningNote(part.scale_tuning_kept, part.scale_tuning_keys));
  }
  if (part.octaves_moved != 0) notes.push_back(OctavesMovedNote(part.octaves_moved));
  if (!part.silent_keys.empty()) {
    std::vector<std::pair<int, int>> runs;
    for (const KeyRange& keys : part.silent_keys) runs.emplace_back(keys.low, keys.high);
    notes.push_back(SilentKeysNote(runs));
  }
  count(scaled_down, "key", "keys", "scaled down to fit");
  if (part.lost.any() || !more_lost.empty()) {
    std::string words;
    for (std::size_t i = 0; i < part.lost.size(); ++i) {
      if (!part.lost[i]) continue;
      if (!words.empty()) words += ", ";
      words += kLostWords[i];
    }
    if (!more_lost.empty()) {
      if (!words.empty()) words += ", ";
      words += more_lost;
    }
    notes.push_back(NotInAnXiNote(words));
  }
  std::string joined;
  for (const std::string& note : notes) joined += joined.empty() ? note : ", " + note;
  return joined;
}

}  // namespace brumlet::sampler
