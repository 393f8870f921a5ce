// An in-memory Platform for tests: files in a map, a console over strings, and faults that can
// be injected at any operation, so that every failure path runs without a real disk.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/system_errors.h"
#include "riff_builder.h"

namespace brumlet::testing {

/// Faults to inject: the operation's Site, and the errno it fails with.
using Faults = std::map<Site, int>;

inline void MaybeFail(const Faults& faults, Site site) {
  if (auto it = faults.find(site); it != faults.end()) {
    throw IoFailure(ErrnoError(it->second), site);
  }
}

/// A wildcard match as the POSIX search does it: "*" and "?" never match a "/", and neither
/// matches a leading "." of a name; "[...]" is a set of characters or ranges.
inline bool WildcardMatches(std::string_view pattern, std::string_view name,
                            bool name_start = true) {
  if (pattern.empty()) return name.empty();
  const char p = pattern.front();
  if (p == '*') {
    if (name_start && !name.empty() && name.front() == '.') return false;
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (skip > 0 && name[skip - 1] == '/') break;
      if (WildcardMatches(pattern.substr(1), name.substr(skip), name_start && skip == 0)) {
        return true;
      }
    }
    return false;
  }
  if (name.empty()) return false;
  const char c = name.front();
  bool ok = p == c;
  std::size_t used = 1;
  if (p == '?') {
    ok = c != '/' && !(name_start && c == '.');
  } else if (p == '[') {
    const std::size_t close = pattern.find(']', 2);
    if (close != std::string_view::npos) {
      ok = false;
      for (std::size_t i = 1; i < close; ++i) {
        if (i + 2 < close && pattern[i + 1] == '-') {
          ok = ok || (c >= pattern[i] && c <= pattern[i + 2]);
          i += 2;
        } else {
          ok = ok || c == pattern[i];
        }
      }
      used = close + 1;
    }
  }
  return ok && WildcardMatches(pattern.substr(used), name.substr(1), c == '/');
}

struct MemNode {
  Bytes bytes;
  std::uint64_t inode = 0;
  /// Like RLIMIT_FSIZE: a write or extension past this size fails with EFBIG.
  std::size_t size_limit = static_cast<std::size_t>(-1);
};

class MemFile : public File {
 public:
  /// `room`: what the disk still takes, shared by the files a platform creates; none for no limit.
  MemFile(std::shared_ptr<MemNode> node, const Faults& faults, std::size_t* room = nullptr)
      : node_(node), faults_(faults), room_(room) {}

  std::size_t Read(Byte* buffer, std::size_t count, Site site) override {
    MaybeFail(faults_, site);
    const Bytes& b = node_->bytes;
    if (position_ >= static_cast<std::int64_t>(b.size())) return 0;
    const std::size_t n = std::min(count, b.size() - static_cast<std::size_t>(position_));
    std::memcpy(buffer, b.data() + position_, n);
    position_ += static_cast<std::int64_t>(n);
    return n;
  }
  void Write(const Byte* data, std::size_t count, Site site) override {
    MaybeFail(faults_, site);
    if (static_cast<std::size_t>(position_) + count > node_->size_limit) {
      throw IoFailure(ErrnoError(EFBIG), site);
    }
    Bytes& b = node_->bytes;
    Take(static_cast<std::size_t>(position_) + count, site);
    if (b.size() < static_cast<std::size_t>(position_) + count) b.resize(position_ + count);
    std::memcpy(b.data() + position_, data, count);
    position_ += static_cast<std::int64_t>(count);
  }
  void Seek(std::int64_t position, Site site) override {
    MaybeFail(faults_, site);
    if (position < 0) throw IoFailure(ErrnoError(EINVAL), site);
    position_ = position;
  }
  std::int64_t Position(Site site) override {
    MaybeFail(faults_, site);
    return position_;
  }
  std::int64_t Size(Site site) override {
    MaybeFail(faults_, site);
    return static_cast<std::int64_t>(node_->bytes.size());
  }
  void Truncate(Site site) override {
    MaybeFail(faults_, site);
    if (static_cast<std::size_t>(position_) > node_->size_limit) {
      throw IoFailure(ErrnoError(EFBIG), site);
    }
    Take(static_cast<std::size_t>(position_), site);
    node_->bytes.resize(static_cast<std::size_t>(position_), 0);
  }
  void Close(Site site) override {
    MaybeFail(faults_, site);
    closed_ = true;
  }
  FileId Id() const override { return {1, node_->inode}; }

 private:
  // Growing the file to `size` takes that much more of the disk's room, or fails as a full disk.
  void Take(std::size_t size, Site site) {
    if (room_ == nullptr || size <= node_->bytes.size()) return;
    const std::size_t more = size - node_->bytes.size();
    if (more > *room_) throw IoFailure(ErrnoError(ENOSPC), site);
    *room_ -= more;
  }

  std::shared_ptr<MemNode> node_;
  const Faults& faults_;
  std::size_t* room_;
  std::int64_t position_ = 0;
  bool closed_ = false;
};

class FakeConsole : public Console {
 public:
  void Write(std::string_view text) override {
    MaybeFail(faults, Site::kConsoleWrite);
    output.append(text);
  }
  void WriteRaw(std::string_view bytes) override { Write(bytes); }
  int ReadByte() override {
    MaybeFail(faults, Site::kConsoleRead);
    if (before_first_read) std::exchange(before_first_read, nullptr)();
    if (next_input == input.size()) return -1;
    return static_cast<unsigned char>(input[next_input++]);
  }

  std::string output;
  std::string input;
  std::size_t next_input = 0;
  Faults faults;
  /// Runs once, when the program first waits for an answer: what the user does meanwhile.
  std::function<void()> before_first_read;
};

class FakePlatform : public Platform {
 public:
  void AddFile(const std::string& path, Bytes bytes) {
    auto node = std::make_shared<MemNode>();
    node->bytes = std::move(bytes);
    node->inode = next_inode_++;
    files[path] = node;
  }
  void AddTextFile(const std::string& path, std::string_view text) {
    AddFile(path, Bytes(text.begin(), text.end()));
  }
  /// A second name for an existing file.
  void AddLink(const std::string& path, const std::string& target) {
    files[path] = files.at(target);
  }
  bool Has(const std::string& path) const { return files.count(path) != 0; }
  const Bytes& Contents(const std::string& path) const { return files.at(path)->bytes; }

  bool IsExistingFile(const std::string& path) override { return Has(path); }
  std::vector<Match> Search(const std::string& pattern) override {
    std::vector<Match> found;
    for (const auto& [path, node] : files) {
      if (WildcardMatches(At(pattern), path)) found.push_back({path, std::string(BareName(path))});
    }
    return found;
  }
  std::unique_ptr<File> OpenRead(const std::string& path, Site site) override {
    MaybeFail(faults, site);
    if (directories.count(path)) throw IoFailure(ErrnoError(EISDIR), site);
    if (!Has(path)) throw IoFailure(ErrnoError(ENOENT), site);
    return std::make_unique<MemFile>(files.at(path), faults);
  }
  std::unique_ptr<File> OpenIfPlainFile(const std::string& name, Site site) override {
    return Has(At(name)) ? OpenRead(name, site) : nullptr;
  }
  std::unique_ptr<File> Create(const std::string& name, Site site) override {
    MaybeFail(faults, site);
    const std::string path = At(name);
    if (directories.count(path)) throw IoFailure(ErrnoError(EISDIR), site);
    if (!Has(path)) AddFile(path, {});
    files.at(path)->bytes.clear();
    files.at(path)->size_limit = file_size_limit;
    return std::make_unique<MemFile>(files.at(path), faults, &disk_room);
  }
  std::optional<FileId> IdOf(const std::string& name) override {
    if (!Has(At(name))) return std::nullopt;
    return FileId{1, files.at(At(name))->inode};
  }
  void Remove(const std::string& name) override { files.erase(At(name)); }
  Console& console() override { return console_; }
  std::string DateText() override { return "12/7/26"; }
  std::string_view BareName(std::string_view path) const override {
    return path.substr(path.rfind('/') + 1);
  }
  bool ShellExpandsWildcards() const override { return shell_expands_wildcards; }
  bool HasManualPage() const override { return true; }
  bool IsExplorerLaunch() override { return explorer_launch; }
  std::string CurrentFolder(Site) override { return folder; }
  /// Folders are names ending in "/"; patterns and outputs are taken from the current folder.
  void EnterFolder(const std::string& name, bool create, Site site) override {
    const std::string path = At(name) + (name.ends_with('/') ? "" : "/");
    if (Has(path.substr(0, path.size() - 1))) throw IoFailure(ErrnoError(EACCES), site);
    if (create) directories.insert(path);
    if (!directories.count(path)) throw IoFailure(ErrnoError(ENOENT), site);
    folder = path;
  }
  std::string At(const std::string& name) const {
    return name.starts_with('/') ? name : folder + name;
  }

  FakeConsole& fake_console() { return console_; }

  std::map<std::string, std::shared_ptr<MemNode>> files;
  std::set<std::string> directories;
  Faults faults;
  bool shell_expands_wildcards = true;
  bool explorer_launch = false;
  std::string folder;  ///< the current folder: "" or a name ending in "/"
  /// The size limit of files created from now on.
  std::size_t file_size_limit = static_cast<std::size_t>(-1);
  /// What all the files created take together before the disk is full (ENOSPC).
  std::size_t disk_room = static_cast<std::size_t>(-1);

 private:
  FakeConsole console_;
  std::uint64_t next_inode_ = 1;
};

}  // namespace brumlet::testing
