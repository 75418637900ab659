// The controller's flags and the settings against the sandbox: what ticks,
// stops and starts do in the middle of a pass, a PDV connection lost in a
// pass, the interval from cadparametos, and the settings dialog's save.
#include <gtest/gtest.h>

#include <algorithm>

#include "agente_suporte.h"
#include "app/Catalogo.h"
#include "app/JanelaModelo.h"
#include "rtl/DateTime.h"
#include "support/Proxy.h"

namespace agentetest {
namespace {

class EstadoTest : public AgenteServidor {
 protected:
  void TresClientes() {
    for (int i = 1; i <= 3; ++i) Cliente(i, "cliente", "'CLIENTE " + std::to_string(i) + "'");
  }
  int Inicios() {
    const auto& l = view_.Clientes();
    return static_cast<int>(std::count_if(l.begin(), l.end(), [](const std::string& s) {
      return s.rfind("Importa\xE7\xE3o de Clientes INICIADA", 0) == 0;
    }));
  }
  std::string Intervalo() {
    components::TmySQLQuery q;
    q.SetDatabase(retaguarda_.get());
    q.SQL().Add("select cast(tempoatualizacaoPDV as char) from cadparametos");
    q.Open();
    return q.Fields()[0].AsString();
  }
};

TEST_F(EstadoTest, BusyDuringRowsTicksAndStartsInsideAPassDoNothing) {
  TresClientes();
  app::Agente& a = AgenteAberto();
  std::vector<bool> ocupado;
  view_.aoProcessar = [&] {
    ocupado.push_back(a.Ocupado());
    a.Timer1Timer();
    a.FormKeyDown(app::Tecla::F5);
  };
  a.btnIniciarClick();
  EXPECT_EQ(ocupado, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(Inicios(), 1);
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 3 - Atualizados: 0");
  EXPECT_FALSE(a.Ocupado());
  EXPECT_EQ(view_.percentual, 100);

  // Started and idle: a tick runs a pass.
  view_.aoProcessar = nullptr;
  a.Timer1Timer();
  EXPECT_EQ(Inicios(), 2);
  EXPECT_EQ(view_.Clientes()[view_.Clientes().size() - 5], ">> Nenhum cliente a ser importado!");
}

TEST_F(EstadoTest, StopInAPassLetsItEndAndLaterTicksDoNothing) {
  TresClientes();
  app::Agente& a = AgenteAberto();
  view_.aoProcessar = [&] { a.btnPararClick(); };
  a.btnIniciarClick();
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 3 - Atualizados: 0");
  EXPECT_FALSE(a.Iniciado());
  EXPECT_EQ(view_.Botoes(), "101");
  const std::size_t linhas = view_.Clientes().size();
  a.Timer1Timer();
  EXPECT_EQ(view_.Clientes().size(), linhas);
}

TEST_F(EstadoTest, LostPdvConnectionStopsThePassAtTheRowThatFailed) {
  TresClientes();
  support::Proxy rede(Host(), Port());
  app::Agente& a = CriarAgente();
  app::ComponentesAgente::DefinirServidor(a.Componentes().dbPDV, "127.0.0.1",
                                          static_cast<std::uint32_t>(rede.Port()));
  ASSERT_TRUE(a.FormCreate());
  view_.aoProcessar = [&] { rede.GoAway(); };
  a.btnIniciarClick();
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 1 - Atualizados: 0");
  EXPECT_NE(std::find(view_.Clientes().begin(), view_.Clientes().end(),
                      app::LinhaImportacaoInterrompida(2)),
            view_.Clientes().end());
  // One entry for the row that failed, one for the stop; row 3 is not tried.
  const std::string log = LogDoDia();
  EXPECT_NE(
      log.find(" - ERRO AO INSERIR CLIENTE: 2 - CLIENTE 2 Erro do sistema: MySQL Error Code: (20"),
      std::string::npos)
      << log;
  EXPECT_NE(log.find(" - " + app::ContextoClientesInterrompida() +
                     " Erro do sistema: " + app::TextoServidorPerdido(2) + "\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("CLIENTE 3"), std::string::npos) << log;
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N'"), 2);
  EXPECT_FALSE(a.Ocupado());
  for (const auto& c : view_.caixas) ADD_FAILURE() << c.tipo << ": " << c.texto;
}

TEST_F(EstadoTest, IntervalComesFromCadparametosUnweighted) {
  AgenteAberto();
  EXPECT_EQ(view_.intervalo, 5000u);  // 00:05:00 is 5 seconds
  EXPECT_EQ(view_.textoIntervalo, "00:05:00");
  EXPECT_TRUE(agente_->Componentes().tblParametos.Active());
}

TEST_F(EstadoTest, DialogClosedWithoutChangesTouchesNothing) {
  app::Agente& a = AgenteAberto();
  int conexoes = 0;
  a.Componentes().dbPDV.AfterConnect = [&](components::TmySQLDatabase&) { ++conexoes; };
  a.Componentes().dbVidoru.AfterConnect = [&](components::TmySQLDatabase&) { ++conexoes; };
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    EXPECT_EQ(d.TextoIpTolvex(), "");
    EXPECT_EQ(d.TextoIpPDV(), "");
    EXPECT_EQ(a.Componentes().tblParametos.State(), db::dsEdit);
    d.tblParametostempoatualizacaoPDV().SetAsDateTime(rtl::EncodeTime(0, 0, 45, 0));
    d.btnSairClick();
  };
  a.btnConfigClick();
  EXPECT_EQ(Intervalo(), "00:05:00");
  EXPECT_EQ(a.Componentes().tblParametos.State(), db::dsBrowse);
  EXPECT_EQ(conexoes, 0);
  EXPECT_EQ(view_.intervalo, 5000u);
}

TEST_F(EstadoTest, SaveWritesTheIntervalAndMovesThePdvTo127001) {
  app::Agente& a = AgenteAberto("localhost");
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    d.tblParametostempoatualizacaoPDV().SetAsDateTime(rtl::EncodeTime(0, 0, 45, 0));
    EXPECT_TRUE(d.AdvGlowButton1Click("  ", "127.0.0.1"));
  };
  a.btnConfigClick();
  EXPECT_EQ(Intervalo(), "00:00:45");
  EXPECT_EQ(view_.intervalo, 45000u);
  EXPECT_EQ(a.Componentes().dbPDV.Host(), "127.0.0.1");
  EXPECT_EQ(a.Componentes().dbPDV.Params().Values("Host"), "127.0.0.1");
  EXPECT_TRUE(a.Componentes().dbPDV.Connected());
  EXPECT_EQ(a.IpPDV(), "127.0.0.1");
  EXPECT_EQ(a.IpRetaguarda(), "");

  // The next opening shows the saved host; a zero interval stops the timer
  // and a start still runs its pass over the new connection.
  Cliente(9, "cliente", "'NOVO'");
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    EXPECT_EQ(d.TextoIpPDV(), "127.0.0.1");
    d.tblParametostempoatualizacaoPDV().SetAsDateTime(0);
    EXPECT_TRUE(d.AdvGlowButton1Click("", d.TextoIpPDV()));
  };
  a.btnConfigClick();
  EXPECT_EQ(view_.intervalo, 0u);
  a.btnIniciarClick();
  EXPECT_EQ(ContarPdv("select count(*) from cliente where id=9"), 1);
}

TEST_F(EstadoTest, HostChangeDuringAPassIsRefusedAndTheDialogStaysOpen) {
  TresClientes();
  app::Agente& a = AgenteAberto();
  bool recusado = false;
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    recusado = !d.AdvGlowButton1Click("", "127.0.0.1");
    EXPECT_FALSE(d.Fechado());
    d.btnSairClick();
  };
  view_.aoProcessar = [&] {
    if (view_.configuracoes == 0) a.FormKeyDown(app::Tecla::F8);
  };
  a.btnIniciarClick();
  EXPECT_TRUE(recusado);
  ASSERT_EQ(view_.caixas.size(), 1u);
  EXPECT_EQ(view_.caixas[0].tipo, "informacao");
  EXPECT_EQ(view_.caixas[0].titulo, "Aten\xE7\xE3o");
  EXPECT_EQ(view_.caixas[0].texto, app::TextoAlteracaoDuranteImportacao());
  EXPECT_EQ(a.IpPDV(), "");
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 3 - Atualizados: 0");
}

TEST_F(EstadoTest, BackOfficeReconnectReopensTheSettingsAndAFailedHostCanBeCorrected) {
  app::Agente& a = AgenteAberto();
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    // Nothing listens on 127.0.0.2: shown, the dialog stays open.
    EXPECT_FALSE(d.AdvGlowButton1Click("127.0.0.2", ""));
    ASSERT_EQ(view_.caixas.size(), 1u);
    EXPECT_EQ(view_.caixas[0].texto.rfind("MySQL Error Code: (2003)", 0), 0u);
    EXPECT_FALSE(a.Componentes().dbVidoru.Connected());
    // The settings table has left edit state: a second save fails at its
    // post, whatever host it carries, and only closing leaves the dialog.
    EXPECT_FALSE(d.AdvGlowButton1Click(Host(), ""));
    ASSERT_EQ(view_.caixas.size(), 2u);
    EXPECT_EQ(view_.caixas[1].texto, "tblParametos: Dataset not in edit or insert mode");
    EXPECT_FALSE(d.Fechado());
    EXPECT_EQ(a.IpRetaguarda(), "127.0.0.2");
    d.btnSairClick();
  };
  a.btnConfigClick();
  EXPECT_FALSE(a.Componentes().dbVidoru.Connected());

  // The next opening cannot edit the closed settings table (shown) but
  // still takes the right host.
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    EXPECT_EQ(view_.caixas.size(), 3u);
    EXPECT_EQ(d.TextoIpTolvex(), "127.0.0.2");
    EXPECT_TRUE(d.AdvGlowButton1Click(Host(), ""));
  };
  a.btnConfigClick();
  EXPECT_EQ(view_.caixas.size(), 3u);
  EXPECT_TRUE(a.Componentes().dbVidoru.Connected());
  EXPECT_TRUE(a.Componentes().tblParametos.Active());
  EXPECT_EQ(view_.textoIntervalo, "00:05:00");
  EXPECT_EQ(view_.intervalo, 5000u);
}

TEST_F(EstadoTest, FailedPdvHostLeavesTheDialogOnlyThroughCloseAndALaterOpeningFixesIt) {
  app::Agente& a = AgenteAberto();
  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    d.tblParametostempoatualizacaoPDV().SetAsDateTime(rtl::EncodeTime(0, 0, 45, 0));
    EXPECT_FALSE(d.AdvGlowButton1Click("", "127.0.0.2"));
    ASSERT_EQ(view_.caixas.size(), 1u);
    EXPECT_EQ(view_.caixas[0].texto.rfind("MySQL Error Code: (2003)", 0), 0u);
    // The interval was posted before the reconnect; the table is open but
    // no longer edited, so saving again fails at the post.
    EXPECT_EQ(a.Componentes().tblParametos.State(), db::dsBrowse);
    EXPECT_FALSE(d.AdvGlowButton1Click("", Host()));
    ASSERT_EQ(view_.caixas.size(), 2u);
    EXPECT_EQ(view_.caixas[1].texto, "tblParametos: Dataset not in edit or insert mode");
    EXPECT_FALSE(d.Fechado());
    EXPECT_FALSE(a.Componentes().dbPDV.Connected());
    d.btnSairClick();
  };
  a.btnConfigClick();
  EXPECT_EQ(Intervalo(), "00:00:45");
  EXPECT_EQ(a.IpPDV(), "127.0.0.2");
  EXPECT_FALSE(a.Componentes().dbPDV.Connected());

  view_.aoMostrarConfiguracoes = [&] {
    app::Configuracao& d = *a.frmConfiguracao();
    EXPECT_EQ(d.TextoIpPDV(), "127.0.0.2");
    EXPECT_TRUE(d.AdvGlowButton1Click("", Host()));
  };
  a.btnConfigClick();
  EXPECT_EQ(view_.caixas.size(), 2u);
  EXPECT_TRUE(a.Componentes().dbPDV.Connected());
  EXPECT_EQ(a.IpPDV(), Host());
}

}  // namespace
}  // namespace agentetest
