// The plain description of a sampled instrument that every sampler format becomes: zones, each a
// sample played over a range of keys and velocities with its tuning, level, pan, loop, envelopes
// and filter, and the samples they play. SoundFont banks (src/sf2/) and SFZ files (src/sfz/) are
// read into this, and one planner (planner.h) turns it into XI instruments, so that a rule about
// layers, pairs or kits is written once.
//
// The units are a SoundFont's, which the rules were first written in: times in timecents
// (seconds = 2^(tc / 1200); -12000 is at once), levels in centibels of attenuation as players
// apply them (0.4 of the value: 64 x 10^(-0.4 cB / 200) of full volume), pitch in cents, pan from
// -500 (left) to 500 (right). A reader of another format converts into them.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brumlet::sampler {

/// An inclusive range of keys or velocities, 0..127.
struct KeyRange {
  int low = 0;
  int high = 127;

  bool Contains(int v) const { return v >= low && v <= high; }
  bool operator==(const KeyRange&) const = default;
};

/// A sample as a reader offers it: 16-bit mono frames (a stereo file's channels are mixed by the
/// reader, or are two samples of a SoundFont pair), at places only the reader knows.
struct Sample {
  enum class Side : std::uint8_t { kMono, kLeft, kRight };

  std::string name;         ///< shown and stored in the XI; from the file, untrusted
  std::uint32_t rate = 0;   ///< Hz, 16..16777216
  int correction = 0;       ///< cents the recording is off its key (the zones' tuning holds it too)
  Side side = Side::kMono;  ///< one side of a stereo recording
  std::optional<std::uint32_t> link;  ///< the other side's sample, where the reader says
};

/// A SoundFont-style envelope, as its generators hold it.
struct Envelope {
  int delay = -12000, attack = -12000, hold = -12000, decay = -12000, release = -12000;
  /// Volume envelope: attenuation in cB at sustain (0 = the peak). Modulation envelope: the
  /// fall from the peak in 0.1 % (0 = the peak, 1000 = nothing left).
  int sustain = 0;
  /// Timecents by which hold and decay shorten for every key above 60 (longer below).
  int hold_per_key = 0, decay_per_key = 0;
};

/// What an XI cannot hold of a zone, in a musician's words; the report names each once.
enum class Lost : std::uint8_t {
  kFilter,              ///< a low-pass below the top, or one the envelope or LFO moves
  kPitchEnvelope,       ///< the modulation envelope's sweep of pitch (its held pitch is kept)
  kPitchLfo,            ///< a second vibrato, from the modulation LFO
  kTremolo,             ///< the modulation LFO on the volume
  kEffectsSends,        ///< reverb and chorus sends
  kChokeGroups,         ///< an exclusive class: a key that cuts another
  kFixedKeyOrVelocity,  ///< a zone that plays every note as one key or one velocity
  kKeyEnvelopes,        ///< hold and decay that change with the key (the XI keeps key 60's)
  kCount
};
using LostSet = std::bitset<static_cast<std::size_t>(Lost::kCount)>;

/// How a zone's sample loops.
enum class LoopMode : std::uint8_t {
  kNone,          ///< plays once to its end
  kContinuous,    ///< loops while the note sounds, released or not
  kUntilRelease,  ///< loops while the key is held, then plays on to its end
  kOneShot,       ///< plays to its end whatever the key does (SFZ one_shot)
};

/// One sample on a range of keys and velocities, with everything that shapes its sound.
struct Zone {
  KeyRange keys;
  KeyRange velocities;
  std::uint32_t sample = 0;  ///< index into the reader's samples
  /// The frames played, [start, end), and the loop [loop_start, loop_end), at the reader's frame
  /// addresses: the reader has checked that it can deliver [start, end); the loop may lie
  /// anywhere (the planner checks it where it uses it).
  std::int64_t start = 0, end = 0, loop_start = 0, loop_end = 0;
  LoopMode loop_mode = LoopMode::kNone;

  int root_key = 60;       ///< the key on which the sample plays `tuning` cents above its rate
  int tuning = 0;          ///< cents: coarse and fine tune, the sample's own correction
  int scale_tuning = 100;  ///< cents from one key to the next, 0..1200
  int attenuation = 0;     ///< centibels, 0..1440
  int pan = 0;             ///< -500..500

  Envelope volume;
  Envelope modulation;
  int mod_env_to_pitch = 0;   ///< cents at the modulation envelope's peak
  int mod_env_to_filter = 0;  ///< cents of cutoff at the modulation envelope's peak
  int filter_cutoff = 13500;  ///< absolute cents: 8.176 Hz x 2^(cents / 1200); 13500 is open
  int filter_q = 0;           ///< centibels of resonance above the DC gain

  int vibrato_delay = -12000;  ///< timecents before the vibrato LFO starts
  int vibrato_frequency = 0;   ///< absolute cents: 8.176 Hz x 2^(cents / 1200)
  int vibrato_depth = 0;       ///< cents of pitch at the LFO's full swing

  LostSet lost;  ///< what of it an XI cannot hold
};

/// A sampled instrument as a reader describes it.
struct ZoneList {
  std::string name;
  std::vector<Sample> samples;
  std::vector<Zone> zones;  ///< in the reader's order, which breaks ties
  /// The reader knows the zones to be a drum kit (a SoundFont's bank 128), whatever they look like.
  bool kit = false;
};

}  // namespace brumlet::sampler
