// Writes the fuzzers' seed corpora, made by the tests' own WAV builder: small valid and broken
// WAVs of every kind the converter reads, name files using every identifier and token, and small
// SoundFont banks with global zones, stereo pairs, loops, offsets and a drum kit to split; and for
// the instrument modes, a mode byte followed by those WAVs or a bank, files apart by "#FILE#";
// small FLAC streams of every subframe kind and stereo layout, made by the tests' FLAC builder;
// and SFZ files as a SoundFont export writes them and as libraries write them by hand, with every
// header, directive, comment and choosing opcode, a main file and its include apart by "#FILE#".
#include <filesystem>
#include <fstream>
#include <string>

#include "flac_builder.h"
#include "riff_builder.h"
#include "sf2_builder.h"

namespace {

using namespace brumlet::testing;

void Save(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void Save(const std::filesystem::path& dir, const std::string& name, const std::string& text) {
  std::ofstream(dir / name, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) return 2;
  const std::filesystem::path wavs = argv[1], names = argv[2], banks = argv[3], modes = argv[4],
                              flacs = argv[5], sfzs = argv[6];
  for (const auto& dir : {wavs, names, banks, modes, flacs, sfzs}) {
    std::filesystem::create_directories(dir);
  }

  const Bytes list =
      Chunk("LIST", Concat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", {'P', 'a', 'd', 0, 0}),
                            Bytes{0}, Chunk("ISFT", {'x', 0})}));
  const Bytes smpl = Chunk("smpl", SmplData(1, {{1, 2, 9}}));
  const Bytes mono8 = Wav(FmtData(1, 8000, 8), {Chunk("data", Repeat(11, 0x80)), Bytes{0}, smpl});
  const Bytes stereo16 =
      Wav(FmtData(2, 44100, 16), {list, Chunk("data", Samples16({1, -1, 300, -300}))});
  const Bytes pcm24 = Wav(FmtData(2, 48000, 24), {smpl, Chunk("data", Repeat(18, 7))});
  Save(wavs, "mono8", mono8);
  Save(wavs, "stereo16", stereo16);
  Save(wavs, "pcm24", pcm24);
  Save(wavs, "float32", Wav(FmtData(1, 48000, 32, 3), {Chunk("data", Repeat(16, 0x3F))}));
  Bytes extensible_extra(24, 0);
  extensible_extra[0] = 22;
  extensible_extra[8] = 3;
  Save(wavs, "float64x",
       Wav(FmtData(1, 22050, 64, 0xFFFE, extensible_extra), {Chunk("data", Repeat(16, 0))}));
  // Compressed: G.711, and ADPCM blocks of 36 bytes (IMA: a 4-byte header and 32 bytes of codes
  // a channel in mono; Microsoft: 7 + 29 bytes with the standard table in the fmt chunk).
  Save(wavs, "mulaw", Wav(FmtData(2, 8000, 8, 7), {Chunk("data", Repeat(10, 0x15))}));
  Bytes ima = FmtData(2, 22050, 4, 0x11, {2, 0, 57, 0});
  ima[12] = 72;
  Save(wavs, "ima", Wav(ima, {Chunk("data", Concat({Repeat(72, 0x93), Repeat(13, 0x0F)}))}));
  Bytes ms_extra{32, 0, 60, 0, 7, 0};
  for (int pair : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) {
    Put16(ms_extra, static_cast<std::uint16_t>(pair));
  }
  Bytes ms = FmtData(1, 11025, 4, 2, ms_extra);
  ms[12] = 36;
  Save(wavs, "msadpcm", Wav(ms, {Chunk("data", Concat({Bytes{1, 16, 0}, Repeat(40, 0x7E)}))}));
  Save(wavs, "streamed", Wav(FmtData(1, 11025, 16), {Chunk("data", Repeat(8, 1), 0xFFFFFFFF)}));
  Save(wavs, "nodata", Wav(FmtData(1, 8000, 8), {Chunk("JUNK", Repeat(3, 0)), list}));

  Save(names, "tokens",
       std::string("INSTR: %INAM\r\nSMP00: %XI\r\nSMP01: %SIZE\r\nSMP02: %LOOP\r\n"
                   "SMP03: %DATE\r\nSMP04: %INSTR\r\nSMP05: %WAV\r\n"));
  Save(names, "ask",
       std::string("\x05"
                   "first\nsecond\n"
                   "instr: %a\nsmp$A: %A\nSMP 3: %ask\n\nSMP09: x"));
  Save(names, "short", std::string("INSTR: %W\rsmp+1: %s\rSMPxf: %l\rSMP-1: %in\x1A"));

  const SampleDef left{"L", 0, 40, 8, 32, 22050, 60, 0, 1, 4},
      right{"R", 40, 80, 48, 72, 22050, 60, 0, 0, 2};
  const Bytes stereo_bank =
      Sf2({{{"Piano", 0, 0, {{KeyRange(0, 100), Set(48, 30)}, {Set(51, -1), Set(41, 0)}}}},
           {{"Piano",
             {{Set(54, 1), Set(2, 1)},
              {KeyRange(0, 127), VelRange(0, 127), Set(17, -500), Set(53, 0)},
              {KeyRange(0, 127), Set(17, 500), Set(0, 2), Set(53, 1)}}}},
           {left, right},
           120});
  Save(banks, "stereo", stereo_bank);
  BankDef kit{{{"Kit", 128, 0, {{Set(41, 0)}}}}, {{"Drums", {}}}, {}, 120};
  for (int i = 0; i < 20; ++i) {
    kit.instruments[0].zones.push_back(
        {KeyRange(35 + i, 35 + i), Set(56, 0), Set(58, 60 + i % 3), Set(53, i % 3)});
  }
  kit.samples = {{"A", 0, 40, 0, 0, 44100, 255},
                 {"B", 40, 80, 50, 60, 8000, 64, -12},
                 {"C", 80, 120, 80, 120, 96000, 36, 7}};
  Save(banks, "kit", Sf2(kit));

  const Bytes split = {'#', 'F', 'I', 'L', 'E', '#'};
  const Bytes three = Concat({mono8, split, stereo16, split, pcm24});
  Save(modes, "kit", Concat({Bytes{0}, three}));
  Save(modes, "multi", Concat({Bytes{1}, three}));
  Save(modes, "mono", Concat({Bytes{2}, stereo16, split, mono8}));
  Save(modes, "bank", Concat({Bytes{3}, stereo_bank}));
  Save(modes, "kit_bank", Concat({Bytes{3}, Sf2(kit), split, Bytes{'1', '2', '8', ':', '*'}}));

  SubframeDef rice5 = Fixed(1, 2), escaped = Fixed(2, 1), wasted = Fixed(1);
  rice5.rice5 = true;
  escaped.escape_bits = 24;
  wasted.wasted = 4;
  StreamDef mono = Stream({Frame({Wave(300, 16)}, {Fixed(2, 1)}, 16),
                           Frame({Wave(100, 16, 0.2)}, {Lpc({3, -2}, 4, 1)}, 16)});
  mono.blocks = {MetadataBlock(1, Bytes(8, 0)), MetadataBlock(2, Bytes(12, 0x61))};
  Save(flacs, "mono16", Flac(mono));
  const std::string sfz_text =
      "<group> loop_mode=loop_continuous loop_start=10 loop_end=200 ampeg_release=0.5\n"
      "<region> sample=s.wav hikey=59 pan=-100\n<region> sample=S.WAV hikey=59 pan=100\n"
      "<region> sample=t.flac lokey=60 pitch_keycenter=72 transpose=-1 tune=12\n"
      "<region> sample=*sine key=100\n";
  Save(modes, "sfz",
       Concat({Bytes{4}, Bytes(sfz_text.begin(), sfz_text.end()), split, stereo16, split,
               Flac(mono)}));
  const std::string sfz_kit =
      "<region> sample=s.wav key=36 loop_mode=one_shot\n<region> sample=t.flac key=38\n"
      "<region> sample=s.wav key=40 offset=5 end=90\n<region> sample=*sine key=42\n"
      "<region> sample=t.flac key=44\n<region> sample=s.wav key=46 tune=50\n"
      "<region> sample=s.wav key=48 cutoff=500\n<region> sample=t.flac key=50 pitcheg_depth=-900 "
      "pitcheg_decay=0.2\n";
  Save(modes, "sfz_kit",
       Concat(
           {Bytes{4}, Bytes(sfz_kit.begin(), sfz_kit.end()), split, stereo16, split, Flac(mono)}));
  Save(flacs, "mid_side24",
       Flac(Stream({Frame({Wave(256, 24), Wave(256, 24, 0.1)}, {rice5, escaped}, 24, 10)})));
  Samples shifted = Wave(100, 12, 0.3);
  for (std::int64_t& v : shifted) v *= 16;
  StreamDef varied = Stream(
      {Frame({Samples(40, -3)}, {Kind(SubframeDef::kConstant)}, 8), Frame({Wave(50, 8)}, {{}}, 8)});
  for (FrameDef& f : varied.frames) f.variable = true;
  Save(flacs, "variable8", Concat({Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 0, 2, 0, 0}, Flac(varied)}));
  Save(flacs, "side32",
       Flac(Stream({Frame({Wave(100, 32), Wave(100, 32, 0.05)}, {Fixed(2), Fixed(1)}, 32, 8)})));
  std::vector<Samples> six(6, Wave(100, 16, 0.07));
  six[5] = shifted;
  FrameDef many = Frame(six, {{}, Fixed(3), Fixed(4), Lpc({1, 1, -1}, 3, 1), {}, wasted}, 16);
  many.rate = 7350;
  Save(flacs, "six16", Flac(Stream({many})));
  Save(sfzs, "export",
       std::string("// Sfz exported from a sf2 file\r\n<group>\r\nloop_mode=loop_continuous\r\n"
                   "ampeg_attack=0.001\r\nfil_type=lpf_2p\r\ncutoff=19913\r\n\r\n<region>\r\n"
                   "sample=samples\\Piano C4.wav\r\nlokey=0 hikey=61\r\npitch_keycenter=60\r\n"
                   "volume=-2.144\r\ntune=-7\r\noffset=0\r\nend=5635\r\nloop_start=9\r\n"
                   "loop_end=5631\r\nampeg_decay=19.8 ampeg_sustain=86.1 effect1=7 lochan=10\r\n"));
  Save(sfzs, "handmade",
       std::string("<control> default_path=Samples/ set_cc64=127\n#define $KEY c#4\n"
                   "<global> sw_lokey=c1 sw_hikey=e1 sw_default=d1 /* over\nlines */\n"
                   "<master> seq_length=2 <group> trigger=first hicc64=63 lorand=0 hirand=.5\n"
                   "<region> sample=a b.wav key=$KEY seq_position=2 sw_last=d1\n"
                   "<curve> v000=0 <effect> type=lpf <midi> x=1\n"
                   "<region>sample=*sine pitch_keycenter=sample end=-1 // comment\n"
                   "#include \"INC.SFZ\"\n#FILE#"
                   "<region> sample=..\\x.wav lovel=1 hivel=100 on_locc1=0 amplitude_cc1=50\r"));
  return 0;
}
