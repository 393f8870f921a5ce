// The pure pieces of the platforms' rules, tested on every system: splitting the command line,
// finding a pattern's folder, and a pattern that ignores case.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wildcard.h"
#include "platform/win32_paths.h"

namespace brumlet {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheFiveRules) {
  const std::string long_word(5000, 'w');
  struct Case {
    std::string line;
    Args args;
  };
  const Case cases[] = {
      {"", {}},
      {"brumlet", {}},
      {"brumlet a b", {"a", "b"}},
      // The program's path is a word like any other, quotes and blanks included.
      {"\"C:\\Program Files\\brumlet.exe\" *.wav", {"*.wav"}},
      // Characters 1 to 32 separate, in runs.
      {"brumlet \t a\x01\x1F  b \r\n", {"a", "b"}},
      // Pairs of quotes at a word's start are skipped: an empty quoted word is no word.
      {"brumlet \"\" x", {"x"}},
      {"brumlet \"\"\"\" x \"\"", {"x"}},
      {"brumlet a \"\" b", {"a", "b"}},
      {"brumlet \"\"a", {"a"}},
      {"brumlet \"\"\"a b\"", {"a b"}},
      // Quoted runs keep blanks and alternate with plain characters; the quotes are dropped.
      {"brumlet \"my sounds\\*.wav\" \"names file\"", {"my sounds\\*.wav", "names file"}},
      {"brumlet a\"b c\"d", {"ab cd"}},
      {"brumlet \"a\"\"b\"", {"ab"}},
      {"brumlet \" \" x", {" ", "x"}},
      {"brumlet \"runs to the end", {"runs to the end"}},
      // Only the end of the line gives an empty word, which ends the count.
      {"brumlet x \"", {"x"}},
      {std::string("brumlet x\0y", 11), {"x"}},
      // Bytes above 127 are word characters: UTF-8 names stay whole.
      {"brumlet gl\xC3\xB6"
       "ckchen.wav \xE9\x90\x98.wav",
       {"gl\xC3\xB6"
        "ckchen.wav",
        "\xE9\x90\x98.wav"}},
      // Kept whole, however long: the search then simply finds nothing.
      {"brumlet " + long_word, {long_word}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(FolderOfPath, EndsAtTheLastSlashOfEitherKindOrTheDrive) {
  const std::pair<std::string, std::string> cases[] = {
      {"kick.wav", ""},
      {"*.wav", ""},
      {"sounds\\kick.wav", "sounds\\"},
      {"sounds/kick.wav", "sounds/"},
      {"C:\\a/b\\*.wav", "C:\\a/b\\"},
      {"C:*.wav", "C:"},
      {"c:sounds\\*.wav", "c:sounds\\"},
      {"\\\\server\\share\\*.wav", "\\\\server\\share\\"},
      {"1:x", ""},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(FolderOfPath(path), folder) << path;
}

TEST(EitherCasePattern, LettersOfTheLastPartMatchBothCases) {
  const std::pair<std::string, std::string> cases[] = {
      {"*.wav", "*.[wW][aA][vV]"},
      {"Kits/K?.WAV", "Kits/[kK]?.[wW][aA][vV]"},
      {"[a-c]1[!x]", "[a-cA-C]1[!xX]"},
      {"[]Z-]", "[]Z-z]"},
      {"\\a\\*\\[", "[aA]\\*\\["},
      {"x[", "[xX]["},
      {"[[:alpha:]].wav", "[[:alpha:]].wav"},  // a class already names its letters
      {"*1.*", "*1.*"},
  };
  for (const auto& [pattern, either] : cases) EXPECT_EQ(EitherCasePattern(pattern), either);
}

}  // namespace
}  // namespace brumlet
