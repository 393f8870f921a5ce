#include "output_file.h"

namespace brumlet {

std::unique_ptr<File> CreateOutput(const std::string& path, std::span<const File* const> inputs,
                                   Platform& platform) {
  if (const std::optional<FileId> output = platform.IdOf(path)) {
    for (const File* input : inputs) {
      if (*output == input->Id()) throw IoFailure(IoError::AccessDenied(), Site::kOutputCreate);
    }
  }
  return platform.Create(path, Site::kOutputCreate);
}

}  // namespace brumlet
