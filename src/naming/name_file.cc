#include "naming/name_file.h"

#include <string>
#include <string_view>
#include <utility>

#include "messages.h"
#include "naming/labels.h"
#include "naming/sample_number.h"

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

std::string TitleOrXiName(const SourceFacts& source) {
  return source.title.empty() ? XiName(source.source_name) : std::string(source.title);
}

// The slot a sample line names, and its text.
std::pair<int, std::string> ReadSampleLine(const std::string& line) {
  if (line.size() < kTextOffset || UpperAscii(line.substr(0, kSampleId.size())) != kSampleId ||
      line.compare(kSeparatorOffset, kSeparator.size(), kSeparator) != 0) {
    throw BadSampleIdentifier();
  }
  const auto number = ParseSampleNumber(std::string_view(line).substr(kNumberOffset, kNumberSize));
  // The image has 16 slots; a number that names none of them is as bad as one that is no number.
  if (!number || *number < 0 || *number >= Names::kSlots) throw BadSampleNumber();
  return {*number, line.substr(kTextOffset)};
}

// A name file that is really a WAV: what the shell makes of an unquoted pattern that matches
// exactly two files, the second of which lands where the name file goes.
bool LooksLikeAWav(const std::string& first_line, const FileByteSource& bytes) {
  return first_line.starts_with("RIFF") && !bytes.skipped_mark();
}

}  // namespace

NameFile::NameFile(std::string path, Platform& platform)
    : path_(std::move(path)), platform_(platform) {
  console_bytes_.Attach(&platform.console());
  Open(Site::kNameFileOpen);
}

void NameFile::Open(Site site) {
  file_ = platform_.OpenRead(path_, site);
  bytes_.Attach(file_.get());
  lines_.Reset();
}

void NameFile::Close() {
  if (!file_) return;
  file_->Close(Site::kNameFileClose);
  file_.reset();
}

std::string NameFile::Ask(std::string_view prompt) {
  platform_.console().Write(prompt);
  return console_lines_.ReadLine();
}

// Each test looks at the text the earlier ones left, so an answer typed at the prompt is itself
// expanded by the later tests, while no test runs twice.
void NameFile::ExpandInstrumentTokens(const SourceFacts& source, std::string& name) {
  if (IsToken(name, "%ASK", "%A")) name = Ask("enter instrument name: ");
  if (IsToken(name, "%WAV", "%W")) name = source.source_name;
  if (IsToken(name, "%XI", "%X")) name = XiName(source.source_name);
  if (IsToken(name, "%INAM", "%IN")) name = TitleOrXiName(source);
}

void NameFile::ExpandSampleTokens(const SourceFacts& source, int slot,
                                  const std::string& instrument, std::string& name) {
  if (IsToken(name, "%ASK", "%A")) {
    name = Ask(Text({"enter sample ", std::to_string(slot), " name: "}));
  }
  if (IsToken(name, "%WAV", "%W")) name = source.source_name;
  if (IsToken(name, "%XI", "%X")) name = XiName(source.source_name);
  if (IsToken(name, "%INSTR", "%I")) name = instrument;
  if (IsToken(name, "%SIZE", "%S")) {
    name = Text({"size: ", std::to_string(SizeInKilobytes(source.data_length)), " KB"});
  }
  if (IsToken(name, "%LOOP", "%L")) name = Text({"loop: ", NameFileLoopWord(source.loop_type)});
  if (IsToken(name, "%INAM", "%IN")) name = TitleOrXiName(source);
  if (IsToken(name, "%DATE", "%D")) name = platform_.DateText();
}

Names NameFile::Read(const SourceFacts& source) {
  if (lines_.AtEnd()) throw NameFileEmpty();
  const std::string first = lines_.ReadLine();
  if (first.size() < kInstrumentId.size() ||
      UpperAscii(first.substr(0, kInstrumentId.size())) != kInstrumentId) {
    throw BadInstrumentIdentifier(platform_.ShellExpandsWildcards() &&
                                  LooksLikeAWav(first, bytes_));
  }
  Names names;
  names.instrument = first.substr(kInstrumentId.size());
  ExpandInstrumentTokens(source, names.instrument);

  // The sample lines run to the end of the file or to the first empty line.
  while (!lines_.AtEnd()) {
    const std::string line = lines_.ReadLine();
    if (line.empty()) break;
    auto [slot, name] = ReadSampleLine(line);
    ExpandSampleTokens(source, slot, names.instrument, name);
    // The count follows the last line, not the highest slot.
    names.count = static_cast<std::uint8_t>(slot + 1);
    names.samples[static_cast<std::size_t>(slot)] = std::move(name);
  }

  Close();
  Open(Site::kNameFileRewind);
  return names;
}

Names DefaultLabels(const SourceFacts& source) {
  Names names;
  names.instrument = Text({" ", TitleOrXiName(source)});
  names.samples[0] = Text({" -- ", XiName(source.source_name), " --"});
  names.samples[1] = Text({" size: ", std::to_string(SizeInKilobytes(source.data_length)), " K"});
  names.samples[2] = Text({" loop: ", DefaultLoopWord(source.loop_type)});
  names.count = 3;
  return names;
}

}  // namespace brumlet
