// Running a command as a second local user (nobody), for the tests that play
// a neighbour on the same machine. Switching users needs root, which is what
// CI runs as; elsewhere the tests skip with the reason.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace support {

// The neighbour's user and group ids.
constexpr uid_t kOutroUid = 65534;
constexpr gid_t kOutroGid = 65534;

// Empty when commands can be run as the neighbour; otherwise why not.
std::string SemOutroUsuario();

// Runs `argv` as the neighbour (through setpriv, without supplementary
// groups), waits for it and returns its wait status; what it wrote on
// stdout and stderr goes to `saida` when given.
int ExecutarComoOutroUsuario(const std::vector<std::string>& argv, std::string* saida = nullptr);

}  // namespace support

// Skips the running test when there is no neighbour to play.
#define SKIP_SEM_OUTRO_USUARIO()                              \
  do {                                                        \
    const std::string motivo_ = ::support::SemOutroUsuario(); \
    if (!motivo_.empty()) GTEST_SKIP() << motivo_;            \
  } while (0)
