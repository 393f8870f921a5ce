#include "sfz_conversion.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "messages.h"
#include "sampler/describe.h"
#include "sampler/report_notes.h"
#include "sfz_instrument.h"
#include "xi/instrument.h"
#include "xi/instrument_writer.h"

namespace brumlet {
namespace {

// The unmapped opcodes a report line names before it only counts the rest.
constexpr std::size_t kOpcodesNamed = 8;

// An LFO's rate or delay changes nothing while no depth sets it to work: exported files carry
// them on every region.
bool Inert(std::string_view opcode, const std::vector<std::string>& opcodes) {
  for (const std::string_view lfo : {"amplfo_", "fillfo_"}) {
    if (opcode.starts_with(lfo) && !opcode.ends_with("depth")) {
      const std::string depth = std::string(lfo) + "depth";
      return std::find(opcodes.begin(), opcodes.end(), depth) == opcodes.end();
    }
  }
  return false;
}

std::string UnmappedNote(const std::vector<std::string>& opcodes) {
  std::string note;
  std::size_t named = 0, more = 0;
  for (const std::string& opcode : opcodes) {
    if (Inert(opcode, opcodes)) continue;
    if (named == kOpcodesNamed) {
      ++more;
      continue;
    }
    if (named++ > 0) note += ", ";
    note += DisplayText(opcode).str();
  }
  if (more > 0)
    note += " and " + std::to_string(more) + (more == 1 ? " more opcode" : " more opcodes");
  return note;
}

// A planned sample's frames as the writer takes them: a range of one sample file, mixed with the
// other side of a pair, (L + R) >> 1, where it has one.
class PlannedFrames final : public FrameSource {
 public:
  PlannedFrames(const sampler::SampleSource& source, SampleFiles& samples,
                std::vector<std::int16_t>& side)
      : source_(source), samples_(samples), side_(side) {}

  void Read(std::span<std::int16_t> out) override {
    const sampler::FrameRange& range = source_.range;
    const auto count = static_cast<std::uint32_t>(out.size());
    samples_.Read({range.sample, range.first + next_, count}, out);
    if (source_.partner) {
      side_.resize(std::max<std::size_t>(side_.size(), out.size()));
      const sampler::FrameRange& other = *source_.partner;
      // Past the partner's frames its side is silence.
      const std::uint32_t held = next_ < other.frames ? std::min(count, other.frames - next_) : 0;
      std::fill(side_.begin(), side_.begin() + count, std::int16_t{0});
      samples_.Read({other.sample, other.first + next_, held}, std::span(side_.data(), held));
      for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int16_t>(MixStereo(out[i], side_[i]));
      }
    }
    next_ += count;
  }

 private:
  const sampler::SampleSource& source_;
  SampleFiles& samples_;
  std::vector<std::int16_t>& side_;
  std::uint32_t next_ = 0;
};

// What a chosen file's outputs may hold: as a bank's, 16 times what it reads, at least 1 GiB.
std::uint64_t OutputLimit(std::uint64_t source_bytes) {
  constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
  return std::max(kGiB, 16 * source_bytes);
}

}  // namespace

std::string SfzOutputName(std::string_view sfz_name, int part, int parts) {
  const std::size_t dot = sfz_name.find_last_of('.');
  std::string name(dot == std::string_view::npos || dot == 0 ? sfz_name : sfz_name.substr(0, dot));
  if (parts > 1) name += " (" + std::to_string(part) + " of " + std::to_string(parts) + ")";
  return name + ".xi";
}

int SfzConversion::Run(Platform& platform) {
  const std::vector<Match> matches = platform.Search(pattern_);
  if (matches.empty()) throw NothingMatches(DisplayText(pattern_));
  Console& console = platform.console();
  console.Write(ProcessingLine(DisplayText(pattern_), nullptr));

  int code = exit_code::kSuccess;
  SampleFiles samples(platform);
  std::vector<std::int16_t> side;
  for (const Match& match : matches) {
    const DisplayText label(match.name);
    const std::string stem = SfzOutputName(match.name, 1, 1);
    SfzPlan planned = PlanSfz(platform, match.path, stem.substr(0, stem.size() - 3), samples);
    std::uint64_t bytes = 0;
    if (!planned.skip) {
      for (const sampler::InstrumentPlan& part : planned.plan.instruments) {
        bytes += WrittenBytes(sampler::DescribePlan(part));
      }
      if (bytes > OutputLimit(planned.source_bytes)) {
        planned.skip = SfzOutputTooLarge((bytes + 999'999) / 1'000'000);
      }
    }
    if (planned.skip) {
      console.Write(PresetSkipLine(label, *planned.skip));
      code = exit_code::kBankRefused;
      continue;
    }
    const std::string unmapped = UnmappedNote(planned.unmapped);
    const sampler::Plan& plan = planned.plan;
    for (const sampler::InstrumentPlan& part : plan.instruments) {
      const std::string name = SfzOutputName(match.name, part.part, part.part_count);
      Instrument instrument = sampler::DescribePlan(part);
      std::vector<std::unique_ptr<FrameSource>> sources;
      std::vector<const sampler::KeyRenderSource*> renders;
      for (std::size_t i = 0; i < part.samples.size(); ++i) {
        const sampler::PlannedSample& sample = part.samples[i];
        if (sample.render) {
          auto render =
              std::make_unique<sampler::KeyRenderSource>(*sample.render, samples, renders_);
          renders.push_back(render.get());
          sources.push_back(std::move(render));
        } else {
          sources.push_back(std::make_unique<PlannedFrames>(sample.source, samples, side));
        }
        instrument.samples[i].source = {0, sources.back().get()};
      }
      if (const std::string fault = InstrumentFault(instrument); !fault.empty()) {
        throw InstrumentNotWritable(DisplayText(instrument.name), fault);
      }
      RefuseToReplaceAForeignFile(name, platform);
      output_.Create(name, {}, platform, [&](const FileId& existing) {
        if (const std::string* earlier = written_.SourceOf(existing)) {
          throw SameOutput(label, DisplayText(*earlier), DisplayText(name));
        }
      });
      written_.Add(output_.file().Id(), match.name);
      WriteInstrument(instrument, {}, output_.file(), image_, buffers_);
      output_.Close();
      const auto scaled_down = std::count_if(renders.begin(), renders.end(),
                                             [](const auto* r) { return r->scaled_down(); });
      console.Write(PresetReportLine(
          label, DisplayText(name), part.samples.size(),
          sampler::ReportNotes(plan, part, static_cast<int>(scaled_down),
                               part.part == 1 ? std::string_view(unmapped) : std::string_view())));
    }
  }
  return code;
}

void SfzConversion::AbortCurrentFile(Platform& platform) { output_.Abandon(platform); }

}  // namespace brumlet
