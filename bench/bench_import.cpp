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
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
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

// Calls porLinha(thread_id, argument) for each entry of the server's
// general log that `onde` selects (a condition, and an order where wanted).
template <typename F>
void PercorrerLogGeral(components::TmySQLDatabase& banco, const std::string& onde, F&& porLinha) {
  components::TmySQLQuery q;
  q.SetDatabase(&banco);
  q.SQL().Add("select thread_id, argument from mysql.general_log where " + onde);
  q.Open();
  for (q.First(); !q.Eof(); q.Next())
    porLinha(q.Fields()[0].AsLargeInt(), q.Fields()[1].AsString());
  q.Close();
}

// The statements of the agent's sessions in the server's general log, in
// the order the server received them. The log is on only around the pass.
std::vector<Enviado> LerLogGeral(components::TmySQLDatabase& banco) {
  std::map<long long, bool> ehRetaguarda;
  PercorrerLogGeral(banco, "command_type='Connect' or command_type='Init DB'",
                    [&](long long sessao, const std::string& a) {
                      if (a.find("tolve536_vidoru") != std::string::npos)
                        ehRetaguarda[sessao] = true;
                      if (a.find("t2tipafecf") != std::string::npos) ehRetaguarda[sessao] = false;
                    });
  std::vector<Enviado> enviados;
  PercorrerLogGeral(banco, "command_type='Query' order by event_time",
                    [&](long long sessao, const std::string& sql) {
                      auto it = ehRetaguarda.find(sessao);
                      if (it != ehRetaguarda.end()) enviados.push_back({it->second, sql});
                    });
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

// Exchanges of one pass (after creation and the start lines) through `c`.
long long TrocasDeUmPasso(support::Proxy& c) {
  std::ofstream nulo("/dev/null");
  app::ConsoleView view(nulo);
  app::Agente agente(view, Opcoes("127.0.0.1", c.Port()));
  if (!agente.FormCreate()) std::exit(1);
  const long long antes = c.Exchanges();
  agente.ExecutarImportacao();
  return c.Exchanges() - antes;
}

// The two databases the passes run over, and the options every pass takes.
struct Bancada {
  const bench::Options& o;
  unsigned lote;
  std::unique_ptr<components::TmySQLDatabase> retaguarda =
      app::ConexaoAdministrativa(o.host, o.port, "tolve536_vidoru");
  std::unique_ptr<components::TmySQLDatabase> pdv =
      app::ConexaoAdministrativa(o.host, o.port, "t2tipafecf");

  // Empty tables on both sides, then the pending rows in the back office;
  // the size of their seeded values.
  std::int64_t Recomecar(int clientes, int produtos) {
    app::CriarTabelasRetaguarda(*retaguarda);
    app::CriarTabelasPDV(*pdv);
    return clientes || produtos ? app::SemearVolume(*retaguarda, clientes, produtos) : 0;
  }

  // An agent on the sandbox, its back office through `portaRetaguarda`
  // when that is given.
  std::unique_ptr<app::Agente> Agente(app::AgentView& view, int portaRetaguarda = 0) const {
    auto agente =
        std::make_unique<app::Agente>(view, Opcoes(o.host, o.port, portaRetaguarda, lote));
    if (!agente->FormCreate()) std::exit(1);
    return agente;
  }
};

struct Medida {
  double segundos = 0, pico = 0;
  Cpu cpu;
  long long esperas = 0;  // the back office's exchanges, behind `longe`
};

// The timed pass over the seeded rows.
Medida PassoMedido(const Bancada& b, app::AgentView& view, support::Proxy* longe) {
  Medida m;
  const auto agente = b.Agente(view, longe ? longe->Port() : 0);
  bench::ResetPeakRss();
  const long long trocas0 = longe ? longe->Exchanges() : 0;
  const Cpu cpu0 = CpuDaThread();
  bench::Timer t;
  agente->ExecutarImportacao();
  m.segundos = t.Seconds();
  if (longe) m.esperas = longe->Exchanges() - trocas0;
  const Cpu cpu1 = CpuDaThread();
  m.cpu = {cpu1.usuario - cpu0.usuario, cpu1.sistema - cpu0.sistema};
  m.pico = bench::PeakRssMb();
  return m;
}

// The back office's waits of a pass over `amostra` rows, counted without a
// delay.
long long EsperasDaAmostra(Bancada& b, app::AgentView& view, int amostra) {
  support::Proxy contagem(b.o.host, b.o.port);
  b.Recomecar(amostra, 0);
  const auto agente = b.Agente(view, contagem.Port());
  const long long antes = contagem.Exchanges();
  agente->ExecutarImportacao();
  return contagem.Exchanges() - antes;
}

// The statements of one more pass over the seeded rows, as the server's
// general log recorded them.
std::vector<Enviado> PassoGravado(Bancada& b, app::AgentView& view, int clientes, int produtos) {
  b.Recomecar(clientes, produtos);
  components::TmySQLDatabase& pdv = *b.pdv;
  pdv.Execute("set global log_output='TABLE'");
  pdv.Execute("truncate table mysql.general_log");
  pdv.Execute("set global general_log=1");
  b.Agente(view)->ExecutarImportacao();
  pdv.Execute("set global general_log=0");
  std::vector<Enviado> enviados = LerLogGeral(pdv);
  pdv.Execute("truncate table mysql.general_log");
  return enviados;
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
    Bancada b{o, lote};
    const std::int64_t bytes = b.Recomecar(clientes, produtos);

    std::ofstream nulo("/dev/null");
    // As tolvex-agent --headless > /dev/null writes.
    app::ConsoleView view(nulo, app::Descarga::Periodica);
    // With a delay the back office is behind the proxy, which also counts
    // its exchanges; on loopback the pass runs as it always did.
    std::unique_ptr<support::Proxy> longe;
    if (atraso > 0) {
      longe = std::make_unique<support::Proxy>(o.host, o.port);
      longe->SetDelay(atraso, atraso);
    }
    Medida m = PassoMedido(b, view, longe.get());
    long long linhasEsperas = clientes + produtos;
    const long long linhas = clientes + produtos;
    const long long chegaram = app::Contar(*b.pdv, "select count(*) from cliente") +
                               app::Contar(*b.pdv, "select count(*) from produto");

    // Exchanges per row: an empty pass, then a pass over `amostra` new rows.
    support::Proxy contador(o.host, o.port);
    b.Recomecar(0, 0);
    const long long vazio = TrocasDeUmPasso(contador);
    b.Recomecar(amostra, 0);
    const long long cheio = TrocasDeUmPasso(contador);
    const double porLinha = amostra ? static_cast<double>(cheio - vazio) / amostra : 0;
    if (!longe) {
      m.esperas = EsperasDaAmostra(b, view, amostra);
      linhasEsperas = amostra;
    }

    // The server's pace depends on how it makes commits durable (1, its
    // default: flushed at every commit).
    const long long durabilidade = app::Contar(*b.pdv, "select @@innodb_flush_log_at_trx_commit");

    // The same pass once more, its statements logged by the server, then
    // replayed straight through the wire client on the same data.
    const std::vector<Enviado> enviados = PassoGravado(b, view, clientes, produtos);
    b.Recomecar(clientes, produtos);
    const double cpuRepeticao = Repetir(enviados, o.host, o.port);
    const Cpu& cpu = m.cpu;
    const double cpuAgente = cpu.usuario + cpu.sistema;
    const double piso = static_cast<double>(m.esperas) * 2.0 * atraso / 1000.0;
    std::printf(
        "imported %lld of %lld rows; agent cpu user %.3f s, system %.3f s; empty pass %lld "
        "exchanges, %d rows %lld; server innodb_flush_log_at_trx_commit=%lld; delay %d ms each "
        "way to the back office, markings batched by %u; replay of %zu statements %.3f s cpu\n",
        chegaram, linhas, cpu.usuario, cpu.sistema, vazio, amostra, cheio, durabilidade, atraso,
        lote, enviados.size(), cpuRepeticao);
    std::printf("%s\n",
                bench::FormatFigures(
                    {{"rows", static_cast<double>(linhas)},
                     {"seconds", m.segundos},
                     {"rows_per_s", linhas / m.segundos},
                     {"agent_cpu_s", cpu.usuario + cpu.sistema},
                     {"roundtrips_per_row", porLinha},
                     {"peak_rss_mb", m.pico},
                     {"source_mb", bytes / 1048576.0},
                     {"waits_per_row_retaguarda", static_cast<double>(m.esperas) / linhasEsperas},
                     {"floor_s", piso},
                     {"ratio_floor", piso > 0 ? m.segundos / piso : 0},
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
