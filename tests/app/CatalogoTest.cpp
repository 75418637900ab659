#include "app/Catalogo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VisaoGravada.h"
#include "app/DataHora.h"
#include "app/RegistroAtividade.h"

namespace {

using namespace app;

const std::string kCarimbo = "08:05:09 - 03/02/2026";

TEST(Catalogue, PaneLinesAreTheOperatorsTextsByteForByte) {
  struct Caso {
    std::string obtido, esperado;
  };
  const std::vector<Caso> casos = {
      {LinhaIniciando(), "INICIANDO Tolvex Integra\xE7\xE3o"},
      {LinhaErroConexaoRetaguarda(), "Erro ao conectar ao banco de dados retaguarda"},
      {LinhaErroConexaoPDV(), "Erro ao conectar ao banco de dados do PDV"},
      {LinhaIniciadoComSucesso(kCarimbo), "** INICIADO COM SUCESSO 08:05:09 - 03/02/2026"},
      {LinhaClientesIniciada(kCarimbo),
       "Importa\xE7\xE3o de Clientes INICIADA em 08:05:09 - 03/02/2026"},
      {LinhaNenhumCliente(), ">> Nenhum cliente a ser importado!"},
      {LinhaClientesFinalizada(kCarimbo),
       "Importa\xE7\xE3o de Clientes FINALIZADA em 08:05:09 - 03/02/2026"},
      {LinhaClientesASeremImportados(12), ">> 12 clientes a serem importados"},
      {LinhaClienteInserido("15", "MARIA SILVA"),
       ">> CLIENTE 15 - MARIA SILVA *INSERIDO COM SUCESSO"},
      {LinhaClienteAtualizado("15", "MARIA SILVA"),
       ">> CLIENTE 15 - MARIA SILVA **ATUALIZADO COM SUCESSO"},
      {LinhaImportacaoConcluida(kCarimbo),
       "** IMPORTA\xC7\xC3O CONCLU\xCD"
       "DA COM SUCESSO 08:05:09 - 03/02/2026"},
      {LinhaResumoClientes(0, 0), "*** Importados: 0 - Atualizados: 0"},
      {LinhaResumoClientes(1234, 5), "*** Importados: 1234 - Atualizados: 5"},
      {LinhaProdutosIniciando(kCarimbo),
       "Iniciando importa\xE7\xE3o de PRODUTOS em 08:05:09 - 03/02/2026"},
      {LinhaNenhumProduto(), "** Nenhum produto para ser importado!"},
      {LinhaProdutosFinalizando(kCarimbo),
       "FINALIZANDO importa\xE7\xE3o de PRODUTOS em 08:05:09 - 03/02/2026"},
      {LinhaProdutosASeremImportados(3), "3 a serem importados!"},
      {LinhaProdutoInserido("7", "SHAMPOO 300ML"), "Produto INSERIDO: 7 - SHAMPOO 300ML"},
      {LinhaProdutoAtualizado("7", "SHAMPOO 300ML"), "Produto ATUALIAZADO: 7 - SHAMPOO 300ML"},
      {LinhaResumoProdutos(1, 0, 1),
       "*** Importados: 1 - Atualizados: 0 - Exclu\xED"
       "do:0 - Erros: 1"},
  };
  for (const Caso& c : casos) EXPECT_EQ(c.obtido, c.esperado);
}

TEST(Catalogue, BalloonTextsAndLogContexts) {
  EXPECT_EQ(TituloBalaoClientes(), "Importa\xE7\xE3o de Clientes");
  EXPECT_EQ(TextoBalaoClientesInicio(), "Iniciando...");
  EXPECT_EQ(TituloBalaoProdutos(), "Importa\xE7\xE3o de Produtos");
  EXPECT_EQ(TextoBalaoProdutosInicio(), "Iniciando");
  EXPECT_EQ(TextoBalaoProgresso(66),
            "66% Conclu\xED"
            "do");
  EXPECT_EQ(TextoBalaoClientesFinal(2, 1),
            "Importa\xE7\xE3o conclu\xED"
            "da: Importados: 2 - Atualizados: 1");
  // Two blanks after the first colon in the product text.
  EXPECT_EQ(TextoBalaoProdutosFinal(2, 1),
            "Importa\xE7\xE3o Conclu\xED"
            "da:  Importados: 2 - Atualizados: 1 - Exclu\xED"
            "do:0");

  EXPECT_EQ(ContextoInserirCliente("15", "MARIA"), "ERRO AO INSERIR CLIENTE: 15 - MARIA");
  EXPECT_EQ(ContextoAtualizarCliente("15", "MARIA"), "ERRO AO ATUALIZAR CLIENTE: 15 - MARIA");
  EXPECT_EQ(ContextoInserirProduto("7", "SHAMPOO"), ">ERRO AO INSERIR O PRODUTO: 7 - SHAMPOO");
  EXPECT_EQ(ContextoAtualizarProduto("7", "SHAMPOO"), "ERRO AO ATUALIZAR O PRODUTO: 7 - SHAMPOO");
  EXPECT_EQ(EntradaLogErro(kCarimbo, "CTX", "MSG"),
            "**08:05:09 - 03/02/2026 - CTX Erro do sistema: MSG");
}

TEST(Catalogue, MessageBoxTexts) {
  EXPECT_EQ(TituloPergunta(), "Pergunta");
  EXPECT_EQ(TextoConfirmarEncerramento(), "Tem certeza que deseja encerrar a aplica\xE7\xE3o?");
  EXPECT_EQ(TituloAtencao(), "Aten\xE7\xE3o");
  EXPECT_EQ(TextoPerguntaBaixarSuporte(), "Deseja baixar o programa Ammy Admin?");
  EXPECT_EQ(TextoSuporteBaixado("c:\\bkp\\ATUALIZACAO\\"),
            "Vers\xE3o baixada com sucesso.\r\rNa pasta:\rc:\\bkp\\ATUALIZACAO\\");
  EXPECT_EQ(TextoSemInternet(), "N\xE3o h\xE1 conectividade com a internet");
}

TEST(TimeStamp, HasTwoDigitFieldsAndAFourDigitYear) {
  EXPECT_EQ(CarimboTempo(rtl::EncodeDateTime(2026, 2, 3, 8, 5, 9, 0)), "08:05:09 - 03/02/2026");
  EXPECT_EQ(CarimboTempo(rtl::EncodeDateTime(2026, 12, 31, 23, 59, 59, 0)),
            "23:59:59 - 31/12/2026");
  EXPECT_EQ(CarimboTempo(rtl::EncodeDateTime(987, 1, 1, 0, 0, 0, 0)), "00:00:00 - 01/01/0987");
  // 999.6 ms rounds up into the next second, and here into the next day.
  EXPECT_EQ(CarimboTempo(rtl::EncodeDateTime(2026, 12, 31, 23, 59, 59, 999) + 0.6 / 86400000.0),
            "00:00:00 - 01/01/2027");
  EXPECT_EQ(DataNomeArquivo(rtl::EncodeDateTime(2026, 2, 3, 23, 0, 0, 0)), "03022026");
  EXPECT_EQ(CarimboTempo(-1.25), "06:00:00 - 29/12/1899");
}

TEST(GaugeModel, PercentageTruncatesAndProgressIsClamped) {
  Gauge g;
  g.DefinirMaximo(3);
  struct Caso {
    int progresso, guardado, percentual;
  };
  for (Caso c :
       std::vector<Caso>{{0, 0, 0}, {1, 1, 33}, {2, 2, 66}, {3, 3, 100}, {4, 3, 100}, {-2, 0, 0}}) {
    g.DefinirProgresso(c.progresso);
    EXPECT_EQ(g.Progresso(), c.guardado) << c.progresso;
    EXPECT_EQ(g.Percentual(), c.percentual) << c.progresso;
  }
  g.DefinirMaximo(0);
  g.DefinirProgresso(5);
  EXPECT_EQ(g.Progresso(), 0);
  EXPECT_EQ(g.Percentual(), 0);
  g.DefinirMaximo(1);
  g.DefinirProgresso(1);
  EXPECT_EQ(g.Percentual(), 100);
  // Large row counts must not overflow the percentage.
  g.DefinirMaximo(2000000000);
  g.DefinirProgresso(1999999999);
  EXPECT_EQ(g.Percentual(), 99);
  g.DefinirMaximo(10);  // progress follows a shrinking maximum
  EXPECT_EQ(g.Progresso(), 10);
}

TEST(ActivityLog, GaugeChangesReachTheView) {
  apptest::VisaoGravada visao;
  RegistroAtividade registro(visao, [] { return rtl::EncodeDateTime(2026, 2, 3, 8, 5, 9, 0); });
  registro.DefinirMaximoGauge(4);
  registro.DefinirProgressoGauge(0);
  registro.DefinirProgressoGauge(3);
  EXPECT_EQ(visao.maximo, 4);
  EXPECT_EQ(visao.progresso, 3);
  EXPECT_EQ(visao.percentual, 75);
  EXPECT_EQ(registro.Carimbo(), kCarimbo);

  registro.Linha(Painel::Clientes, "");
  registro.Linha(Painel::Clientes, "x");
  registro.Linha(Painel::Produtos, "y");
  EXPECT_EQ(visao.paineis[Painel::Clientes], (std::vector<std::string>{"", "x"}));
  registro.LimparPaineis();
  EXPECT_TRUE(visao.paineis[Painel::Clientes].empty());
  EXPECT_TRUE(visao.paineis[Painel::Produtos].empty());
}

TEST(Balloon, ShowsAgainOnlyWhileOnScreen) {
  apptest::VisaoGravada visao;
  RegistroAtividade registro(visao, {});
  Balao& balao = registro.ObterBalao();

  // Nothing set yet: hiding the window shows no balloon.
  balao.Mostrar();
  EXPECT_TRUE(visao.baloes.empty());

  balao.DefinirTitulo(TituloBalaoClientes());
  balao.DefinirTexto(TextoBalaoClientesInicio());
  EXPECT_TRUE(visao.baloes.empty());  // not on screen: only stored
  balao.Mostrar();
  balao.DefinirTexto(TextoBalaoProgresso(50));
  ASSERT_EQ(visao.baloes.size(), 2u);
  EXPECT_EQ(visao.baloes[1].first, TituloBalaoClientes());
  EXPECT_EQ(visao.baloes[1].second, TextoBalaoProgresso(50));

  visao.balaoNaTela = false;  // timed out
  balao.DefinirTexto(TextoBalaoProgresso(100));
  EXPECT_EQ(visao.baloes.size(), 2u);
  EXPECT_EQ(balao.Texto(), TextoBalaoProgresso(100));
  balao.Mostrar();
  ASSERT_EQ(visao.baloes.size(), 3u);
  EXPECT_EQ(visao.baloes[2].second, TextoBalaoProgresso(100));
}

}  // namespace
