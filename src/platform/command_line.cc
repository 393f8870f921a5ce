#include "platform/command_line.h"

namespace brumlet {
namespace {

bool IsSeparator(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

// Reads the word at `at` and moves past it; empty only at the end of the line.
std::string NextWord(std::string_view line, std::size_t& at) {
  for (;;) {
    while (at < line.size() && IsSeparator(line[at])) ++at;
    if (line.substr(at, 2) != "\"\"") break;
    at += 2;
  }
  std::string word;
  while (at < line.size() && line[at] != '\0' && !IsSeparator(line[at])) {
    if (line[at] != '"') {
      word += line[at++];
      continue;
    }
    const std::size_t close = line.find('"', ++at);
    const std::size_t end = close == std::string_view::npos ? line.size() : close;
    word.append(line.substr(at, end - at));
    at = close == std::string_view::npos ? line.size() : close + 1;
  }
  return word;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos) {
    line = line.substr(0, nul);
  }
  std::size_t at = 0;
  NextWord(line, at);  // the program's own path
  std::vector<std::string> args;
  for (std::string word = NextWord(line, at); !word.empty(); word = NextWord(line, at)) {
    args.push_back(std::move(word));
  }
  return args;
}

}  // namespace brumlet
