// Writes a WAV with a sampler loop through libsndfile's instrument API, for the integration
// tests: a library nobody here wrote decides how the smpl chunk looks. Prints the loop as
// libsndfile reads it back from the written file: "MODE START END".
//
//   looped_wav_tool OUT RATE CHANNELS BITS forward|pingpong START END FRAMES
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 9) return 2;
  const int rate = std::atoi(argv[2]), channels = std::atoi(argv[3]), bits = std::atoi(argv[4]);
  const bool pingpong = std::string(argv[5]) == "pingpong";
  const int frames = std::atoi(argv[8]);
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | (bits == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
  SNDFILE* out = sf_open(argv[1], SFM_WRITE, &info);
  if (out == nullptr) return 3;
  SF_INSTRUMENT instrument;
  std::memset(&instrument, 0, sizeof instrument);
  instrument.basenote = 60;
  instrument.velocity_hi = 127;
  instrument.key_hi = 127;
  instrument.loop_count = 1;
  instrument.loops[0].mode = pingpong ? SF_LOOP_ALTERNATING : SF_LOOP_FORWARD;
  instrument.loops[0].start = static_cast<unsigned>(std::atoi(argv[6]));
  instrument.loops[0].end = static_cast<unsigned>(std::atoi(argv[7]));
  if (sf_command(out, SFC_SET_INSTRUMENT, &instrument, sizeof instrument) != SF_TRUE) return 4;
  std::vector<short> samples(static_cast<std::size_t>(frames * channels));
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      const double t = static_cast<double>(i) / rate;
      samples[static_cast<std::size_t>(i * channels + c)] = static_cast<short>(
          12000 * std::sin(2 * M_PI * (220 + 110 * c) * t) + 3000 * std::sin(2 * M_PI * 37 * t));
    }
  }
  sf_writef_short(out, samples.data(), frames);
  if (sf_close(out) != 0) return 5;

  SF_INFO read_info{};
  SNDFILE* in = sf_open(argv[1], SFM_READ, &read_info);
  if (in == nullptr ||
      sf_command(in, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) != SF_TRUE)
    return 6;
  std::printf("%s %u %u\n",
              instrument.loops[0].mode == SF_LOOP_ALTERNATING ? "pingpong" : "forward",
              instrument.loops[0].start, instrument.loops[0].end);
  sf_close(in);
  return 0;
}
