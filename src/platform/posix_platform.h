// The Platform over POSIX system calls: file descriptors, glob(3), standard input and output.
#pragma once

#include "platform/platform.h"

namespace brumlet {

class PosixConsole : public Console {
 public:
  /// The line end is a line feed, so text goes out as it is.
  void Write(std::string_view text) override { WriteRaw(text); }
  void WriteRaw(std::string_view bytes) override;
  int ReadByte() override;
};

class PosixPlatform : public Platform {
 public:
  /// Takes the date format from the environment's LC_TIME (and no other locale category, so that
  /// upper-casing and numbers never depend on the user's locale).
  PosixPlatform();

  bool IsExistingFile(const std::string& path) override;
  std::vector<Match> Search(const std::string& pattern) override;
  std::unique_ptr<File> OpenRead(const std::string& path, Site site) override;
  std::unique_ptr<File> OpenIfPlainFile(const std::string& path, Site site) override;
  std::unique_ptr<File> Create(const std::string& path, Site site) override;
  std::optional<FileId> IdOf(const std::string& path) override;
  void Remove(const std::string& path) override;
  Console& console() override { return console_; }
  std::string DateText() override;
  std::string_view BareName(std::string_view path) const override {
    return path.substr(path.rfind('/') + 1);  // the whole path when it has no slash
  }
  bool ShellExpandsWildcards() const override { return true; }
  bool HasManualPage() const override { return true; }
  bool IsExplorerLaunch() override { return false; }
  std::string CurrentFolder(Site site) override;
  void EnterFolder(const std::string& folder, bool create, Site site) override;

 private:
  PosixConsole console_;
  bool plain_date_format_ = true;
};

}  // namespace brumlet
