// sfz_compare: `brumlet --sfz` of Polyphone's SFZ export of a SoundFont bank against
// `brumlet --sf2` of the bank itself, preset by preset.
//
//   sfz_compare --bank BANK.sf2 [--program B:P,...] [--brumlet PATH] [--jobs N] [--keep]
//
// Polyphone (`QT_QPA_PLATFORM=offscreen polyphone -3 -i BANK -d DIR -c 110`) exports every preset
// as DIR/NAME/BBB/PPP_PRESET.sfz, its numbers in the path, with the samples as WAV files.
// --program picks presets (comma-separated, or --program repeated); otherwise every preset the
// program converts (the first of each bank and program). For each, the tool runs
// `brumlet --sf2 BANK B:P` and `brumlet --sfz FILE` (this build's program, or --brumlet), each in
// a folder of its own, and compares their files in the order of their parts (a split drum kit
// has several), key by key, the sample each key plays:
//  - with --sf2's file: the frames (equal), loop (type, start, length), pitch (relative note x 128
//    + finetune, within 8: a step of the finetune grid) and panning (within 1); a drum kit's
//    number of samples, which are its keys;
//  - with the model of the export (sfz_export_model.h: the preset's plan with its zones as the
//    export writes them): the volume, a drum key's panning (which weighs its layers by level), the
//    volume envelope's points, sustain and loop points, flags and fade-out, and the vibrato, each
//    within 1; and a drum key's frames, a render, against the model's render of the bank's frames
//    within kRenderTolerance (--sf2's renders have the bank's levels, not the export's).
// Before that, the model without the export's conversions must give --sf2's file: a check of the
// tool itself. A line per preset says OK or the first difference; in brackets what the model
// knows of the sample or envelope concerned that the export does not carry over (a stereo pair,
// a tremolo, key-scaled hold and decay), and "(the export's conversions make it)" where a
// difference from --sf2's file is the model's too. Then "N of M presets agree", and how many
// drum keys were compared, how many lie beyond the tolerance and the largest difference of the
// others. --jobs (2) presets are compared at once; --keep keeps the scratch folder.
//
// Exit code 0 when every preset agrees, 1 when one does not or something failed, 2 for a wrong
// command line, 77 when polyphone or the bank is missing (a test is skipped then).
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bytes.h"
#include "job_pool.h"
#include "platform/posix_platform.h"
#include "players.h"
#include "sampler/key_render_source.h"
#include "sf2/bank.h"
#include "sf2/zones.h"
#include "sfz_export_model.h"
#include "xi_reader.h"

namespace brumlet::sfz_compare {
namespace {

namespace fs = std::filesystem;
using measure::XiEnvelope;
using measure::XiFile;

constexpr int kSkipped = 77;
// Pitch in 1/128 semitone: one step of the finetune grid players use.
constexpr int kPitchTolerance = 8;
// Volume, panning, envelope points and vibrato: one XI unit.
constexpr int kUnitTolerance = 1;
// A kit key's render against the model's, in 16-bit steps, frame by frame. Measured on the keys
// that agree: at most 1 in TimGM6mb's kits, 6 in FluidR3_GM's (cutoffs in whole hertz).
constexpr int kRenderTolerance = 16;

struct Options {
  std::string bank;
  std::vector<std::pair<int, int>> programs;  ///< empty: every preset
  std::string brumlet = BRUMLET_BINARY;
  int jobs = 2;
  bool keep = false;
};

bool ToInt(std::string_view text, int low, int high, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

std::string ParseOptions(const std::vector<std::string>& args, Options& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--keep") {
      options.keep = true;
      continue;
    }
    if (i + 1 == args.size()) return arg + (arg.starts_with("--") ? " needs a value" : "?");
    const std::string& value = args[++i];
    if (arg == "--bank") {
      options.bank = value;
    } else if (arg == "--brumlet") {
      options.brumlet = value;
    } else if (arg == "--jobs") {
      if (!ToInt(value, 1, 64, options.jobs)) return "--jobs takes 1..64, not " + value;
    } else if (arg == "--program") {
      std::string_view rest = value;
      while (true) {
        const std::string_view item = rest.substr(0, rest.find(','));
        const std::size_t colon = item.find(':');
        int bank = 0, program = 0;
        if (colon == std::string_view::npos || !ToInt(item.substr(0, colon), 0, 128, bank) ||
            !ToInt(item.substr(colon + 1), 0, 127, program)) {
          return "--program takes B:P (0..128:0..127), not " + std::string(item);
        }
        options.programs.emplace_back(bank, program);
        if (item.size() == rest.size()) break;
        rest.remove_prefix(item.size() + 1);
      }
    } else {
      return "unknown argument " + arg;
    }
  }
  return options.bank.empty() ? "no --bank given" : "";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The last line a run printed, which says why it failed.
std::string LastLine(const std::string& text) {
  const std::size_t end = text.find_last_not_of("\r\n");
  if (end == std::string::npos) return "";
  const std::size_t start = text.find_last_of('\n', end);
  const std::size_t from = start == std::string::npos ? 0 : start + 1;
  return text.substr(from, end + 1 - from);
}

// `path` as the program's pattern for exactly that file: the wildcard characters of its name
// each as a set of one.
std::string LiteralPattern(const fs::path& path) {
  std::string name;
  for (char c : path.filename().string()) {
    name += c == '*' || c == '?' || c == '[' ? std::string("[") + c + "]" : std::string(1, c);
  }
  return (path.parent_path() / name).string();
}

// " (2 of 4).xi" at the end of a file's name: its part; 1 when there is none.
int PartOf(const std::string& name) {
  const std::size_t open = name.rfind(" (");
  if (open == std::string::npos || !name.ends_with(").xi")) return 1;
  int part = 0;
  const std::string_view digits = std::string_view(name).substr(open + 2);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), part);
  return error == std::errc() && std::string_view(end).starts_with(" of ") ? part : 1;
}

// The .xi files a run wrote in `folder`, in the order of their parts.
std::vector<XiFile> XiFilesIn(const fs::path& folder) {
  std::vector<std::pair<int, fs::path>> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".xi")) found.emplace_back(PartOf(name), entry.path());
  }
  std::sort(found.begin(), found.end());
  std::vector<XiFile> files;
  for (const auto& [part, path] : found) {
    try {
      files.push_back(measure::ParseXi(ReadText(path)));
    } catch (const std::out_of_range&) {
      files.emplace_back();  // shorter than its header: an empty key map says so
    }
  }
  return files;
}

// What is compared of a sample, from a file or from a plan.
struct SampleView {
  std::int64_t frames = 0;
  int loop_type = 0;  // 0 none, 1 forward, 2 ping-pong
  std::int64_t loop_start = 0, loop_length = 0;
  int pitch = 0;  // relative note x 128 + finetune
  int volume = 0, panning = 0;
  std::vector<int> data;  // as stored (inverted); empty where the plan does not render it
  bool rendered = false;  // a drum key (plans only)
  std::string why;        // what of its zones the export does not carry over (plans only)
};

struct InstrumentView {
  std::vector<int> key_map;
  std::vector<SampleView> samples;
  XiEnvelope envelope;
  std::string why;  // of the envelope: as SampleView::why
};

// Where two instruments first differ: what, and on which key (-1: the instrument as a whole).
struct Difference {
  std::string what;  // "" when they agree
  int key = -1;
};

InstrumentView ViewOf(const XiFile& xi) {
  InstrumentView view{xi.key_map, {}, xi.envelope, ""};
  for (const measure::XiSample& s : xi.samples) {
    const int width = (s.type & 16) ? 2 : 1;
    view.samples.push_back({s.length / width, s.type & 3, s.loop_start / width,
                            s.loop_length / width, s.relative_note * 128 + s.finetune, s.volume,
                            s.panning, s.data, false, ""});
  }
  return view;
}

// The bank's frames, as the model's renders read them.
class BankFrames final : public sampler::FrameReader {
 public:
  BankFrames(const std::string& path, std::int64_t data_offset)
      : file_(path, std::ios::binary), data_offset_(data_offset) {}

  void Read(const sampler::FrameRange& range, std::span<std::int16_t> out) override {
    bytes_.assign(2 * std::size_t{range.frames}, 0);
    file_.clear();
    file_.seekg(data_offset_ + 2 * range.first);
    file_.read(reinterpret_cast<char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    const std::size_t count = std::min<std::size_t>(out.size(), range.frames);
    for (std::size_t i = 0; i < count; ++i) out[i] = LoadI16(bytes_.data() + 2 * i);
  }

 private:
  std::ifstream file_;
  std::int64_t data_offset_;
  std::vector<Byte> bytes_;
};

bool Has(const sampler::LostSet& lost, sampler::Lost what) {
  return lost.test(static_cast<std::size_t>(what));
}

// What of a planned sample's zones the export does not carry over, which explains a difference.
std::string WhyOf(const sampler::PlannedSample& planned) {
  bool pair = planned.source.partner.has_value();
  if (planned.render) {
    for (const sampler::PlannedVoice& voice : planned.render->voices) {
      pair = pair || voice.mixed_with.has_value();
    }
  }
  std::string why = pair ? "a stereo pair, which the export makes two mono regions" : "";
  if (Has(planned.lost, sampler::Lost::kTremolo)) {
    why += std::string(why.empty() ? "" : "; ") + "a tremolo, which the export sets the volume by";
  }
  return why;
}

// A plan's part as its file would hold it; drum keys rendered when `reader` is given.
InstrumentView ViewOf(const sampler::InstrumentPlan& part, BankFrames* reader,
                      sampler::RenderBuffers& buffers) {
  InstrumentView view;
  view.key_map.assign(part.key_map.begin(), part.key_map.end());
  if (Has(part.lost, sampler::Lost::kKeyEnvelopes)) {
    view.why = "hold or decay that change with the key, which the export writes for each region";
  }
  for (const sampler::PlannedSample& planned : part.samples) {
    SampleView s;
    s.why = WhyOf(planned);
    s.frames = planned.source.range.frames;
    if (planned.loop) {
      s.loop_type = 1;
      s.loop_start = planned.loop->start;
      s.loop_length = planned.loop->length;
    }
    s.pitch = planned.pitch.relative_note * 128 + planned.pitch.finetune;
    s.volume = planned.volume;
    s.panning = planned.panning;
    s.rendered = planned.render.has_value();
    if (s.rendered && reader) {
      sampler::KeyRenderSource source(*planned.render, *reader, buffers);
      std::vector<std::int16_t> frames(static_cast<std::size_t>(s.frames));
      source.Read(frames);
      for (std::int16_t f : frames) s.data.push_back(~f);  // stored inverted, as the writer does
    }
    view.samples.push_back(std::move(s));
  }
  XiEnvelope& e = view.envelope;
  for (std::size_t i = 0; i < part.envelope.points.size(); ++i) {
    e.ticks[i] = part.envelope.points[i].tick;
    e.values[i] = part.envelope.points[i].value;
  }
  e.count = part.envelope.count;
  e.sustain = part.envelope.sustain;
  e.loop_start = part.envelope.loop_start;
  e.loop_end = part.envelope.loop_end;
  e.flags = part.envelope.flags;
  e.fade_out = part.envelope.fade_out;
  e.vibrato_type = part.vibrato.type;
  e.vibrato_sweep = part.vibrato.sweep;
  e.vibrato_depth = part.vibrato.depth;
  e.vibrato_rate = part.vibrato.rate;
  return view;
}

std::string Text(const char* what, long long got, long long want, const char* whose) {
  return std::string(what) + " " + std::to_string(got) + ", " + whose + " " + std::to_string(want);
}

// The samples keys 0..95 of `a` and `b` play, each pair once: `check(x, y)` returns a
// difference or "", and the first one found is returned. A key that plays no sample differs.
template <typename Check>
Difference FirstKeyDifference(const InstrumentView& a, const InstrumentView& b, Check check) {
  std::set<std::pair<int, int>> done;
  for (std::size_t k = 0; k < a.key_map.size() && k < b.key_map.size(); ++k) {
    const int i = a.key_map[k], j = b.key_map[k];
    const int key = static_cast<int>(k);
    if (i >= static_cast<int>(a.samples.size()) || j >= static_cast<int>(b.samples.size())) {
      return {"plays no sample", key};
    }
    if (!done.insert({i, j}).second) continue;
    if (std::string what =
            check(a.samples[static_cast<std::size_t>(i)], b.samples[static_cast<std::size_t>(j)]);
        !what.empty()) {
      return {"sample " + std::to_string(i + 1) + ": " + what, key};
    }
  }
  return {};
}

// The first difference of `a` from `b` in what --sf2's file decides, key by key: the frames
// played (where both hold them and `b`'s are not a render), loop, pitch, and panning (not of a
// render, whose panning weighs its layers by their levels). A drum kit, whose samples are keys,
// must have as many.
Difference FirstShapeDifference(const InstrumentView& a, const InstrumentView& b,
                                const char* whose) {
  if (a.key_map.empty() || b.key_map.empty()) return {"a file shorter than its header"};
  const bool kit = std::any_of(b.samples.begin(), b.samples.end(),
                               [](const SampleView& y) { return y.rendered; });
  if (kit && a.samples.size() != b.samples.size()) {
    return {Text("samples", static_cast<long long>(a.samples.size()),
                 static_cast<long long>(b.samples.size()), whose)};
  }
  return FirstKeyDifference(a, b, [whose](const SampleView& x, const SampleView& y) {
    if (!y.rendered && x.frames != y.frames) return Text("frames", x.frames, y.frames, whose);
    if (!y.rendered && !x.data.empty() && !y.data.empty()) {
      const auto [p, q] = std::mismatch(x.data.begin(), x.data.end(), y.data.begin(), y.data.end());
      if (p != x.data.end()) {  // shown as the source had them, not inverted
        return "frame " + std::to_string(p - x.data.begin()) + Text(" holds", ~*p, ~*q, whose);
      }
    }
    if (x.loop_type != y.loop_type) return Text("loop type", x.loop_type, y.loop_type, whose);
    if (x.loop_type != 0 && (x.loop_start != y.loop_start || x.loop_length != y.loop_length)) {
      return "loop " + std::to_string(x.loop_start) + "+" + std::to_string(x.loop_length) + ", " +
             whose + " " + std::to_string(y.loop_start) + "+" + std::to_string(y.loop_length);
    }
    if (std::abs(x.pitch - y.pitch) > kPitchTolerance) {
      return Text("pitch (1/128 semitone)", x.pitch, y.pitch, whose);
    }
    if (!y.rendered && std::abs(x.panning - y.panning) > kUnitTolerance) {
      return Text("panning", x.panning, y.panning, whose);
    }
    return std::string();
  });
}

// The first difference of `a` from `b` in what the model of the export decides: the volume each
// key plays at (and a render's panning), the envelope and the vibrato.
Difference FirstLevelDifference(const InstrumentView& a, const InstrumentView& b,
                                const char* whose) {
  const auto off = [](int p, int q) { return std::abs(p - q) > kUnitTolerance; };
  const Difference d = FirstKeyDifference(a, b, [&](const SampleView& x, const SampleView& y) {
    if (off(x.volume, y.volume)) return Text("volume", x.volume, y.volume, whose);
    if (y.rendered && off(x.panning, y.panning)) {
      return Text("panning", x.panning, y.panning, whose);
    }
    return std::string();
  });
  if (!d.what.empty()) return d;
  const XiEnvelope& x = a.envelope;
  const XiEnvelope& y = b.envelope;
  if (x.count != y.count) return {Text("envelope points", x.count, y.count, whose)};
  if (x.flags != y.flags) return {Text("envelope flags", x.flags, y.flags, whose)};
  if (x.sustain != y.sustain) return {Text("sustain point", x.sustain, y.sustain, whose)};
  if (x.loop_start != y.loop_start || x.loop_end != y.loop_end) {
    return {Text("envelope loop start", x.loop_start, y.loop_start, whose)};
  }
  for (int p = 0; p < x.count && p < static_cast<int>(x.ticks.size()); ++p) {
    if (off(x.ticks[p], y.ticks[p]) || off(x.values[p], y.values[p])) {
      return {"envelope point " + std::to_string(p + 1) + " " + std::to_string(x.ticks[p]) + ":" +
              std::to_string(x.values[p]) + ", " + whose + " " + std::to_string(y.ticks[p]) + ":" +
              std::to_string(y.values[p]) + " (tick:volume)"};
    }
  }
  if (off(x.fade_out, y.fade_out)) return {Text("fade-out", x.fade_out, y.fade_out, whose)};
  if (x.vibrato_type != y.vibrato_type || off(x.vibrato_sweep, y.vibrato_sweep) ||
      off(x.vibrato_depth, y.vibrato_depth) || off(x.vibrato_rate, y.vibrato_rate)) {
    const auto vibrato = [](const XiEnvelope& e) {
      return std::to_string(e.vibrato_type) + "/" + std::to_string(e.vibrato_sweep) + "/" +
             std::to_string(e.vibrato_depth) + "/" + std::to_string(e.vibrato_rate);
    };
    return {"vibrato " + vibrato(x) + ", " + whose + " " + vibrato(y) + " (type/sweep/depth/rate)"};
  }
  return {};
}

// A file's drum keys, which are renders, against the model's, every key: the largest difference
// of a frame among the keys within kRenderTolerance, how many are beyond, and the first of them.
struct RenderDifference {
  int compared = 0;
  int largest = 0;
  int beyond = 0;
  Difference first;
};

RenderDifference CompareRenders(const InstrumentView& file, const InstrumentView& model) {
  RenderDifference d;
  std::set<std::pair<int, int>> done;
  for (std::size_t k = 0; k < file.key_map.size() && k < model.key_map.size(); ++k) {
    const int i = file.key_map[k], j = model.key_map[k];
    if (i >= static_cast<int>(file.samples.size()) || j >= static_cast<int>(model.samples.size()) ||
        !done.insert({i, j}).second) {
      continue;  // a key that plays no sample is told by FirstShapeDifference
    }
    const SampleView& x = file.samples[static_cast<std::size_t>(i)];
    const SampleView& y = model.samples[static_cast<std::size_t>(j)];
    if (!y.rendered) continue;
    ++d.compared;
    std::string what;
    if (x.frames != y.frames) {
      what = Text("frames", x.frames, y.frames, "the model");
    } else {
      int largest = 0;
      std::size_t where = 0;
      for (std::size_t n = 0; n < x.data.size() && n < y.data.size(); ++n) {
        if (std::abs(x.data[n] - y.data[n]) > largest) {
          largest = std::abs(x.data[n] - y.data[n]);
          where = n;
        }
      }
      if (largest <= kRenderTolerance) {
        d.largest = std::max(d.largest, largest);
        continue;
      }
      what = "frame " + std::to_string(where) +
             Text(" holds", ~x.data[where], ~y.data[where], "the model");
    }
    ++d.beyond;
    if (d.first.what.empty()) {
      d.first = {"sample " + std::to_string(i + 1) + ": " + what, static_cast<int>(k)};
    }
  }
  return d;
}

// `d` as a report says it: where, what differs, and what the model knows of the cause.
std::string Said(const Difference& d, const InstrumentView& model) {
  if (d.key < 0) return model.why.empty() ? d.what : d.what + " [" + model.why + "]";
  const auto k = static_cast<std::size_t>(d.key);
  std::string why;
  if (k < model.key_map.size() &&
      static_cast<std::size_t>(model.key_map[k]) < model.samples.size()) {
    why = model.samples[static_cast<std::size_t>(model.key_map[k])].why;
  }
  const std::string text = "key " + std::to_string(d.key) + ", " + d.what;
  return why.empty() ? text : text + " [" + why + "]";
}

struct Preset {
  std::size_t index = 0;  // in the bank
  int bank = 0, program = 0;
  std::string label;
  std::string difference;     // "" when it agrees
  int render_difference = 0;  // the largest of its drum keys within kRenderTolerance
  int renders_beyond = 0;     // its drum keys beyond
  int renders = 0;            // its drum keys compared
};

// The scratch folder: the export, and a folder for each preset's runs. Removed at the end unless
// kept.
struct Scratch {
  fs::path path;
  bool keep = false;
  ~Scratch() {
    std::error_code ignored;
    if (!keep) fs::remove_all(path, ignored);
  }
};

// What each worker keeps: its own flattener and reader of the bank, and render buffers.
struct Worker {
  std::unique_ptr<sf2::Flattener> flattener;
  std::unique_ptr<BankFrames> frames;
  sampler::RenderBuffers buffers;
};

// The export's file of `preset`: PPP_NAME.sfz in the folder BBB of the bank's folder.
std::optional<fs::path> ExportedFile(const fs::path& exported, const Preset& preset,
                                     const std::string& name) {
  char number[16];
  std::snprintf(number, sizeof number, "%03d", preset.bank);
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%03d_", preset.program);
  std::vector<fs::path> found;
  for (const fs::directory_entry& bank_folder : fs::directory_iterator(exported)) {
    const fs::path folder = bank_folder.path() / number;
    if (!fs::is_directory(folder)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      const std::string file = entry.path().filename().string();
      if (file.starts_with(prefix) && file.ends_with(".sfz")) found.push_back(entry.path());
    }
  }
  std::sort(found.begin(), found.end());
  for (const fs::path& path : found) {  // two presets of the same numbers: the one named so
    if (path.filename().string() == prefix + name + ".sfz") return path;
  }
  if (found.empty()) return std::nullopt;
  return found.front();
}

// Runs `arguments` of the program in `folder` (made empty first); its exit code, and its last
// line of output in `said`.
int RunProgram(const Options& options, const fs::path& folder, const std::string& arguments,
               std::string& said) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  const int code = measure::RunCommand("cd " + measure::ShellWord(folder.string()) + " && " +
                                       measure::ShellWord(options.brumlet) + " " + arguments +
                                       " >report.txt 2>&1 </dev/null");
  said = LastLine(ReadText(folder / "report.txt"));
  return code;
}

void ComparePreset(const Options& options, const sf2::Bank& bank, const fs::path& scratch,
                   Preset& preset, Worker& worker) {
  const std::string& name = bank.presets[preset.index].name;
  const std::optional<fs::path> sfz = ExportedFile(scratch / "export", preset, name);
  if (!sfz) {
    preset.difference = "the export has no file for it";
    return;
  }
  char numbers[16];
  std::snprintf(numbers, sizeof numbers, "%03d-%03d", preset.bank, preset.program);
  const fs::path work = scratch / "work" / numbers;
  std::string said;
  const std::string choice = std::to_string(preset.bank) + ":" + std::to_string(preset.program);
  const std::string bank_path = fs::absolute(options.bank).string();
  if (const int code = RunProgram(options, work / "sf2",
                                  "--sf2 " + measure::ShellWord(bank_path) + " " + choice, said);
      code != 0) {
    preset.difference = "brumlet --sf2 ended with " + std::to_string(code) + ": " + said;
    return;
  }
  if (const int code = RunProgram(options, work / "sfz",
                                  "--sfz " + measure::ShellWord(LiteralPattern(*sfz)), said);
      code != 0) {
    preset.difference = "brumlet --sfz ended with " + std::to_string(code) + ": " + said;
    return;
  }
  const std::vector<XiFile> from_sf2 = XiFilesIn(work / "sf2");
  const std::vector<XiFile> from_sfz = XiFilesIn(work / "sfz");
  if (!worker.flattener) {
    worker.flattener = std::make_unique<sf2::Flattener>(bank);
    worker.frames = std::make_unique<BankFrames>(options.bank, bank.sample_data_offset);
  }
  const sampler::Plan as_bank = PlanPreset(bank, *worker.flattener, preset.index, false);
  const sampler::Plan as_exported = PlanPreset(bank, *worker.flattener, preset.index, true);
  if (as_bank.instruments.size() != from_sf2.size()) {
    preset.difference = "tool fault: the model plans " +
                        std::to_string(as_bank.instruments.size()) + " files, --sf2 wrote " +
                        std::to_string(from_sf2.size());
    return;
  }
  if (from_sfz.size() != from_sf2.size()) {
    preset.difference = Text("files", static_cast<long long>(from_sfz.size()),
                             static_cast<long long>(from_sf2.size()), "--sf2");
    return;
  }
  const bool parts = from_sf2.size() > 1;
  for (std::size_t p = 0; p < from_sf2.size(); ++p) {
    const std::string part = parts ? "part " + std::to_string(p + 1) + ": " : "";
    InstrumentView sf2_view = ViewOf(from_sf2[p]);
    const InstrumentView sfz_view = ViewOf(from_sfz[p]);
    const InstrumentView model = ViewOf(as_bank.instruments[p], nullptr, worker.buffers);
    Difference fault = FirstShapeDifference(model, sf2_view, "--sf2");
    if (fault.what.empty()) fault = FirstLevelDifference(model, sf2_view, "--sf2");
    if (!fault.what.empty()) {
      preset.difference =
          "tool fault: " + part + "the model without the export: " + Said(fault, InstrumentView{});
      return;
    }
    // A drum key's frames are compared with the model's render, not with --sf2's.
    for (std::size_t i = 0; i < model.samples.size(); ++i) {
      sf2_view.samples[i].rendered = model.samples[i].rendered;
    }
    if (const Difference d = FirstShapeDifference(sfz_view, sf2_view, "--sf2"); !d.what.empty()) {
      preset.difference = part + Said(d, model);
      // The parts of the export's plan are --sfz's only where it plans as many.
      if (p < as_exported.instruments.size() &&
          FirstShapeDifference(sfz_view,
                               ViewOf(as_exported.instruments[p], nullptr, worker.buffers), "")
              .what.empty()) {
        preset.difference += " (the export's conversions make it)";
      }
      return;
    }
    if (p >= as_exported.instruments.size()) {
      preset.difference = part + "the model of the export plans fewer files";
      return;
    }
    const InstrumentView exported =
        ViewOf(as_exported.instruments[p], worker.frames.get(), worker.buffers);
    const RenderDifference renders = CompareRenders(sfz_view, exported);
    preset.render_difference = std::max(preset.render_difference, renders.largest);
    preset.renders_beyond += renders.beyond;
    preset.renders += renders.compared;
    Difference d = renders.first;
    if (d.what.empty()) d = FirstLevelDifference(sfz_view, exported, "the model of the export");
    if (!d.what.empty()) {
      preset.difference = part + Said(d, exported);
      return;
    }
  }
}

int Main(const std::vector<std::string>& args) {
  Options options;
  if (const std::string error = ParseOptions(args, options); !error.empty()) {
    std::fprintf(stderr,
                 "sfz_compare: %s\nusage: sfz_compare --bank BANK.sf2 [--program B:P ...] "
                 "[--brumlet PATH] [--jobs N] [--keep]\n",
                 error.c_str());
    return 2;
  }
  if (const std::string missing = measure::MissingTool("polyphone", "polyphone");
      !missing.empty()) {
    std::printf("sfz_compare: %s: nothing compared\n", missing.c_str());
    return kSkipped;
  }
  if (!fs::is_regular_file(options.bank)) {
    std::printf("sfz_compare: %s is missing: nothing compared\n", options.bank.c_str());
    return kSkipped;
  }
  PosixPlatform platform;
  const std::unique_ptr<File> file = platform.OpenRead(options.bank, Site::kBankOpen);
  const sf2::Bank bank = sf2::ReadBank(*file, DisplayText(options.bank));

  // The presets the program converts, in the order of their numbers: of two with the same
  // numbers, the first in the bank.
  std::vector<Preset> presets;
  for (std::size_t i = 0; i < bank.PresetCount(); ++i) {
    const sf2::PresetHeader& h = bank.presets[i];
    const bool chosen = options.programs.empty() ||
                        std::find(options.programs.begin(), options.programs.end(),
                                  std::pair<int, int>(h.bank, h.program)) != options.programs.end();
    const bool twin = std::any_of(presets.begin(), presets.end(), [&](const Preset& p) {
      return p.bank == h.bank && p.program == h.program;
    });
    if (!chosen || twin) continue;
    char label[16];
    std::snprintf(label, sizeof label, "%03d:%03d ", h.bank, h.program);
    presets.push_back({i, h.bank, h.program, label + DisplayText(h.name).str(), "", 0});
  }
  std::stable_sort(presets.begin(), presets.end(), [](const Preset& a, const Preset& b) {
    return std::pair(a.bank, a.program) < std::pair(b.bank, b.program);
  });

  std::string pattern = (fs::temp_directory_path() / "sfz_compare.XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::fprintf(stderr, "sfz_compare: cannot make a scratch folder\n");
    return 1;
  }
  const Scratch scratch{pattern, options.keep};
  const fs::path exported = scratch.path / "export";
  fs::create_directories(exported);
  const int code = measure::RunCommand(
      "QT_QPA_PLATFORM=offscreen polyphone -3 -i " +
      measure::ShellWord(fs::absolute(options.bank).string()) + " -d " +
      measure::ShellWord(exported.string()) + " -c 110 >" +
      measure::ShellWord((scratch.path / "polyphone.txt").string()) + " 2>&1 </dev/null");
  if (code != 0) {
    std::printf("sfz_compare: polyphone could not export %s (exit code %d)\n", options.bank.c_str(),
                code);
    return 1;
  }
  std::printf("sfz_compare: %s, %zu presets, exported by polyphone to %s\n", options.bank.c_str(),
              presets.size(), exported.c_str());

  // Each preset's line as soon as it and those before it are done, in the presets' order.
  std::vector<Worker> workers(static_cast<std::size_t>(options.jobs));
  std::vector<bool> done(presets.size(), false);
  std::size_t printed = 0;
  std::mutex print;
  measure::RunJobs(presets.size(), options.jobs, [&](std::size_t i, int w) {
    ComparePreset(options, bank, scratch.path, presets[i], workers[static_cast<std::size_t>(w)]);
    const std::lock_guard<std::mutex> hold(print);
    for (done[i] = true; printed < presets.size() && done[printed]; ++printed) {
      const Preset& preset = presets[printed];
      std::printf("%s  %s\n", preset.label.c_str(),
                  preset.difference.empty() ? "OK" : preset.difference.c_str());
    }
    std::fflush(stdout);
  });

  const auto agree = std::count_if(presets.begin(), presets.end(),
                                   [](const Preset& p) { return p.difference.empty(); });
  const auto largest = std::max_element(
      presets.begin(), presets.end(),
      [](const Preset& a, const Preset& b) { return a.render_difference < b.render_difference; });
  int beyond = 0, renders = 0;
  for (const Preset& p : presets) {
    beyond += p.renders_beyond;
    renders += p.renders;
  }
  std::printf("%td of %zu presets agree\n", agree, presets.size());
  if (renders > 0) {
    std::printf(
        "drum keys rendered: %d, %d beyond %d of the model's; the largest difference of the "
        "others %d (%s)\n",
        renders, beyond, kRenderTolerance, largest->render_difference, largest->label.c_str());
  }
  if (options.keep) std::printf("kept %s\n", scratch.path.c_str());
  return agree == static_cast<std::ptrdiff_t>(presets.size()) ? 0 : 1;
}

}  // namespace
}  // namespace brumlet::sfz_compare

int main(int argc, char** argv) {
  try {
    return brumlet::sfz_compare::Main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sfz_compare: %s\n", e.what());
    return 1;
  }
}
