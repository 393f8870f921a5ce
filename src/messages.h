// Every text the program prints of its own, and the exit code that goes with each condition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "display_text.h"
#include "failure.h"

namespace brumlet {

inline constexpr std::string_view kBanner = "\nBrumlet 0.26 - WAV to XI instrument converter\n\n";

inline constexpr std::string_view kUsage =
    "usage: Brumlet <input file(s)> [namefile]\n"
    "       Brumlet --mono <input file(s)> [namefile]\n"
    "       Brumlet --kit <output.xi> <input file(s)>\n"
    "       Brumlet --multi <output.xi> <input file(s)>\n"
    "       Brumlet --sf2 <bank.sf2> [presets]\n"
    "       Brumlet --sfz <file(s).sfz>\n"
    "\n"
    "BE SURE TO READ THE DOCS BEFORE USING Brumlet !!!\n"
    "you're also advised to use my tagsmith.exe ! :)\n"
    "\n";

/// Where the documentation is; follows the usage text of --help.
inline constexpr std::string_view kManualPointer = "see 'man brumlet' and the README for more\n";
inline constexpr std::string_view kReadmePointer = "see README.md for more\n";

/// An Explorer launch keeps its window open until Enter is pressed, so that the run can be read.
inline constexpr std::string_view kPressEnterToClose = "\nPress Enter to close this window.";

// Concatenates message pieces (a helper rather than chains of operator+, which also keeps g++ 12
// from a false -Wrestrict alarm on "literal" + std::string).
inline std::string Text(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

// Where the shell expands wildcards, an unquoted pattern reaches the program as many arguments.
inline constexpr std::string_view kManyArgumentsHint =
    "hint: more than two arguments; quote a wildcard pattern so that brumlet expands it: "
    "brumlet '*.wav'\n";
inline constexpr std::string_view kNameFileIsAWavHint =
    "hint: the name file is a WAV file; quote a wildcard pattern so that brumlet expands it: "
    "brumlet '*.wav'\n";

/// Follows every message that ends a run whose first argument looks like an option but is none.
inline constexpr std::string_view kUnknownOptionHint =
    "hint: the options are --mono, --kit, --multi, --sf2, --sfz, --help and --version; they "
    "come first\n";

/// How a mode is called with a quoted pattern: "brumlet --kit drums.xi '*.wav'". `quoted` is
/// false where the program, not the shell, expands wildcards (no quotes are needed there).
inline std::string ModeExample(std::string_view mode, bool quoted) {
  std::string example = "brumlet ";
  example += mode;
  if (mode == "--kit") example += " drums.xi";
  if (mode == "--multi") example += " piano.xi";
  if (mode == "--mono" || mode == "--kit" || mode == "--multi") {
    example += quoted ? " '*.wav'" : " *.wav";
  }
  if (mode == "--sf2") example += quoted ? " bank.sf2 '*Piano*'" : " bank.sf2 *Piano*";
  if (mode == "--sfz") example += quoted ? " '*.sfz'" : " *.sfz";
  return example;
}

/// A mode given more arguments than it takes: most likely an unquoted pattern.
inline std::string TooManyArgumentsHint(std::string_view mode) {
  return Text({"hint: too many arguments for ", mode,
               "; quote a wildcard pattern so that brumlet expands it: ", ModeExample(mode, true),
               "\n"});
}

/// An option given where the name file goes (`brumlet '*.wav' --mono`), or a mode named after
/// the first argument (`brumlet '*.wav' --kit drums.xi`).
inline std::string OptionsComeFirstHint(std::string_view option, bool quoted) {
  return Text({"hint: options come first: ", ModeExample(option, quoted), "\n"});
}

/// `--kit` or `--multi` whose first argument names no file the shell could have put there
/// (`brumlet --kit drums '*.wav'`): it is the instrument to write.
inline std::string FirstArgumentHint(std::string_view mode, bool quoted) {
  return Text({"hint: the first argument of ", mode,
               " is the instrument to write: ", ModeExample(mode, quoted), "\n"});
}

/// The quoting hint of --kit and --multi whose output argument is an existing file: the shell
/// made the pattern's first match the output.
inline std::string QuotePatternHint(std::string_view mode) {
  return Text({"hint: quote a wildcard pattern so that brumlet expands it: ",
               ModeExample(mode, true), "\n"});
}

namespace exit_code {
inline constexpr int kSuccess = 0;
inline constexpr int kRunFailure = 1;
inline constexpr int kBankRefused = 245;
inline constexpr int kWrongUse = 246;
inline constexpr int kInstrumentRefused = 247;
inline constexpr int kNoDataChunk = 248;
inline constexpr int kBadSampleNumber = 249;
inline constexpr int kBadSampleIdentifier = 250;
inline constexpr int kBadInstrumentIdentifier = 251;
inline constexpr int kNameFileEmpty = 252;
inline constexpr int kNotAWav = 253;
inline constexpr int kNoMatch = 254;
inline constexpr int kNoNameFile = 255;
}  // namespace exit_code

inline std::string ProcessingLine(const DisplayText& pattern, const DisplayText* name_file) {
  if (name_file == nullptr) return Text({"Processing \"", pattern, "\"\n\n"});
  return Text({"Processing \"", pattern, "\", using namefile \"", *name_file, "\"\n\n"});
}

/// The processing line of an instrument made of many sources: `kind` is "kit" or "multisample".
inline std::string InstrumentProcessingLine(const DisplayText& pattern, std::string_view kind,
                                            const DisplayText& output) {
  return Text({"Processing \"", pattern, "\" into ", kind, " \"", output, "\"\n\n"});
}

/// The format part of a report line: "(16 bit, mono, 44100 Hz, --> loop)". `bits`: the source's
/// own width, or for a compressed source nothing but `decoded_from`, the codec it is decoded
/// from: "(16 bit from mu-law, ...", the width of its samples in the XI. `loop_type`: the first
/// sampler loop's type, 0 forward, 1 ping-pong, 255 none; any other ends the text right after
/// "Hz, ", with no closing parenthesis.
inline std::string ReportFormat(std::uint16_t bits, std::string_view decoded_from, bool stereo,
                                std::int32_t rate, std::uint32_t loop_type) {
  const std::string_view loop = loop_type == 0     ? "--> loop)"
                                : loop_type == 1   ? "<--> loop)"
                                : loop_type == 255 ? "no loop)"
                                                   : "";
  const std::string width =
      decoded_from.empty() ? std::to_string(bits) + " bit" : Text({"16 bit from ", decoded_from});
  return Text(
      {"(", width, ", ", stereo ? "stereo, " : "mono, ", std::to_string(rate), " Hz, ", loop});
}

// The conditions the program checks itself. Those raised while a source is open clean it up.

inline Rejection NameFileNotFound(const DisplayText& argument) {
  return Rejection(exit_code::kNoNameFile, Text({"couldn't find namefile ", argument, "\n"}));
}

/// `hint`: what the pattern would have found, or empty.
inline Rejection NothingMatches(const DisplayText& pattern, std::string hint = {}) {
  return Rejection(exit_code::kNoMatch, Text({"couldn't find ", pattern, "\n"}), std::move(hint));
}

/// A pattern that found nothing where `either_case` (its letters written as brackets of both
/// cases) finds `first`, the first of its matches.
inline std::string CaseHint(const DisplayText& either_case, const DisplayText& first) {
  return Text({"hint: wildcards match case by case; '", either_case, "' matches ", first, "\n"});
}

/// A file that starts "RF64": a WAV too large for RIFF's 32-bit sizes, or written so by a
/// recorder that cannot know the length in advance.
inline std::string Rf64Hint(const DisplayText& source_name) {
  return Text({"hint: ", source_name, " is an RF64 file; brumlet reads RIFF WAVE files: ffmpeg -i ",
               source_name, " -c:a copy -rf64 never fixed.wav\n"});
}

inline Rejection NotAStandardWav(const DisplayText& source_name, std::string hint = {}) {
  return Rejection(exit_code::kNotAWav, Text({"\n", source_name, ": not a standard WAV!\n\n"}),
                   std::move(hint));
}

/// A chunk `id` (JUNK, bext, ...) before the format chunk: the file is a WAV this program could
/// read once the chunk is gone. `id` is shown as PrintableId made it.
inline std::string ChunkBeforeFormatHint(const DisplayText& source_name, std::string_view id) {
  return Text({"hint: ", source_name, " has a ", id,
               " chunk before its format chunk; brumlet reads WAVs that start with it: ffmpeg -i ",
               source_name, " -c:a copy fixed.wav rewrites it (a sampler loop is lost)\n"});
}

inline Rejection DataChunkNotFound(const DisplayText& source_name) {
  return Rejection(exit_code::kNoDataChunk,
                   Text({"error: data chunk not found in ", source_name, "\n"}));
}

// Sources that are WAVs but hold sound the program cannot turn into samples: refused as not a
// standard WAV, with a hint that says why.

/// `tag`: the fmt chunk's format tag, or for WAVE_FORMAT_EXTENSIBLE its subformat's.
inline Rejection UndecodableFormat(const DisplayText& source_name, std::uint16_t tag) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string hex = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(tag >> shift) & 0xF];
  return Rejection(exit_code::kNotAWav,
                   Text({NotAStandardWav(source_name).what(), "hint: ", source_name,
                         " holds compressed audio (format ", hex,
                         ") that brumlet cannot decode; convert it to PCM first\n"}));
}

inline Rejection DamagedAdpcmBlocks(const DisplayText& source_name, std::uint32_t block_align) {
  return Rejection(exit_code::kNotAWav,
                   Text({NotAStandardWav(source_name).what(), "hint: ", source_name,
                         ": ADPCM blocks of ", std::to_string(block_align),
                         " bytes cannot hold their header; the file is damaged\n"}));
}

/// An XI sample's length is a signed 32-bit byte count.
inline Rejection DecodesTooLong(const DisplayText& source_name) {
  return Rejection(exit_code::kNotAWav,
                   Text({NotAStandardWav(source_name).what(), "hint: ", source_name,
                         " decodes to more than 2 GiB of samples, more than an XI file holds\n"}));
}

inline Rejection NameFileEmpty() {
  return Rejection(exit_code::kNameFileEmpty, "error: namefile is empty!\n");
}

/// `wav_hint`: the name file is a WAV, most likely the second match of an unquoted pattern.
inline Rejection BadInstrumentIdentifier(bool wav_hint = false) {
  return Rejection(exit_code::kBadInstrumentIdentifier,
                   Text({"namefile error: invalid instrument name identifier!\n",
                         wav_hint ? kNameFileIsAWavHint : ""}));
}

inline Rejection BadSampleIdentifier() {
  return Rejection(exit_code::kBadSampleIdentifier,
                   "namefile error: invalid sample name identifier!\n");
}

// An instrument made of many sources is refused before anything is written.

inline Rejection OutputNotXi(const DisplayText& output, std::string hint) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: the output ", output, " does not end in .xi\n"}), std::move(hint));
}

/// Two sources of one run whose outputs are the same file: `earlier` was converted first.
inline Rejection SameOutput(const DisplayText& source, const DisplayText& earlier,
                            const DisplayText& output) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: ", source, " and ", earlier, " both become ", output,
                         "; rename one of them (only the part before the first dot names the "
                         "output)\n"}));
}

inline Rejection OutputNotAnInstrument(const DisplayText& output) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: ", output,
                         " exists and is not an XI instrument; brumlet does not replace it\n"}));
}

inline Rejection TooManySamples(const DisplayText& pattern, std::size_t matches) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: ", pattern, " matches ", std::to_string(matches),
                         " files; an instrument holds at most 16 samples\n"}));
}

inline Rejection NoRootKey(const DisplayText& source_name) {
  return Rejection(
      exit_code::kInstrumentRefused,
      Text({"error: no root key for ", source_name,
            ": no note name such as C4 or F#3 in its file name, and no smpl chunk to give one\n"}));
}

inline Rejection SameRootKey(const DisplayText& first, const DisplayText& second,
                             std::string_view key_name) {
  return Rejection(
      exit_code::kInstrumentRefused,
      Text({"error: ", first, " and ", second, " have the same root key ", key_name, "\n"}));
}

inline Rejection RootKeyTooHigh(const DisplayText& source_name, std::int64_t key) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: the root key of ", source_name, ", MIDI note ",
                         std::to_string(key), ", is above the highest key, 95 (B-7)\n"}));
}

/// A description of an instrument that the XI format cannot hold; built by the program itself,
/// so seen only where a front-end is at fault.
inline Rejection InstrumentNotWritable(const DisplayText& name, std::string_view fault) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: the instrument ", name, " cannot be written: ", fault, "\n"}));
}

inline Rejection BadSampleNumber() {
  return Rejection(exit_code::kBadSampleNumber, "namefile error: bad sample number!\n");
}

// A SoundFont bank that cannot be read is refused before anything is written: "error: BANK: "
// and what is wrong with it.

inline Rejection BankRefused(const DisplayText& bank, std::string_view what) {
  return Rejection(exit_code::kBankRefused, Text({"error: ", bank, ": ", what, "\n"}));
}

inline Rejection BankNotSfbk(const DisplayText& bank) {
  return BankRefused(bank, "not a SoundFont 2 bank (no RIFF sfbk header)");
}

inline Rejection BankSf3(const DisplayText& bank, std::uint16_t major, std::uint16_t minor) {
  return BankRefused(bank, Text({"a SoundFont ", std::to_string(major), ".", std::to_string(minor),
                                 " bank with compressed samples, which Brumlet does not read"}))
      .WithHint(
          "hint: SoundFont 3 banks hold Ogg Vorbis samples, which brumlet does not read yet; a "
          "SoundFont editor can save the bank as SoundFont 2\n");
}

/// `where`: the list the chunk belongs in, or empty for a list of the file itself.
inline Rejection BankChunkMissing(const DisplayText& bank, std::string_view id,
                                  std::string_view where) {
  if (where.empty()) return BankRefused(bank, Text({"no ", id, " list"}));
  return BankRefused(bank, Text({"no ", id, " chunk in the ", where, " list"}));
}

inline Rejection BankTruncated(const DisplayText& bank, std::string_view id) {
  return BankRefused(bank, Text({"truncated: the ", id, " chunk ends past the end of the file"}));
}

inline Rejection BankChunkOverrun(const DisplayText& bank, std::string_view id,
                                  std::string_view list) {
  return BankRefused(bank, Text({"the ", id, " chunk runs past the end of the ", list, " list"}));
}

inline Rejection BankPartialRecord(const DisplayText& bank, std::string_view id, std::uint32_t size,
                                   int record_size) {
  return BankRefused(
      bank, Text({"the ", id, " chunk's ", std::to_string(size), " bytes are not whole records of ",
                  std::to_string(record_size), " bytes"}));
}

inline Rejection BankTooFewRecords(const DisplayText& bank, std::string_view id,
                                   std::uint32_t count, int needed) {
  return BankRefused(bank, Text({"the ", id, " chunk holds ", std::to_string(count),
                                 count == 1 ? " record" : " records", ", fewer than the ",
                                 std::to_string(needed), " it needs with its terminal record"}));
}

/// The presets chosen from `bank` would take more planning together than the limit allows.
inline Rejection BankTooMuchWork(const DisplayText& bank) {
  return BankRefused(
      bank, "planning it would take more work than any real bank needs; nothing was written");
}

/// What the chosen presets would write, `megabytes` (10^6 bytes, rounded up), is more than a
/// bank of its size can honestly hold.
inline Rejection BankOutputTooLarge(const DisplayText& bank, std::uint64_t megabytes) {
  return BankRefused(bank, Text({"the chosen presets would write ", std::to_string(megabytes),
                                 " MB, more than 16 times the bank; choose fewer presets"}));
}

// Why one preset of a bank is skipped; the driver shows it after the preset. The other presets
// are still written.

inline DisplayText PresetRecordsOutside(std::string_view table, std::uint32_t first,
                                        std::uint32_t end, std::size_t count) {
  return DisplayText(
      Text({"its ", table, " records ", std::to_string(first), "..", std::to_string(end),
            " lie outside the table of ", std::to_string(count)}));
}

inline DisplayText PresetIndexOutside(std::string_view what, std::uint32_t index,
                                      std::size_t count) {
  return DisplayText(
      Text({"it names ", what, " ", std::to_string(index), " of ", std::to_string(count)}));
}

inline DisplayText PresetSampleOutside(const DisplayText& sample, std::int64_t start,
                                       std::int64_t end, std::uint32_t frames) {
  return DisplayText(
      Text({"sample \"", sample, "\" (frames ", std::to_string(start), "..", std::to_string(end),
            ") lies outside the sample data of ", std::to_string(frames), " frames"}));
}

inline DisplayText PresetSampleNotInBank(const DisplayText& sample) {
  return DisplayText(
      Text({"sample \"", sample, "\" is not 16-bit data in the bank (ROM or compressed)"}));
}

inline DisplayText PresetSampleRate(const DisplayText& sample, std::uint32_t rate) {
  return DisplayText(
      Text({"sample \"", sample, "\" has a sample rate of ", std::to_string(rate), " Hz"}));
}

inline DisplayText PresetTooManyZones(std::size_t limit) {
  return DisplayText(Text({"it has more than ", std::to_string(limit), " zones"}));
}

/// A preset whose zones and keys would take more planning than the limit allows.
inline DisplayText PresetTooMuchWork() {
  return DisplayText("planning it would take more work than any real bank needs");
}

inline DisplayText PresetAfterTwin(const DisplayText& first) {
  return DisplayText(
      Text({"preset \"", first, "\" has the same numbers and comes first, so players use it"}));
}

// Why an SFZ file is skipped, shown after its name as a preset's reason is. `place` is where in
// the text the cause lies: "line 12", or "line 3 of \"drums.inc\"" in an included file.

inline DisplayText SfzPlace(int line, std::string_view included_file) {
  if (included_file.empty()) return DisplayText(Text({"line ", std::to_string(line)}));
  return DisplayText(
      Text({"line ", std::to_string(line), " of \"", DisplayText(included_file), "\""}));
}

inline DisplayText SfzSampleNotFound(const DisplayText& place, std::string_view sample) {
  return DisplayText(Text({place, ": sample \"", DisplayText(sample), "\" not found"}));
}

/// `problem`: "is not a WAV or FLAC file", "has a sample rate of 0 Hz", or a decoder's reason.
inline DisplayText SfzSampleUnreadable(const DisplayText& place, std::string_view sample,
                                       std::string_view problem) {
  const bool phrase = problem.starts_with("is ") || problem.starts_with("has ");
  return DisplayText(
      Text({place, ": sample \"", DisplayText(sample), "\"", phrase ? " " : ": ", problem}));
}

/// The text of the file is not what an SFZ reader can take: `what` says how.
inline DisplayText SfzTextProblem(const DisplayText& place, std::string_view what) {
  if (place.empty()) return DisplayText(what);
  return DisplayText(Text({place, ": ", what}));
}

/// What the chosen file would write is more than the text and samples it reads can hold.
inline DisplayText SfzOutputTooLarge(std::uint64_t megabytes) {
  return DisplayText(Text({"it would write ", std::to_string(megabytes),
                           " MB, more than 16 times its text and samples"}));
}

// The SoundFont mode's lines. A preset is shown as its bank and program numbers and its name,
// "000:025 Acoustic Guitar".

inline std::string BankProcessingLine(const DisplayText& bank) {
  return Text({"Processing bank \"", bank, "\"\n\n"});
}

/// Megabytes (10^6 bytes) with one decimal: "2.1 MB".
inline std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

/// `bytes`: what the preset's files (all parts of a split kit) would hold; `generators`: with
/// `--list -v`, the names behind its "not in an XI" note, separated by blanks.
inline std::string PresetListLine(const DisplayText& preset, std::size_t zones, std::size_t samples,
                                  std::uint64_t bytes, std::string_view generators = {}) {
  return Text({preset, "  (", std::to_string(zones), zones == 1 ? " zone, " : " zones, ",
               std::to_string(samples), samples == 1 ? " sample, " : " samples, ", Megabytes(bytes),
               generators.empty() ? "" : "; not in an XI: ", generators, ")\n"});
}

/// The last line of --list: the presets --sf2 would write, their files and their bytes.
inline std::string PresetListTotal(std::size_t presets, std::size_t files, std::uint64_t bytes) {
  return Text({"total: ", std::to_string(presets), presets == 1 ? " preset, " : " presets, ",
               std::to_string(files), files == 1 ? " file, " : " files, ", Megabytes(bytes), "\n"});
}

inline std::string PresetSkipLine(const DisplayText& preset, const DisplayText& why) {
  return Text({preset, "  skipped: ", why, "\n"});
}

inline constexpr std::string_view kPresetPlaysNothing = "it plays no sample on keys 0 to 95";

/// `notes`: what was left out or merged, already joined with ", "; empty for none.
inline std::string PresetReportLine(const DisplayText& preset, const DisplayText& file,
                                    std::size_t samples, std::string_view notes) {
  return Text({preset, "  ->  ", file, "  (", std::to_string(samples),
               samples == 1 ? " sample" : " samples", notes.empty() ? "" : "; ", notes, ")\n"});
}

/// A split drum kit's part: the first and last keys with a drum of their own, "keys 35-50".
inline std::string KeysNote(int first, int last) {
  return Text({"keys ", std::to_string(first), "-", std::to_string(last)});
}

/// One part of a report line's notes: "3 velocity layers left out".
inline std::string CountNote(int count, std::string_view one, std::string_view many,
                             std::string_view what) {
  return Text({std::to_string(count), " ", count == 1 ? one : many, " ", what});
}

/// What an XI cannot hold of a zone, in a musician's words, in the order sampler::Lost numbers
/// them.
inline constexpr std::string_view kLostWords[] = {
    "filter",       "pitch envelope",        "pitch LFO",        "tremolo", "effects sends",
    "choke groups", "fixed key or velocity", "per-key envelopes"};

/// `words`: what was lost, each once, joined with ", ".
inline std::string NotInAnXiNote(std::string_view words) { return Text({"not in an XI: ", words}); }

/// What a preset's zones left out: "640 velocity layers, 36 layers, 8 zones above B-7 left out";
/// empty when nothing was.
inline std::string LeftOutNote(int velocity_layers, int layers, int above_keyboard) {
  std::string counts;
  const auto add = [&counts](int n, std::string_view one, std::string_view many) {
    if (n == 0) return;
    if (!counts.empty()) counts += ", ";
    counts += Text({std::to_string(n), " ", n == 1 ? one : many});
  };
  add(velocity_layers, "velocity layer", "velocity layers");
  add(layers, "layer", "layers");
  add(above_keyboard, "zone above B-7", "zones above B-7");
  return counts.empty() ? counts : counts + " left out";
}

/// Zones with a scale tuning over several keys: "scale tuning kept on 12 of 40 keys".
inline std::string ScaleTuningNote(int kept, int keys) {
  return Text({"scale tuning kept on ", std::to_string(kept), " of ", std::to_string(keys),
               keys == 1 ? " key" : " keys"});
}

/// Keys no player sounds, as runs of first and last key: "silent on keys 0-11, 94-95".
inline std::string SilentKeysNote(const std::vector<std::pair<int, int>>& runs) {
  std::string text = runs.size() == 1 && runs.begin()->first == runs.begin()->second
                         ? "silent on key "
                         : "silent on keys ";
  bool first = true;
  for (const auto& [low, high] : runs) {
    if (!first) text += ", ";
    first = false;
    text += std::to_string(low);
    if (high != low) text += Text({"-", std::to_string(high)});
  }
  return text;
}

/// A preset whose every key would be silent, moved by whole octaves: "moved 2 octaves up".
inline std::string OctavesMovedNote(int octaves) {
  const int n = octaves < 0 ? -octaves : octaves;
  return Text({"moved ", std::to_string(n), n == 1 ? " octave " : " octaves ",
               octaves < 0 ? "down" : "up"});
}

/// `hint`: what the choice as part of a name would have found, or empty.
inline Rejection NoPresetChosen(const DisplayText& choice, const DisplayText& bank,
                                std::string hint = {}) {
  return Rejection(exit_code::kNoMatch,
                   Text({"couldn't find presets ", choice, " in ", bank, "\n"}), std::move(hint));
}

/// A choice without wildcards that names no preset whole, while `count` presets hold it:
/// `pattern` is the choice between two "*".
inline std::string WholeNameHint(const DisplayText& pattern, std::size_t count, bool quoted) {
  const std::string_view quote = quoted ? "'" : "";
  return Text({"hint: a name is matched whole; ", quote, pattern, quote, " matches ",
               std::to_string(count), count == 1 ? " preset\n" : " presets\n"});
}

}  // namespace brumlet
