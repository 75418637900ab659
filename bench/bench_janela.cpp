// Window benchmark: the same import pass headless and in the main window.
//
// Seeds --customers (default 2,000) and --products (default 2,000) pending
// rows before every pass and runs --pairs (default 5) passes of the main
// window hidden in the tray (TfrmPincipal: panes, gauge, balloon, tray
// tooltip), each between two headless passes (console view to /dev/null, as
// tolvex-agent --headless > /dev/null) over the same rows: H W H W ... H.
// The server's commits dominate a pass's wall clock and drift while the
// machine is shared, so each window pass is set against the mean of the
// headless passes on either side of it, and the figures are the medians of
// these pairs. With --xvfb it starts its own Xvfb and, when installed, the
// trayer notification area on it, so that the window draws on a real X
// display and the balloon is Qt's own (no notification service on a private
// bus); otherwise it uses the platform the environment names. Last line:
//   rows=... pairs=... headless_s=... window_s=... ratio=... ratio_max=...
//   headless_cpu_s=... window_cpu_s=... cpu_ratio=... target=1.2
//   balloons=... tray=0|1
// ratio and cpu_ratio are the medians of the pairs' ratios, ratio_max the
// worst pair; the seconds are medians. The CPU figures are the agent's
// thread only (the X server draws apart).
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
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

double Mediana(std::vector<double> valores) {
  std::sort(valores.begin(), valores.end());
  const std::size_t n = valores.size();
  return n % 2 == 1 ? valores[n / 2] : (valores[n / 2 - 1] + valores[n / 2]) / 2;
}

Medida PasseSemJanela(const bench::Options& o) {
  std::ofstream nulo("/dev/null");
  app::ConsoleView view(nulo, app::Descarga::Periodica);
  app::Agente agente(view, Opcoes(o));
  if (!agente.FormCreate()) throw std::runtime_error("headless creation failed");
  const double cpu = CpuDaThread();
  bench::Timer t;
  agente.ExecutarImportacao();
  return Medida{t.Seconds(), CpuDaThread() - cpu};
}

// One pass of the window hidden to the tray, as the agent usually runs
// (ESC); `baloes` gets the number of balloons the pass showed.
Medida PasseComJanela(const bench::Options& o, int& baloes) {
  app::ui::TfrmPincipal janela(Opcoes(o));
  if (!janela.FormCreate()) throw std::runtime_error("window creation failed");
  janela.show();
  QApplication::processEvents();
  janela.Agent().btnEsconderClick();
  QApplication::processEvents();
  const int antes = janela.BaloesMostrados();
  const double cpu = CpuDaThread();
  bench::Timer t;
  janela.Agent().ExecutarImportacao();
  const Medida medida{t.Seconds(), CpuDaThread() - cpu};
  baloes = janela.BaloesMostrados() - antes;
  return medida;
}

// Starts Xvfb on a display of its own and, when installed, trayer on it;
// the display and the platform are set for this process.
std::vector<pid_t> IniciarTela() {
  const std::string tela = ":" + std::to_string(90 + getpid() % 100);
  std::vector<pid_t> filhos{
      Iniciar({"Xvfb", tela, "-nolisten", "tcp", "-screen", "0", "1024x768x24"})};
  setenv("DISPLAY", tela.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  unsetenv("WAYLAND_DISPLAY");
  // No desktop bus: the balloon is Qt's own, as on a plain X tray.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  filhos.push_back(Iniciar({"trayer", "--edge", "bottom", "--widthtype", "request"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  return filhos;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Options o =
      bench::ParseOptions(argc, argv, {"xvfb"}, {"customers", "products", "pairs"});
  const int clientes = std::stoi(o.Value("customers", "2000"));
  const int produtos = std::stoi(o.Value("products", "2000"));
  const int pares = std::max(1, std::stoi(o.Value("pairs", "5")));
  std::vector<pid_t> filhos;
  if (o.Has("xvfb")) filhos = IniciarTela();
  int status = 0;
  try {
    QApplication aplicacao(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const bool temBandeja = QSystemTrayIcon::isSystemTrayAvailable();
    // H W H W ... H: each window pass against the mean of the headless
    // passes on either side of it, so that a server getting slower or
    // faster over the run counts for neither.
    auto semJanela = [&] {
      Semear(o, clientes, produtos);
      return PasseSemJanela(o);
    };
    std::vector<double> segundosSemJanela, segundosComJanela, razoes;
    std::vector<double> cpuSemJanela, cpuComJanela, razoesCpu;
    int baloes = 0;
    Medida antes = semJanela();
    for (int i = 0; i < pares; ++i) {
      Semear(o, clientes, produtos);
      const Medida w = PasseComJanela(o, baloes);
      const Medida depois = semJanela();
      const Medida h{(antes.segundos + depois.segundos) / 2, (antes.cpu + depois.cpu) / 2};
      std::printf("pair %d: window %.3f s (cpu %.3f s), headless %.3f and %.3f s (cpu %.3f s)\n",
                  i + 1, w.segundos, w.cpu, antes.segundos, depois.segundos, h.cpu);
      std::fflush(stdout);
      segundosSemJanela.push_back(h.segundos);
      segundosComJanela.push_back(w.segundos);
      razoes.push_back(w.segundos / h.segundos);
      cpuSemJanela.push_back(h.cpu);
      cpuComJanela.push_back(w.cpu);
      razoesCpu.push_back(w.cpu / h.cpu);
      antes = depois;
    }
    const int linhas = clientes + produtos;
    std::printf("%d pairs over %d rows (%s)\n", pares, linhas,
                temBandeja ? "tray with Qt's balloon" : "no tray");
    std::printf("%s\n", bench::FormatFigures(
                            {{"rows", static_cast<double>(linhas)},
                             {"pairs", static_cast<double>(pares)},
                             {"headless_s", Mediana(segundosSemJanela)},
                             {"window_s", Mediana(segundosComJanela)},
                             {"ratio", Mediana(razoes)},
                             {"ratio_max", *std::max_element(razoes.begin(), razoes.end())},
                             {"headless_cpu_s", Mediana(cpuSemJanela)},
                             {"window_cpu_s", Mediana(cpuComJanela)},
                             {"cpu_ratio", Mediana(razoesCpu)},
                             {"target", 1.2},
                             {"balloons", static_cast<double>(baloes)},
                             {"tray", temBandeja ? 1.0 : 0.0}})
                            .c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_janela: %s\n", e.what());
    status = 1;
  }
  for (auto it = filhos.rbegin(); it != filhos.rend(); ++it) Parar(*it);
  return status;
}
