// The plan of the XI instrument (or, for a large drum kit, instruments) a zone list becomes:
// which samples, mixed how, tuned, looped, at which volume and panning, on which keys; and what
// could not be kept, for the report. The plan knows nothing of the XI file's bytes nor of where
// a reader keeps its frames: the driver turns it into an instrument description and writes that.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sampler/key_layout.h"
#include "sampler/render_voice.h"
#include "sampler/zone.h"
#include "xi/envelope.h"
#include "xi/pitch.h"
#include "xi/xi_header.h"

namespace brumlet::sampler {

/// Keys a tracker plays: MIDI notes 0..95.
using xi::kKeyCount;

/// Frames of one of the reader's samples, at the reader's addresses.
struct FrameRange {
  std::uint32_t sample = 0;  ///< index into ZoneList::samples
  std::int64_t first = 0;
  std::uint32_t frames = 0;

  bool operator==(const FrameRange&) const = default;
};

/// Where an XI sample's frames come from.
struct SampleSource {
  FrameRange range;
  /// The other side of a stereo pair, mixed in as --mono mixes a stereo WAV: (L + R) >> 1. The
  /// mix has `range.frames` frames; where the partner is shorter, its missing frames are silence.
  std::optional<FrameRange> partner;

  bool operator==(const SampleSource&) const = default;
};

/// A voice of a rendered drum key: the zone as the renderer takes it, without its frames (the
/// voice's `length` says how many), and where those frames are.
struct PlannedVoice {
  FrameRange frames;
  /// The other side of a stereo recording played just as this side (the same pitch, loop,
  /// envelopes and filter): mixed in first, (L + R) >> 1, so that the pair is rendered once.
  std::optional<FrameRange> mixed_with;
  RenderVoice voice;
};

/// A drum key rendered into a sample of its own, as a SoundFont player plays it at velocity 100.
struct KeyRender {
  int key = 0;
  KeyRenderLayout layout;
  std::vector<PlannedVoice> voices;
};

/// A forward loop, in frames from the sample's first frame.
struct PlannedLoop {
  std::uint32_t start = 0;
  std::uint32_t length = 0;

  bool operator==(const PlannedLoop&) const = default;
};

struct PlannedSample {
  std::string name;  ///< the reader's sample name
  SampleSource source;
  int root_key = 60;        ///< the MIDI key on which it plays `tuning_cents` above its own rate
  double tuning_cents = 0;  ///< the zone's tuning, and a single key's scale tuning
  Pitch pitch;              ///< relative note and finetune, both together worth the two above
  std::optional<PlannedLoop> loop;
  std::uint8_t volume = 64;    ///< 0..64
  std::uint8_t panning = 128;  ///< 0..255
  int key_count = 0;           ///< keys of the instrument's map that play it

  /// A drum key rendered: the frames are made from these voices, `source` is not read.
  std::optional<KeyRender> render;

  std::size_t zone =
      0;  ///< the zone it comes from (a rendered key: its loudest), in ZoneList::zones
  std::optional<std::size_t> partner_zone;
  bool loop_dropped = false;       ///< the zone loops, but its loop lies outside the sample
  bool scale_tuning_lost = false;  ///< the zone spans several keys with a scaleTuning not 100
  LostSet lost;                    ///< what the XI cannot hold of its zones
};

/// One XI file's worth.
struct InstrumentPlan {
  std::string name;  ///< the zone list's name
  int part = 1;      ///< a split drum kit: "(part of part_count)" in the file's name
  int part_count = 1;
  KeyRange keys{0, kKeyCount - 1};                ///< the run of keys this part holds
  std::array<std::uint8_t, kKeyCount> key_map{};  ///< for each key, its index in `samples`
  std::vector<PlannedSample> samples;             ///< 1 to 16
  xi::VolumeEnvelope envelope;  ///< of the zone that plays key 60, or the part's key nearest
  xi::AutoVibrato vibrato;
  /// Longer than a tracker's editor shows: drawn as it is to the last tick and held there.
  bool envelope_held = false;
  /// A drum kit split into parts: the first and last keys of this part with a drum of their own
  /// (MIDI numbers), which its name and its report line show.
  std::optional<KeyRange> drum_keys;

  // What the report line says was not kept.
  int samples_merged = 0;  ///< samples beyond 16 whose keys went to another sample
  int pairs_mixed = 0;     ///< samples made of two zones that are one sound
  int loops_dropped = 0;
  /// Keys of zones with a scale tuning over several keys: those kept in tune by slots of their
  /// own, of how many.
  int scale_tuning_kept = 0, scale_tuning_keys = 0;
  /// Keys the zones sound on whose note players do not play, as runs; and, where that was every
  /// key, the octaves the samples were moved by.
  std::vector<KeyRange> silent_keys;
  int octaves_moved = 0;
  LostSet lost;  ///< of the zones its samples come from
};

struct Plan {
  std::size_t zones = 0;       ///< all velocities
  std::size_t samples = 0;     ///< XI samples it needs before reducing to 16 or splitting
  bool too_much_work = false;  ///< planning it passed the budget: nothing planned
  /// One, or the parts of a split drum kit; none when no zone sounds on a tracker's keys at
  /// velocity 100, or when it took too much work.
  std::vector<InstrumentPlan> instruments;

  // Left out of the whole list.
  int layers_left_out = 0;           ///< zones at velocity 100 that no key plays
  int velocity_layers_left_out = 0;  ///< zones that do not sound at velocity 100
  int zones_above_keyboard = 0;      ///< zones at velocity 100 sounding only on keys 96..127
};

}  // namespace brumlet::sampler
