// Window benchmark: the same import pass headless and in the main window.
//
// Seeds --customers (default 2,000) and --products (default 2,000) pending
// rows and runs one headless pass (console view to /dev/null, as
// tolvex-agent --headless > /dev/null), then over the same rows seeded
// again one pass of the main window hidden in the tray (TfrmPincipal:
// panes, gauge, balloon, tray tooltip), then the headless pass again; the
// faster headless pass is the reference. With --xvfb it starts its own Xvfb and, when installed,
// the trayer notification area on it, so that the window draws on a real X display and the balloon
// is Qt's own (no notification service on a private bus); otherwise it uses the platform the
// environment names. Last line:
//   rows=... headless_s=... window_s=... ratio=... headless_cpu_s=...
//   window_cpu_s=... cpu_ratio=... target=1.2 balloons=... tray=0|1
// The CPU figures are the agent's thread only (the X server draws apart);
// on a shared machine they move less than the wall-clock ones, which the
// server's commits dominate.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <algorithm>
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

// User and system CPU seconds of the calling thread (the agent's only one).
double CpuDaThread() {
  rusage r{};
  getrusage(RUSAGE_THREAD, &r);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return s(r.ru_utime) + s(r.ru_stime);
}

// Wall-clock and CPU seconds of one pass.
struct Medida {
  double segundos = 0;
  double cpu = 0;
};

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
    auto passeSemJanela = [&] {
      Semear(o, clientes, produtos);
      std::ofstream nulo("/dev/null");
      app::ConsoleView view(nulo, app::Descarga::Periodica);
      app::Agente agente(view, Opcoes(o));
      if (!agente.FormCreate()) throw std::runtime_error("headless creation failed");
      const double cpu = CpuDaThread();
      bench::Timer t;
      agente.ExecutarImportacao();
      return Medida{t.Seconds(), CpuDaThread() - cpu};
    };
    // Headless before and after the window; the faster of the two is the
    // reference, so that a server slowed by others counts against the window.
    const Medida semJanelaAntes = passeSemJanela();

    Semear(o, clientes, produtos);
    QApplication aplicacao(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    double comJanela = 0, cpuJanela = 0;
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
      const double cpu = CpuDaThread();
      bench::Timer t;
      janela.Agent().ExecutarImportacao();
      comJanela = t.Seconds();
      cpuJanela = CpuDaThread() - cpu;
      baloes = janela.BaloesMostrados();
    }
    const Medida semJanelaDepois = passeSemJanela();
    const double semJanela = std::min(semJanelaAntes.segundos, semJanelaDepois.segundos);
    const double cpuSemJanela = std::min(semJanelaAntes.cpu, semJanelaDepois.cpu);
    const int linhas = clientes + produtos;
    std::printf("window pass %.3f s, headless pass %.3f s over %d rows (%s)\n", comJanela,
                semJanela, linhas, temBandeja ? "tray with Qt's balloon" : "no tray");
    std::printf("%s\n", bench::FormatFigures({{"rows", static_cast<double>(linhas)},
                                              {"headless_s", semJanela},
                                              {"window_s", comJanela},
                                              {"ratio", comJanela / semJanela},
                                              {"headless_cpu_s", cpuSemJanela},
                                              {"window_cpu_s", cpuJanela},
                                              {"cpu_ratio", cpuJanela / cpuSemJanela},
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
