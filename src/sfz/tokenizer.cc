#include "sfz/tokenizer.h"

#include <algorithm>

namespace brumlet::sfz {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
// Tabs, spaces and every other control character but the line ends.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' ' && !IsLineEnd(c); }
bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
// What an opcode's name is made of where a value's end is looked for ($ for a variable).
bool IsNameChar(char c) { return IsWordChar(c) || c == '$'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

Tokenizer::Tokenizer(std::string_view text) : text_(text) {
  if (text_.starts_with(kByteOrderMark)) at_ = kByteOrderMark.size();
}

bool Tokenizer::AtLineEnd() const { return at_ < text_.size() && IsLineEnd(text_[at_]); }

bool Tokenizer::AtComment() const {
  return text_.substr(at_, 2) == "//" || text_.substr(at_, 2) == "/*";
}

void Tokenizer::SkipLineEnd() {
  if (text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n') ++at_;
  ++at_;
  ++line_;
}

void Tokenizer::SkipComment() {
  if (text_[at_ + 1] == '/') {
    at_ = LineEnd(at_);
    return;
  }
  const std::size_t close = text_.find("*/", at_ + 2);
  const std::size_t end = close == std::string_view::npos ? text_.size() : close;
  at_ += 2;
  while (at_ < end) {
    if (IsLineEnd(text_[at_])) {
      SkipLineEnd();
    } else {
      ++at_;
    }
  }
  at_ = close == std::string_view::npos ? text_.size() : close + 2;
}

void Tokenizer::SkipSpace() {
  while (at_ < text_.size()) {
    if (IsBlank(text_[at_])) {
      ++at_;
    } else if (AtLineEnd()) {
      SkipLineEnd();
    } else if (AtComment()) {
      SkipComment();
    } else {
      return;
    }
  }
}

std::size_t Tokenizer::BlanksEnd(std::size_t at) const {
  while (at < text_.size() && IsBlank(text_[at])) ++at;
  return at;
}

std::size_t Tokenizer::LineEnd(std::size_t at) const {
  while (at < text_.size() && !IsLineEnd(text_[at])) ++at;
  return at;
}

std::size_t Tokenizer::ValueEnd(std::size_t at) const {
  // Each character is looked at twice at most: once as part of a possible "name=" after a
  // blank, once as part of the value, so a long line costs its length and no more.
  while (at < text_.size()) {
    const char c = text_[at];
    if (IsLineEnd(c) || c == '<' || text_.substr(at, 2) == "//" || text_.substr(at, 2) == "/*") {
      return at;
    }
    if (!IsBlank(c)) {
      ++at;
      continue;
    }
    const std::size_t word = BlanksEnd(at);
    std::size_t name_end = word;
    while (name_end < text_.size() && IsNameChar(text_[name_end])) ++name_end;
    if (name_end > word && name_end < text_.size() && text_[name_end] == '=') return at;
    at = word;
  }
  return at;
}

void Tokenizer::ReadHeader(Token& token) {
  // Up to its ">" or the line's end, whichever comes first: a line of many headers is read once.
  std::size_t stop = at_;
  while (stop < text_.size() && text_[stop] != '>' && !IsLineEnd(text_[stop])) ++stop;
  const std::size_t close =
      stop < text_.size() && text_[stop] == '>' ? stop : std::string_view::npos;
  const std::size_t end = close == std::string_view::npos ? stop : close + 1;
  token.kind = Token::Kind::kBadHeader;
  token.value = text_.substr(at_, end - at_);
  if (close != std::string_view::npos) {
    token.name = text_.substr(at_ + 1, close - at_ - 1);
    bool word = !token.name.empty();
    for (char c : token.name) word = word && IsWordChar(c);
    if (word) token.kind = Token::Kind::kHeader;
  }
  at_ = end;
}

void Tokenizer::ReadDirective(Token& token) {
  const std::size_t line_end = LineEnd(at_);
  const std::string_view rest = text_.substr(at_, line_end - at_);
  token.kind = Token::Kind::kBadDirective;
  token.value = rest;
  std::size_t at = at_ + 1;
  while (at < line_end && IsWordChar(text_[at])) ++at;
  const std::string_view word = text_.substr(at_ + 1, at - at_ - 1);
  const std::size_t after = BlanksEnd(at);
  at_ = line_end;
  if (after == at || after >= line_end) return;  // no blank after the word, or nothing behind
  if (word == "define") {
    std::size_t name_end = after + 1;
    while (name_end < line_end && IsWordChar(text_[name_end])) ++name_end;
    const std::size_t value_start = BlanksEnd(name_end);
    if (text_[after] != '$' || name_end == after + 1 || value_start == name_end) return;
    std::size_t value_end = value_start;
    while (value_end < line_end && text_.substr(value_end, 2) != "//" &&
           text_.substr(value_end, 2) != "/*") {
      ++value_end;
    }
    token.value = TrimBlanks(text_.substr(value_start, value_end - value_start));
    if (token.value.empty()) {
      token.value = rest;
      return;
    }
    token.kind = Token::Kind::kDefine;
    token.name = text_.substr(after, name_end - after);
    at_ = value_end;
  } else if (word == "include" && text_[after] == '"') {
    const std::size_t quote = text_.substr(0, line_end).find('"', after + 1);
    if (quote == std::string_view::npos) return;
    token.kind = Token::Kind::kInclude;
    token.value = text_.substr(after + 1, quote - after - 1);
    at_ = quote + 1;
  }
}

void Tokenizer::ReadOpcode(Token& token) {
  std::size_t name_end = at_;
  while (name_end < text_.size()) {
    const char c = text_[name_end];
    if (IsBlank(c) || IsLineEnd(c) || c == '=' || c == '<' || text_.substr(name_end, 2) == "//" ||
        text_.substr(name_end, 2) == "/*") {
      break;
    }
    ++name_end;
  }
  if (name_end > at_ && name_end < text_.size() && text_[name_end] == '=') {
    token.kind = Token::Kind::kOpcode;
    token.name = text_.substr(at_, name_end - at_);
    const std::size_t value_end = ValueEnd(name_end + 1);
    token.value = TrimBlanks(text_.substr(name_end + 1, value_end - name_end - 1));
    at_ = value_end;
    return;
  }
  std::size_t end = std::max(name_end, at_ + 1);
  while (end < text_.size() && !IsBlank(text_[end]) && !IsLineEnd(text_[end])) ++end;
  token.kind = Token::Kind::kStray;
  token.value = text_.substr(at_, end - at_);
  at_ = end;
}

bool Tokenizer::Next(Token& token) {
  SkipSpace();
  if (at_ >= text_.size()) return false;
  token = Token{};
  token.line = line_;
  switch (text_[at_]) {
    case '<':
      ReadHeader(token);
      break;
    case '#':
      ReadDirective(token);
      break;
    default:
      ReadOpcode(token);
  }
  return true;
}

}  // namespace brumlet::sfz
