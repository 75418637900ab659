#include "support/OutroUsuario.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace support {

std::string SemOutroUsuario() {
  if (::geteuid() != 0) return "switching to a second user (nobody) needs root";
  if (::access("/usr/bin/setpriv", X_OK) != 0) return "setpriv is not installed";
  return {};
}

int ExecutarComoOutroUsuario(const std::vector<std::string>& argv, std::string* saida) {
  std::vector<std::string> todos = {"/usr/bin/setpriv", "--reuid=" + std::to_string(kOutroUid),
                                    "--regid=" + std::to_string(kOutroGid), "--clear-groups"};
  todos.insert(todos.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (std::string& a : todos) args.push_back(a.data());
  args.push_back(nullptr);

  int canal[2];
  if (::pipe(canal) != 0) return -1;
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(canal[0]);
    ::close(canal[1]);
    return -1;
  }
  if (pid == 0) {
    ::dup2(canal[1], STDOUT_FILENO);
    ::dup2(canal[1], STDERR_FILENO);
    ::close(canal[0]);
    ::close(canal[1]);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(canal[1]);
  std::string lido;
  char bloco[4096];
  for (;;) {
    ssize_t n = ::read(canal[0], bloco, sizeof bloco);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    lido.append(bloco, static_cast<std::size_t>(n));
  }
  ::close(canal[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (saida != nullptr) *saida = lido;
  return status;
}

}  // namespace support
