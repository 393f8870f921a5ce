#include "tool_options.h"

#include <algorithm>
#include <charconv>

namespace brumlet::measure {
namespace {

// `text` as a whole number from `low` to `high`.
bool ToInt(std::string_view text, int low, int high, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

// "B:P", a bank 0..128 and a program 0..127.
bool Program(std::string_view text, int& bank, int& program) {
  const std::size_t colon = text.find(':');
  return colon != std::string_view::npos && ToInt(text.substr(0, colon), 0, 128, bank) &&
         ToInt(text.substr(colon + 1), 0, 127, program);
}

// The items of a comma-separated list.
std::vector<std::string_view> Items(std::string_view list) {
  std::vector<std::string_view> items;
  for (std::size_t at = 0; at <= list.size();) {
    const std::size_t comma = std::min(list.find(',', at), list.size());
    items.push_back(list.substr(at, comma - at));
    at = comma + 1;
  }
  return items;
}

}  // namespace

std::string ParseToolOptions(const std::vector<std::string>& args, ToolOptions& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takes_value = arg == "--program" || arg == "--keys" || arg == "--player" ||
                             arg == "--brumlet" || arg == "--jobs" || arg == "--cache";
    if (takes_value && i + 1 == args.size()) return arg + " needs a value";
    const std::string value = takes_value ? args[++i] : "";
    if (arg == "--program") {
      for (std::string_view item : Items(value)) {
        int bank = 0, program = 0;
        if (!Program(item, bank, program)) {
          return "--program takes BANK:PROGRAM (0..128:0..127), not " + std::string(item);
        }
        options.programs.emplace_back(bank, program);
      }
      // More presets may follow as words of their own.
      for (int bank = 0, program = 0; i + 1 < args.size() && Program(args[i + 1], bank, program);
           ++i) {
        options.programs.emplace_back(bank, program);
      }
    } else if (arg == "--keys") {
      for (std::string_view item : Items(value)) {
        int key = 0;
        if (!ToInt(item, 0, 95, key)) return "--keys takes keys 0..95, not " + std::string(item);
        options.keys.push_back(key);
      }
    } else if (arg == "--player") {
      if (value == "openmpt") {
        options.players = {Player::kOpenmpt};
      } else if (value == "xmp") {
        options.players = {Player::kXmp};
      } else if (value == "both") {
        options.players = {Player::kOpenmpt, Player::kXmp};
      } else {
        return "--player takes openmpt, xmp or both, not " + value;
      }
    } else if (arg == "--brumlet") {
      options.brumlet = value;
    } else if (arg == "--jobs") {
      if (!ToInt(value, 1, 64, options.jobs)) return "--jobs takes 1..64, not " + value;
    } else if (arg == "--cache") {
      options.cache = value;
    } else if (arg == "--keep") {
      options.keep = true;
    } else if (arg.starts_with("--") || !options.bank.empty()) {
      return "unknown argument " + arg;
    } else {
      options.bank = arg;
    }
  }
  return options.bank.empty() ? "no bank given" : "";
}

bool Chosen(const ToolOptions& options, int bank, int program) {
  return options.programs.empty() || std::find(options.programs.begin(), options.programs.end(),
                                               std::pair(bank, program)) != options.programs.end();
}

bool KeyChosen(const ToolOptions& options, int key) {
  return options.keys.empty() ||
         std::find(options.keys.begin(), options.keys.end(), key) != options.keys.end();
}

}  // namespace brumlet::measure
