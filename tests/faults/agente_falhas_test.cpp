// The agent when the link or a server fails: servers of the tests' own
// killed, hung and restarted on the same port, the back-office link held or
// counted by the loopback proxy, both servers down at start, SIGTERM while a
// read waits, batched markings cut by a lost back office. After each case a
// fault-free pass is compared with what the faulty run left: every eligible
// row in the PDV exactly once with the same values, and a row marked in the
// back office if and only if it is in the PDV.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "agente_suporte.h"
#include "app/Catalogo.h"
#include "app/DemoDados.h"
#include "components/MySQLQuery.h"
#include "support/Proxy.h"
#include "support/ServerControl.h"

namespace agentetest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kClientes = 40;
constexpr int kProdutos = 40;

// What a pass leaves in the PDV: a checksum of each table's contents.
struct Conteudo {
  std::string clientes, produtos;
};

std::string Valor(components::TmySQLDatabase& banco, const std::string& sql, int coluna = 0) {
  components::TmySQLQuery q;
  q.SetDatabase(&banco);
  q.SQL().Add(sql);
  q.Open();
  std::string v = q.Eof() ? "<none>" : q.Fields()[coluna].AsString();
  q.Close();
  return v;
}

fs::path Programa() {
  return fs::read_symlink("/proc/self/exe").parent_path() / ".." / ".." / "app" / "tolvex-agent";
}

double Desde(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

class Falhas : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("MYSQL_TEST_DIR");
    if (!base || !*base) {
      GTEST_SKIP() << "no sandbox: MYSQL_TEST_DIR not set (start one with scripts/sandbox.sh)";
    }
    pastaServidores_ = fs::path(base) / "falhas";
    fs::create_directories(pastaServidores_);
    // The two servers are shared by every test of this suite: one at a time.
    bloqueio_ =
        ::open((pastaServidores_ / "falhas.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (bloqueio_ >= 0) ::flock(bloqueio_, LOCK_EX);
    retaguarda_ = std::make_unique<support::ServerControl>((pastaServidores_ / "retaguarda"));
    pdv_ = std::make_unique<support::ServerControl>((pastaServidores_ / "pdv"));
    ASSERT_TRUE(retaguarda_->Start()) << retaguarda_->Error();
    ASSERT_TRUE(pdv_->Start()) << pdv_->Error();
    proxy_ = std::make_unique<support::Proxy>("127.0.0.1", retaguarda_->Port());
    pasta_ = fs::temp_directory_path() /
             ("falhas_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(pasta_);
    fs::create_directories(pasta_);

    // The reference: the same rows through a pass without faults.
    Semear();
    {
      VisaoGravada view;
      app::Agente a(view, Opcoes(0));
      ASSERT_TRUE(a.FormCreate());
      a.btnIniciarClick();
    }
    referencia_ = Ler();
    ASSERT_EQ(app::Contar(*pdvBanco_, "select count(*) from cliente"), kClientes);
    Semear();
  }

  void TearDown() override {
    agente_.reset();
    retaguardaBanco_.reset();
    pdvBanco_.reset();
    proxy_.reset();
    retaguarda_.reset();
    pdv_.reset();
    if (!pasta_.empty()) fs::remove_all(pasta_);
    if (bloqueio_ >= 0) ::close(bloqueio_);
  }

  // Fresh tables with the same generated rows; the interval is 1 s.
  void Semear() {
    AbrirBancos();
    app::CriarTabelasRetaguarda(*retaguardaBanco_, "00:00:01");
    app::CriarTabelasPDV(*pdvBanco_);
    app::SemearVolume(*retaguardaBanco_, kClientes, kProdutos);
  }

  void AbrirBancos() {
    retaguardaBanco_ = app::ConexaoAdministrativa("127.0.0.1", retaguarda_->Port(),
                                                  support::SandboxAccounts::kBackOfficeDatabase);
    pdvBanco_ = app::ConexaoAdministrativa("127.0.0.1", pdv_->Port(),
                                           support::SandboxAccounts::kPdvDatabase);
  }

  // A customer that a fault sent through the update (inserted, marking
  // lost) keeps its complemento as the source has it, where the insert
  // writes it cleaned: the passes' own rule, so that column is left out.
  Conteudo Ler() {
    return {Valor(*pdvBanco_,
                  "select md5(group_concat(concat_ws('|',id,id_situacao_cliente,nome,fantasia,"
                  "email,cpf_cnpj,rg,orgao_rg,data_emissao_rg,sexo,inscricao_estadual,"
                  "inscricao_municipal,tipo_pessoa,data_cadastro,contato,logradouro,numero,cep,"
                  "bairro,cidade,uf,fone1,fone2,celular,codigo_ibge_cidade,codigo_ibge_uf) "
                  "order by id)) from cliente"),
            Valor(*pdvBanco_, "checksum table produto", 1)};
  }

  app::OpcoesAgente Opcoes(unsigned lote) {
    app::OpcoesAgente o;
    o.retaguarda = app::EnderecoServidor{"127.0.0.1", static_cast<std::uint32_t>(proxy_->Port())};
    o.pdv = app::EnderecoServidor{"127.0.0.1", static_cast<std::uint32_t>(pdv_->Port())};
    o.pastaLog = pasta_.string();
    o.marcarEmLote = lote;
    return o;
  }

  // The agent under test, with 2-second waits; `aoLinha` runs after each
  // row with its number in the pass (customers first, then products).
  app::Agente& Agente(unsigned lote = 0) {
    agente_ = std::make_unique<app::Agente>(view_, Opcoes(lote));
    for (auto* banco : {&agente_->Componentes().dbVidoru, &agente_->Componentes().dbPDV}) {
      banco->Params().SetValues("TIMEOUT", "2");
    }
    view_.aoProcessar = [this] {
      ++linha_;
      if (aoLinha) aoLinha(linha_);
    };
    return *agente_;
  }

  // Both servers back (same ports), then one more tick: the invariants.
  void VoltarEVerificar() {
    ASSERT_TRUE(retaguarda_->Start()) << retaguarda_->Error();
    ASSERT_TRUE(pdv_->Start()) << pdv_->Error();
    proxy_->Hold(false);
    aoLinha = nullptr;
    agente_->Timer1Timer();
    Verificar();
  }

  void Verificar() {
    AbrirBancos();
    const Conteudo agora = Ler();
    EXPECT_EQ(agora.clientes, referencia_.clientes);
    EXPECT_EQ(agora.produtos, referencia_.produtos);
    EXPECT_EQ(Valor(*pdvBanco_, "select count(*) from cliente"), std::to_string(kClientes));
    EXPECT_EQ(Valor(*pdvBanco_, "select count(*) from produto"), std::to_string(kProdutos));
    // Marked if and only if in the PDV.
    EXPECT_EQ(Valor(*retaguardaBanco_,
                    "select group_concat(codcli order by codcli) from cadcliente where "
                    "importado='S'"),
              Valor(*pdvBanco_, "select group_concat(id order by id) from cliente"));
    EXPECT_EQ(Valor(*retaguardaBanco_,
                    "select group_concat(codprod order by codprod) from cadprod where "
                    "importadopdv='S'"),
              Valor(*pdvBanco_, "select group_concat(ID order by ID) from produto"));
  }

  // Entries of the daily log (the agent uses the real clock here). An entry
  // starts with "**"; a server's message may go on over further lines.
  std::vector<std::string> EntradasDoLog() {
    std::vector<std::string> entradas;
    if (!fs::exists(pasta_ / "logImportacao")) return entradas;
    for (const auto& arquivo : fs::directory_iterator(pasta_ / "logImportacao")) {
      std::ifstream f(arquivo.path(), std::ios::binary);
      std::string linha;
      while (std::getline(f, linha)) {
        if (linha.rfind("**", 0) == 0 || entradas.empty()) {
          entradas.push_back(linha);
        } else {
          entradas.back() += "\n" + linha;
        }
      }
    }
    return entradas;
  }

  bool NoPainel(const std::vector<std::string>& painel, const std::string& inicio) {
    for (const auto& l : painel)
      if (l.rfind(inicio, 0) == 0) return true;
    return false;
  }

  fs::path pastaServidores_;
  fs::path pasta_;
  int bloqueio_ = -1;
  std::unique_ptr<support::ServerControl> retaguarda_, pdv_;
  std::unique_ptr<support::Proxy> proxy_;
  std::unique_ptr<components::TmySQLDatabase> retaguardaBanco_, pdvBanco_;
  Conteudo referencia_;
  VisaoGravada view_;
  std::unique_ptr<app::Agente> agente_;
  int linha_ = 0;
  std::function<void(int)> aoLinha;
};

const std::string kInterrompida = "** IMPORTA\xC7\xC3O INTERROMPIDA: ";

TEST_F(Falhas, BackOfficeKilledInTheFirstPassComesBackOnItsPortAndTheRestIsImported) {
  app::Agente& a = Agente();
  ASSERT_TRUE(a.FormCreate());
  const int porta = retaguarda_->Port();
  aoLinha = [&](int n) {
    if (n == 10) retaguarda_->Kill();
  };
  a.btnIniciarClick();
  EXPECT_TRUE(a.Iniciado());
  // Row 11 is written to the PDV and its marking fails: the pass stops
  // there with one entry for the row and one saying it stopped.
  EXPECT_EQ(linha_, 10);
  const std::vector<std::string> log = EntradasDoLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[1].find("IMPORTA\xC7\xC3O DE CLIENTES INTERROMPIDA: Erro do sistema: " +
                        app::TextoServidorPerdido(kClientes - 10)),
            std::string::npos)
      << log[1];
  EXPECT_TRUE(NoPainel(view_.Clientes(), kInterrompida + app::TextoServidorPerdido(30)));
  EXPECT_TRUE(NoPainel(view_.Clientes(), "*** Importados: 10 - Atualizados: 0"));
  EXPECT_TRUE(view_.Produtos().size() < 4u) << "no product pass after a lost server";
  // Ticks while it is down try and wait, quietly.
  a.Timer1Timer();
  ASSERT_TRUE(retaguarda_->Start());
  EXPECT_EQ(retaguarda_->Port(), porta);
  VoltarEVerificar();
}

TEST_F(Falhas, PdvKilledMidPassWritesAFewLinesThenRecovers) {
  app::Agente& a = Agente();
  ASSERT_TRUE(a.FormCreate());
  aoLinha = [&](int n) {
    if (n == 10) pdv_->Kill();
  };
  a.btnIniciarClick();
  EXPECT_EQ(EntradasDoLog().size(), 2u);
  a.Timer1Timer();  // still down: one more row tried, two more entries
  EXPECT_LE(EntradasDoLog().size(), 4u);
  VoltarEVerificar();
}

TEST_F(Falhas, HeldLinkEndsTheStatementInBoundedTimeAndTheNextPassRecovers) {
  app::Agente& a = Agente();
  ASSERT_TRUE(a.FormCreate());
  aoLinha = [&](int n) {
    if (n == 10) proxy_->Hold(true);
  };
  const auto inicio = Clock::now();
  a.btnIniciarClick();
  // One statement's wait and one reconnect's, each bounded by TIMEOUT=2.
  EXPECT_LT(Desde(inicio), 15.0);
  EXPECT_TRUE(NoPainel(view_.Clientes(), kInterrompida));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  VoltarEVerificar();
}

TEST_F(Falhas, BothServersDownAtStartThenUp) {
  retaguarda_->Kill();
  pdv_->Kill();
  app::Agente& a = Agente();
  EXPECT_FALSE(a.FormCreate());
  EXPECT_EQ(a.IntervaloTimer(), 60000u);
  a.btnIniciarClick();
  EXPECT_FALSE(a.Iniciado());
  EXPECT_TRUE(a.InicioPendente());
  const std::size_t linhas = view_.Clientes().size();
  a.Timer1Timer();
  EXPECT_EQ(view_.Clientes().size(), linhas) << "a retry while down writes nothing";
  ASSERT_TRUE(retaguarda_->Start());
  ASSERT_TRUE(pdv_->Start());
  a.Timer1Timer();
  EXPECT_TRUE(a.Iniciado());
  EXPECT_EQ(a.IntervaloTimer(), 1000u) << "the settings table is read once it answers";
  EXPECT_TRUE(NoPainel(view_.Clientes(), "** INICIADO COM SUCESSO "));
  Verificar();
}

TEST_F(Falhas, BatchedMarkingsWithTheBackOfficeKilledMidBatch) {
  app::Agente& a = Agente(5);
  ASSERT_TRUE(a.FormCreate());
  aoLinha = [&](int n) {
    if (n == 13) retaguarda_->Kill();
  };
  a.btnIniciarClick();
  // Rows 11 to 15 were written; the batch and then its first row alone
  // failed: one entry for that row, one for the stop, 30 rows waiting.
  const std::vector<std::string> log = EntradasDoLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[1].find(app::TextoServidorPerdido(30)), std::string::npos) << log[1];
  EXPECT_TRUE(NoPainel(view_.Clientes(), "*** Importados: 10 - Atualizados: 0"));
  VoltarEVerificar();
}

TEST_F(Falhas, OneBackOfficeWaitPerRowAndOnePerBatch) {
  // Exchanges of a pass beyond those of a pass without rows.
  auto trocas = [&](unsigned lote) {
    // The exchanges of one pass of a new agent.
    auto passagem = [&] {
      app::Agente& a = Agente(lote);
      EXPECT_TRUE(a.FormCreate());
      const long long antes = proxy_->Exchanges();
      a.ExecutarImportacao();
      return proxy_->Exchanges() - antes;
    };
    Semear();
    retaguardaBanco_->Execute("update cadcliente set importado='S'");
    retaguardaBanco_->Execute("update cadprod set importadopdv='S'");
    const long long vazio = passagem();
    Semear();
    const long long cheio = passagem();
    Verificar();
    return cheio - vazio;
  };
  EXPECT_EQ(trocas(0), kClientes + kProdutos);
  EXPECT_EQ(trocas(10), (kClientes + kProdutos) / 10);
}

// --- the program itself --------------------------------------------------

class FalhasPrograma : public Falhas {
 protected:
  void SetUp() override {
    Falhas::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!fs::exists(Programa())) GTEST_SKIP() << "tolvex-agent is not built";
  }

  pid_t Iniciar(const std::vector<std::string>& extra) {
    const fs::path saida = pasta_ / "saida.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int fd = ::open(saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::vector<std::string> args{Programa().string(), "--headless", "--pasta-log",
                                    pasta_.string()};
      args.insert(args.end(), extra.begin(), extra.end());
      std::vector<char*> argv;
      for (auto& s : args) argv.push_back(s.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return pid;
  }

  std::string Saida() {
    std::ifstream f(pasta_ / "saida.txt", std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

  // The exit status, or -1 when it has not ended within the time.
  int Esperar(pid_t pid, double segundos) {
    const auto inicio = Clock::now();
    for (;;) {
      int st = 0;
      if (::waitpid(pid, &st, WNOHANG) == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : 128;
      if (Desde(inicio) > segundos) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  void Matar(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }

  std::vector<std::string> Servidores(int portaRetaguarda) {
    return {"--retaguarda", "127.0.0.1:" + std::to_string(portaRetaguarda), "--pdv",
            "127.0.0.1:" + std::to_string(pdv_->Port())};
  }
};

TEST_F(FalhasPrograma, SigtermEndsAHeldReadAndAHungServerWithinTwoSeconds) {
  for (bool servidorParado : {false, true}) {
    SCOPED_TRACE(servidorParado ? "server stopped" : "link held");
    Semear();
    // Slow enough that the pass is still running when the fault comes.
    proxy_->SetDelay(20, 20);
    const pid_t pid = Iniciar(Servidores(proxy_->Port()));
    bool emCurso = false;
    for (int i = 0; i < 400 && !emCurso; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      emCurso = Saida().find("CLIENTE 1003 ") != std::string::npos;
    }
    ASSERT_TRUE(emCurso) << Saida();
    if (servidorParado) {
      retaguarda_->Pause();
    } else {
      proxy_->Hold(true);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto sinal = Clock::now();
    ::kill(pid, SIGTERM);
    const int status = Esperar(pid, 10);
    const double levou = Desde(sinal);
    if (status == -1) Matar(pid);
    EXPECT_EQ(status, 0) << Saida();
    EXPECT_LT(levou, 2.0);
    retaguarda_->Resume();
    proxy_->Hold(false);
    proxy_->SetDelay(0, 0);
    Agente();
    ASSERT_TRUE(agente_->FormCreate());
    agente_->btnIniciarClick();
    Verificar();
  }
}

TEST_F(FalhasPrograma, HeadlessWithoutOnceKeepsTryingUntilTheServersAnswer) {
  retaguarda_->Kill();
  pdv_->Kill();
  const pid_t pid = Iniciar(Servidores(proxy_->Port()));
  EXPECT_EQ(Esperar(pid, 1.5), -1) << "a failed creation must not end the run\n" << Saida();
  ::kill(pid, SIGTERM);
  const int status = Esperar(pid, 5);
  if (status == -1) Matar(pid);
  EXPECT_EQ(status, 0) << Saida();
}

}  // namespace
}  // namespace agentetest
