#include "sine_instruments.h"

#include <cmath>
#include <cstdint>
#include <fstream>

#include "pitch.h"
#include "players.h"
#include "xm_module.h"

namespace brumlet::testing {

using namespace brumlet::measure;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The looped sine both instruments play: 100 frames a period, 44100 frames.
std::int16_t Sine(std::int32_t frame) {
  return static_cast<std::int16_t>(std::lround(16000 * std::sin(2 * kPi * frame / 100)));
}

}  // namespace

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
