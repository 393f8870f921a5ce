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

std::string_view NameFileLoopWord(LoopKind loop) {
  switch (loop) {
    case LoopKind::Forward:
      return "forward";
    case LoopKind::PingPong:
      return "ping-pong";
    case LoopKind::NoLoop:
      return "none";
  }
  return "";
}

std::string_view DefaultLoopWord(LoopKind loop) {
  return loop == LoopKind::PingPong ? "pingpong" : NameFileLoopWord(loop);
}

}  // namespace brumlet
