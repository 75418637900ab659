#include "agente_suporte.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "components/MySQLQuery.h"
#include "rtl/DateTime.h"
#include "support/Files.h"

namespace agentetest {

app::TDateTime MomentoFixo() {
  return rtl::EncodeDate(2026, 12, 9) + rtl::EncodeTime(10, 20, 30, 0);
}

std::string ArquivoBloqueioBancos() {
  const char* pasta = std::getenv("MYSQL_TEST_DIR");
  return std::string(pasta && *pasta ? pasta : "/tmp") + "/agent-databases.lock";
}

int TravarBancos(const std::string& caminho) {
  const auto falha = [&caminho] {
    return std::runtime_error("trava dos bancos de teste " + caminho + ": " + std::strerror(errno));
  };
  const int f = ::open(caminho.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (f < 0) throw falha();
  int r;
  while ((r = ::flock(f, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (r != 0) {
    const auto erro = falha();
    ::close(f);
    throw erro;
  }
  return f;
}

void AgenteServidor::SetUp() {
  SandboxTest::SetUp();
  if (IsSkipped()) return;
  bloqueio_ = TravarBancos(ArquivoBloqueioBancos());
  retaguarda_ = app::ConexaoAdministrativa(Host(), Port(), kBackOfficeDatabase);
  pdv_ = app::ConexaoAdministrativa(Host(), Port(), kPdvDatabase);
  app::CriarTabelasRetaguarda(*retaguarda_);
  app::CriarTabelasPDV(*pdv_);
  pasta_ = std::filesystem::temp_directory_path() /
           ("agente_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(pasta_);
  std::filesystem::create_directories(pasta_);
}

void AgenteServidor::TearDown() {
  agente_.reset();
  retaguarda_.reset();
  pdv_.reset();
  if (!pasta_.empty()) std::filesystem::remove_all(pasta_);
  if (bloqueio_ >= 0) ::close(bloqueio_);
}

std::string PrimeiroValor(components::TmySQLDatabase& banco, const std::string& sql) {
  components::TmySQLQuery q;
  q.SetDatabase(&banco);
  q.SQL().Add(sql);
  q.Open();
  std::string v = q.Eof() ? "<none>" : q.Fields()[0].AsString();
  q.Close();
  return v;
}

app::AmbienteAgente AmbienteDeTeste() {
  app::AmbienteAgente a;
  a.relogio = [] { return MomentoFixo(); };
  a.plataforma.temConexaoInternet = [] { return false; };
  a.plataforma.abrirCalculadora = [] { return true; };
  return a;
}

app::OpcoesAgente OpcoesDeTeste(const std::filesystem::path& pasta) {
  app::OpcoesAgente o;
  o.pastaLog = pasta.string();
  o.pastaSuporte = (pasta / "suporte").string();
  return o;
}

app::Agente& AgenteServidor::CriarAgente(const std::string& pdvHost) {
  app::OpcoesAgente o = OpcoesDeTeste(pasta_);
  o.retaguarda = app::EnderecoServidor{Host(), static_cast<std::uint32_t>(Port())};
  o.pdv =
      app::EnderecoServidor{pdvHost.empty() ? Host() : pdvHost, static_cast<std::uint32_t>(Port())};
  o.marcarEmLote = marcarEmLote_;
  agente_ = std::make_unique<app::Agente>(view_, o, AmbienteDeTeste());
  return *agente_;
}

app::Agente& AgenteServidor::AgenteAberto(const std::string& pdvHost) {
  app::Agente& a = CriarAgente(pdvHost);
  EXPECT_TRUE(a.FormCreate());
  return a;
}

std::string AgenteServidor::ValorPdv(const std::string& sql) {
  return PrimeiroValor(*pdv_, sql);
}

void AgenteServidor::Cliente(long long codcli, const std::string& colunas,
                             const std::string& valores) {
  Retaguarda("insert into cadcliente(codcli" + (colunas.empty() ? "" : "," + colunas) +
             ") values (" + std::to_string(codcli) + (valores.empty() ? "" : "," + valores) + ")");
}

void AgenteServidor::Produto(long long codprod, const std::string& colunas,
                             const std::string& valores) {
  Retaguarda("insert into cadprod(codprod" + (colunas.empty() ? "" : "," + colunas) + ") values (" +
             std::to_string(codprod) + (valores.empty() ? "" : "," + valores) + ")");
}

std::string AgenteServidor::LogDoDia() const {
  return support::ReadFile(pasta_ / "logImportacao" / "09122026.txt");
}

}  // namespace agentetest
