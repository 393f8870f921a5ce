#include "sampler/describe.h"

#include <algorithm>

namespace brumlet::sampler {

Instrument DescribePlan(const InstrumentPlan& part) {
  Instrument instrument;
  instrument.name = part.name;
  instrument.envelope = part.envelope;
  instrument.vibrato = part.vibrato;
  std::copy(part.key_map.begin(), part.key_map.end(), instrument.keys.begin());
  for (const PlannedSample& planned : part.samples) {
    InstrumentSample sample;
    sample.name = planned.name;
    sample.root_key = planned.root_key;
    sample.relative_note = planned.pitch.relative_note;
    sample.finetune = planned.pitch.finetune;
    sample.sixteen_bit = true;
    sample.frames = planned.source.range.frames;
    if (planned.loop) {
      sample.loop = SampleLoop::kForward;
      sample.loop_start = planned.loop->start;
      sample.loop_length = planned.loop->length;
    }
    sample.volume = planned.volume;
    sample.panning = planned.panning;
    instrument.samples.push_back(std::move(sample));
  }
  return instrument;
}

}  // namespace brumlet::sampler
