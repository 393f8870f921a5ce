// --sfz over libraries written here: how each region's opcodes become a zone in the planner's
// units, and what a run prints, writes and returns for each way a file can end.
#include <gtest/gtest.h>

#include <sstream>

#include "brumlet.h"
#include "expected_text.h"
#include "fake_platform.h"
#include "flac_builder.h"
#include "riff_builder.h"
#include "sfz/sfz_reader.h"
#include "sfz/zones.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

// A zone's fields that differ from those of a bare region over a 4000-frame file.
std::string Describe(const std::optional<sampler::Zone>& zone) {
  if (!zone) return "none";
  const sampler::Zone& z = *zone;
  std::ostringstream o;
  o << "keys " << z.keys.low << '-' << z.keys.high << " root " << z.root_key;
  if (z.start != 0 || z.end != 4000) o << " frames " << z.start << '-' << z.end;
  if (z.loop_mode != sampler::LoopMode::kNone) {
    o << " loop " << static_cast<int>(z.loop_mode) << ' ' << z.loop_start << '-' << z.loop_end;
  }
  if (z.tuning) o << " tuning " << z.tuning;
  if (z.scale_tuning != 100) o << " scale " << z.scale_tuning;
  if (z.attenuation) o << " cB " << z.attenuation;
  if (z.pan) o << " pan " << z.pan;
  const sampler::Envelope& v = z.volume;
  if (v.attack != -12000 || v.decay != -12000 || v.sustain || v.release != -12000) {
    o << " env " << v.attack << '/' << v.decay << '/' << v.sustain << '/' << v.release;
  }
  if (z.mod_env_to_pitch) o << " pitch env " << z.mod_env_to_pitch << '@' << z.modulation.decay;
  if (z.filter_cutoff != 13500) o << " cutoff " << z.filter_cutoff << " q " << z.filter_q;
  if (z.vibrato_depth) {
    o << " vibrato " << z.vibrato_depth << '@' << z.vibrato_frequency << '+' << z.vibrato_delay;
  }
  if (z.lost.any()) o << " lost " << z.lost.to_string();
  return o.str();
}

TEST(SfzZones, EachOpcodeInThePlannersUnits) {
  struct Case {
    std::string opcodes;
    std::string zone;
  };
  const sfz::SampleFacts looped{44100, 4000, 1000, 3000, 67};
  const Case cases[] = {
      {"", "keys 0-127 root 60"},
      {"key=c#4", "keys 61-61 root 61"},
      {"lokey=a0 hikey=c8 pitch_keycenter=sample", "keys 21-108 root 60"},
      {"transpose=-12 tune=15 pitch_keytrack=0", "keys 0-127 root 60 tuning -1185 scale 0"},
      // Levels as a SoundFont player applies attenuation: 25 cB a decibel.
      {"volume=-6 amplitude=50 pan=-100", "keys 0-127 root 60 cB 301 pan -500"},
      {"volume=6 pan=33", "keys 0-127 root 60 pan 165"},
      {"offset=10 end=999", "keys 0-127 root 60 frames 10-1000"},
      {"offset=4000", "none"},
      {"end=9999", "keys 0-127 root 60"},
      {"loop_mode=loop_continuous loopstart=100 loopend=199", "keys 0-127 root 60 loop 1 100-200"},
      {"loop_mode=loop_continuous", "keys 0-127 root 60"},  // no loop anywhere
      {"loop_mode=one_shot", "keys 0-127 root 60 loop 3 0-0"},
      {"ampeg_attack=0.5 ampeg_decay=2 ampeg_sustain=50 ampeg_release=1",
       "keys 0-127 root 60 env -1200/1200/63/0"},
      {"ampeg_sustain=0", "keys 0-127 root 60 env -12000/-12000/1440/-12000"},
      // A decay that changes with the note, on key 70, the zone's nearest 60: 1 + 1.27 x 70 / 127 s.
      {"lokey=70 hikey=80 ampeg_decay=1 ampeg_decaycc133=1.27",
       "keys 70-80 root 60 env -12000/919/0/-12000 lost 10000000"},
      {"pitcheg_decay=1 pitcheg_depth=-1200", "keys 0-127 root 60 pitch env -1200@0 lost 00000010"},
      {"cutoff=1000 resonance=6", "keys 0-127 root 60 cutoff 8321 q 60 lost 00000001"},
      {"fil_type=hpf_2p cutoff=1000", "keys 0-127 root 60 lost 00000001"},
      {"pitchlfo_depth=50 pitchlfo_freq=5 pitchlfo_delay=0.5",
       "keys 0-127 root 60 vibrato 50@-851+-1200"},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.AddTextFile("a.sfz", "<region> sample=s.wav " + c.opcodes);
    const sfz::SfzFile file = sfz::ReadSfz(p, "a.sfz");
    ASSERT_FALSE(file.failure) << c.opcodes;
    const sfz::SampleFacts plain{44100, 4000, {}, {}, {}};
    EXPECT_EQ(Describe(sfz::RegionZone(file.regions.at(0), plain, 0)), c.zone) << c.opcodes;
  }
  // The file's own loop and unity note serve where the region gives none.
  FakePlatform p;
  p.AddTextFile("a.sfz", "<region> sample=s.wav pitch_keycenter=sample");
  const sfz::SfzFile file = sfz::ReadSfz(p, "a.sfz");
  EXPECT_EQ(Describe(sfz::RegionZone(file.regions.at(0), looped, 0)),
            "keys 0-127 root 67 loop 1 1000-3000");
}

Bytes Tone(std::uint16_t channels, std::size_t frames) {
  Bytes data;
  for (std::size_t i = 0; i < frames * channels; ++i) {
    Put16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>((i * 997) % 20000 - 10000)));
  }
  return Wav(FmtData(channels, 22050, 16), {Chunk("data", data)});
}

// A FLAC stream, damaged, or of a length its head does not give (as a recorder writes it).
Bytes FlacTone(bool damaged, bool length_unknown = false) {
  StreamDef def;
  if (length_unknown) def.total = 0;
  def.frames.push_back(Frame({Wave(4096, 16)}, {}, 16));
  Bytes bytes = Flac(def);
  if (damaged) bytes[bytes.size() - 100] ^= 1;
  return bytes;
}

TEST(SfzConversion, WritesEachFileOrSaysWhyNot) {
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;  // after the banner
    std::vector<std::string> files;
  };
  const std::string processing = "Processing \"lib/*.sfz\"\n\n";
  const std::string piano =
      "Piano.sfz  ->  Piano.xi  (2 samples; 1 velocity layer left out, not in an XI: "
      "effect1)\n";
  const std::string broken =
      "Broken.sfz  skipped: line 1 of \"parts/inc.sfz\": sample \"missing.wav\" not found\n";
  const std::string damaged =
      "Damaged.sfz  skipped: line 1: sample \"d.flac\": frame 0: CRC-16 mismatch\n";
  const Case cases[] = {
      {{"--sfz", "lib/*.sfz"}, 245, processing + broken + damaged + piano, {"Piano.xi"}},
      {{"--sfz", "lib/Piano.sfz"}, 0, "Processing \"lib/Piano.sfz\"\n\n" + piano, {"Piano.xi"}},
      {{"--sfz", "lib/none*.sfz"}, 254, "couldn't find lib/none*.sfz\n", {}},
      {{"--sfz"}, 246, kUsage, {}},
      {{"--sfz", "a.sfz", "b.sfz"},
       246,
       kUsage + "hint: too many arguments for --sfz; quote a wildcard pattern so that brumlet "
                "expands it: brumlet --sfz '*.sfz'\n",
       {}},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    // Made on another system: a "\" in a path, a name in another case, an include.
    p.AddTextFile("lib/Piano.sfz",
                  "<group> effect1=20 <region> sample=Samples\\LOW.wav hikey=59\n"
                  "<region> sample=samples/high.flac lokey=60 pitch_keycenter=72\n"
                  "<region> sample=samples/low.wav lovel=101\n");
    p.AddFile("lib/samples/low.wav", Tone(2, 3000));
    p.AddFile("lib/samples/high.flac", FlacTone(false, true));
    p.AddTextFile("lib/Broken.sfz",
                  "<region> sample=samples/low.wav\n\n#include \"parts/inc.sfz\"");
    p.AddTextFile("lib/parts/inc.sfz", "<region> sample=missing.wav lokey=70");
    p.AddTextFile("lib/Damaged.sfz", "<region> sample=d.flac");
    p.AddFile("lib/d.flac", FlacTone(true));
    EXPECT_EQ(RunBrumlet(c.args, "brumlet", p), c.code) << c.args.back();
    EXPECT_EQ(p.fake_console().output, kBanner + c.out) << c.args.back();
    for (const std::string& file : c.files) EXPECT_TRUE(p.Has(file)) << file;
  }

  // The instrument: the stereo WAV mixed on the low keys at its own rate, the FLAC an octave up.
  FakePlatform p;
  p.AddTextFile("Kick.sfz", "<region> sample=k.wav loop_mode=one_shot ampeg_release=2");
  p.AddFile("k.wav", Tone(2, 3000));
  p.AddTextFile("Kick.xi", "my notes");  // not an instrument: not replaced
  EXPECT_EQ(RunBrumlet({"--sfz", "Kick.sfz"}, "brumlet", p), 247);
  p.Remove("Kick.xi");
  ASSERT_EQ(RunBrumlet({"--sfz", "Kick.sfz"}, "brumlet", p), 0);
  const Bytes& b = p.Contents("Kick.xi");
  const XiFile xi = ParseXi(std::string(b.begin(), b.end()));
  ASSERT_TRUE(xi.complete);
  ASSERT_EQ(xi.samples.at(0).data.size(), 3000u);
  const Bytes wav = Tone(2, 3000);
  for (std::size_t i = 0; i < 3000; ++i) {
    const auto at = [&](std::size_t j) {
      return static_cast<std::int16_t>(wav[44 + 2 * j] | wav[45 + 2 * j] << 8);
    };
    ASSERT_EQ(xi.samples[0].data[i], -1 - ((at(2 * i) + at(2 * i + 1)) >> 1)) << i;
  }
  // A one-shot rings on after a key-off: the envelope is on, without a sustain point or fade-out.
  EXPECT_EQ(b[266] & 3, 1);
  EXPECT_EQ(b[272] | b[273] << 8, 0);
}

}  // namespace
}  // namespace brumlet
