// Test support for the agent's controller: a view that records every call
// in order, and a fixture that gives the agent fresh back-office and PDV
// tables in the sandbox and a scratch folder for its daily log.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/AgentView.h"
#include "app/Agente.h"
#include "app/DemoDados.h"
#include "support/Sandbox.h"

namespace agentetest {

struct CaixaVista {
  std::string tipo;  // "pergunta", "informacao", "erro"
  std::string titulo;
  std::string texto;
};

class VisaoAgente : public app::AgentView {
 public:
  std::map<app::Painel, std::vector<std::string>> paineis;
  std::vector<std::string> eventos;  // window operations in order
  std::vector<std::pair<std::string, std::string>> baloes;
  std::vector<CaixaVista> caixas;
  std::deque<bool> respostas;
  std::map<app::Botao, bool> botoes;
  std::vector<app::Painel> paginas;
  int maximo = -1, progresso = -1, percentual = -1;
  bool balaoNaTela = false;
  unsigned intervalo = 0;
  bool timer = false;
  std::string textoIntervalo;
  int configuracoes = 0;
  int encerrar = 0;
  std::function<void()> aoProcessar;
  std::function<void()> aoMostrarConfiguracoes;

  void AdicionarLinha(app::Painel p, const std::string& linha) override {
    paineis[p].push_back(linha);
  }
  void LimparPainel(app::Painel p) override {
    paineis[p].clear();
    eventos.push_back("limpar");
  }
  void AtivarPagina(app::Painel p) override { paginas.push_back(p); }
  void MostrarGauge(int m, int p, int pc) override {
    maximo = m;
    progresso = p;
    percentual = pc;
  }
  void MostrarBalao(const std::string& t, const std::string& x) override {
    baloes.emplace_back(t, x);
    balaoNaTela = true;
  }
  bool BalaoNaTela() const override { return balaoNaTela; }
  void HabilitarBotao(app::Botao b, bool h) override { botoes[b] = h; }
  void MostrarIntervalo(const std::string& t) override { textoIntervalo = t; }
  void MostrarJanela() override { eventos.push_back("mostrar"); }
  void EsconderJanela() override { eventos.push_back("esconder"); }
  void MinimizarJanela() override { eventos.push_back("minimizar"); }
  void RestaurarJanela() override { eventos.push_back("restaurar"); }
  void TrazerParaFrente() override { eventos.push_back("frente"); }
  void IconeBandejaVisivel(bool v) override { eventos.push_back(v ? "bandeja" : "sem-bandeja"); }
  bool Pergunta(const std::string& t, const std::string& x) override {
    caixas.push_back({"pergunta", t, x});
    if (respostas.empty()) return false;
    bool r = respostas.front();
    respostas.pop_front();
    return r;
  }
  void Informacao(const std::string& t, const std::string& x) override {
    caixas.push_back({"informacao", t, x});
  }
  void MostrarErro(const std::string& x) override { caixas.push_back({"erro", "", x}); }
  void DefinirIntervaloTimer(unsigned ms) override { intervalo = ms; }
  void HabilitarTimer(bool h) override { timer = h; }
  void MostrarConfiguracoes() override {
    ++configuracoes;
    if (aoMostrarConfiguracoes) aoMostrarConfiguracoes();
  }
  void ProcessarMensagensPendentes() override {
    if (aoProcessar) aoProcessar();
  }
  void EncerrarAplicacao() override { ++encerrar; }

  // Iniciar / Parar / Configurações as "110" style text.
  std::string Botoes() {
    auto b = [&](app::Botao x) { return botoes.count(x) && botoes[x] ? '1' : '0'; };
    return {b(app::Botao::Iniciar), b(app::Botao::Parar), b(app::Botao::Configuracoes)};
  }
  std::vector<std::string>& Clientes() { return paineis[app::Painel::Clientes]; }
  std::vector<std::string>& Produtos() { return paineis[app::Painel::Produtos]; }
};

// A fixed moment: 9 December 2026, 10:20:30.
app::TDateTime MomentoFixo();
// "10:20:30 - 09/12/2026"
inline const char* kCarimbo = "10:20:30 - 09/12/2026";

// The first value `sql` selects on `banco` ("" for null, "<none>" without a
// row).
std::string PrimeiroValor(components::TmySQLDatabase& banco, const std::string& sql);

// The agent's surroundings in the tests: the clock at MomentoFixo, no
// internet, a calculator that always starts.
app::AmbienteAgente AmbienteDeTeste();

// An agent's options for a scratch folder: the daily log there and the
// remote-support tool in its "suporte" folder.
app::OpcoesAgente OpcoesDeTeste(const std::filesystem::path& pasta);

// The file every test that recreates the agent's two databases locks
// (flock, exclusive) for its whole run, so that test processes run in
// parallel by ctest take turns on them: MYSQL_TEST_DIR/agent-databases.lock.
std::string ArquivoBloqueioBancos();

// Fresh demo tables in both databases, an agent pointed at the sandbox
// (both connections to its host and port) with a fixed clock and a scratch
// log folder. The databases are locked from SetUp to TearDown.
class AgenteServidor : public support::SandboxTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the agent (not yet FormCreate'd). `pdvHost` replaces the PDV host.
  app::Agente& CriarAgente(const std::string& pdvHost = "");
  // Runs FormCreate and expects it to succeed.
  app::Agente& AgenteAberto(const std::string& pdvHost = "");

  // Statements on the back office / PDV as the administrative account.
  void Retaguarda(const std::string& sql) { retaguarda_->Execute(sql); }
  void Pdv(const std::string& sql) { pdv_->Execute(sql); }
  long long ContarRetaguarda(const std::string& sql) { return app::Contar(*retaguarda_, sql); }
  long long ContarPdv(const std::string& sql) { return app::Contar(*pdv_, sql); }
  // One value of the PDV ("" for null).
  std::string ValorPdv(const std::string& sql);

  // Inserts a customer: codcli and then column=value pairs (SQL literals).
  void Cliente(long long codcli, const std::string& colunas = "", const std::string& valores = "");
  void Produto(long long codprod, const std::string& colunas = "", const std::string& valores = "");

  // Entries of the daily log file of MomentoFixo (empty when none).
  std::string LogDoDia() const;

  VisaoAgente view_;
  std::unique_ptr<app::Agente> agente_;
  unsigned marcarEmLote_ = 0;  // --marcar-em-lote of the agents CriarAgente makes
  std::unique_ptr<components::TmySQLDatabase> retaguarda_;
  std::unique_ptr<components::TmySQLDatabase> pdv_;
  std::filesystem::path pasta_;
  int bloqueio_ = -1;
};

}  // namespace agentetest
