// A whole import pass with the back office on verificar-host through TLS,
// and a back office whose certificate the agent refuses.
#include <gtest/gtest.h>

#include "agente_suporte.h"
#include "support/FakeTlsServer.h"

namespace agentetest {
namespace {

class AgenteTlsTest : public AgenteServidor {
 protected:
  void SetUp() override {
    AgenteServidor::SetUp();
    if (IsSkipped()) return;
    tls_ = support::TlsDirectory();
    if (tls_.empty()) GTEST_SKIP() << "MYSQL_TEST_TLS_DIR not set";
  }
  std::string tls_;
};

TEST_F(AgenteTlsTest, FullPassOverAVerifiedLink) {
  for (long long codcli = 1; codcli <= 30; ++codcli)
    Cliente(codcli, "cliente", "'CLIENTE " + std::to_string(codcli) + "'");
  Produto(7, "descricao,ean13", "'SHAMPOO','789'");
  app::Agente& a = CriarAgente();
  app::ConfiguracaoConexao c;
  c.tls = wire::TlsMode::VerifyHost;
  c.tlsCa = tls_ + "/ca.pem";
  app::ComponentesAgente::AplicarConfiguracao(a.Componentes().dbVidoru, c);
  ASSERT_TRUE(a.FormCreate());
  a.btnIniciarClick();
  EXPECT_TRUE(view_.caixas.empty()) << view_.caixas[0].texto;

  const wire::TMysqlClient& link = a.Componentes().dbVidoru.Handle()->Client();
  EXPECT_EQ(link.NetForTesting().Kind(), wire::kVioTls);
  EXPECT_TRUE(link.NetForTesting().Compress());
  EXPECT_EQ(a.Componentes().dbPDV.Handle()->Client().NetForTesting().Kind(), wire::kVioTcp);
  // Every row in the PDV once, every one of them marked.
  EXPECT_EQ(ContarPdv("select count(*) from cliente"), 30);
  EXPECT_EQ(ContarPdv("select count(distinct id) from cliente"), 30);
  EXPECT_EQ(ValorPdv("select nome from cliente where id=17"), "CLIENTE 17");
  EXPECT_EQ(ContarPdv("select count(*) from produto"), 1);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='S'"), 30);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadprod where importadopdv='S'"), 1);
}

TEST_F(AgenteTlsTest, RefusedCertificateIsAConnectFailureAndNoLoginLeaves) {
  support::FakeTlsServer wrong(tls_ + "/wrong.pem", tls_ + "/wrong-key.pem");
  app::Agente& a = CriarAgente();
  app::ConfiguracaoConexao c;
  c.host = wrong.Host();
  c.porta = static_cast<std::uint32_t>(wrong.Port());
  c.tls = wire::TlsMode::VerifyHost;
  c.tlsCa = tls_ + "/ca.pem";
  app::ComponentesAgente::AplicarConfiguracao(a.Componentes().dbVidoru, c);
  EXPECT_FALSE(a.FormCreate());
  ASSERT_FALSE(view_.caixas.empty());
  EXPECT_NE(view_.caixas[0].texto.find("(2026)"), std::string::npos) << view_.caixas[0].texto;
  EXPECT_NE(view_.caixas[0].texto.find("SSL connection error: certificate verify failed"),
            std::string::npos)
      << view_.caixas[0].texto;
  EXPECT_EQ(wrong.Handshakes(), 0);
  EXPECT_EQ(wrong.Logins(), 0);
}

}  // namespace
}  // namespace agentetest
