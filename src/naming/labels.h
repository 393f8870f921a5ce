// The facts about a source that names are made of: its base name, its size and loop labels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brumlet {

/// The source's name up to, not including, its first "."; empty when it has none.
std::string_view BaseName(std::string_view source_name);

/// BaseName + ".xi": how names refer to the output.
std::string XiName(std::string_view source_name);

/// The data length in KiB, rounded to nearest with an exact half going to the even neighbour.
std::int64_t SizeInKilobytes(std::int32_t data_length);

/// The loop word of the name-file labels by the first sampler loop's type (0 forward, 1
/// ping-pong, 255 none): "forward", "ping-pong", "none", or nothing for any other type.
std::string_view NameFileLoopWord(std::uint32_t loop_type);

/// The loop word of the default labels: "forward", "pingpong", "none", or nothing.
std::string_view DefaultLoopWord(std::uint32_t loop_type);

}  // namespace brumlet
