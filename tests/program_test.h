// A fixture that runs the real program in a temporary folder of its own and reads back what it
// printed and the files it left there.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "riff_builder.h"

namespace brumlet::testing {

namespace fs = std::filesystem;

/// `text` as one word for the shell.
inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class ProgramTest : public ::testing::Test {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/brumlet-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::all, ignored);
    fs::remove_all(dir_, ignored);
  }

  struct Result {
    int code = -1;
    std::string out;
  };

  // Runs the program with `args` in the test folder; `redirect` replaces the standard
  // input/output plumbing when a test needs to break it.
  // `prefix` goes between `program` and the program's own path, for running it under env(1).
  Result Run(const std::vector<std::string>& args, const std::string& input = "",
             const std::string& redirect = "", const std::string& program = BRUMLET_BINARY,
             const std::vector<std::string>& prefix = {}) {
    Write("stdin.txt", input);
    std::string command = "cd ";
    command += Quote(dir_.string());
    command += " && exec ";
    command += Quote(program);
    if (!prefix.empty()) {
      for (const std::string& word : prefix) {
        command += ' ';
        command += Quote(word);
      }
      command += ' ';
      command += Quote(binary_);
    }
    for (const std::string& arg : args) {
      command += ' ';
      command += Quote(arg);
    }
    command += ' ';
    command += redirect.empty() ? "<stdin.txt >stdout.txt" : redirect;
    const int status = std::system(command.c_str());
    Result result;
    if (WIFEXITED(status)) result.code = WEXITSTATUS(status);
    result.out = Read("stdout.txt");
    return result;
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  void WriteWav(const std::string& name, const Bytes& bytes) {
    Write(name, std::string(bytes.begin(), bytes.end()));
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) { return fs::exists(dir_ / name); }
  /// Runs a bash script in the test folder and returns its exit code (-1 for a death by signal);
  /// BIN in the script stands for the program.
  int Script(std::string script) {
    for (std::size_t at; (at = script.find("BIN")) != std::string::npos;) {
      script.replace(at, 3, Quote(binary_));
    }
    const std::string line = "cd " + Quote(dir_.string()) + " && bash -c " + Quote(script);
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  /// The words that run a program as user nobody, for tests of permissions that root would
  /// bypass; empty (with `why` set) where that cannot be done. Opens the test folder to nobody
  /// and runs a copy of the program from it, since the build folder may be closed to others.
  std::vector<std::string> AsNobody(std::string* why) {
    if (::geteuid() != 0) return {"/usr/bin/env"};  // not root: permissions apply already
    if (::access("/usr/bin/setpriv", X_OK) != 0) {
      *why = "runs as root and setpriv is missing";
      return {};
    }
    fs::permissions(dir_, fs::perms::all);
    fs::create_directory(dir_ / "bin");
    fs::copy_file(BRUMLET_BINARY, dir_ / "bin" / "brumlet", fs::copy_options::overwrite_existing);
    fs::permissions(dir_ / "bin", fs::perms::all);
    binary_ = (dir_ / "bin" / "brumlet").string();
    return {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }

  /// Runs the program as user nobody; a result with code -1 and `why` set where that cannot be.
  Result RunAsNobody(const std::vector<std::string>& args, std::string* why) {
    std::vector<std::string> nobody = AsNobody(why);
    if (nobody.empty()) return {};
    const std::string program = nobody.front();
    nobody.erase(nobody.begin());
    return Run(args, "", "", program, nobody);
  }

  /// Runs a shell command in the test folder; true when it exits with 0.
  bool Shell(const std::string& command) {
    const std::string line = "cd " + Quote(dir_.string()) + " && " + command;
    return std::system(line.c_str()) == 0;
  }

  fs::path dir_;
  std::string binary_ = BRUMLET_BINARY;  ///< the program that prefixed runs and scripts use
};

}  // namespace brumlet::testing
