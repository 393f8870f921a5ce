// The command line both comparison tools take:
//   BANK [--program B:P ...] [--keys K,K,...] [--player openmpt|xmp|both] [--brumlet PATH]
//        [--jobs N] [--cache DIR] [--keep]
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "players.h"

namespace brumlet::measure {

struct ToolOptions {
  std::string bank;
  std::vector<std::pair<int, int>> programs;  ///< bank and program; empty: every preset
  std::vector<int> keys;                      ///< empty: the tool's own choice
  std::vector<Player> players{Player::kOpenmpt, Player::kXmp};
  std::string brumlet;  ///< the program to measure
  int jobs = 2;         ///< renders at once
  std::string cache;    ///< a folder that keeps fluidsynth's renders between runs; empty: none
  bool keep = false;    ///< keep the scratch folder (the program's files, the renders)
};

/// The options `args` (the command line without the tool's name) give over `options`; an error
/// text, empty when they are all understood.
std::string ParseToolOptions(const std::vector<std::string>& args, ToolOptions& options);

/// Whether preset `bank`:`program` is among those the options choose.
bool Chosen(const ToolOptions& options, int bank, int program);

/// Whether `key` is among the keys the options choose; every key when they name none.
bool KeyChosen(const ToolOptions& options, int key);

}  // namespace brumlet::measure
