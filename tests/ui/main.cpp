// One QApplication for every window test. Without a platform given the
// tests draw offscreen, so they also run where there is no display. The
// program gets a session bus of its own (a private dbus-daemon) when the
// machine has one, so that no test talks to the desktop's real services and
// the notification tests can put a stand-in service on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <string>

namespace {

// Starts dbus-daemon --session and points DBUS_SESSION_BUS_ADDRESS at it;
// returns its pid (0 when there is none).
pid_t BarramentoPrivado() {
  if (access("/usr/bin/dbus-daemon", X_OK) != 0) {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    return 0;
  }
  int tubo[2];
  if (pipe(tubo) != 0) return 0;
  const pid_t pid = fork();
  if (pid == 0) {
    // The bus ends with the tests, however they end.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(tubo[0]);
    // Its complaints about this sandbox's limits are not the tests' business.
    const int nulo = open("/dev/null", O_WRONLY);
    dup2(nulo, 2);
    const std::string fd = "--print-address=" + std::to_string(tubo[1]);
    execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", fd.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(tubo[1]);
  std::string endereco;
  char c = 0;
  while (read(tubo[0], &c, 1) == 1 && c != '\n') endereco += c;
  close(tubo[0]);
  if (endereco.empty()) {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    return pid;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", endereco.c_str(), 1);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no bus.
  const pid_t barramento = ::testing::GTEST_FLAG(list_tests) ? 0 : BarramentoPrivado();
  int status = 0;
  {
    QApplication aplicacao(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    status = RUN_ALL_TESTS();
  }
  if (barramento > 0) {
    kill(barramento, SIGTERM);
    waitpid(barramento, nullptr, 0);
  }
  return status;
}
