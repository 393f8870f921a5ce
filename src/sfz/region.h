// One SFZ region as the reader hands it on: every opcode the planner maps, typed and in SFZ's
// own units (keys as MIDI notes, cents, dB, percent, seconds, frames), with the opcodes of the
// <global>, <master> and <group> above it already laid under its own.
//
// Where a value's default depends on the sample file (the loop) or a later choice is free to
// tell "never set" from "set to the default" (envelopes, LFO, filter), the field is optional;
// elsewhere it holds SFZ's default until an opcode sets it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brumlet::sfz {

/// What `sample=` names.
///
/// The generated kinds have no file. Suggested frames for them: for *sine, one cycle of 256
/// 16-bit frames, looped whole, at 256 x the frequency of the region's pitch_keycenter
/// (440 x 2^((pitch_keycenter - 69) / 12) Hz, 66976 Hz for key 60), so that the sine sounds the
/// played note as a sample would; for *silence, 256 zero frames at 44100 Hz without a loop, or
/// no sample at all on its keys.
enum class SampleKind {
  kNone,           ///< no sample opcode: the region plays nothing
  kFile,           ///< a sample file, `Region::sample`
  kSine,           ///< *sine
  kSilence,        ///< *silence
  kOtherWaveform,  ///< *saw, *square, *noise, ...: generated waveforms not made here
};

/// loop_mode.
enum class LoopMode { kNoLoop, kOneShot, kContinuous, kSustain };

/// trigger: which event starts the region.
enum class Trigger {
  kAttack,      ///< a note-on (the default)
  kRelease,     ///< the note-off
  kFirst,       ///< a note-on with no other note held
  kLegato,      ///< a note-on while another note is held
  kReleaseKey,  ///< the note-off, even while the sustain pedal holds the note
};

/// fil_type, by its shape; the number of poles is kept apart.
enum class FilterShape {
  kLowpass,
  kHighpass,
  kBandpass,
  kBandReject,
  kAllpass,
  kPeak,
  kLowShelf,
  kHighShelf,
  kEqualiser,
  kComb,
  kPink,
};

struct Filter {
  FilterShape shape = FilterShape::kLowpass;
  int poles = 2;  ///< 1, 2, 4 or 6; 0 for the shapes that have no pole count (shelves, comb, ...)
  bool state_variable = false;  ///< the _sv variants
  bool operator==(const Filter&) const = default;
};

/// An envelope generator's opcodes: ampeg_*, pitcheg_* or fileg_* (times in seconds, sustain in
/// percent of the full level, depth in cents; ampeg has no depth).
struct EnvelopeOpcodes {
  std::optional<double> delay;
  std::optional<double> attack;
  std::optional<double> hold;
  std::optional<double> decay;
  std::optional<double> sustain;
  std::optional<double> release;
  std::optional<double> depth;
  bool operator==(const EnvelopeOpcodes&) const = default;
};

/// The pitch LFO (pitchlfo_*): depth in cents, frequency in Hz, delay in seconds.
struct LfoOpcodes {
  std::optional<double> depth;
  std::optional<double> freq;
  std::optional<double> delay;
  bool operator==(const LfoOpcodes&) const = default;
};

/// Controller numbers whose loccN/hiccN conditions are evaluated; higher numbers (pitch bend,
/// aftertouch, velocity, ... in SFZ 2) are not plain controllers and are listed as unmapped.
inline constexpr int kControllers = 128;

/// loccN / hiccN: the region sounds while controller N lies in [low, high].
struct ControllerRange {
  int controller = 0;
  double low = 0;
  double high = 127;
  bool operator==(const ControllerRange&) const = default;
};

/// Why a region does not sound on one lone note at velocity 100 (see choice.h); the first reason
/// that applies, in this order.
enum class LeftOut {
  kNone,                 ///< it sounds (on its keys, at its velocities)
  kNoSample,             ///< no sample opcode
  kSilenced,             ///< end=-1
  kOtherWaveform,        ///< a generated waveform other than *sine and *silence
  kNoKeys,               ///< lokey above hikey, or a range outside 0..127 (hikey=-1)
  kReleaseTrigger,       ///< trigger=release or release_key: sounds when a note ends
  kLegatoTrigger,        ///< trigger=legato: sounds only while another note is held
  kControllerTrigger,    ///< on_loccN / on_hiccN: started by a controller, not a note
  kRoundRobin,           ///< seq_position other than 1: a later turn of a round robin
  kRandomLayer,          ///< lorand..hirand does not cover 0
  kKeySwitch,            ///< sw_last is not the chosen switch; sw_down or sw_previous set
  kControllerCondition,  ///< a controller's value lies outside loccN..hiccN
};

struct Region {
  /// Where its <region> header is: an index into SfzFile::files and a line (from 1) there.
  std::size_t file = 0;
  int line = 0;

  SampleKind sample_kind = SampleKind::kNone;
  /// kFile: default_path and the value joined, every "\" made "/", relative to the main file's
  /// folder (SfzFile::folder). Text from the file: shown only filtered.
  std::string sample;

  int lokey = 0;
  int hikey = 127;
  int lovel = 1;
  int hivel = 127;
  int pitch_keycenter = 60;
  bool keycenter_from_sample = false;  ///< pitch_keycenter=sample: the sample file's unity note
  int pitch_keytrack = 100;            ///< cents a key
  int transpose = 0;                   ///< semitones
  int tune = 0;                        ///< cents
  double volume = 0;                   ///< dB
  double amplitude = 100;              ///< percent
  double pan = 0;                      ///< -100 (left) .. 100 (right)

  std::int64_t offset = 0;            ///< first frame played
  std::optional<std::int64_t> end;    ///< last frame played (inclusive); -1 silences the region
  std::optional<LoopMode> loop_mode;  ///< unset: loop_continuous if the sample file loops
  std::optional<std::int64_t> loop_start;  ///< frames, inclusive; unset: the sample file's loop
  std::optional<std::int64_t> loop_end;

  EnvelopeOpcodes ampeg;
  /// ampeg_holdcc133, ampeg_decaycc133: seconds the hold and decay gain at note 127, in
  /// proportion below (controller 133 is the note number in SFZ 2), as exported banks write a
  /// hold or decay that changes with the key.
  std::optional<double> ampeg_hold_by_note, ampeg_decay_by_note;
  LfoOpcodes pitchlfo;
  EnvelopeOpcodes pitcheg;
  EnvelopeOpcodes fileg;
  std::optional<Filter> fil_type;
  std::optional<double> cutoff;     ///< Hz
  std::optional<double> resonance;  ///< dB

  // What chooses the region on a note (see choice.h). lochan/hichan are read and ignored.
  Trigger trigger = Trigger::kAttack;
  bool controller_trigger = false;  ///< on_loccN or on_hiccN set to a controller value
  int seq_length = 1;
  int seq_position = 1;
  double lorand = 0;
  double hirand = 1;
  std::optional<int> sw_last;
  int sw_lokey = 0;
  int sw_hikey = 127;
  std::optional<int> sw_default;
  bool sw_down = false;      ///< sw_down set: sounds only while a switch key is held
  bool sw_previous = false;  ///< sw_previous set: sounds only after a given note
  std::vector<ControllerRange> controller_ranges;  ///< at most one per controller

  LeftOut left_out = LeftOut::kNone;
};

}  // namespace brumlet::sfz
