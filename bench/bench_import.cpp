// Import benchmark: one headless import pass over a large back office.
//
// Seeds --customers (default 20,000) pending customers and --products
// (default 20,000) pending products in the sandbox's back office, empties
// the PDV, and runs one pass of the agent with its console view writing to
// /dev/null. Then, over a small extra batch (--probe rows, default 500)
// seen through a counting loopback forwarder, it counts the request/reply
// exchanges each row costs beyond an empty pass. Last line:
//   rows=... seconds=... rows_per_s=... agent_cpu_s=... roundtrips_per_row=...
//   peak_rss_mb=... source_mb=...
// agent_cpu_s is the CPU time of the agent's (only) thread during the pass;
// peak_rss_mb the process's peak resident size during it; source_mb the
// size of the seeded source values.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/Agente.h"
#include "app/ConsoleView.h"
#include "app/DemoDados.h"
#include "common/BenchCommon.h"

namespace {

struct Cpu {
  double usuario = 0, sistema = 0;
};

// User and system CPU time of the calling thread.
Cpu CpuDaThread() {
  rusage r{};
  getrusage(RUSAGE_THREAD, &r);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {s(r.ru_utime), s(r.ru_stime)};
}

// Forwards loopback connections to the server and counts exchanges: every
// time the client speaks after the server did (or first) is one round trip.
class Contador {
 public:
  Contador(const std::string& host, int porta) : host_(host), porta_(porta) {
    escuta_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(escuta_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(escuta_, 8);
    socklen_t n = sizeof a;
    getsockname(escuta_, reinterpret_cast<sockaddr*>(&a), &n);
    minhaPorta_ = ntohs(a.sin_port);
    aceitador_ = std::thread([this] { Aceitar(); });
  }
  ~Contador() {
    fim_ = true;
    shutdown(escuta_, SHUT_RDWR);
    aceitador_.join();
    for (auto& t : threads_) t.join();
  }
  int Porta() const { return minhaPorta_; }
  long long Trocas() const { return trocas_; }

 private:
  void Aceitar() {
    for (;;) {
      const int c = accept(escuta_, nullptr, nullptr);
      if (c < 0) break;
      const int s = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(porta_));
      inet_pton(AF_INET, host_.c_str(), &a.sin_addr);
      if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(c);
        close(s);
        continue;
      }
      threads_.emplace_back([this, c, s] { Bombear(c, s); });
    }
    close(escuta_);
  }
  void Bombear(int c, int s) {
    pollfd p[2] = {{c, POLLIN, 0}, {s, POLLIN, 0}};
    char buf[65536];
    bool clienteFalou = false;
    while (!fim_) {
      if (poll(p, 2, 100) <= 0) continue;
      bool acabou = false;
      for (int i = 0; i < 2 && !acabou; ++i) {
        if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = read(p[i].fd, buf, sizeof buf);
        if (n <= 0 || write(p[1 - i].fd, buf, static_cast<size_t>(n)) != n) {
          acabou = true;
          break;
        }
        if (i == 0 && !clienteFalou) ++trocas_;
        clienteFalou = i == 0;
      }
      if (acabou) break;
    }
    close(c);
    close(s);
  }

  std::string host_;
  int porta_;
  int escuta_ = -1;
  int minhaPorta_ = 0;
  std::atomic<bool> fim_{false};
  std::atomic<long long> trocas_{0};
  std::thread aceitador_;
  std::vector<std::thread> threads_;
};

app::OpcoesAgente Opcoes(const std::string& host, int porta) {
  app::OpcoesAgente o;
  o.retaguarda = app::EnderecoServidor{host, static_cast<std::uint32_t>(porta)};
  o.pdv = o.retaguarda;
  o.pastaLog = "/tmp";
  return o;
}

// Trocas of one pass (after creation and the start lines) through `c`.
long long TrocasDeUmPasso(Contador& c) {
  std::ofstream nulo("/dev/null");
  app::ConsoleView view(nulo);
  app::Agente agente(view, Opcoes("127.0.0.1", c.Porta()));
  if (!agente.FormCreate()) std::exit(1);
  const long long antes = c.Trocas();
  agente.ExecutarImportacao();
  return c.Trocas() - antes;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Options o = bench::ParseOptions(argc, argv, {}, {"customers", "products", "probe"});
  const int clientes = std::stoi(o.Value("customers", "20000"));
  const int produtos = std::stoi(o.Value("products", "20000"));
  const int amostra = std::stoi(o.Value("probe", "500"));
  try {
    auto retaguarda = app::ConexaoAdministrativa(o.host, o.port, "tolve536_vidoru");
    auto pdv = app::ConexaoAdministrativa(o.host, o.port, "t2tipafecf");
    app::CriarTabelasRetaguarda(*retaguarda);
    app::CriarTabelasPDV(*pdv);
    const std::int64_t bytes = app::SemearVolume(*retaguarda, clientes, produtos);

    std::ofstream nulo("/dev/null");
    // As tolvex-agent --headless > /dev/null writes.
    app::ConsoleView view(nulo, app::Descarga::Periodica);
    double segundos = 0, pico = 0;
    Cpu cpu;
    {
      app::Agente agente(view, Opcoes(o.host, o.port));
      if (!agente.FormCreate()) return 1;
      bench::ResetPeakRss();
      const Cpu cpu0 = CpuDaThread();
      bench::Timer t;
      agente.ExecutarImportacao();
      segundos = t.Seconds();
      const Cpu cpu1 = CpuDaThread();
      cpu = {cpu1.usuario - cpu0.usuario, cpu1.sistema - cpu0.sistema};
      pico = bench::PeakRssMb();
    }
    const long long linhas = clientes + produtos;
    const long long chegaram = app::Contar(*pdv, "select count(*) from cliente") +
                               app::Contar(*pdv, "select count(*) from produto");

    // Exchanges per row: an empty pass, then a pass over `amostra` new rows.
    Contador contador(o.host, o.port);
    app::CriarTabelasRetaguarda(*retaguarda);
    app::CriarTabelasPDV(*pdv);
    const long long vazio = TrocasDeUmPasso(contador);
    app::CriarTabelasRetaguarda(*retaguarda);
    app::CriarTabelasPDV(*pdv);
    app::SemearVolume(*retaguarda, amostra, 0);
    const long long cheio = TrocasDeUmPasso(contador);
    const double porLinha = amostra ? static_cast<double>(cheio - vazio) / amostra : 0;

    // The server's pace depends on how it makes commits durable (1, its
    // default: flushed at every commit).
    const long long durabilidade = app::Contar(*pdv, "select @@innodb_flush_log_at_trx_commit");
    std::printf(
        "imported %lld of %lld rows; agent cpu user %.3f s, system %.3f s; empty pass %lld "
        "exchanges, %d rows %lld; server innodb_flush_log_at_trx_commit=%lld\n",
        chegaram, linhas, cpu.usuario, cpu.sistema, vazio, amostra, cheio, durabilidade);
    std::printf("%s\n", bench::FormatFigures({{"rows", static_cast<double>(linhas)},
                                              {"seconds", segundos},
                                              {"rows_per_s", linhas / segundos},
                                              {"agent_cpu_s", cpu.usuario + cpu.sistema},
                                              {"roundtrips_per_row", porLinha},
                                              {"peak_rss_mb", pico},
                                              {"source_mb", bytes / 1048576.0}})
                            .c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_import: %s\n", e.what());
    return 1;
  }
  return 0;
}
