// The configuration keys of caching_sha2_password without TLS: the server's
// public key file and the permission to ask the server for it reach the
// connection's parameters; asking stays off unless the file says "sim".
#include <gtest/gtest.h>

#include "agente_suporte.h"
#include "app/Agente.h"
#include "app/ArquivoConfiguracao.h"

namespace {

app::ConfiguracaoAgente Ler(const std::string& texto) {
  app::ConfiguracaoAgente c;
  app::LerTextoConfiguracao(texto, "agente.conf", c);
  return c;
}

TEST(ConfiguracaoChavePublica, KeysReachTheConnectionParameters) {
  agentetest::VisaoGravada view;
  app::OpcoesAgente opcoes;
  opcoes.configuracao =
      Ler("[retaguarda]\nchave_publica=/etc/tolvex/retaguarda.pem\n"
          "[pdv]\nobter_chave_publica=sim\n");
  app::Agente agente(view, opcoes);
  auto& rt = agente.Componentes().dbVidoru.Params();
  auto& pdv = agente.Componentes().dbPDV.Params();
  EXPECT_EQ(rt.Values("ServerPublicKey"), "/etc/tolvex/retaguarda.pem");
  EXPECT_EQ(rt.Values("GetServerPublicKey"), "");
  EXPECT_EQ(pdv.Values("ServerPublicKey"), "");
  EXPECT_EQ(pdv.Values("GetServerPublicKey"), "1");

  EXPECT_EQ(Ler("[pdv]\nobter_chave_publica=n\xC3\xA3o\n").pdv.obterChavePublica, false);
  EXPECT_EQ(Ler("[pdv]\nobter_chave_publica=nao\n").pdv.obterChavePublica, false);
  EXPECT_FALSE(Ler("[pdv]\nhost=x\n").pdv.obterChavePublica);
}

TEST(ConfiguracaoChavePublica, BadValuesAreRefused) {
  for (const char* texto : {"[pdv]\nobter_chave_publica=talvez\n", "[pdv]\nobter_chave_publica=\n",
                            "[retaguarda]\nchave_publica=\n"}) {
    app::ConfiguracaoAgente c;
    EXPECT_THROW(app::LerTextoConfiguracao(texto, "agente.conf", c), app::ErroConfiguracao)
        << texto;
  }
}

}  // namespace
