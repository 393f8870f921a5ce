// The SFZ reader over small files written here: one behaviour a case, each checked by the
// description of every region it reads (only what differs from a bare <region>), or by the exact
// failure that skips the file.
#include <gtest/gtest.h>

#include <sstream>
#include <utility>
#include <vector>

#include "fake_platform.h"
#include "sfz/sample_path.h"
#include "sfz/sfz_reader.h"
#include "sfz/values.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using sfz::Region;

template <typename T>
void Print(std::ostream& o, const char* name, const T& value) {
  o << ' ' << name << '=';
  if constexpr (std::is_enum_v<T>) {
    o << static_cast<int>(value);
  } else {
    o << value;
  }
}

// Prints a value that differs from a bare region's, and an optional one that is set.
template <typename T>
void Put(std::ostream& o, const char* name, const T& value, const T& bare) {
  if (value != bare) Print(o, name, value);
}
template <typename T>
void Put(std::ostream& o, const char* name, const std::optional<T>& value,
         const std::optional<T>&) {
  if (value) Print(o, name, *value);
}

void Put(std::ostream& o, const char* prefix, const sfz::EnvelopeOpcodes& e) {
  const char* stage[] = {"delay", "attack", "hold", "decay", "sustain", "release", "depth"};
  const std::optional<double>* value[] = {&e.delay,   &e.attack,  &e.hold, &e.decay,
                                          &e.sustain, &e.release, &e.depth};
  for (int i = 0; i < 7; ++i) {
    if (*value[i]) o << ' ' << prefix << stage[i] << '=' << **value[i];
  }
}

std::string Describe(const Region& r) {
  constexpr const char* kLeftOut[] = {
      "",       "no sample",          "silenced",    "other waveform", "no keys",    "release",
      "legato", "controller trigger", "round robin", "random",         "key switch", "controller"};
  const Region bare;
  std::ostringstream o;
  o << r.file << ':' << r.line;
  if (r.sample_kind != sfz::SampleKind::kNone) {
    o << " sample=" << r.sample;
    Put(o, "kind", r.sample_kind, sfz::SampleKind::kFile);
  }
  Put(o, "lokey", r.lokey, bare.lokey), Put(o, "hikey", r.hikey, bare.hikey);
  Put(o, "lovel", r.lovel, bare.lovel), Put(o, "hivel", r.hivel, bare.hivel);
  Put(o, "pitch_keycenter", r.pitch_keycenter, bare.pitch_keycenter);
  Put(o, "from_sample", r.keycenter_from_sample, false);
  Put(o, "pitch_keytrack", r.pitch_keytrack, bare.pitch_keytrack);
  Put(o, "transpose", r.transpose, 0), Put(o, "tune", r.tune, 0);
  Put(o, "volume", r.volume, 0.0), Put(o, "amplitude", r.amplitude, 100.0);
  Put(o, "pan", r.pan, 0.0), Put(o, "offset", r.offset, std::int64_t{0});
  Put(o, "end", r.end, {}), Put(o, "loop_mode", r.loop_mode, {});
  Put(o, "loop_start", r.loop_start, {}), Put(o, "loop_end", r.loop_end, {});
  Put(o, "ampeg_", r.ampeg), Put(o, "pitcheg_", r.pitcheg), Put(o, "fileg_", r.fileg);
  Put(o, "pitchlfo_depth", r.pitchlfo.depth, {}), Put(o, "pitchlfo_freq", r.pitchlfo.freq, {});
  Put(o, "pitchlfo_delay", r.pitchlfo.delay, {});
  if (r.fil_type) {
    o << " fil_type=" << static_cast<int>(r.fil_type->shape) << '/' << r.fil_type->poles;
  }
  Put(o, "cutoff", r.cutoff, {}), Put(o, "resonance", r.resonance, {});
  Put(o, "trigger", r.trigger, sfz::Trigger::kAttack);
  Put(o, "seq_length", r.seq_length, 1), Put(o, "seq_position", r.seq_position, 1);
  Put(o, "lorand", r.lorand, 0.0), Put(o, "hirand", r.hirand, 1.0);
  Put(o, "sw_last", r.sw_last, {}), Put(o, "sw_default", r.sw_default, {});
  Put(o, "sw_lokey", r.sw_lokey, 0), Put(o, "sw_hikey", r.sw_hikey, 127);
  for (const sfz::ControllerRange& c : r.controller_ranges) {
    o << " cc" << c.controller << '=' << c.low << ".." << c.high;
  }
  if (r.left_out != sfz::LeftOut::kNone) o << " out=" << kLeftOut[static_cast<int>(r.left_out)];
  return o.str();
}

// Reads lib/main.sfz (the first file) over the others.
std::string Read(const std::vector<std::pair<std::string, std::string>>& files) {
  FakePlatform platform;
  for (const auto& [path, text] : files) platform.AddTextFile(path, text);
  const sfz::SfzFile sfz = sfz::ReadSfz(platform, files.front().first);
  std::ostringstream o;
  if (const auto& f = sfz.failure) {
    o << "failure " << static_cast<int>(f->problem) << " at " << f->file << ':' << f->line << ' '
      << f->opcode << " '" << f->text << "'";
  }
  for (const Region& r : sfz.regions) o << (&r == &sfz.regions.front() ? "" : " | ") << Describe(r);
  for (const std::string& name : sfz.unmapped_opcodes) o << " ; " << name;
  for (std::size_t i = 1; i < sfz.files.size(); ++i) o << " ; file " << sfz.files[i];
  return o.str();
}

TEST(SfzReader, ReadsEveryBehaviourOfTheFormat) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> files;
    std::string expected;
  };
  const std::string x4096(4096, 'x');
  std::string regions;
  for (std::size_t i = 0; i <= sfz::kMaxRegions; ++i) regions += "<region>sample=a.wav\n";
  std::string dollars;
  for (int i = 0; i < 4200; ++i) dollars += "$A";
  const Case cases[] = {
      // Each level starts from the open levels above it; a new <master> or <global> closes the
      // levels under it.
      {{{"lib/main.sfz",
         "<global> volume=-6\n<master> tune=10\n<group> lokey=1\n<region> sample=a.wav\n"
         "<region> sample=b.wav hikey=5\n<group> hivel=90\n<region> sample=c.wav\n"
         "<master> pan=20\n<region> sample=d.wav\n<global>\n<region> sample=e.wav"}},
       "0:4 sample=a.wav lokey=1 tune=10 volume=-6 | 0:5 sample=b.wav lokey=1 hikey=5 tune=10 "
       "volume=-6 | 0:7 sample=c.wav hivel=90 tune=10 volume=-6 | 0:9 sample=d.wav volume=-6 "
       "pan=20 | 0:11 sample=e.wav"},
      // Other headers are skipped with their opcodes, as is what comes before the first header.
      {{{"lib/main.sfz",
         "lokey=5\n<curve> v000=0 v127=1\n<region> sample=a.wav\n<effect> type=lpf\n"
         "<region> sample=b.wav <midi> gain=1"}},
       "0:3 sample=a.wav | 0:5 sample=b.wav"},
      // Comments; CR LF, CR and LF line ends.
      {{{"lib/main.sfz",
         "// c\r\n<region> /* a\r\nb */ sample=a.wav // x\r<region>sample=b.wav/*c*/lokey=3\n"}},
       "0:2 sample=a.wav | 0:4 sample=b.wav lokey=3"},
      // Values run to the next name=, a header or the line's end; default_path until <control>.
      {{{"lib/main.sfz",
         "<control> default_path=Samples\\Piano\\\n<region> sample=Grand C4 soft.wav  lokey=c4\n"
         "<control>\n<region> sample=..\\x y.wav<region>sample=*sine"}},
       "0:2 sample=Samples/Piano/Grand C4 soft.wav lokey=60 | 0:4 sample=../x y.wav | "
       "0:4 sample=*sine kind=2"},
      // Note names; key sets the range and the centre; pitch_keycenter=sample.
      {{{"lib/main.sfz",
         "<region> sample=a.wav key=c#4\n<region> sample=a.wav lokey=db4 hikey=C-1 "
         "pitch_keycenter=g9\n<region> sample=a.wav pitch_keycenter=sample key=Bb0\n"
         "<region> sample=a.wav pitch_keycenter=sample"}},
       "0:1 sample=a.wav lokey=61 hikey=61 pitch_keycenter=61 | 0:2 sample=a.wav lokey=61 "
       "hikey=0 pitch_keycenter=127 out=no keys | 0:3 sample=a.wav lokey=22 hikey=22 "
       "pitch_keycenter=22 | 0:4 sample=a.wav from_sample=1"},
      // Variables, in values and names; an unknown one stays as written.
      {{{"lib/main.sfz",
         "#define $KEY 36\n#define $NAME kick $KEY\n<region> sample=$NAME.wav key=$KEY\n"
         "<region> sample=$NO.wav amplitude_cc$KEY=10"}},
       "0:3 sample=kick 36.wav lokey=36 hikey=36 pitch_keycenter=36 | 0:4 sample=$NO.wav ; "
       "amplitude_cc36"},
      // Includes resolve from the main file's folder, nest, and repeat.
      {{{"lib/main.sfz",
         "<group> tune=3\n#include \"parts/a.sfzh\"\n#include \"parts\\a.sfzh\"\n"
         "<region> sample=c.wav"},
        {"lib/parts/a.sfzh", "// a\n#include \"parts/b.sfzh\"\n<region> sample=a.wav"},
        {"lib/parts/b.sfzh", "<region> sample=b.wav"}},
       "2:1 sample=b.wav tune=3 | 1:3 sample=a.wav tune=3 | 2:1 sample=b.wav tune=3 | "
       "1:3 sample=a.wav tune=3 | 0:4 sample=c.wav tune=3 ; file parts/a.sfzh ; "
       "file parts/b.sfzh"},
      {{{"lib/main.sfz", "#include \"Parts/A.SFZH\""}, {"lib/parts/a.sfzh", "<region>key=1"}},
       "1:1 lokey=1 hikey=1 pitch_keycenter=1 out=no sample ; file Parts/A.SFZH"},
      // Every sound opcode in its own units.
      {{{"lib/main.sfz",
         "<region> sample=a.wav lovel=10 hivel=100 pitch_keytrack=50 transpose=-12 pitch=-7 "
         "volume=-2.5 amplitude=80 pan=-100 offset=10 end=1000 loop_mode=loop_sustain "
         "loopstart=20 loop_end=900 ampeg_delay=0.1 ampeg_attack=.2 ampeg_hold=1e-1 "
         "ampeg_decay=3 ampeg_sustain=50 ampeg_release=0.5 pitchlfo_depth=20 pitchlfo_freq=5.5 "
         "pitchlfo_delay=1 pitcheg_attack=0.1 pitcheg_depth=100 fil_type=hpf_4p cutoff=1000 "
         "resonance=3 fileg_decay=2 fileg_depth=-1200"}},
       "0:1 sample=a.wav lovel=10 hivel=100 pitch_keytrack=50 transpose=-12 tune=-7 "
       "volume=-2.5 amplitude=80 pan=-100 offset=10 end=1000 loop_mode=3 loop_start=20 "
       "loop_end=900 ampeg_delay=0.1 ampeg_attack=0.2 ampeg_hold=0.1 ampeg_decay=3 "
       "ampeg_sustain=50 ampeg_release=0.5 pitcheg_attack=0.1 pitcheg_depth=100 fileg_decay=2 "
       "fileg_depth=-1200 pitchlfo_depth=20 pitchlfo_freq=5.5 pitchlfo_delay=1 fil_type=1/4 "
       "cutoff=1000 resonance=3"},
      // What a lone note at velocity 100 plays.
      {{{"lib/main.sfz",
         "<control> set_cc64=127\n<region> sample=r.wav trigger=release\n"
         "<region> sample=l.wav trigger=legato\n<region> sample=f.wav trigger=first\n"
         "<region> sample=s2.wav seq_length=2 seq_position=2\n<region> sample=s1.wav "
         "seq_length=2\n<region> sample=h.wav lorand=0.5\n<region> sample=l.wav hirand=0.5\n"
         "<region> sample=k2.wav sw_last=d1 sw_lokey=c1\n<region> sample=k1.wav sw_last=c1\n"
         "<region> sample=c1.wav hicc64=63\n<region> sample=c2.wav locc64=64 hichan=10\n"
         "<region> sample=c3.wav on_locc20=0\n<region> sample=x.wav end=-1\n"
         "<region> sample=*saw"}},
       "0:2 sample=r.wav trigger=1 out=release | 0:3 sample=l.wav trigger=3 out=legato | "
       "0:4 sample=f.wav trigger=2 | 0:5 sample=s2.wav seq_length=2 seq_position=2 "
       "out=round robin | 0:6 sample=s1.wav seq_length=2 | 0:7 sample=h.wav lorand=0.5 "
       "out=random | 0:8 sample=l.wav hirand=0.5 | 0:9 sample=k2.wav sw_last=26 sw_lokey=24 "
       "out=key switch | 0:10 sample=k1.wav sw_last=24 | 0:11 sample=c1.wav cc64=0..63 "
       "out=controller | 0:12 sample=c2.wav cc64=64..127 | 0:13 sample=c3.wav "
       "out=controller trigger | 0:14 sample=x.wav end=-1 out=silenced | 0:15 sample=*saw "
       "kind=4 out=other waveform"},
      {{{"lib/main.sfz",
         "<global> sw_default=d1\n<region> sample=a.wav sw_last=c1\n"
         "<region> sample=b.wav sw_last=d1\n<region> sample=c.wav sw_down=c1"}},
       "0:2 sample=a.wav sw_last=24 sw_default=26 out=key switch | 0:3 sample=b.wav sw_last=26 "
       "sw_default=26 | 0:4 sample=c.wav sw_default=26 out=key switch"},
      // Opcodes without a counterpart, once each in order; labels, hints, channels are none.
      {{{"lib/main.sfz",
         "<control> label_cc1=Mod octave_offset=1 hint_ram_based=1\n<global> "
         "ampeg_attackcc1=1 effect1=20 region_label=x\n<region> sample=a.wav effect1=30 "
         "amplfo_depth=2 lochan=10 ampeg_depth=1 locc200=1"}},
       "0:3 sample=a.wav ; octave_offset ; ampeg_attackcc1 ; effect1 ; amplfo_depth ; "
       "ampeg_depth ; locc200"},
      // Failures: the problem, where, and the file's own text.
      {{{"lib/main.sfz", "<region> sample=a.wav\n#include \"nope.sfz\""}},
       "failure 0 at 0:2  'nope.sfz'"},
      {{{"lib/main.sfz", "\n#include \"main.sfz\""}},
       "failure 1 at 1:2  'main.sfz' ; file main.sfz"},
      {{{"lib/main.sfz", "#define $A " + x4096 + "\n<region> sample=" + dollars}},
       "failure 2 at 0:2  ''"},
      {{{"lib/main.sfz", regions}}, "failure 3 at 0:16385  ''"},
      {{{"lib/main.sfz", "<region> sample=a.wav\n<region sample=b.wav"}},
       "failure 4 at 0:2  '<region sample=b.wav'"},
      {{{"lib/main.sfz", "#include nope.sfz"}}, "failure 5 at 0:1  '#include nope.sfz'"},
      {{{"lib/main.sfz", "<region> sample=a.wav\nkey 60"}}, "failure 6 at 0:2  'key'"},
      {{{"lib/main.sfz", "<region> lokey=h4"}}, "failure 7 at 0:1 lokey 'h4'"},
      {{{"lib/main.sfz", "<region> sample=" + x4096}},
       "failure 7 at 0:1 sample '" + x4096.substr(0, sfz::kMaxQuoted) + "'"},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.files), c.expected) << c.files.front().second;
}

TEST(SfzReader, AFailedReadPassesThrough) {
  FakePlatform platform;
  platform.AddTextFile("a.sfz", "<region>");
  platform.faults[Site::kSfzRead] = EIO;
  EXPECT_THROW(sfz::ReadSfz(platform, "a.sfz"), RunFailure);
}

TEST(SfzReader, FindsFilesIgnoringCase) {
  FakePlatform platform;
  for (const char* path : {"lib/Samples/Piano C4.wav", "lib [x]/a*.wav", "lib/b.wav"}) {
    platform.AddTextFile(path, "");
  }
  const std::pair<std::pair<const char*, const char*>, std::optional<std::string>> cases[] = {
      {{"lib/", "Samples/Piano C4.wav"}, "lib/Samples/Piano C4.wav"},
      {{"lib/", "samples/PIANO c4.WAV"}, "lib/Samples/Piano C4.wav"},
      {{"lib [x]/", "A*.wav"}, "lib [x]/a*.wav"},
      {{"lib [x]/", "A?.wav"}, std::nullopt},
      {{"lib/", "c.wav"}, std::nullopt},
  };
  for (const auto& [in, expected] : cases) {
    EXPECT_EQ(sfz::FindFile(platform, in.first, in.second), expected) << in.second;
  }
}

TEST(SfzValues, TakeWholeNumbersOrNothing) {
  const std::pair<const char*, std::optional<double>> numbers[] = {
      {"5.", 5},  {"-.5", -0.5}, {"+3", 3},  {"0.1", 0.1}, {"2.5e-3", 0.0025},
      {"", {}},   {"-", {}},     {"1x", {}}, {".", {}},    {"1e400", {}},
      {"1e", {}}, {"1.2.3", {}}, {"007", 7},
  };
  for (const auto& [text, value] : numbers) EXPECT_EQ(sfz::ParseNumber(text), value) << text;
  EXPECT_EQ(sfz::ParseInteger("60.7"), 60);
  EXPECT_EQ(sfz::ParseInteger("3e9"), std::nullopt);
  EXPECT_EQ(sfz::ParseKey("e#4"), 65);
  EXPECT_EQ(sfz::ParseKey("c10"), std::nullopt);
}

}  // namespace
}  // namespace brumlet
