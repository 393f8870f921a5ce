#include "naming/labels.h"

#include <cmath>

namespace brumlet {

std::string_view BaseName(std::string_view source_name) {
  const std::size_t dot = source_name.find('.');
  return dot == std::string_view::npos ? std::string_view() : source_name.substr(0, dot);
}

std::string XiName(std::string_view source_name) {
  std::string name(BaseName(source_name));
  name += ".xi";
  return name;
}

std::int64_t SizeInKilobytes(std::int32_t data_length) {
  // Exact in a double; the default rounding mode sends halves to the even neighbour.
  return std::llrint(static_cast<double>(data_length) / 1024.0);
}

std::string_view NameFileLoopWord(std::uint32_t loop_type) {
  return loop_type == 0 ? "forward" : loop_type == 1 ? "ping-pong" : loop_type == 255 ? "none" : "";
}

std::string_view DefaultLoopWord(std::uint32_t loop_type) {
  return loop_type == 1 ? "pingpong" : NameFileLoopWord(loop_type);
}

}  // namespace brumlet
