#include "conversion.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "bank_zones.h"
#include "players.h"

namespace brumlet::measure {
namespace {

namespace fs = std::filesystem;

// A file's report line: "128:000 Standard  ->  128-000 Standard (1 of 4).xi  (16 samples; ...)".
constexpr std::string_view kArrow = "  ->  ";
constexpr std::string_view kKeysWord = "keys ";
// An XI pitch within this many finetune steps is the one a zone calls for (rounding aside).
constexpr double kPitchSteps = 1.5;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The digits at `at` in `text` as a number, advancing `at`; nullopt when there are none or too
// many.
std::optional<int> Number(const std::string& text, std::size_t& at) {
  int value = 0;
  const std::size_t first = at;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && at - first < 4) {
    value = value * 10 + (text[at++] - '0');
  }
  return at == first ? std::nullopt : std::optional(value);
}

// "keys 35-50" in the part of the report line behind the file's name.
std::optional<KeyRange> ReportedKeys(const std::string& line) {
  for (std::size_t at = line.find(kKeysWord); at != std::string::npos;
       at = line.find(kKeysWord, at + 1)) {
    std::size_t p = at + kKeysWord.size();
    const std::optional<int> low = Number(line, p);
    if (!low || p >= line.size() || line[p] != '-') continue;
    ++p;
    const std::optional<int> high = Number(line, p);
    if (high && *low <= *high) return KeyRange{*low, *high};
  }
  return std::nullopt;
}

// " (2 of 4).xi" at the end of a file name.
bool PartOf(const std::string& name, int& part, int& parts) {
  constexpr std::string_view kOf = " of ", kEnd = ").xi";
  std::size_t at = name.rfind(" (");
  if (at == std::string::npos) return false;
  at += 2;
  const std::optional<int> first = Number(name, at);
  if (!first || name.compare(at, kOf.size(), kOf) != 0) return false;
  at += kOf.size();
  const std::optional<int> count = Number(name, at);
  if (!count || name.compare(at, std::string::npos, kEnd) != 0) return false;
  part = *first;
  parts = *count;
  return part >= 1 && part <= parts;
}

// How surely `part` plays `key` as its own: 0 not, 1 by name, 2 by name and pitch.
int OwnScore(const Sf2Reader& bank, const Sf2Preset& preset, const PartFile& part, int key) {
  const std::vector<const Sf2Zone*> zones = ZonesOnKey(preset, key);
  if (zones.empty() || part.xi.key_map.size() != kKeyCount) return 0;
  const auto index = static_cast<std::size_t>(part.xi.key_map[static_cast<std::size_t>(key)]);
  if (index >= part.xi.samples.size()) return 0;
  const XiSample& sample = part.xi.samples[index];
  const double pitch = sample.relative_note * 128 + sample.finetune;
  const Sf2Zone* zone = ZoneOfSample(bank, zones, sample.name, key, pitch);
  if (!zone) return 0;
  return std::abs(XiPitchOf(bank, *zone, key) - pitch) <= kPitchSteps ? 2 : 1;
}

}  // namespace

Conversion ConvertBank(const std::string& brumlet, const std::string& bank,
                       const std::string& folder) {
  Conversion conversion{folder, -1, ""};
  conversion.code =
      RunCommand("cd " + ShellWord(folder) + " && " + ShellWord(brumlet) + " --sf2 " +
                 ShellWord(fs::absolute(bank).string()) + " >report.txt 2>&1 </dev/null");
  conversion.report = ReadFile(fs::path(folder) / "report.txt");
  return conversion;
}

std::vector<PartFile> PresetFiles(const Conversion& conversion, int bank, int program) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%03d-%03d", bank, program);
  std::vector<PartFile> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(conversion.folder)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix) || !name.ends_with(".xi") || name.size() < 8 ||
        (name[7] != ' ' && name[7] != '.')) {
      continue;
    }
    PartFile file;
    file.path = entry.path().string();
    if (!PartOf(name, file.part, file.parts)) file.part = file.parts = 1;
    file.bytes = ReadFile(entry.path());
    try {
      file.xi = ParseXi(file.bytes);
    } catch (const std::out_of_range&) {
      file.xi = {};  // shorter than its header: no key plays from it
    }
    std::istringstream report(conversion.report);
    for (std::string line; std::getline(report, line);) {
      const std::size_t arrow = line.find(kArrow);
      if (arrow != std::string::npos &&
          line.compare(arrow + kArrow.size(), name.size(), name) == 0) {
        file.keys = ReportedKeys(line.substr(arrow + kArrow.size() + name.size()));
      }
    }
    files.push_back(std::move(file));
  }
  std::sort(files.begin(), files.end(),
            [](const PartFile& a, const PartFile& b) { return a.part < b.part; });
  return files;
}

std::vector<int> KeyOwners(const Sf2Reader& bank, const Sf2Preset& preset,
                           const std::vector<PartFile>& parts) {
  std::vector<int> owner(kKeyCount, 0);
  const int count = static_cast<int>(parts.size());
  if (count <= 1) return owner;
  if (std::all_of(parts.begin(), parts.end(), [](const PartFile& p) { return p.keys; })) {
    for (int key = 0; key < kKeyCount; ++key) {
      owner[key] = -1;
      for (int p = 0; p < count; ++p) {
        if (parts[p].keys->low <= key && key <= parts[p].keys->high) owner[key] = p;
      }
    }
    return owner;
  }
  // best[k][p]: the most the keys up to k can score with key k in part p, runs in order from
  // part 0 on; from[k][p] whether key k - 1 lies in part p - 1.
  constexpr int kNone = std::numeric_limits<int>::min() / 2;
  std::vector<std::vector<int>> best(kKeyCount, std::vector<int>(count, kNone));
  std::vector<std::vector<bool>> from(kKeyCount, std::vector<bool>(count, false));
  for (int key = 0; key < kKeyCount; ++key) {
    for (int p = 0; p < count; ++p) {
      const int score = OwnScore(bank, preset, parts[p], key);
      if (key == 0) {
        best[0][p] = p == 0 ? score : kNone;
        continue;
      }
      const int stay = best[key - 1][p], step = p > 0 ? best[key - 1][p - 1] : kNone;
      if (std::max(stay, step) == kNone) continue;
      from[key][p] = step >= stay;  // on a tie the key before goes to the lower part
      best[key][p] = std::max(stay, step) + score;
    }
  }
  for (int key = kKeyCount - 1, p = count - 1; key >= 0; --key) {
    owner[key] = p;
    if (key > 0 && from[key][p]) --p;
  }
  return owner;
}

}  // namespace brumlet::measure
