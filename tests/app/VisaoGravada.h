// A view that records what the agent asked of it, for tests without a
// screen: pane lines, window operations in order, balloons, boxes, buttons,
// the gauge and the timer. Question boxes answer with the next queued answer
// (No when none is queued); the balloon counts as on screen until a test
// says it timed out. aoProcessar runs when the agent lets pending messages
// run, aoMostrarConfiguracoes when it shows the settings dialog.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/AgentView.h"

namespace apptest {

struct Caixa {
  std::string tipo;  // "pergunta", "informacao" or "erro"
  std::string titulo;
  std::string texto;
  bool operator==(const Caixa&) const = default;
};

class VisaoGravada : public app::AgentView {
 public:
  std::map<app::Painel, std::vector<std::string>> paineis;
  std::vector<std::string> eventos;  // window operations in order
  std::vector<std::pair<std::string, std::string>> baloes;
  std::vector<Caixa> caixas;
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

}  // namespace apptest
