#include "platform/wasm_platform.h"

#include <emscripten/emscripten.h>

#include <utility>

// The page's language decides the date format, as the user's settings do on a desktop: the short
// date of that language (12/7/26 in American English, 07.12.26 in German). Writes at most `size`
// bytes, the terminating zero included, and returns the length of the text.
EM_JS(int, BrowserShortDate, (char* buffer, int size), {
  return stringToUTF8(new Date().toLocaleDateString(undefined, {dateStyle : 'short'}), buffer, size);
});

// The page's hooks, each optional: the instance is made with them as properties of its Module
// object (web/brumlet-instance.js). The page takes the output's bytes and truncates the file.
EM_JS(void, PageTakesOutput, (const char* path), {
  if (Module['brumletOutput']) Module['brumletOutput'](UTF8ToString(path));
});
EM_JS(void, PageShowsProgress, (int done, int total), {
  if (Module['brumletProgress']) Module['brumletProgress'](done, total);
});

namespace brumlet {
namespace {

// An output of the run: what the POSIX file does, and on Close, or when it is let go unclosed (a
// failure ends the run; what was written stays, as on a disk), the platform learns it is finished.
class OutputFile : public File {
 public:
  OutputFile(std::unique_ptr<File> file, std::string path, WasmPlatform& platform)
      : file_(std::move(file)), path_(std::move(path)), platform_(platform) {}
  ~OutputFile() override {
    if (!file_) return;
    file_.reset();
    platform_.Finished(path_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::size_t Read(Byte* buffer, std::size_t count, Site site) override {
    return file_->Read(buffer, count, site);
  }
  void Write(const Byte* data, std::size_t count, Site site) override {
    file_->Write(data, count, site);
  }
  void Seek(std::int64_t position, Site site) override { file_->Seek(position, site); }
  std::int64_t Position(Site site) override { return file_->Position(site); }
  std::int64_t Size(Site site) override { return file_->Size(site); }
  void Truncate(Site site) override { file_->Truncate(site); }
  void Close(Site site) override {
    const std::unique_ptr<File> file = std::move(file_);
    try {
      file->Close(site);
    } catch (...) {
      platform_.Finished(path_);
      throw;
    }
    platform_.Finished(path_);
  }
  FileId Id() const override { return file_ ? file_->Id() : FileId{}; }

 private:
  std::unique_ptr<File> file_;
  std::string path_;
  WasmPlatform& platform_;
};

// True when `name` is a file of the preset whose files begin with `prefix`: "000-025 Guitar.xi",
// "000-025.xi" for a preset without a name.
bool IsFileOfPreset(std::string_view name, std::string_view prefix) {
  return name.size() > prefix.size() && name.starts_with(prefix) &&
         (name[prefix.size()] == ' ' || name[prefix.size()] == '.');
}

}  // namespace

std::string WasmPlatform::DateText() {
  char text[128];
  const int length = BrowserShortDate(text, sizeof text);
  return std::string(text, static_cast<std::size_t>(length));
}

std::unique_ptr<File> WasmPlatform::Create(const std::string& path, Site site) {
  // The output before this one is complete, and the page may have it; a run that writes one name
  // twice replaces the page's copy too.
  HandOverFinished();
  return std::make_unique<OutputFile>(PosixPlatform::Create(path, site), path, *this);
}

void WasmPlatform::Remove(const std::string& path) {
  if (finished_ == path) finished_.reset();
  PosixPlatform::Remove(path);
}

void WasmPlatform::Finished(const std::string& path) {
  HandOverFinished();
  finished_ = path;
}

void WasmPlatform::HandOverFinished() {
  if (!finished_) return;
  const std::string path = std::move(*finished_);
  finished_.reset();
  PageTakesOutput(path.c_str());
  if (presets_.empty()) return;
  // Outputs come in the run's order; a preset that was skipped counts as done once a later
  // preset's output arrives, and presets of the same numbers (the later ones are skipped) go by
  // together.
  const std::string_view name = BareName(path);
  for (std::size_t i = presets_done_; i < presets_.size(); ++i) {
    if (!IsFileOfPreset(name, presets_[i])) continue;
    while (i + 1 < presets_.size() && presets_[i + 1] == presets_[i]) ++i;
    presets_done_ = i + 1;
    PageShowsProgress(static_cast<int>(presets_done_), static_cast<int>(presets_.size()));
    return;
  }
}

void WasmPlatform::ExpectPresets(std::vector<std::string> file_prefixes) {
  presets_ = std::move(file_prefixes);
  presets_done_ = 0;
  PageShowsProgress(0, static_cast<int>(presets_.size()));
}

}  // namespace brumlet
