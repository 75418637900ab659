#include "os/Shell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace os {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Waits for the child in the background so that it does not stay a zombie
// after it ends; the caller never waits for the programs it starts.
void ReapInBackground(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  if (program.empty()) return false;
  std::vector<std::string> words;
  words.reserve(arguments.size() + 1);
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  // A session of its own, so that the program survives the agent and does
  // not receive the signals meant for the agent's terminal.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  int error = posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return false;
  ReapInBackground(pid);
  return true;
}

bool OpenWithDefaultHandler(const std::string& path) {
  if (path.empty()) return false;
  auto opener = FindOnPath("xdg-open");
  if (!opener) return false;
  return StartProgram(*opener, {path});
}

std::optional<std::string> FindOnPath(const std::string& name, const std::string& searchPath) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) {
    if (IsExecutableFile(name)) return name;
    return std::nullopt;
  }
  size_t start = 0;
  while (start <= searchPath.size()) {
    size_t end = searchPath.find(':', start);
    if (end == std::string::npos) end = searchPath.size();
    std::string candidate =
        end > start ? searchPath.substr(start, end - start) : std::string(1, '.');
    candidate += '/';
    candidate += name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

std::optional<std::string> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  return FindOnPath(name, path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
}

const std::vector<std::string>& CalculatorCandidates() {
  static const std::vector<std::string> candidates = {"gnome-calculator", "kcalc", "galculator",
                                                      "mate-calc", "xcalc"};
  return candidates;
}

bool StartCalculator() {
  for (const std::string& name : CalculatorCandidates()) {
    if (auto found = FindOnPath(name)) return StartProgram(*found, {});
  }
  return false;
}

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(length));
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string UserDataDirectory() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return data;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share";
  return "";
}

}  // namespace os
