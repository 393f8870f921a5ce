#include "sfz_instrument.h"

#include <set>

#include "messages.h"
#include "sampler/planner.h"
#include "sampler/work_budget.h"
#include "sfz/choice.h"
#include "sfz/sample_path.h"
#include "sfz/sfz_reader.h"
#include "sfz/zones.h"

namespace brumlet {
namespace {

DisplayText PlaceOf(const sfz::SfzFile& file, std::size_t in, int line) {
  if (line <= 0) return {};
  return SfzPlace(line, in == 0 || in >= file.files.size() ? std::string_view()
                                                           : std::string_view(file.files[in]));
}

DisplayText FailureText(const sfz::SfzFile& file, const sfz::ReadFailure& failure) {
  const DisplayText place = PlaceOf(file, failure.file, failure.line);
  const DisplayText text(failure.text);
  const DisplayText opcode(failure.opcode);
  std::string what;
  switch (failure.problem) {
    case sfz::Problem::kIncludeNotFound:
      what = Text({"include \"", text, "\" not found"});
      break;
    case sfz::Problem::kIncludeTooDeep:
      what = Text({"include \"", text, "\" nests more than ", std::to_string(sfz::kMaxIncludeDepth),
                   " files deep"});
      break;
    case sfz::Problem::kTooMuchText:
      what = Text({"it expands to more than ", std::to_string(sfz::kMaxText >> 20), " MB of text"});
      break;
    case sfz::Problem::kTooManyRegions:
      what = Text({"it has more than ", std::to_string(sfz::kMaxRegions), " regions"});
      break;
    case sfz::Problem::kBadHeader:
      what = Text({"\"", text, "\" is not a header"});
      break;
    case sfz::Problem::kBadDirective:
      what = Text({"\"", text, "\" is not a #define or #include it can read"});
      break;
    case sfz::Problem::kStray:
      what = Text({"\"", text, "\" is neither a header nor an opcode"});
      break;
    case sfz::Problem::kBadValue:
      what = Text({"\"", text, "\" is not a value of ", opcode});
      break;
  }
  return SfzTextProblem(place, what);
}

// The samples a part's data and renders read.
void KeptSamples(const sampler::InstrumentPlan& part, std::set<std::uint32_t>& kept) {
  for (const sampler::PlannedSample& sample : part.samples) {
    if (sample.render) {
      for (const sampler::PlannedVoice& voice : sample.render->voices) {
        kept.insert(voice.frames.sample);
        if (voice.mixed_with) kept.insert(voice.mixed_with->sample);
      }
      continue;
    }
    kept.insert(sample.source.range.sample);
    if (sample.source.partner) kept.insert(sample.source.partner->sample);
  }
}

}  // namespace

SfzPlan PlanSfz(Platform& platform, const std::string& path, const std::string& name,
                SampleFiles& samples) {
  SfzPlan result;
  samples.Clear();
  sfz::SfzFile file = sfz::ReadSfz(platform, path);
  if (file.failure) {
    result.skip = FailureText(file, *file.failure);
    return result;
  }
  sfz::ChooseForLoneNote(file.regions, file.controllers);
  result.unmapped = std::move(file.unmapped_opcodes);
  if (const std::unique_ptr<File> text = platform.OpenRead(path, Site::kSfzOpen)) {
    result.source_bytes =
        static_cast<std::uint64_t>(std::max<std::int64_t>(text->Size(Site::kSourceSize), 0));
    text->Close(Site::kSfzClose);
  }

  sampler::ZoneList list;
  list.name = name;
  int layers_left_out = 0, velocity_layers_left_out = 0, above_keyboard = 0;
  // Where each zone's region is, for a skip line about its sample.
  std::vector<const sfz::Region*> region_of;
  for (const sfz::Region& region : file.regions) {
    using sfz::LeftOut;
    switch (region.left_out) {
      case LeftOut::kNone:
        break;
      case LeftOut::kNoSample:
      case LeftOut::kSilenced:
      case LeftOut::kOtherWaveform:
      case LeftOut::kNoKeys:
        continue;  // plays nothing on any note
      default:
        ++layers_left_out;  // plays on other occasions than one lone note
        continue;
    }
    if (region.lovel > 100 || region.hivel < 100) {
      ++velocity_layers_left_out;
      continue;
    }
    if (!sfz::SoundsOnTrackerKeys(region)) {
      ++above_keyboard;
      continue;
    }
    const DisplayText place = PlaceOf(file, region.file, region.line);
    std::uint32_t sample = 0;
    switch (region.sample_kind) {
      case sfz::SampleKind::kSine:
        sample = samples.AddSine(region.pitch_keycenter);
        break;
      case sfz::SampleKind::kSilence:
        sample = samples.AddSilence();
        break;
      default: {
        const std::optional<std::string> found =
            sfz::FindFile(platform, file.folder, region.sample);
        if (!found) {
          result.skip = SfzSampleNotFound(place, region.sample);
          return result;
        }
        sample = samples.AddFile(*found);
        break;
      }
    }
    std::string problem;
    const std::optional<sfz::SampleFacts> facts = samples.Facts(sample, problem);
    if (!facts) {
      result.skip = SfzSampleUnreadable(place, region.sample, problem);
      return result;
    }
    if (const std::optional<sampler::Zone> zone = sfz::RegionZone(region, *facts, sample)) {
      list.zones.push_back(*zone);
      region_of.push_back(&region);
    }
  }
  result.source_bytes += samples.bytes_opened();
  for (std::uint32_t i = 0; i < samples.size(); ++i) {
    std::string problem;
    const std::optional<sfz::SampleFacts> facts = samples.Facts(i, problem);
    list.samples.push_back({samples.name(i), facts ? facts->rate : 44100, 0,
                            sampler::Sample::Side::kMono, std::nullopt});
  }

  sampler::WorkBudget budget;
  result.plan = sampler::PlanInstrument(list, budget);
  sampler::Plan& plan = result.plan;
  if (plan.too_much_work) {
    result.skip = PresetTooMuchWork();
    return result;
  }
  plan.layers_left_out += layers_left_out;
  plan.velocity_layers_left_out += velocity_layers_left_out;
  plan.zones_above_keyboard += above_keyboard;
  if (plan.instruments.empty()) {
    result.skip = DisplayText(kPresetPlaysNothing);
    return result;
  }

  // The data of every kept sample is read, and a FLAC stream checked, before anything is written.
  std::set<std::uint32_t> kept;
  for (const sampler::InstrumentPlan& part : plan.instruments) KeptSamples(part, kept);
  for (const std::uint32_t sample : kept) {
    if (const std::string problem = samples.Check(sample); !problem.empty()) {
      for (std::size_t z = 0; z < list.zones.size(); ++z) {
        if (list.zones[z].sample != sample) continue;
        const sfz::Region& region = *region_of[z];
        result.skip =
            SfzSampleUnreadable(PlaceOf(file, region.file, region.line), region.sample, problem);
        break;
      }
      return result;
    }
  }
  return result;
}

}  // namespace brumlet
