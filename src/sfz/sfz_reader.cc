#include "sfz/sfz_reader.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "sfz/choice.h"
#include "sfz/opcodes.h"
#include "sfz/sample_path.h"
#include "sfz/tokenizer.h"

namespace brumlet::sfz {
namespace {

// Files are read in blocks of this size, so that no file's size is ever trusted for one.
constexpr std::size_t kBlock = 65536;

// The levels regions inherit from, outermost first.
enum Level { kGlobal, kMaster, kGroup, kLevels };

// What the opcodes that follow a header apply to.
enum class Scope { kNothing, kControl, kGlobal, kMaster, kGroup, kRegion };

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

class Reader {
 public:
  Reader(Platform& platform, SfzFile& out) : platform_(platform), out_(out) {}

  void Read(const std::string& path) {
    out_.folder = path.substr(0, path.size() - platform_.BareName(path).size());
    out_.files.push_back(path);
    std::string text;
    if (!ReadFile(path, text, {0, 0}) || !Parse(text, 0, 0)) return;
    FinishRegion();
    out_.controllers = control_.controllers;
    ChooseForLoneNote(out_.regions, out_.controllers);
  }

 private:
  struct Place {
    std::size_t file;
    int line;
  };

  bool Fail(Problem problem, Place at, std::string_view text = {}, std::string_view opcode = {}) {
    out_.failure = ReadFailure{problem, at.file, at.line, std::string(opcode.substr(0, kMaxQuoted)),
                               std::string(text.substr(0, kMaxQuoted))};
    out_.regions.clear();
    out_.unmapped_opcodes.clear();
    return false;
  }

  // Counts `bytes` more text against the budget.
  bool Charge(std::size_t bytes, Place at) {
    if (bytes > kMaxText - text_used_) return Fail(Problem::kTooMuchText, at);
    text_used_ += bytes;
    return true;
  }

  // Reads the whole file at `path` into `text` in blocks, within the budget; `at` is where the
  // file is named.
  bool ReadFile(const std::string& path, std::string& text, Place at) {
    const std::unique_ptr<File> file = platform_.OpenRead(path, Site::kSfzOpen);
    for (;;) {
      const std::size_t n = file->Read(block_.get(), kBlock, Site::kSfzRead);
      if (n == 0) break;
      if (!Charge(n, at)) return false;
      text.append(reinterpret_cast<const char*>(block_.get()), n);
    }
    file->Close(Site::kSfzClose);
    return true;
  }

  // `in` with every defined $variable replaced, into `out`.
  bool Expand(std::string_view in, std::string& out, Place at) {
    out.clear();
    std::size_t from = 0;
    for (std::size_t dollar = in.find('$'); dollar != std::string_view::npos;
         dollar = in.find('$', from)) {
      std::size_t end = dollar + 1;
      while (end < in.size() && IsWordChar(in[end])) ++end;
      const auto it = defines_.find(in.substr(dollar, end - dollar));
      out.append(in.substr(from, (it == defines_.end() ? end : dollar) - from));
      if (it != defines_.end()) {
        const std::size_t grows = it->second.size() - std::min(it->second.size(), end - dollar);
        if (!Charge(grows, at)) return false;
        out.append(it->second);
      }
      from = end;
    }
    out.append(in.substr(from));
    return true;
  }

  bool Parse(std::string_view text, std::size_t file, int depth) {
    Tokenizer tokenizer(text);
    Token token;
    while (tokenizer.Next(token)) {
      const Place at{file, token.line};
      bool ok = true;
      switch (token.kind) {
        case Token::Kind::kHeader:
          ok = Header(token.name, at);
          break;
        case Token::Kind::kOpcode:
          ok = Opcode(token.name, token.value, at);
          break;
        case Token::Kind::kDefine:
          ok = Expand(token.value, value_, at);
          if (ok) defines_[std::string(token.name)] = value_;
          break;
        case Token::Kind::kInclude:
          ok = Include(token.value, at, depth);
          break;
        case Token::Kind::kBadHeader:
          return Fail(Problem::kBadHeader, at, token.value);
        case Token::Kind::kBadDirective:
          return Fail(Problem::kBadDirective, at, token.value);
        case Token::Kind::kStray:
          return Fail(Problem::kStray, at, token.value);
      }
      if (!ok) return false;
    }
    return true;
  }

  bool Include(std::string_view written, Place at, int depth) {
    if (!Expand(written, value_, at)) return false;
    std::string path = value_;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (depth >= kMaxIncludeDepth) return Fail(Problem::kIncludeTooDeep, at, path);
    if (!Charge(kIncludeCost, at)) return false;
    const std::optional<std::string> found =
        path.size() <= kMaxPath ? FindFile(platform_, out_.folder, path) : std::nullopt;
    if (!found) return Fail(Problem::kIncludeNotFound, at, path);
    const auto [named, added] = file_index_.try_emplace(path, out_.files.size());
    if (added) out_.files.push_back(path);
    const std::size_t file = named->second;
    std::string text;
    return ReadFile(*found, text, at) && Parse(text, file, depth + 1);
  }

  void FinishRegion() {
    if (scope_ == Scope::kRegion) out_.regions.push_back(std::move(region_));
  }

  bool Header(std::string_view name, Place at) {
    FinishRegion();
    if (name == "control") {
      scope_ = Scope::kControl;
      control_.default_path.clear();
    } else if (name == "global") {
      scope_ = Scope::kGlobal;
      levels_[kGlobal] = Region{};
      open_[kMaster] = open_[kGroup] = false;
    } else if (name == "master") {
      scope_ = Scope::kMaster;
      levels_[kMaster] = levels_[kGlobal];
      open_[kMaster] = true;
      open_[kGroup] = false;
    } else if (name == "group") {
      scope_ = Scope::kGroup;
      levels_[kGroup] = levels_[open_[kMaster] ? kMaster : kGlobal];
      open_[kGroup] = true;
    } else if (name == "region") {
      if (out_.regions.size() >= kMaxRegions) return Fail(Problem::kTooManyRegions, at);
      scope_ = Scope::kRegion;
      region_ = levels_[open_[kGroup] ? kGroup : open_[kMaster] ? kMaster : kGlobal];
      region_.file = at.file;
      region_.line = at.line;
    } else {
      scope_ = Scope::kNothing;
    }
    return true;
  }

  Region* Target() {
    switch (scope_) {
      case Scope::kGlobal:
        return &levels_[kGlobal];
      case Scope::kMaster:
        return &levels_[kMaster];
      case Scope::kGroup:
        return &levels_[kGroup];
      case Scope::kRegion:
        return &region_;
      case Scope::kNothing:
      case Scope::kControl:
        break;
    }
    return nullptr;
  }

  bool Opcode(std::string_view written_name, std::string_view written_value, Place at) {
    if (scope_ == Scope::kNothing) return true;
    if (!Expand(written_name, name_, at) || !Expand(written_value, value_, at)) return false;
    OpcodeUse use = OpcodeUse::kApplied;
    if (scope_ == Scope::kControl) {
      use = ApplyControlOpcode(control_, name_, value_);
      if (control_.default_path.size() > kMaxPath) use = OpcodeUse::kBadValue;
    } else {
      Region& target = *Target();
      use = ApplyOpcode(target, name_, value_, control_.default_path);
      if (target.sample.size() > kMaxPath) use = OpcodeUse::kBadValue;
    }
    if (use == OpcodeUse::kBadValue) return Fail(Problem::kBadValue, at, value_, name_);
    if (use == OpcodeUse::kUnmapped && unmapped_seen_.insert(name_).second) {
      out_.unmapped_opcodes.push_back(name_);
    }
    return true;
  }

  Platform& platform_;
  SfzFile& out_;
  const std::unique_ptr<Byte[]> block_{new Byte[kBlock]};  // one block of a file at a time
  std::size_t text_used_ = 0;
  std::map<std::string, std::string, std::less<>> defines_;
  std::set<std::string, std::less<>> unmapped_seen_;
  std::map<std::string, std::size_t> file_index_;  // an included file's index in out_.files
  Control control_;
  Scope scope_ = Scope::kNothing;
  Region levels_[kLevels];
  bool open_[kLevels] = {true, false, false};
  Region region_;
  std::string name_, value_;  // an opcode's name and value with variables replaced
};

}  // namespace

SfzFile ReadSfz(Platform& platform, const std::string& path) {
  SfzFile out;
  Reader(platform, out).Read(path);
  return out;
}

}  // namespace brumlet::sfz
