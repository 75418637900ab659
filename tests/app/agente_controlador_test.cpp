// The controller without a server: creation that fails, the start that is
// refused, the button states, hiding and restoring, the exit question, the
// key table; and the command line and console text conversion.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "agente_suporte.h"
#include "app/ConsoleView.h"
#include "app/JanelaModelo.h"
#include "app/Opcoes.h"

namespace agentetest {
namespace {

using Linhas = std::vector<std::string>;

class ControladorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app::OpcoesAgente o;
    // Nothing listens on port 1 of the loopback address.
    o.retaguarda = app::EnderecoServidor{"127.0.0.1", 1};
    o.pdv = app::EnderecoServidor{"127.0.0.1", 1};
    o.pastaLog = ::testing::TempDir();
    app::AmbienteAgente a;
    a.relogio = [] { return MomentoFixo(); };
    a.plataforma.abrirCalculadora = [this] { return ++calculadoras_, true; };
    a.plataforma.temConexaoInternet = [] { return false; };
    agente_ = std::make_unique<app::Agente>(view_, o, std::move(a));
    view_.paineis[app::Painel::Clientes] = {"memoClientes"};
    view_.paineis[app::Painel::Produtos] = {"memoClientes"};
  }

  VisaoGravada view_;
  std::unique_ptr<app::Agente> agente_;
  int calculadoras_ = 0;
};

TEST_F(ControladorTest, CreationFailureIsShownAndLeavesTheDesignState) {
  EXPECT_FALSE(agente_->FormCreate());
  ASSERT_EQ(view_.caixas.size(), 1u);
  EXPECT_EQ(view_.caixas[0].tipo, "erro");
  EXPECT_EQ(view_.caixas[0].texto.rfind("MySQL Error Code: (2003)\r\n", 0), 0u)
      << view_.caixas[0].texto;
  EXPECT_EQ(view_.Clientes(), Linhas{"memoClientes"});  // panes not cleared
  EXPECT_EQ(view_.intervalo, 60000u);
  EXPECT_TRUE(view_.timer);
  EXPECT_EQ(view_.Botoes(), "101");
  EXPECT_FALSE(agente_->Componentes().tblParametos.Active());
}

TEST_F(ControladorTest, StartWithoutConnectionIsRefusedQuietlyAndF5TriesAgain) {
  agente_->FormCreate();
  view_.caixas.clear();
  agente_->btnIniciarClick();
  const Linhas recusa{"memoClientes", "INICIANDO Tolvex Integra\xE7\xE3o",
                      "Erro ao conectar ao banco de dados retaguarda"};
  EXPECT_EQ(view_.Clientes(), recusa);
  EXPECT_EQ(view_.Produtos(), recusa);
  EXPECT_TRUE(view_.caixas.empty());
  EXPECT_FALSE(agente_->Iniciado());
  EXPECT_EQ(view_.Botoes(), "010");  // start refused

  agente_->FormKeyDown(app::Tecla::F5);  // the key acts although the button is disabled
  EXPECT_EQ(view_.Clientes().size(), 5u);
  agente_->Timer1Timer();  // not started: nothing
  EXPECT_EQ(view_.Clientes().size(), 5u);

  agente_->FormKeyDown(app::Tecla::F4);
  EXPECT_EQ(view_.Botoes(), "101");
  EXPECT_FALSE(agente_->Iniciado());
}

TEST_F(ControladorTest, HideShowsTheLastBalloonAndRestoreBringsTheWindowBack) {
  agente_->FormKeyDown(app::Tecla::Esc);
  EXPECT_EQ(view_.eventos, (Linhas{"esconder", "minimizar", "bandeja"}));
  EXPECT_TRUE(view_.baloes.empty());  // nothing set yet: no balloon

  app::Balao& b = agente_->Registro().ObterBalao();
  b.DefinirTitulo("Importa\xE7\xE3o de Produtos");
  b.DefinirTexto(
      "50% Conclu\xED"
      "do");
  view_.eventos.clear();
  agente_->ApplicationEvents1Minimize();
  EXPECT_EQ(view_.eventos, (Linhas{"esconder", "minimizar", "bandeja"}));
  ASSERT_EQ(view_.baloes.size(), 1u);
  EXPECT_EQ(view_.baloes[0].second,
            "50% Conclu\xED"
            "do");

  for (auto restaurar : {&app::Agente::TrayIcon1DblClick, &app::Agente::Restaurar1Click}) {
    view_.eventos.clear();
    (agente_.get()->*restaurar)();
    EXPECT_EQ(view_.eventos, (Linhas{"mostrar", "restaurar", "frente"}));
  }
}

TEST_F(ControladorTest, ExitAsksFirstFromButtonKeyAndTrayMenu) {
  const Caixa pergunta{"pergunta", "Pergunta",
                       "Tem certeza que deseja encerrar a aplica\xE7\xE3o?"};
  agente_->EncerrarPrograma1Click();      // No
  agente_->FormKeyDown(app::Tecla::F11);  // No
  EXPECT_EQ(view_.encerrar, 0);
  EXPECT_FALSE(agente_->EncerramentoPedido());
  view_.respostas = {true};
  agente_->btnEncerrarClick();
  EXPECT_EQ(view_.encerrar, 1);
  EXPECT_TRUE(agente_->EncerramentoPedido());
  ASSERT_EQ(view_.caixas.size(), 3u);
  for (const auto& c : view_.caixas) {
    EXPECT_EQ(c.tipo, pergunta.tipo);
    EXPECT_EQ(c.titulo, pergunta.titulo);
    EXPECT_EQ(c.texto, pergunta.texto);
  }
}

TEST_F(ControladorTest, KeysF8AndF10AndTheDialogWithoutSettingsTable) {
  agente_->FormCreate();
  view_.caixas.clear();
  bool dialogoVisto = false;
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao* d = agente_->frmConfiguracao();
    ASSERT_NE(d, nullptr);
    dialogoVisto = true;
    // The table is closed: the opening failed and was shown, the host
    // fields are still offered.
    EXPECT_EQ(view_.caixas.size(), 1u);
    EXPECT_EQ(d->TextoIpPDV(), "");
  };
  agente_->FormKeyDown(app::Tecla::F8);
  EXPECT_TRUE(dialogoVisto);
  EXPECT_EQ(agente_->frmConfiguracao(), nullptr);  // freed after closing
  agente_->FormKeyDown(app::Tecla::F10);
  EXPECT_EQ(calculadoras_, 1);
  agente_->FormKeyDown(65);  // 'A': nothing
  EXPECT_EQ(view_.configuracoes, 1);
}

TEST(SuporteDoAgente, F12DownloadsFromTheServerGivenOnTheCommandLineAndStartsTheTool) {
  const std::filesystem::path pasta =
      std::filesystem::path(::testing::TempDir()) / "agente_f12" / "ATUALIZACAO";
  std::filesystem::remove_all(pasta.parent_path());
  app::OpcoesAgente o;
  o.servidorSuporte = "127.0.0.1:8443";
  o.pastaSuporte = pasta.string();
  std::vector<std::string> baixados;
  std::vector<std::string> iniciados;
  app::AmbienteAgente a;
  a.plataforma.temConexaoInternet = [] { return true; };
  a.plataforma.baixarArquivo = [&](const app::ConfiguracaoSuporte& s, const std::string& arquivo) {
    baixados.push_back(s.endereco);
    std::ofstream(arquivo, std::ios::binary) << "MZ-ferramenta";
    return app::ResultadoDownload{true, ""};
  };
  a.plataforma.executarArquivo = [&](const std::string& p, const std::string&) {
    iniciados.push_back(p);
    return true;
  };
  VisaoGravada view;
  view.respostas = {true};
  app::Agente agente(view, o, std::move(a));
  // The tool's hash is a build setting; the test's own file stands in.
  const std::filesystem::path esperado = pasta.parent_path() / "esperado";
  std::filesystem::create_directories(pasta.parent_path());
  std::ofstream(esperado, std::ios::binary) << "MZ-ferramenta";
  app::ConfiguracaoSuporte s = agente.Janela().Suporte();
  s.sha256 = app::Sha256DoArquivo(esperado.string());
  agente.Janela().DefinirSuporte(s);

  agente.FormKeyDown(app::Tecla::F12);
  ASSERT_EQ(view.caixas.size(), 2u);
  EXPECT_EQ(view.caixas[0].texto, "Deseja baixar o programa Ammy Admin?");
  EXPECT_EQ(view.caixas[1].tipo, "informacao");
  EXPECT_EQ(baixados, std::vector<std::string>{"https://127.0.0.1:8443/sistema/AA_v3.exe"});
  EXPECT_EQ(iniciados, std::vector<std::string>{(pasta / "AA_v3.exe").string()});
  // Present now: started at once, nothing asked.
  agente.FormKeyDown(app::Tecla::F12);
  EXPECT_EQ(view.caixas.size(), 2u);
  EXPECT_EQ(iniciados.size(), 2u);
  std::filesystem::remove_all(pasta.parent_path());
}

TEST(OpcoesAgente, CommandLinesAndAddresses) {
  const app::OpcoesAgente o = app::LerOpcoes(
      std::vector<std::string>{"--headless", "--once", "--retaguarda", "db.exemplo:3307", "--pdv",
                               "127.0.0.1", "--suporte-servidor", "127.0.0.1:8080",
                               "--suporte-pasta", "/tmp/s", "--pasta-log", "/tmp/l"});
  EXPECT_TRUE(o.headless);
  EXPECT_TRUE(o.once);
  EXPECT_EQ(o.retaguarda->host, "db.exemplo");
  EXPECT_EQ(o.retaguarda->porta, 3307u);
  EXPECT_EQ(o.pdv->host, "127.0.0.1");
  EXPECT_EQ(o.pdv->porta, 3306u);
  EXPECT_EQ(*o.servidorSuporte, "127.0.0.1:8080");
  EXPECT_EQ(*o.pastaSuporte, "/tmp/s");
  EXPECT_EQ(*o.pastaLog, "/tmp/l");
  EXPECT_FALSE(app::LerOpcoes(std::vector<std::string>{}).headless);

  const std::vector<std::vector<std::string>> ruins = {
      {"--pdv"},        {"--pdv", ":3306"}, {"--pdv", "h:0"}, {"--pdv", "h:65536"},
      {"--pdv", "h:x"}, {"--pdv", "h:"},    {"--janela"},     {"--suporte-servidor", ""}};
  for (const auto& r : ruins) EXPECT_THROW(app::LerOpcoes(r), app::ErroOpcoes) << r[0];
}

TEST(ConsoleTexto, Windows1252BecomesUtf8) {
  const std::pair<std::string, std::string> casos[] = {
      {"Importa\xE7\xE3o", "Importa\xC3\xA7\xC3\xA3o"},
      {"CONCLU\xCD"
       "DA",
       "CONCLU\xC3\x8D"
       "DA"},
      {"\x80 \x9F \xFF", "\xE2\x82\xAC \xC5\xB8 \xC3\xBF"},
      {"\x81", "\xEF\xBF\xBD"},
      {"plain", "plain"},
  };
  for (const auto& [entrada, saida] : casos) EXPECT_EQ(app::Cp1252ParaUtf8(entrada), saida);
}

TEST(ConsoleTexto, PaneLinesAreNamedAndBoxesTakeTheSafeAnswer) {
  std::ostringstream s;
  app::ConsoleView v(s);
  v.AdicionarLinha(app::Painel::Produtos, "Produto INSERIDO: 7 - P\xC3O");
  v.AdicionarLinha(app::Painel::Clientes, "");
  EXPECT_FALSE(v.Pergunta("Pergunta", "Sair?"));
  v.MostrarErro("falhou");
  v.Informacao("Aten\xE7\xE3o", "Pronto");
  EXPECT_EQ(s.str(),
            "Produtos: Produto INSERIDO: 7 - P\xC3\x83O\nClientes: \n"
            "Pergunta: Pergunta - Sair? [N\xC3\xA3o]\nErro: falhou\n"
            "Informa\xC3\xA7\xC3\xA3o: Aten\xC3\xA7\xC3\xA3o - Pronto\n");
  EXPECT_EQ(v.Erros(), 1);
}

TEST(ConsoleTexto, ControlBytesOfBackOfficeTextsCannotForgeOrHideLines) {
  std::ostringstream s;
  app::ConsoleView v(s);
  // A name that would return the cursor and print a fake line over the real
  // one, erase it with an escape sequence, or hide it behind backspaces.
  v.AdicionarLinha(
      app::Painel::Clientes,
      "Cliente INSERIDO: 1 - A\rCliente ATUALIZADO: 9 - Z\x1B[2K\b\b\x7F\x01\x1F\tB\x80");
  v.MostrarErro("MySQL Error Code: (1064)\r\nYou have an error");
  v.MostrarBalao("T\x1B]0;x\x07", "\n");
  EXPECT_EQ(s.str(),
            "Clientes: Cliente INSERIDO: 1 - A\\x0DCliente ATUALIZADO: 9 - "
            "Z\\x1B[2K\\x08\\x08\\x7F\\x01\\x1F\tB\xE2\x82\xAC\n"
            "Erro: MySQL Error Code: (1064)\\x0D\\x0AYou have an error\n"
            "Bandeja: T\\x1B]0;x\\x07 - \\x0A\n");
  EXPECT_EQ(app::EscaparControles(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(app::EscaparControles(" ~\xFF\t"), " ~\xFF\t");
}

// A stream buffer that holds what it is given until it is flushed.
class SaidaRetida : public std::stringbuf {
 public:
  std::string entregue;
  int descargas = 0;

 protected:
  int sync() override {
    ++descargas;
    entregue += str();
    str("");
    return 0;
  }
};

TEST(ConsoleTexto, PipedOutputIsHandedOnInBlocksAndNothingIsLeftBehind) {
  SaidaRetida buffer;
  std::ostream s(&buffer);
  {
    app::ConsoleView v(s, app::Descarga::Periodica);
    for (int i = 0; i < 100; ++i) v.AdicionarLinha(app::Painel::Clientes, "linha");
    EXPECT_EQ(buffer.descargas, 0);
    EXPECT_EQ(buffer.entregue, "");
    v.Descarregar();
    EXPECT_EQ(buffer.descargas, 1);
    v.AdicionarLinha(app::Painel::Produtos, "\xFAltima");
  }
  EXPECT_EQ(buffer.descargas, 2);  // the view hands on its last lines when it goes
  EXPECT_EQ(buffer.entregue.size(), 100 * std::string("Clientes: linha\n").size() +
                                        std::string("Produtos: \xC3\xBAltima\n").size());

  SaidaRetida terminal;
  std::ostream t(&terminal);
  app::ConsoleView v(t);
  v.AdicionarLinha(app::Painel::Clientes, "a");
  v.AdicionarLinha(app::Painel::Clientes, "b");
  EXPECT_EQ(terminal.descargas, 2);
  EXPECT_EQ(terminal.entregue, "Clientes: a\nClientes: b\n");
}

}  // namespace
}  // namespace agentetest
