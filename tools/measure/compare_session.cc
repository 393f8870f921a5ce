#include "compare_session.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bank_zones.h"
#include "midi_file.h"
#include "neutralised_bank.h"
#include "xi_one_key.h"
#include "xm_module.h"

namespace brumlet::measure {
namespace {

namespace fs = std::filesystem;

// A module row lasts a tick at speed 1: 1/50 s at 125 BPM.
constexpr double kRowSeconds = 0.02;
constexpr int kMaxRows = 256;
// fluidsynth's notes of one preset are played one after the other, each in a slot of its own:
// the note's length, then every sound cut, then this much silence before the next.
constexpr double kSlotGapSeconds = 0.3;

// FNV-1a, 64 bits: names the cache's files after what they were rendered from.
class Fnv {
 public:
  void Add(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      hash_ = (hash_ ^ static_cast<unsigned char>(data[i])) * 0x100000001B3ULL;
    }
  }
  void Add(const std::string& text) { Add(text.data(), text.size()); }
  std::string Hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  std::uint64_t hash_ = 0xCBF29CE484222325ULL;
};

std::string BankHash(const std::string& path) {
  Fnv fnv;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    fnv.Add(block.data(), static_cast<std::size_t>(in.gcount()));
  }
  return fnv.Hex();
}

}  // namespace

CompareSession::CompareSession(const ToolOptions& options, unsigned neutralised, std::string& error)
    : options_(options) {
  error.clear();
  std::vector<std::pair<std::string, std::string>> tools = {{"fluidsynth", "fluidsynth"}};
  for (Player player : options.players) {
    tools.emplace_back(PlayerProgram(player), PlayerProgram(player));
  }
  for (const auto& [tool, package] : tools) {
    if (error.empty()) error = MissingTool(tool, package);
  }
  if (!error.empty()) return;
  if (!fs::is_regular_file(options.bank)) {
    error = "cannot find the bank " + options.bank;
    return;
  }
  if (access(options.brumlet.c_str(), X_OK) != 0) {
    error = "cannot run the program " + options.brumlet + " (build it, or give --brumlet PATH)";
    return;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/brumlet-compare-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    error = "cannot make a scratch folder like " + pattern;
    return;
  }
  scratch_ = pattern;
  std::error_code made;
  fs::create_directory(fs::path(scratch_) / "xi", made);
  neutral_bank_ = (fs::path(scratch_) / "neutral.sf2").string();
  if (!NeutralisedCopy(options.bank, neutral_bank_, neutralised)) {
    error = "cannot copy the bank " + options.bank + " to " + neutral_bank_;
    return;
  }
  if (!options.cache.empty()) {
    fs::create_directories(options.cache, made);
    if (!fs::is_directory(options.cache)) {
      error = "cannot make the cache folder " + options.cache;
      return;
    }
    cache_tag_ = BankHash(options.bank) + "-" + std::to_string(neutralised);
  }
  conversion_ = ConvertBank(options.brumlet, options.bank, (fs::path(scratch_) / "xi").string());
  for (int worker = 0; worker < options.jobs; ++worker) {
    fs::create_directory(WorkFolder(worker), made);
  }
}

CompareSession::~CompareSession() {
  if (scratch_.empty()) return;
  if (options_.keep) {
    std::fprintf(stderr, "kept %s\n", scratch_.c_str());
    return;
  }
  std::error_code ignored;
  fs::remove_all(scratch_, ignored);
}

std::string CompareSession::WorkFolder(int worker) const {
  return (fs::path(scratch_) / ("work" + std::to_string(worker))).string();
}

std::string CompareSession::CachePath(const Sf2Preset& preset, const std::vector<int>& keys,
                                      const NoteTiming& timing) const {
  if (options_.cache.empty()) return "";
  std::ostringstream what;
  what << cache_tag_ << ' ' << preset.bank << ':' << preset.program << " on " << timing.on_seconds
       << " length " << timing.length_seconds << " rate " << kRenderRate << " keys";
  for (int key : keys) what << ' ' << key;
  Fnv fnv;
  fnv.Add(what.str());
  return (fs::path(options_.cache) / (fnv.Hex() + ".wav")).string();
}

std::vector<Rendered> CompareSession::RenderBankNotes(const Sf2Preset& preset,
                                                      const std::vector<int>& keys,
                                                      const NoteTiming& timing,
                                                      const std::string& folder) const {
  // Slots of whole MIDI ticks, so that each note starts where its slot does.
  const double slot = std::ceil((timing.length_seconds + kSlotGapSeconds) * kMidiTicksPerSecond) /
                      kMidiTicksPerSecond;
  const std::string cached = CachePath(preset, keys, timing);
  Rendered all;
  if (!cached.empty() && fs::exists(cached)) all = ReadWavFile(cached);
  if (all.rate != kRenderRate) {
    std::ofstream(fs::path(folder) / "notes.mid", std::ios::binary)
        << MidiNotes(preset.bank, preset.program, keys, kVelocity, timing.on_seconds,
                     timing.length_seconds, slot);
    all = RenderMidi(folder, neutral_bank_, "notes.mid", "notes.wav", kRenderRate);
    if (!cached.empty() && all.rate == kRenderRate) {
      // Copied under a name of its own first: another run may read the cache meanwhile.
      const std::string partial =
          cached + "." + std::to_string(getpid()) + "." + fs::path(folder).filename().string();
      std::error_code error;
      fs::copy_file(fs::path(folder) / "notes.wav", partial, fs::copy_options::overwrite_existing,
                    error);
      if (!error) fs::rename(partial, cached, error);
    }
  }
  std::vector<Rendered> notes;
  const auto frames = static_cast<std::size_t>(std::lround(timing.length_seconds * kRenderRate));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    notes.push_back(all.rate == kRenderRate
                        ? Slice(all,
                                static_cast<std::size_t>(
                                    std::lround(static_cast<double>(i) * slot * kRenderRate)),
                                frames)
                        : Rendered{});
  }
  return notes;
}

std::vector<Rendered> CompareSession::RenderXiNotes(Player player, const std::vector<XiNote>& notes,
                                                    const NoteTiming& timing,
                                                    const std::string& folder) {
  const int rows =
      std::min(kMaxRows, static_cast<int>(std::lround(timing.length_seconds / kRowSeconds)));
  const int off_row = static_cast<int>(std::lround(timing.on_seconds / kRowSeconds));
  std::vector<std::string> xms;
  for (const XiNote& note : notes) {
    xms.push_back("note" + std::to_string(xms.size()) + ".xm");
    // XM note 1 is C-0, MIDI key 0.
    std::ofstream(fs::path(folder) / xms.back(), std::ios::binary)
        << XmFromXi(XiOfOneKey(*note.xi, note.key), note.key + 1, 0, rows, off_row, 1);
  }
  std::vector<Rendered> renders = RenderXms(player, folder, xms, kRenderRate);
  const auto frames = static_cast<std::size_t>(std::lround(timing.length_seconds * kRenderRate));
  for (Rendered& render : renders) {
    render = render.rate == kRenderRate ? Slice(render, 0, frames) : Rendered{};
  }
  return renders;
}

}  // namespace brumlet::measure
