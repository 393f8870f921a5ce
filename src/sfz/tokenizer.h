// The text of one SFZ file cut into its tokens: headers, opcodes and the two directives, with
// comments dropped and the line each token is on.
//
// The syntax, as sample libraries write it:
//   <region> sample=Piano C4.wav lokey=c4 hikey=60 // a comment
//   /* a comment over
//      lines */
//   #define $KEY 36
//   #include "mapping.sfz"
// An opcode's value runs to the next "name=", a "<", a comment or the end of the line, so a
// sample's name may hold spaces; blanks around it are not part of it. Lines end in LF, CR LF or
// CR. A UTF-8 byte-order mark at the start is skipped.
#pragma once

#include <cstddef>
#include <string_view>

namespace brumlet::sfz {

struct Token {
  enum class Kind {
    kHeader,        ///< <name>: `name`
    kOpcode,        ///< name=value: `name`, `value`
    kDefine,        ///< #define $NAME value: `name` ("$NAME"), `value`
    kInclude,       ///< #include "path": `value` (the path)
    kBadHeader,     ///< a "<" without a ">" on its line, or a name that is no name: `value`
    kBadDirective,  ///< a "#" that starts no directive above: `value`, the rest of its line
    kStray,         ///< text that is no header, opcode or directive: `value`, up to a blank
  };
  Kind kind = Kind::kHeader;
  int line = 0;  ///< from 1
  std::string_view name;
  std::string_view value;
};

class Tokenizer {
 public:
  /// Tokens of `text`, which must outlive the tokenizer.
  explicit Tokenizer(std::string_view text);

  /// The next token into `token`; false at the end of the text.
  bool Next(Token& token);

 private:
  bool AtLineEnd() const;
  bool AtComment() const;
  void SkipLineEnd();
  void SkipComment();
  /// Skips blanks, line ends and comments up to the next token.
  void SkipSpace();
  /// The end of the run of blanks at `at` on the current line.
  std::size_t BlanksEnd(std::size_t at) const;
  std::size_t LineEnd(std::size_t at) const;
  /// Where a value that starts at `at` ends (before its trailing blanks are dropped).
  std::size_t ValueEnd(std::size_t at) const;

  void ReadHeader(Token& token);
  void ReadDirective(Token& token);
  void ReadOpcode(Token& token);

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
};

}  // namespace brumlet::sfz
