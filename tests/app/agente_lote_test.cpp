// Batched markings: rows marked a batch at a time with their pane lines
// after the marking and in order, a batch the back office refuses marked
// again row by row, and the option that asks for it.
#include "agente_suporte.h"
#include "app/ArquivoConfiguracao.h"
#include "app/Catalogo.h"
#include "app/Opcoes.h"

namespace agentetest {
namespace {

class LoteTest : public AgenteServidor {};

TEST_F(LoteTest, ARowTheBackOfficeRefusesHoldsNoOtherBack) {
  for (int codcli = 1; codcli <= 7; ++codcli)
    Cliente(codcli, "cliente", "'C" + std::to_string(codcli) + "'");
  Produto(1, "descricao", "'P1'");
  Produto(2, "descricao", "'P2'");
  // The back office will not mark customer 4 (a trigger, as a shop's own
  // rules might have).
  Retaguarda(
      "create trigger recusa4 before update on cadcliente for each row "
      "if new.codcli = 4 and new.importado = 'S' then "
      "signal sqlstate '45000' set message_text = 'recusado'; end if");
  marcarEmLote_ = 3;
  AgenteAberto().btnIniciarClick();

  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='S'"), 6);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where codcli=4 and importado='N'"),
            1);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadprod where importadopdv='S'"), 2);
  EXPECT_EQ(ContarPdv("select count(*) from cliente"), 7);
  // Success lines follow their markings, in the order of the rows.
  std::vector<std::string> sucesso;
  for (const auto& l : view_.Clientes())
    if (l.rfind(">> CLIENTE", 0) == 0) sucesso.push_back(l);
  std::vector<std::string> esperado;
  for (int codcli : {1, 2, 3, 5, 6, 7}) {
    esperado.push_back(
        app::LinhaClienteInserido(std::to_string(codcli), "C" + std::to_string(codcli)));
  }
  EXPECT_EQ(sucesso, esperado);
  EXPECT_NE(
      std::find(view_.Clientes().begin(), view_.Clientes().end(), app::LinhaResumoClientes(6, 0)),
      view_.Clientes().end());
  EXPECT_NE(std::find(view_.Produtos().begin(), view_.Produtos().end(),
                      app::LinhaResumoProdutos(2, 0, 0)),
            view_.Produtos().end());
  const std::string log = LogDoDia();
  EXPECT_NE(log.find(app::ContextoInserirCliente("4", "C4") + " Erro do sistema: "),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("ERRO", log.find("ERRO") + 1), std::string::npos) << "one entry only";

  // The next pass finds customer 4 in the PDV and updates it; still refused.
  view_.Clientes().clear();
  agente_->Timer1Timer();
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N'"), 1);
}

TEST(LoteOpcao, BatchSizeOnTheCommandLineOverTheConfigurationFile) {
  EXPECT_FALSE(app::LerOpcoes(std::vector<std::string>{}).marcarEmLote.has_value());
  EXPECT_EQ(app::LerOpcoes({"--marcar-em-lote", "100"}).marcarEmLote.value_or(7), 100u);
  EXPECT_EQ(app::LerOpcoes({"--marcar-em-lote", "0"}).marcarEmLote.value_or(7), 0u);
  for (const char* ruim : {"", "-1", "1001", "10x"}) {
    EXPECT_THROW(app::LerOpcoes({"--marcar-em-lote", ruim}), app::ErroOpcoes) << ruim;
  }
  EXPECT_THROW(app::LerOpcoes({"--marcar-em-lote"}), app::ErroOpcoes);

  app::ConfiguracaoAgente c;
  app::LerTextoConfiguracao("[importacao]\nmarcar_em_lote = 50\n", "agente.conf", c);
  EXPECT_EQ(c.marcarEmLote.value_or(7), 50u);
  for (const char* ruim : {"1001", "-1", "", "lote"}) {
    app::ConfiguracaoAgente d;
    EXPECT_THROW(app::LerTextoConfiguracao(
                     std::string("[importacao]\nmarcar_em_lote=") + ruim + "\n", "agente.conf", d),
                 app::ErroConfiguracao)
        << ruim;
  }
  EXPECT_NE(app::TextoUso("tolvex-agent").find("marcar_em_lote"), std::string::npos);

  VisaoGravada view;
  app::OpcoesAgente opcoes;
  opcoes.configuracao = c;
  EXPECT_EQ(app::Agente(view, opcoes).MarcarEmLote(), 50u);
  opcoes.marcarEmLote = 0;
  EXPECT_EQ(app::Agente(view, opcoes).MarcarEmLote(), 0u);
  EXPECT_EQ(app::Agente(view, app::OpcoesAgente{}).MarcarEmLote(), 0u);
}

}  // namespace
}  // namespace agentetest
