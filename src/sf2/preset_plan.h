// The plan of the XI instrument (or, for a large drum kit, instruments) a preset becomes: which
// bank samples, mixed how, tuned, looped, at which volume and panning, on which keys; and what
// could not be kept, for the report. The plan knows nothing of the XI file's bytes: the driver
// turns it into an instrument description and writes that.
//
// The rules, in the order they are applied:
//  - Only zones that sound at velocity 100 are used; the tracker's note volume does the rest.
//  - Key k of the XI map is MIDI note k; notes 96..127 cannot be played in a tracker.
//  - Each key plays the loudest zone sounding on it (least attenuation; the first in bank order
//    among equals). A left or right sample is mixed with its other side: the zone of its link
//    when that sounds on the same key with the other side, else the loudest zone of the other
//    side sounding there (banks whose links are all wrong exist); panned at the mean of both.
//  - A key no zone sounds on plays the nearest covered key's sample, the lower on a tie.
//  - One XI sample per distinct (bank sample, frames, pitch, loop, volume, panning, partner),
//    numbered in the order of the first key each plays; the pitch is what root key and tuning
//    give together, so two ways of tuning a sample to the same pitch are one sample.
//  - More than 16: a melodic preset drops, one at a time, the sample playing fewest keys (the
//    first among equals) and gives its keys to the kept sample whose root key is nearest its
//    own (the lower among equals); a preset of bank 128 is split into runs of consecutive keys
//    of at most 16 samples each, keys outside a part's run playing its nearest key's sample.
//  - The envelope and vibrato come from the zone of the sample key 60 plays (a drum kit's part:
//    the key of its run nearest 60), as that zone plays that key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sampler/work_budget.h"
#include "sf2/bank.h"
#include "sf2/zones.h"
#include "xi/envelope.h"
#include "xi/pitch.h"
#include "xi/xi_header.h"

namespace brumlet::sf2 {

/// The bank number of percussion presets, whose keys are different instruments.
inline constexpr int kPercussionBank = 128;
/// Keys a tracker plays: MIDI notes 0..95.
using xi::kKeyCount;

/// Frames of the smpl chunk, as a place in the bank file: 16-bit little-endian mono frames.
struct FrameRange {
  std::int64_t file_offset = 0;  ///< of the first frame
  std::uint32_t frames = 0;

  bool operator==(const FrameRange&) const = default;
};

/// Where an XI sample's frames come from.
struct SampleSource {
  std::uint32_t bank_sample = 0;  ///< index into Bank::samples
  FrameRange range;
  /// The other side of a stereo pair, mixed in as --mono mixes a stereo WAV. The mix has
  /// `range.frames` frames; where the partner is shorter, its missing frames are silence.
  std::optional<std::uint32_t> partner_sample;
  FrameRange partner_range;

  bool operator==(const SampleSource&) const = default;
};

/// A forward loop, in frames from the sample's first frame.
struct PlannedLoop {
  std::uint32_t start = 0;
  std::uint32_t length = 0;

  bool operator==(const PlannedLoop&) const = default;
};

struct PlannedSample {
  std::string name;  ///< the bank sample's name, at most 20 characters
  SampleSource source;
  int root_key = 60;     ///< the MIDI key on which it plays `tuning_cents` above its own rate
  int tuning_cents = 0;  ///< coarse, fine and pitch correction, and a single key's scale tuning
  Pitch pitch;           ///< relative note and finetune, both together worth the two above
  std::optional<PlannedLoop> loop;
  std::uint8_t volume = 64;    ///< 0..64
  std::uint8_t panning = 128;  ///< 0..255
  int key_count = 0;           ///< keys of the instrument's map that play it

  std::size_t zone = 0;  ///< the zone it comes from, an index into FlattenPreset's zones
  std::optional<std::size_t> partner_zone;
  bool loop_dropped = false;       ///< the zone loops, but its loop lies outside the sample
  bool scale_tuning_lost = false;  ///< the zone spans several keys with a scaleTuning not 100
};

/// One XI file's worth.
struct InstrumentPlan {
  std::string name;  ///< the preset's name
  int part = 1;      ///< a split drum kit: "(part of part_count)" in the file's name
  int part_count = 1;
  Range keys{0, kKeyCount - 1};                   ///< the run of keys this part holds
  std::array<std::uint8_t, kKeyCount> key_map{};  ///< for each key, its index in `samples`
  std::vector<PlannedSample> samples;             ///< at most 16; none for a silent preset
  /// The volume envelope, fade-out and auto-vibrato of the zone whose sample plays key 60, or the
  /// part's key nearest it; empty for a preset that plays nothing.
  std::optional<xi::VolumeEnvelope> envelope;
  std::optional<xi::AutoVibrato> vibrato;
  bool envelope_compressed = false;  ///< too long for a tracker's editor: its times were scaled

  // What the report line says was not kept.
  int samples_merged = 0;  ///< samples beyond 16 whose keys went to another sample
  int pairs_mixed = 0;     ///< samples mixed from a stereo pair
  int loops_dropped = 0;
  int scale_tunings_lost = 0;
  std::vector<int> unmapped_generators;  ///< set by its zones, no XI counterpart, ascending
};

/// What --list shows of a preset.
struct PresetSummary {
  int bank = 0;
  int program = 0;
  std::string name;
  std::size_t zones = 0;    ///< flattened zones, all velocities
  std::size_t samples = 0;  ///< XI samples it needs before reducing to 16 or splitting
};

struct PresetPlan {
  PresetSummary summary;
  std::optional<PresetSkip> skip;  ///< why it is not converted; then there are no instruments
  std::vector<InstrumentPlan> instruments;  ///< one, or the parts of a split drum kit

  // Left out of the whole preset.
  int layers_left_out = 0;           ///< zones at velocity 100 that no key plays
  int velocity_layers_left_out = 0;  ///< zones that do not sound at velocity 100
  int zones_above_keyboard = 0;      ///< zones at velocity 100 sounding only on keys 96..127
};

/// The plan of preset `preset`, an index below Bank::PresetCount(), flattened by `flattener` (over
/// the same bank). Its work counts against `budget` (a preset of its own: StartPreset first): the
/// zone pairs of flattening and, for each key, the zones looked at; a preset that passes the
/// budget is skipped.
PresetPlan PlanPreset(const Bank& bank, Flattener& flattener, std::size_t preset,
                      sampler::WorkBudget& budget);

/// The plan of one preset alone, within the default budgets.
PresetPlan PlanPreset(const Bank& bank, std::size_t preset);

/// The XI pitch of a sample of `rate` Hz (kMinRate..kMaxRate) that plays `cents` above its own
/// rate on `root_key`: the rate's pitch as a WAV conversion has it (own rate on key 60), moved by
/// 60 - root_key semitones and the cents, split into a relative note and a finetune of -64..63
/// (only relative note x 128 + finetune matters), held within what the two fields can hold.
Pitch SamplePitch(std::uint32_t rate, int root_key, int cents);

/// 0..64 for an attenuation of `centibels` (0..1440): players apply 0.4 of it, and banks are
/// voiced for that, so 64 x 10^(-0.4 cB / 200), rounded.
std::uint8_t XiVolume(int centibels);

/// 0..255 for a pan of -500..500 (left to right), around 128, rounded, 500 giving 255.
std::uint8_t XiPanning(double pan);

}  // namespace brumlet::sf2
