#include "render_measure.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "xm_module.h"

namespace brumlet::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The attack has peaked where the level first comes this close to its highest: a sustained
// level wavers by a fraction of a decibel, and a slow attack spends long near the top.
constexpr double kPeakDb = 0.5;

std::uint32_t Le(const std::string& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

std::size_t Frame(const Rendered& signal, double seconds) {
  const double frame = std::max(0.0, std::round(seconds * signal.rate));
  return std::min(signal.mono.size(), static_cast<std::size_t>(frame));
}

// Normalised correlation of the `length` frames from `from` with those `lag` frames later.
double Correlation(const std::vector<double>& x, std::size_t from, std::size_t length,
                   std::size_t lag) {
  double xy = 0, xx = 0, yy = 0;
  for (std::size_t i = from; i < from + length; ++i) {
    xy += x[i] * x[i + lag];
    xx += x[i] * x[i];
    yy += x[i + lag] * x[i + lag];
  }
  return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// The lag between `low` and `high` where the correlation peaks, refined between whole frames by
// the parabola through the peak and its neighbours.
double PeakLag(const std::vector<double>& x, std::size_t from, std::size_t length, std::size_t low,
               std::size_t high) {
  std::size_t best = low;
  std::vector<double> c;
  for (std::size_t lag = low - 1; lag <= high + 1; ++lag)
    c.push_back(Correlation(x, from, length, lag));
  for (std::size_t lag = low; lag <= high; ++lag) {
    if (c[lag - low + 1] > c[best - low + 1]) best = lag;
  }
  const double left = c[best - low], mid = c[best - low + 1], right = c[best - low + 2];
  const double curvature = left - 2 * mid + right;
  return static_cast<double>(best) + (curvature < 0 ? 0.5 * (left - right) / curvature : 0);
}

void PutVariable(std::string& out, std::uint32_t value) {
  std::string bytes(1, static_cast<char>(value & 0x7F));
  while ((value >>= 7) != 0) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (value & 0x7F)));
  out += bytes;
}

void PutBigEndian(std::string& out, std::uint32_t value, int size) {
  for (int i = size - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

Rendered ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ReadWav16(std::string(std::istreambuf_iterator<char>(in), {}));
}

}  // namespace

std::string MissingTool(const std::string& tool, const std::string& package) {
  if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0) return "";
  return tool + " is not installed (Debian package " + package + ")";
}

Rendered ReadWav16(const std::string& bytes) {
  Rendered wav;
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    return wav;
  }
  int format = 0, channels = 0, rate = 0, bits = 0;
  // Chunks follow the 12-byte RIFF header: a 4-byte id, a 32-bit size, the body, and a pad
  // byte after an odd size.
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const std::string id = bytes.substr(at, 4);
    const std::size_t size = std::min<std::size_t>(Le(bytes, at + 4, 4), bytes.size() - at - 8);
    const std::size_t body = at + 8;
    if (id == "fmt " && size >= 16) {
      format = static_cast<int>(Le(bytes, body, 2));
      channels = static_cast<int>(Le(bytes, body + 2, 2));
      rate = static_cast<int>(Le(bytes, body + 4, 4));
      bits = static_cast<int>(Le(bytes, body + 14, 2));
    } else if (id == "data" && (bits == 16 || (bits == 32 && format == 3)) &&
               (channels == 1 || channels == 2)) {
      wav.rate = rate;
      wav.channels = channels;
      const std::size_t width = static_cast<std::size_t>(bits / 8);
      const std::size_t frame_bytes = width * static_cast<std::size_t>(channels);
      for (std::size_t f = body; f + frame_bytes <= body + size; f += frame_bytes) {
        double sum = 0;
        for (std::size_t c = 0; c < frame_bytes; c += width) {
          sum += bits == 16 ? static_cast<std::int16_t>(Le(bytes, f + c, 2)) / 32768.0
                            : std::bit_cast<float>(Le(bytes, f + c, 4));
        }
        wav.mono.push_back(sum / channels);
      }
      return wav;
    }
    at = body + size + (size & 1);
  }
  return wav;
}

double PitchCents(const Rendered& signal, double begin, double end, double reference_hz) {
  const std::size_t from = Frame(signal, begin), to = Frame(signal, end);
  const double period = signal.rate / reference_hz;
  const auto low = static_cast<std::size_t>(std::max(2.0, std::floor(period / 1.06)));
  const auto high = static_cast<std::size_t>(std::ceil(period * 1.06));
  if (to < from + 4 * high) return NAN;
  // One period first, found near the reference so that no octave is mistaken for it; then the
  // peak near twice as many periods each time, as far as half the part holds, which divides the
  // error by their number.
  const std::size_t half = (to - from) / 2;
  double period_found = PeakLag(signal.mono, from, half, low, high);
  for (double periods = 2; periods * period_found + 3 < static_cast<double>(half); periods *= 2) {
    const auto near = static_cast<std::size_t>(std::lround(periods * period_found));
    period_found = PeakLag(signal.mono, from, to - from - near - 3, near - 2, near + 2) / periods;
  }
  return 1200 * std::log2(signal.rate / period_found / reference_hz);
}

std::vector<double> LevelCurveDb(const Rendered& signal, double window, double step) {
  std::vector<double> curve;
  const auto length = static_cast<std::size_t>(window * signal.rate);
  const auto hop = std::max<std::size_t>(1, static_cast<std::size_t>(step * signal.rate));
  for (std::size_t at = 0; at + length <= signal.mono.size(); at += hop) {
    double sum = 0;
    for (std::size_t i = at; i < at + length; ++i) sum += signal.mono[i] * signal.mono[i];
    curve.push_back(10 * std::log10(std::max(sum / static_cast<double>(length), 1e-20)));
  }
  return curve;
}

double AttackPeakSeconds(const Rendered& signal, double until) {
  constexpr double kStep = 0.001, kWindow = 0.02;
  const std::vector<double> curve = LevelCurveDb(signal, kWindow, kStep);
  const auto end = curve.begin() + static_cast<std::ptrdiff_t>(std::min(
                                       curve.size(), static_cast<std::size_t>(until / kStep)));
  const double peak = *std::max_element(curve.begin(), end);
  const auto first =
      std::find_if(curve.begin(), end, [peak](double db) { return db >= peak - kPeakDb; });
  return static_cast<double>(first - curve.begin()) * kStep + kWindow / 2;
}

double LevelDb(const Rendered& signal, double begin, double end) {
  const std::size_t from = Frame(signal, begin), to = Frame(signal, end);
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += signal.mono[i] * signal.mono[i];
  return 10 * std::log10(
                  std::max(sum / static_cast<double>(std::max<std::size_t>(1, to - from)), 1e-20));
}

double FallSeconds(const Rendered& signal, double note_off, double drop_db) {
  constexpr double kStep = 0.001, kWindow = 0.01;
  const double target = LevelDb(signal, note_off - 0.05, note_off) - drop_db;
  const std::vector<double> curve = LevelCurveDb(signal, kWindow, kStep);
  // A window's level is that of its middle.
  for (auto i = static_cast<std::size_t>(std::max(0.0, note_off / kStep)); i < curve.size(); ++i) {
    if (curve[i] <= target) return static_cast<double>(i) * kStep + kWindow / 2 - note_off;
  }
  return -1;
}

std::string MidiNote(int bank, int program, int key, int velocity, double on_seconds,
                     double total_seconds) {
  // 480 ticks a quarter note at the default 120 beats a minute: 960 ticks a second. Channel 10
  // (9 counted from 0) is the percussion channel and plays bank 128.
  constexpr double kTicksPerSecond = 960;
  const int channel = bank == 128 ? 9 : 0;
  const auto status = [channel](int kind) { return static_cast<char>(kind | channel); };
  std::string track;
  if (bank != 128) {
    track += {'\0', status(0xB0), '\0', static_cast<char>(bank)};  // bank select
  }
  track += {'\0', status(0xC0), static_cast<char>(program)};
  track += {'\0', status(0x90), static_cast<char>(key), static_cast<char>(velocity)};
  const auto on = static_cast<std::uint32_t>(std::lround(on_seconds * kTicksPerSecond));
  const auto total = static_cast<std::uint32_t>(std::lround(total_seconds * kTicksPerSecond));
  PutVariable(track, on);
  track += {status(0x80), static_cast<char>(key), '\0'};
  PutVariable(track, total > on ? total - on : 0);
  track += {static_cast<char>(0xFF), '\x2F', '\0'};  // end of track

  std::string midi = "MThd";
  PutBigEndian(midi, 6, 4);
  PutBigEndian(midi, 0, 2);
  PutBigEndian(midi, 1, 2);
  PutBigEndian(midi, 480, 2);
  midi += "MTrk";
  PutBigEndian(midi, static_cast<std::uint32_t>(track.size()), 4);
  return midi + track;
}

Rendered RenderXm(const std::string& folder, const std::string& xm, int rate) {
  const std::string command = "cd '" + folder + "' && openmpt123 --quiet --render --force " +
                              "--samplerate " + std::to_string(rate) +
                              " --channels 2 --no-float --dither 0 --filter 1 --ramping 0 '" + xm +
                              "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  return ReadFile(folder + "/" + xm + ".wav");
}

Rendered RenderMidi(const std::string& folder, const std::string& bank_path,
                    const std::string& midi, const std::string& out, int rate) {
  const std::string command =
      "cd '" + folder + "' && fluidsynth -q -ni -R 0 -C 0 -T wav -O float -F '" + out + "' -r " +
      std::to_string(rate) + " '" + bank_path + "' '" + midi + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  return ReadFile(folder + "/" + out);
}

// The looped sine both instruments play: 100 frames a period, 44100 frames.
std::int16_t Sine(std::int32_t frame) {
  return static_cast<std::int16_t>(std::lround(16000 * std::sin(2 * kPi * frame / 100)));
}

std::string SineXi(const EnvelopeMapping& mapping, int relative_note, int finetune) {
  constexpr std::int32_t kFrames = 44100;
  // The instrument header (298 bytes) as the XI format lays it out, then one 40-byte sample
  // header and the sample's 16-bit data, each value stored as its difference from the one before.
  std::string xi(298 + 40, '\0');
  auto put = [&xi](std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
      xi[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  };
  xi.replace(0, 21, "Extended Instrument: ");
  xi.replace(21, 22, std::string(22, ' '));
  xi[43] = '\x1A';
  xi.replace(44, 20, std::string(20, ' '));
  put(64, 0x0102, 2);
  const xi::VolumeEnvelope& v = mapping.volume;
  for (std::size_t p = 0; p < v.points.size(); ++p) {
    put(162 + 4 * p, v.points[p].tick, 2);
    put(164 + 4 * p, v.points[p].value, 2);
  }
  put(258, v.count, 1);
  put(260, v.sustain, 1);
  put(261, v.loop_start, 1);
  put(262, v.loop_end, 1);
  put(266, v.flags, 1);
  const xi::AutoVibrato& vibrato = mapping.vibrato;
  put(268,
      static_cast<std::uint32_t>(vibrato.type | vibrato.sweep << 8 | vibrato.depth << 16 |
                                 vibrato.rate << 24),
      4);
  put(272, v.fade_out, 2);
  put(296, 1, 2);
  put(298, 2 * kFrames, 4);  // length in bytes
  put(302, 0, 4);            // loop start
  put(306, 2 * kFrames, 4);  // loop length
  put(310, 64, 1);           // volume
  put(311, static_cast<std::uint32_t>(finetune), 1);
  put(312, 0x11, 1);  // forward loop, 16-bit
  put(313, 128, 1);   // centre
  put(314, static_cast<std::uint32_t>(relative_note), 1);
  std::int16_t previous = 0;
  for (std::int32_t i = 0; i < kFrames; ++i) {
    const std::int16_t value = Sine(i);
    const auto delta = static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) -
                                                  static_cast<std::uint16_t>(previous));
    xi += static_cast<char>(delta & 0xFF);
    xi += static_cast<char>(delta >> 8);
    previous = value;
  }
  return xi;
}

std::string SineBank(const EnvelopeGenerators& generators) {
  auto le = [](std::uint32_t value, int size) {  // wider than 4 bytes: zeros above
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(i < 4 ? value >> (8 * i) & 0xFF : 0);
    return bytes;
  };
  auto name = [](const std::string& text) { return (text + std::string(20, '\0')).substr(0, 20); };
  auto chunk = [&le](const std::string& id, const std::string& body) {
    return id + le(static_cast<std::uint32_t>(body.size()), 4) + body;
  };
  auto gen = [&le](int oper, int amount) {
    return le(static_cast<std::uint32_t>(oper), 2) + le(static_cast<std::uint32_t>(amount), 2);
  };
  // The sample data: the sine, then the 46 zero frames the format asks after every sample.
  std::string smpl;
  for (std::int32_t i = 0; i < 44100; ++i) smpl += le(static_cast<std::uint16_t>(Sine(i)), 2);
  smpl += std::string(2 * 46, '\0');
  // The hydra: each table ends in a terminal record. Preset 0:0 has one zone naming instrument
  // 0 (generator 41); the instrument one zone of the envelope and vibrato generators, the loop
  // (sampleModes, 54) and last the sample (sampleID, 53).
  const std::string phdr = name("Sine") + le(0, 2) + le(0, 2) + le(0, 2) + le(0, 12) + name("EOP") +
                           le(0, 4) + le(1, 2) + le(0, 12);
  const std::string igen = gen(33, generators.delay_vol_env) + gen(34, generators.attack_vol_env) +
                           gen(35, generators.hold_vol_env) + gen(36, generators.decay_vol_env) +
                           gen(37, generators.sustain_vol_env) +
                           gen(38, generators.release_vol_env) + gen(23, generators.delay_vib_lfo) +
                           gen(24, generators.freq_vib_lfo) + gen(6, generators.vib_lfo_to_pitch) +
                           gen(54, 1) + gen(53, 0) + gen(0, 0);
  const std::string shdr = name("sine") + le(0, 4) + le(44100, 4) + le(0, 4) + le(44100, 4) +
                           le(44100, 4) + le(69, 1) + le(0, 1) + le(0, 2) + le(1, 2) + name("EOS") +
                           std::string(26, '\0');
  const std::string pdta =
      "pdta" + chunk("phdr", phdr) + chunk("pbag", le(0, 4) + le(1, 2) + le(0, 2)) +
      chunk("pmod", std::string(10, '\0')) + chunk("pgen", gen(41, 0) + gen(0, 0)) +
      chunk("inst", name("sine") + le(0, 2) + name("EOI") + le(1, 2)) +
      chunk("ibag", le(0, 4) + le(11, 2) + le(0, 2)) + chunk("imod", std::string(10, '\0')) +
      chunk("igen", igen) + chunk("shdr", shdr);
  const std::string info = "INFO" + chunk("ifil", le(2, 2) + le(1, 2)) +
                           chunk("isng", std::string("EMU8000\0", 8)) +
                           chunk("INAM", std::string("Sine\0\0", 6));
  return chunk("RIFF", "sfbk" + chunk("LIST", info) + chunk("LIST", "sdta" + chunk("smpl", smpl)) +
                           chunk("LIST", pdta));
}

double SineXiHz(int note, int relative_note, int finetune) {
  return 441.0 / 44100 * 16726 * std::exp2((note - 61 + relative_note) / 12.0 + finetune / 1536.0);
}

double XmPitchErrorCents(const std::string& folder, int note, int relative_note, int finetune) {
  EnvelopeMapping flat;
  flat.volume.points[0] = {0, 64};
  flat.volume.count = 1;
  flat.volume.flags = xi::envelope_flag::kOn | xi::envelope_flag::kSustain;
  const std::string xm = "pitch.xm";
  std::ofstream(folder + "/" + xm, std::ios::binary)
      << XmFromXi(SineXi(flat, relative_note, finetune), note, 0, 10);
  return PitchCents(RenderXm(folder, xm, 44100), 0.2, 1.0, SineXiHz(note, relative_note, finetune));
}

}  // namespace brumlet::testing
