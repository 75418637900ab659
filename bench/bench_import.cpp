// Import benchmark: one headless import pass over a large back office.
//
// Seeds --customers (default 20,000) pending customers and --products
// (default 20,000) pending products in the sandbox's back office, empties
// the PDV, and runs one pass of the agent with its console view writing to
// /dev/null. With --atraso-ms N the back office is reached through our
// loopback proxy adding N ms each way (a hosted server); --marcar-em-lote N
// batches the markings as the agent's option does. Then, over a small extra
// batch (--probe rows, default 500) seen through a counting loopback
// forwarder, it counts the request/reply exchanges each row costs beyond an
// empty pass. Last, the statements of one more pass are taken from the
// server's general log and replayed straight through the wire client, for
// the agent's processor time against that of the bare statements. Last line:
//   rows=... seconds=... rows_per_s=... agent_cpu_s=... roundtrips_per_row=...
//   peak_rss_mb=... source_mb=... waits_per_row_retaguarda=... floor_s=...
//   ratio_floor=... cpu_us_per_row=... replay_cpu_us_per_row=... cpu_ratio=...
// agent_cpu_s is the CPU time of the agent's (only) thread during the pass;
// peak_rss_mb the process's peak resident size during it; source_mb the
// size of the seeded source values; waits_per_row_retaguarda the back
// office's exchanges in the pass per row; floor_s those exchanges times
// 2N ms (the time the latency alone costs) and ratio_floor seconds/floor_s
// (0 without --atraso-ms); cpu_ratio the agent's CPU per row over the
// replay's.
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
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/Agente.h"
#include "app/ConsoleView.h"
#include "app/DemoDados.h"
#include "common/BenchCommon.h"
#include "components/MySQLQuery.h"
#include "support/Proxy.h"
#include "wire/MysqlClient.h"

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

app::OpcoesAgente Opcoes(const std::string& host, int porta, int portaRetaguarda = 0,
                         unsigned lote = 0) {
  app::OpcoesAgente o;
  o.pdv = app::EnderecoServidor{host, static_cast<std::uint32_t>(porta)};
  o.retaguarda = o.pdv;
  if (portaRetaguarda)
    o.retaguarda = app::EnderecoServidor{"127.0.0.1", static_cast<std::uint32_t>(portaRetaguarda)};
  o.pastaLog = "/tmp";
  o.marcarEmLote = lote;
  return o;
}

// One statement the agent sent, and to which of its two databases.
struct Enviado {
  bool retaguarda;
  std::string sql;
};

// The statements of the agent's sessions in the server's general log, in
// the order the server received them. The log is on only around the pass.
std::vector<Enviado> LerLogGeral(components::TmySQLDatabase& banco) {
  std::vector<Enviado> enviados;
  components::TmySQLQuery sessoes;
  sessoes.SetDatabase(&banco);
  sessoes.SQL().Add(
      "select thread_id, argument from mysql.general_log where command_type='Connect' or "
      "command_type='Init DB'");
  sessoes.Open();
  std::map<long long, bool> ehRetaguarda;
  for (sessoes.First(); !sessoes.Eof(); sessoes.Next()) {
    const std::string a = sessoes.Fields()[1].AsString();
    if (a.find("tolve536_vidoru") != std::string::npos)
      ehRetaguarda[sessoes.Fields()[0].AsLargeInt()] = true;
    if (a.find("t2tipafecf") != std::string::npos)
      ehRetaguarda[sessoes.Fields()[0].AsLargeInt()] = false;
  }
  sessoes.Close();
  components::TmySQLQuery q;
  q.SetDatabase(&banco);
  q.SQL().Add(
      "select thread_id, argument from mysql.general_log where command_type='Query' "
      "order by event_time");
  q.Open();
  for (q.First(); !q.Eof(); q.Next()) {
    auto it = ehRetaguarda.find(q.Fields()[0].AsLargeInt());
    if (it != ehRetaguarda.end()) enviados.push_back({it->second, q.Fields()[1].AsString()});
  }
  q.Close();
  return enviados;
}

// CPU seconds of the calling thread for the statements sent straight
// through two wire clients, as the agent's connections are set up.
double Repetir(const std::vector<Enviado>& enviados, const std::string& host, int porta) {
  wire::TMysqlClient retaguarda, pdv;
  for (auto [c, banco, usuario, senha] :
       {std::tuple{&retaguarda, "tolve536_vidoru", "tolve536", "kb71530264809"},
        std::tuple{&pdv, "t2tipafecf", "root", "kmzq"}}) {
    c->SetCompress(true);
    if (!c->ConnectToServer(host, usuario, senha, banco, porta, "", false, 0x20)) {
      std::fprintf(stderr, "bench_import: replay: %s\n", c->ErrorMessage().c_str());
      std::exit(1);
    }
  }
  const Cpu antes = CpuDaThread();
  for (const Enviado& e : enviados) {
    bool ok = false;
    (e.retaguarda ? retaguarda : pdv).Query(e.sql, true, ok).reset();
  }
  const Cpu depois = CpuDaThread();
  return depois.usuario - antes.usuario + depois.sistema - antes.sistema;
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
  const bench::Options o = bench::ParseOptions(
      argc, argv, {}, {"customers", "products", "probe", "atraso-ms", "marcar-em-lote"});
  const int clientes = std::stoi(o.Value("customers", "20000"));
  const int produtos = std::stoi(o.Value("products", "20000"));
  const int amostra = std::stoi(o.Value("probe", "500"));
  const int atraso = std::stoi(o.Value("atraso-ms", "0"));
  const unsigned lote = static_cast<unsigned>(std::stoul(o.Value("marcar-em-lote", "0")));
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
    // With a delay the back office is behind the proxy, which also counts
    // its exchanges; on loopback the pass runs as it always did.
    std::unique_ptr<support::Proxy> longe;
    if (atraso > 0) {
      longe = std::make_unique<support::Proxy>(o.host, o.port);
      longe->SetDelay(atraso, atraso);
    }
    long long esperas = 0, linhasEsperas = clientes + produtos;
    {
      app::Agente agente(view, Opcoes(o.host, o.port, longe ? longe->Port() : 0, lote));
      if (!agente.FormCreate()) return 1;
      bench::ResetPeakRss();
      const long long trocas0 = longe ? longe->Exchanges() : 0;
      const Cpu cpu0 = CpuDaThread();
      bench::Timer t;
      agente.ExecutarImportacao();
      segundos = t.Seconds();
      if (longe) esperas = longe->Exchanges() - trocas0;
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
    if (!longe) {
      // The back office's waits of a pass over the probe rows, counted
      // without a delay.
      support::Proxy contagem(o.host, o.port);
      app::CriarTabelasRetaguarda(*retaguarda);
      app::CriarTabelasPDV(*pdv);
      app::SemearVolume(*retaguarda, amostra, 0);
      app::Agente agente(view, Opcoes(o.host, o.port, contagem.Port(), lote));
      if (!agente.FormCreate()) return 1;
      const long long antes = contagem.Exchanges();
      agente.ExecutarImportacao();
      esperas = contagem.Exchanges() - antes;
      linhasEsperas = amostra;
    }

    // The server's pace depends on how it makes commits durable (1, its
    // default: flushed at every commit).
    const long long durabilidade = app::Contar(*pdv, "select @@innodb_flush_log_at_trx_commit");

    // The same pass once more, its statements logged by the server, then
    // replayed straight through the wire client on the same data.
    app::CriarTabelasRetaguarda(*retaguarda);
    app::CriarTabelasPDV(*pdv);
    app::SemearVolume(*retaguarda, clientes, produtos);
    pdv->Execute("set global log_output='TABLE'");
    pdv->Execute("truncate table mysql.general_log");
    pdv->Execute("set global general_log=1");
    {
      app::Agente agente(view, Opcoes(o.host, o.port, 0, lote));
      if (!agente.FormCreate()) return 1;
      agente.ExecutarImportacao();
    }
    pdv->Execute("set global general_log=0");
    const std::vector<Enviado> enviados = LerLogGeral(*pdv);
    pdv->Execute("truncate table mysql.general_log");
    app::CriarTabelasRetaguarda(*retaguarda);
    app::CriarTabelasPDV(*pdv);
    app::SemearVolume(*retaguarda, clientes, produtos);
    const double cpuRepeticao = Repetir(enviados, o.host, o.port);
    const double cpuAgente = cpu.usuario + cpu.sistema;
    const double piso = static_cast<double>(esperas) * 2.0 * atraso / 1000.0;
    std::printf(
        "imported %lld of %lld rows; agent cpu user %.3f s, system %.3f s; empty pass %lld "
        "exchanges, %d rows %lld; server innodb_flush_log_at_trx_commit=%lld; delay %d ms each "
        "way to the back office, markings batched by %u; replay of %zu statements %.3f s cpu\n",
        chegaram, linhas, cpu.usuario, cpu.sistema, vazio, amostra, cheio, durabilidade, atraso,
        lote, enviados.size(), cpuRepeticao);
    std::printf("%s\n",
                bench::FormatFigures(
                    {{"rows", static_cast<double>(linhas)},
                     {"seconds", segundos},
                     {"rows_per_s", linhas / segundos},
                     {"agent_cpu_s", cpu.usuario + cpu.sistema},
                     {"roundtrips_per_row", porLinha},
                     {"peak_rss_mb", pico},
                     {"source_mb", bytes / 1048576.0},
                     {"waits_per_row_retaguarda", static_cast<double>(esperas) / linhasEsperas},
                     {"floor_s", piso},
                     {"ratio_floor", piso > 0 ? segundos / piso : 0},
                     {"cpu_us_per_row", cpuAgente / linhas * 1e6},
                     {"replay_cpu_us_per_row", cpuRepeticao / linhas * 1e6},
                     {"cpu_ratio", cpuRepeticao > 0 ? cpuAgente / cpuRepeticao : 0}})
                    .c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_import: %s\n", e.what());
    return 1;
  }
  return 0;
}
