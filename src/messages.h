// Every text the program prints of its own, and the exit code that goes with each condition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "failure.h"

namespace brumlet {

inline constexpr std::string_view kBanner = "\nBrumlet 0.26 - WAV to XI instrument converter\n\n";

inline constexpr std::string_view kUsage =
    "usage: Brumlet <input file(s)> [namefile]\n"
    "       Brumlet --mono <input file(s)> [namefile]\n"
    "       Brumlet --kit <output.xi> <input file(s)>\n"
    "       Brumlet --multi <output.xi> <input file(s)>\n"
    "\n"
    "BE SURE TO READ THE DOCS BEFORE USING Brumlet !!!\n"
    "you're also advised to use my tagsmith.exe ! :)\n"
    "\n";

/// Where the documentation is; follows the usage text of --help.
inline constexpr std::string_view kManualPointer = "see 'man brumlet' and the README for more\n";
inline constexpr std::string_view kReadmePointer = "see README.md for more\n";

// Where the shell expands wildcards, an unquoted pattern reaches the program as many arguments.
inline constexpr std::string_view kManyArgumentsHint =
    "hint: more than two arguments; quote a wildcard pattern so that brumlet expands it: "
    "brumlet '*.wav'\n";
inline constexpr std::string_view kNameFileIsAWavHint =
    "hint: the name file is a WAV file; quote a wildcard pattern so that brumlet expands it: "
    "brumlet '*.wav'\n";

// Concatenates message pieces (a helper rather than chains of operator+, which also keeps g++ 12
// from a false -Wrestrict alarm on "literal" + std::string).
inline std::string Text(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

namespace exit_code {
inline constexpr int kSuccess = 0;
inline constexpr int kRunFailure = 1;
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

inline std::string ProcessingLine(std::string_view pattern, const std::string* name_file) {
  if (name_file == nullptr) return Text({"Processing \"", pattern, "\"\n\n"});
  return Text({"Processing \"", pattern, "\", using namefile \"", *name_file, "\"\n\n"});
}

/// The processing line of an instrument made of many sources: `kind` is "kit" or "multisample".
inline std::string InstrumentProcessingLine(std::string_view pattern, std::string_view kind,
                                            std::string_view output) {
  return Text({"Processing \"", pattern, "\" into ", kind, " \"", output, "\"\n\n"});
}

// The conditions the program checks itself. Those raised while a source is open clean it up.

inline Rejection NameFileNotFound(std::string_view argument) {
  return Rejection(exit_code::kNoNameFile, Text({"couldn't find namefile ", argument, "\n"}),
                   false);
}

inline Rejection NothingMatches(std::string_view pattern) {
  return Rejection(exit_code::kNoMatch, Text({"couldn't find ", pattern, "\n"}), false);
}

inline Rejection NotAStandardWav(std::string_view source_name) {
  return Rejection(exit_code::kNotAWav, Text({"\n", source_name, ": not a standard WAV!\n\n"}),
                   true);
}

inline Rejection DataChunkNotFound(std::string_view source_name) {
  return Rejection(exit_code::kNoDataChunk,
                   Text({"error: data chunk not found in ", source_name, "\n"}), true);
}

// Sources that are WAVs but hold sound the program cannot turn into samples: refused as not a
// standard WAV, with a hint that says why.

/// `tag`: the fmt chunk's format tag, or for WAVE_FORMAT_EXTENSIBLE its subformat's.
inline Rejection UndecodableFormat(std::string_view source_name, std::uint16_t tag) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string hex = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(tag >> shift) & 0xF];
  return Rejection(exit_code::kNotAWav,
                   Text({NotAStandardWav(source_name).what(), "hint: ", source_name,
                         " holds compressed audio (format ", hex,
                         ") that brumlet cannot decode; convert it to PCM first\n"}),
                   true);
}

inline Rejection DamagedAdpcmBlocks(std::string_view source_name, std::uint32_t block_align) {
  return Rejection(
      exit_code::kNotAWav,
      Text({NotAStandardWav(source_name).what(), "hint: ", source_name, ": ADPCM blocks of ",
            std::to_string(block_align), " bytes cannot hold their header; the file is damaged\n"}),
      true);
}

/// An XI sample's length is a signed 32-bit byte count.
inline Rejection DecodesTooLong(std::string_view source_name) {
  return Rejection(exit_code::kNotAWav,
                   Text({NotAStandardWav(source_name).what(), "hint: ", source_name,
                         " decodes to more than 2 GiB of samples, more than an XI file holds\n"}),
                   true);
}

inline Rejection NameFileEmpty() {
  return Rejection(exit_code::kNameFileEmpty, "error: namefile is empty!\n", true);
}

/// `wav_hint`: the name file is a WAV, most likely the second match of an unquoted pattern.
inline Rejection BadInstrumentIdentifier(bool wav_hint = false) {
  return Rejection(exit_code::kBadInstrumentIdentifier,
                   Text({"namefile error: invalid instrument name identifier!\n",
                         wav_hint ? kNameFileIsAWavHint : ""}),
                   true);
}

inline Rejection BadSampleIdentifier() {
  return Rejection(exit_code::kBadSampleIdentifier,
                   "namefile error: invalid sample name identifier!\n", true);
}

// An instrument made of many sources is refused before anything is written.

inline Rejection TooManySamples(std::string_view pattern, std::size_t matches) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: ", pattern, " matches ", std::to_string(matches),
                         " files; an instrument holds at most 16 samples\n"}),
                   false);
}

inline Rejection NoRootKey(std::string_view source_name) {
  return Rejection(
      exit_code::kInstrumentRefused,
      Text({"error: no root key for ", source_name,
            ": no note name such as C4 or F#3 in its file name, and no smpl chunk to give one\n"}),
      false);
}

inline Rejection SameRootKey(std::string_view first, std::string_view second,
                             std::string_view key_name) {
  return Rejection(
      exit_code::kInstrumentRefused,
      Text({"error: ", first, " and ", second, " have the same root key ", key_name, "\n"}), false);
}

inline Rejection RootKeyTooHigh(std::string_view source_name, std::int64_t key) {
  return Rejection(exit_code::kInstrumentRefused,
                   Text({"error: the root key of ", source_name, ", MIDI note ",
                         std::to_string(key), ", is above the highest key, 95 (B-7)\n"}),
                   false);
}

inline Rejection BadSampleNumber() {
  return Rejection(exit_code::kBadSampleNumber, "namefile error: bad sample number!\n", true);
}

}  // namespace brumlet
