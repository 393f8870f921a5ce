#include "output_file.h"

#include <algorithm>
#include <array>

#include "messages.h"
#include "xi/xi_header.h"

namespace brumlet {

bool EndsInXi(std::string_view name) {
  if (name.size() < 3) return false;
  const std::string_view tail = name.substr(name.size() - 3);
  return tail[0] == '.' && (tail[1] == 'x' || tail[1] == 'X') && (tail[2] == 'i' || tail[2] == 'I');
}

void RefuseToReplaceAForeignFile(const std::string& path, Platform& platform) {
  const std::unique_ptr<File> existing = platform.OpenIfPlainFile(path, Site::kOutputCheck);
  if (!existing) return;
  std::array<Byte, xi::kMagic.size()> start{};
  const std::size_t got = existing->Read(start.data(), start.size(), Site::kOutputCheck);
  existing->Close(Site::kOutputCheck);
  if (got != start.size() || !std::equal(start.begin(), start.end(), xi::kMagic.begin())) {
    throw OutputNotAnInstrument(DisplayText(path));
  }
}

std::unique_ptr<File> CreateOutput(const std::string& path, std::span<const File* const> inputs,
                                   Platform& platform, const ReplaceCheck& check) {
  if (const std::optional<FileId> output = platform.IdOf(path)) {
    for (const File* input : inputs) {
      if (*output == input->Id()) throw IoFailure(IoError::AccessDenied(), Site::kOutputCreate);
    }
    if (check) check(*output);
  }
  return platform.Create(path, Site::kOutputCreate);
}

namespace {
std::array<std::uint64_t, 3> Key(const FileId& id) { return {id.device, id.inode, id.inode_high}; }
}  // namespace

void RunOutputs::Add(const FileId& output, std::string source) {
  // A file whose identity the system cannot tell is never found again.
  if (output != FileId{}) sources_.emplace(Key(output), std::move(source));
}

const std::string* RunOutputs::SourceOf(const FileId& file) const {
  const auto found = sources_.find(Key(file));
  return found == sources_.end() ? nullptr : &found->second;
}

void ScopedOutput::Create(const std::string& path, std::span<const File* const> inputs,
                          Platform& platform, const ReplaceCheck& check) {
  path_ = path;
  file_ = CreateOutput(path, inputs, platform, check);
}

void ScopedOutput::Close() {
  if (!file_) return;
  file_->Close(Site::kOutputClose);
  file_.reset();
}

void ScopedOutput::Abandon(Platform& platform) {
  if (!file_) return;
  file_->Close(Site::kOutputClose);
  file_.reset();
  platform.Remove(path_);
}

}  // namespace brumlet
