#include "naming/name_file.h"

#include <string>
#include <string_view>

#include "messages.h"
#include "naming/labels.h"
#include "naming/sample_number.h"
#include "xi/sampleinit.h"

namespace brumlet {
namespace {

// Line layouts, positions from 1:
//   instrument line  "INSTR: " over 1-7, the text from 8 on
//   sample line      "SMP" over 1-3, the number field at 4-5, ": " at 6-7, the text from 8 on
// Identifiers are compared upper-cased; the ": " separator exactly.
constexpr std::string_view kInstrumentId = "INSTR: ";
constexpr std::string_view kSampleId = "SMP";
constexpr std::size_t kNumberOffset = 3;
constexpr std::size_t kNumberSize = 2;
constexpr std::size_t kSeparatorOffset = 5;
constexpr std::string_view kSeparator = ": ";
constexpr std::size_t kTextOffset = 7;

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

/// A text is a token only as a whole: no blanks around it, nothing else in it.
bool IsToken(std::string_view text, std::string_view long_form, std::string_view short_form) {
  if (text.size() != long_form.size() && text.size() != short_form.size()) return false;
  const std::string upper = UpperAscii(text);
  return upper == long_form || upper == short_form;
}

std::string TitleOrXiName(const Vars& vars) {
  return vars.wav_info.Title.empty() ? XiName(vars.SourceName) : vars.wav_info.Title;
}

std::string Ask(Vars& vars, Platform& platform, std::string_view prompt) {
  platform.console().Write(prompt);
  return vars.console_lines.ReadLine();
}

// Each test looks at the text the earlier ones left, so an answer typed at the prompt is itself
// expanded by the later tests, while no test runs twice.
void ExpandInstrumentTokens(Vars& vars, Platform& platform) {
  std::string& name = vars.InstrumentName;
  if (IsToken(name, "%ASK", "%A")) name = Ask(vars, platform, "enter instrument name: ");
  if (IsToken(name, "%WAV", "%W")) name = vars.SourceName;
  if (IsToken(name, "%XI", "%X")) name = XiName(vars.SourceName);
  if (IsToken(name, "%INAM", "%IN")) name = TitleOrXiName(vars);
}

void ExpandSampleTokens(Vars& vars, Platform& platform) {
  std::string& name = vars.SampleName;
  if (IsToken(name, "%ASK", "%A")) {
    name =
        Ask(vars, platform, Text({"enter sample ", std::to_string(vars.SampleNumber), " name: "}));
  }
  if (IsToken(name, "%WAV", "%W")) name = vars.SourceName;
  if (IsToken(name, "%XI", "%X")) name = XiName(vars.SourceName);
  if (IsToken(name, "%INSTR", "%I")) name = vars.InstrumentName;
  if (IsToken(name, "%SIZE", "%S")) {
    name = Text({"size: ", std::to_string(SizeInKilobytes(vars.wav_info.DataLength)), " KB"});
  }
  if (IsToken(name, "%LOOP", "%L")) {
    name = Text({"loop: ", NameFileLoopWord(vars.wav_info.LoopType)});
  }
  if (IsToken(name, "%INAM", "%IN")) name = TitleOrXiName(vars);
  if (IsToken(name, "%DATE", "%D")) name = platform.DateText();
}

void ReadSampleLine(const std::string& line, Vars& vars) {
  if (line.size() < kTextOffset || UpperAscii(line.substr(0, kSampleId.size())) != kSampleId ||
      line.compare(kSeparatorOffset, kSeparator.size(), kSeparator) != 0) {
    throw BadSampleIdentifier();
  }
  const auto number = ParseSampleNumber(std::string_view(line).substr(kNumberOffset, kNumberSize));
  // The image has 16 slots; a number that names none of them is as bad as one that is no number.
  if (!number || *number < 0 || *number >= xi::kSampleSlots) throw BadSampleNumber();
  vars.SampleNumber = *number;
  vars.SampleName = line.substr(kTextOffset);
}

// A name file that is really a WAV: what the shell makes of an unquoted pattern that matches
// exactly two files, the second of which lands where the name file goes.
bool LooksLikeAWav(const std::string& first_line, const Vars& vars) {
  return first_line.starts_with("RIFF") && !vars.name_file_bytes.skipped_mark();
}

}  // namespace

void OpenNameFile(Vars& vars, Platform& platform, Site site) {
  vars.name_file = platform.OpenRead(vars.name_file_path, site);
  vars.name_file_bytes.Attach(vars.name_file.get());
  vars.name_lines.Reset();
}

void ApplyNameFile(Vars& vars, Platform& platform) {
  TextLineReader& lines = vars.name_lines;
  if (lines.AtEnd()) throw NameFileEmpty();
  const std::string first = lines.ReadLine();
  if (first.size() < kInstrumentId.size() ||
      UpperAscii(first.substr(0, kInstrumentId.size())) != kInstrumentId) {
    throw BadInstrumentIdentifier(platform.ShellExpandsWildcards() && LooksLikeAWav(first, vars));
  }
  vars.InstrumentName = first.substr(kInstrumentId.size());
  ExpandInstrumentTokens(vars, platform);
  SetInstrumentName(vars.header, vars.InstrumentName);

  // The sample lines run to the end of the file or to the first empty line.
  while (!lines.AtEnd()) {
    const std::string line = lines.ReadLine();
    if (line.empty()) break;
    ReadSampleLine(line, vars);
    ExpandSampleTokens(vars, platform);
    // The count follows the last line, not the highest slot.
    vars.SampleCount = static_cast<std::uint8_t>(vars.SampleNumber + 1);
    StoreSampleNameAt(vars.header, vars.SampleNumber, vars.SampleName);
  }

  vars.name_file->Close(Site::kNameFileClose);
  vars.name_file.reset();
  OpenNameFile(vars, platform, Site::kNameFileRewind);
}

void ApplyDefaultLabels(Vars& vars) {
  const std::string xi_name = XiName(vars.SourceName);
  SetInstrumentName(vars.header, Text({" ", TitleOrXiName(vars)}));
  SetSampleName(SampleHeaderAt(vars.header, 0), Text({" -- ", xi_name, " --"}));
  SetSampleName(SampleHeaderAt(vars.header, 1),
                Text({" size: ", std::to_string(SizeInKilobytes(vars.wav_info.DataLength)), " K"}));
  SetSampleName(SampleHeaderAt(vars.header, 2),
                Text({" loop: ", DefaultLoopWord(vars.wav_info.LoopType)}));
  vars.SampleCount = 3;
}

}  // namespace brumlet
