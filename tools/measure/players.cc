#include "players.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>

extern char** environ;

namespace brumlet::measure {

std::string MissingTool(const std::string& tool, const std::string& package) {
  if (RunCommand("command -v " + ShellWord(tool) + " >/dev/null 2>&1") == 0) return "";
  return tool + " is not installed (Debian package " + package + ")";
}

std::string ShellWord(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int RunCommand(const std::string& command) {
  std::string shell = "/bin/sh", flag = "-c", line = command;
  char* argv[] = {shell.data(), flag.data(), line.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* PlayerName(Player player) { return player == Player::kOpenmpt ? "openmpt" : "xmp"; }

const char* PlayerProgram(Player player) {
  return player == Player::kOpenmpt ? "openmpt123" : "xmp";
}

std::vector<Rendered> RenderXms(Player player, const std::string& folder,
                                const std::vector<std::string>& xms, int rate) {
  const std::string cd = "cd " + ShellWord(folder) + " && ";
  const std::string quiet = " >/dev/null 2>&1 </dev/null";
  std::vector<Rendered> renders;
  if (player == Player::kOpenmpt) {
    std::string command = cd + "openmpt123 --quiet --render --force --samplerate " +
                          std::to_string(rate) +
                          " --channels 2 --no-float --dither 0 --filter 1 --ramping 0";
    for (const std::string& xm : xms) {
      std::filesystem::remove(folder + "/" + xm + ".wav");
      command += ' ';
      command += ShellWord(xm);
    }
    const bool ran = RunCommand(command + quiet) == 0;
    for (const std::string& xm : xms) {
      renders.push_back(ran ? ReadWavFile(folder + "/" + xm + ".wav") : Rendered{});
    }
    return renders;
  }
  for (const std::string& xm : xms) {
    const std::string out = xm + ".wav";
    const std::string command =
        cd + "xmp --quiet --norc --nocmd --driver wav --output-file " + ShellWord(out) +
        " --player-mode ft2 --interpolation nearest --frequency " + std::to_string(rate) +
        " --bits 16 --amplify 0 --pan 100 " + ShellWord(xm);
    renders.push_back(RunCommand(command + quiet) == 0 ? ReadWavFile(folder + "/" + out)
                                                       : Rendered{});
  }
  return renders;
}

Rendered RenderXm(Player player, const std::string& folder, const std::string& xm, int rate) {
  return RenderXms(player, folder, {xm}, rate).front();
}

Rendered RenderXm(const std::string& folder, const std::string& xm, int rate) {
  return RenderXm(Player::kOpenmpt, folder, xm, rate);
}

Rendered RenderMidi(const std::string& folder, const std::string& bank_path,
                    const std::string& midi, const std::string& out, int rate) {
  const std::string command =
      "cd " + ShellWord(folder) + " && fluidsynth -q -ni -R 0 -C 0 -T wav -O float -F " +
      ShellWord(out) + " -r " + std::to_string(rate) + " " + ShellWord(bank_path) + " " +
      ShellWord(midi) + " >/dev/null 2>&1 </dev/null";
  if (RunCommand(command) != 0) return {};
  return ReadWavFile(folder + "/" + out);
}

}  // namespace brumlet::measure
