#include <exception>

#include "app/Agente.h"
#include "app/Catalogo.h"
#include "app/Evento.h"
#include "app/Normalizadores.h"
#include "rtl/SysUtils.h"

namespace app {

namespace {

bool EmEdicao(const db::TDataSet& tabela) {
  return tabela.State() == db::dsEdit || tabela.State() == db::dsInsert;
}

// Closes `banco`, gives it the saved host and opens it again.
void Reconectar(components::TmySQLDatabase& banco, const std::string& host) {
  banco.Close();
  ComponentesAgente::DefinirServidor(banco, host, banco.Port());
  banco.Open();
}

}  // namespace

std::string TextoAlteracaoDuranteImportacao() {
  return "N\xE3o \xE9 poss\xEDvel alterar o servidor durante uma importa\xE7\xE3o."
         "\r\r"
         "Aguarde o t\xE9rmino da importa\xE7\xE3o e salve novamente.";
}

Configuracao::Configuracao(Agente& agente) : agente_(agente) {}

Configuracao::~Configuracao() = default;

bool Configuracao::FormCreate() {
  // The host texts come first: when the settings table cannot be edited
  // (the back office was unreachable) the dialog is still the place to
  // give the right host.
  textoIpTolvex_ = agente_.IpRetaguarda();
  textoIpPDV_ = agente_.IpPDV();
  return ComoEvento(agente_.View(), [&] {
    agente_.Componentes().tblParametos.Edit();
    editandoIntervalo_ = true;
  });
}

bool Configuracao::AdvGlowButton1Click(const std::string& textoIpTolvex,
                                       const std::string& textoIpPDV) {
  ComponentesAgente& c = agente_.Componentes();
  return ComoEvento(agente_.View(), [&] {
    const bool mudaRetaguarda = Aparar(textoIpTolvex) != agente_.IpRetaguarda();
    const bool mudaPDV = Aparar(textoIpPDV) != agente_.IpPDV();
    if ((mudaRetaguarda || mudaPDV) && agente_.EmImportacao()) {
      // Reconnecting would close the queries the running pass is using.
      agente_.View().Informacao(TituloAtencao(), TextoAlteracaoDuranteImportacao());
      return false;
    }
    // A dialog whose opening could not edit the settings table (the back
    // office was unreachable) skips the interval and still lets the hosts be
    // changed. Otherwise the save always posts: after an earlier attempt
    // that failed at a reconnect the table is no longer in edit state, the
    // post fails and only "Fechar [ESC]" leaves the dialog.
    if (editandoIntervalo_) c.tblParametos.Post();
    agente_.AplicarIntervalo();
    if (mudaRetaguarda) {
      agente_.DefinirIpRetaguarda(textoIpTolvex);
      Reconectar(c.dbVidoru, textoIpTolvex);
      // Closing the connection closed the settings table: open it again so
      // the interval stays shown and in force.
      agente_.AbrirParametros();
    }
    if (mudaPDV) {
      agente_.DefinirIpPDV(textoIpPDV);
      Reconectar(c.dbPDV, textoIpPDV);
    }
    fechado_ = true;
    return true;
  });
}

void Configuracao::btnSairClick() {
  try {
    components::TmySQLTable& tabela = agente_.Componentes().tblParametos;
    if (EmEdicao(tabela)) tabela.Cancel();
  } catch (const std::exception& e) {
    agente_.View().MostrarErro(e.what());
  }
  fechado_ = true;
}

db::TDataSource& Configuracao::dsParametos() {
  return agente_.Componentes().dsParametos;
}

db::TField& Configuracao::tblParametostempoatualizacaoPDV() {
  return agente_.Componentes().tblParametostempoatualizacaoPDV;
}

void Configuracao::FormKeyDown(int tecla) {
  try {
    agente_.Janela().FormKeyDown(tecla);
  } catch (const std::exception& e) {
    agente_.View().MostrarErro(e.what());
  }
}

}  // namespace app
