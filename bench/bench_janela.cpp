// Window benchmark: the same import pass headless and in the main window.
//
// Seeds --customers (default 2,000) and --products (default 2,000) pending
// rows, runs one headless pass (console view to /dev/null, as
// tolvex-agent --headless > /dev/null), seeds the same rows again and runs
// one pass of the main window (TfrmPincipal: panes, gauge, balloon, tray
// tooltip). With --xvfb it starts its own Xvfb and, when installed, the
// trayer notification area on it, so that the window draws on a real X
// display and the balloon is Qt's own (no notification service on a
// private bus); otherwise it uses the platform the environment names.
// Last line:
//   rows=... headless_s=... window_s=... ratio=... target=1.2 balloons=...
//   tray=0|1
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "app/Agente.h"
#include "app/ConsoleView.h"
#include "app/DemoDados.h"
#include "common/BenchCommon.h"
#include "ui/TfrmPincipal.h"

namespace {

app::OpcoesAgente Opcoes(const bench::Options& o) {
  app::OpcoesAgente op;
  op.retaguarda = app::EnderecoServidor{o.host, static_cast<std::uint32_t>(o.port)};
  op.pdv = op.retaguarda;
  op.pastaLog = "/tmp";
  return op;
}

pid_t Iniciar(const std::vector<std::string>& argumentos) {
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::vector<char*> argv;
    for (const auto& a : argumentos) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int nulo = open("/dev/null", O_WRONLY);
    dup2(nulo, 1);
    dup2(nulo, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

void Parar(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

void Semear(const bench::Options& o, int clientes, int produtos) {
  auto retaguarda = app::ConexaoAdministrativa(o.host, o.port, "tolve536_vidoru");
  auto pdv = app::ConexaoAdministrativa(o.host, o.port, "t2tipafecf");
  app::CriarTabelasRetaguarda(*retaguarda);
  app::CriarTabelasPDV(*pdv);
  app::SemearVolume(*retaguarda, clientes, produtos);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Options o = bench::ParseOptions(argc, argv, {"xvfb"}, {"customers", "products"});
  const int clientes = std::stoi(o.Value("customers", "2000"));
  const int produtos = std::stoi(o.Value("products", "2000"));
  pid_t xvfb = 0, bandeja = 0;
  if (o.Has("xvfb")) {
    const std::string tela = ":" + std::to_string(90 + getpid() % 100);
    xvfb = Iniciar({"Xvfb", tela, "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    setenv("DISPLAY", tela.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");
    // No desktop bus: the balloon is Qt's own, as on a plain X tray.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    bandeja = Iniciar({"trayer", "--edge", "bottom", "--widthtype", "request"});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
  }
  int status = 0;
  try {
    Semear(o, clientes, produtos);
    double semJanela = 0;
    {
      std::ofstream nulo("/dev/null");
      app::ConsoleView view(nulo, app::Descarga::Periodica);
      app::Agente agente(view, Opcoes(o));
      if (!agente.FormCreate()) throw std::runtime_error("headless creation failed");
      bench::Timer t;
      agente.ExecutarImportacao();
      semJanela = t.Seconds();
    }

    Semear(o, clientes, produtos);
    QApplication aplicacao(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    double comJanela = 0;
    int baloes = 0;
    const bool temBandeja = QSystemTrayIcon::isSystemTrayAvailable();
    {
      app::ui::TfrmPincipal janela(Opcoes(o));
      if (!janela.FormCreate()) throw std::runtime_error("window creation failed");
      janela.show();
      QApplication::processEvents();
      // Hidden to the tray, as the agent usually runs (ESC).
      janela.Agent().btnEsconderClick();
      QApplication::processEvents();
      bench::Timer t;
      janela.Agent().ExecutarImportacao();
      comJanela = t.Seconds();
      baloes = janela.BaloesMostrados();
    }
    const int linhas = clientes + produtos;
    std::printf("window pass %.3f s, headless pass %.3f s over %d rows (%s)\n", comJanela,
                semJanela, linhas, temBandeja ? "tray with Qt's balloon" : "no tray");
    std::printf("%s\n", bench::FormatFigures({{"rows", static_cast<double>(linhas)},
                                              {"headless_s", semJanela},
                                              {"window_s", comJanela},
                                              {"ratio", comJanela / semJanela},
                                              {"target", 1.2},
                                              {"balloons", static_cast<double>(baloes)},
                                              {"tray", temBandeja ? 1.0 : 0.0}})
                            .c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_janela: %s\n", e.what());
    status = 1;
  }
  Parar(bandeja);
  Parar(xvfb);
  return status;
}
