#include "xi/sample_values.h"

namespace brumlet {
namespace {

template <SampleEncoding kEncoding>
void Convert(const Byte* in, int channels, std::span<std::int16_t> out) {
  constexpr std::size_t kSize = EncodedBytes(kEncoding);
  if (channels == 2) {
    for (std::size_t i = 0; i < out.size(); ++i, in += 2 * kSize) {
      out[i] = static_cast<std::int16_t>(
          MixStereo(static_cast<std::int16_t>(ToSample<kEncoding>(in)),
                    static_cast<std::int16_t>(ToSample<kEncoding>(in + kSize))));
    }
  } else {
    for (std::size_t i = 0; i < out.size(); ++i, in += kSize) {
      out[i] = static_cast<std::int16_t>(ToSample<kEncoding>(in));
    }
  }
}

}  // namespace

void ToMono16(SampleFormat format, const Byte* in, std::span<std::int16_t> out) {
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8:
      return Convert<SampleEncoding::kUnsigned8>(in, format.channels, out);
    case SampleEncoding::kSigned16:
      return Convert<SampleEncoding::kSigned16>(in, format.channels, out);
    case SampleEncoding::kSigned24:
      return Convert<SampleEncoding::kSigned24>(in, format.channels, out);
    case SampleEncoding::kSigned32:
      return Convert<SampleEncoding::kSigned32>(in, format.channels, out);
    case SampleEncoding::kFloat32:
      return Convert<SampleEncoding::kFloat32>(in, format.channels, out);
    case SampleEncoding::kFloat64:
      return Convert<SampleEncoding::kFloat64>(in, format.channels, out);
    case SampleEncoding::kMuLaw:
      return Convert<SampleEncoding::kMuLaw>(in, format.channels, out);
    case SampleEncoding::kALaw:
      return Convert<SampleEncoding::kALaw>(in, format.channels, out);
  }
}

}  // namespace brumlet
