// A view that records what the agent asked of it, for tests without a
// screen. Question boxes answer with the next queued answer (No when none is
// queued); the balloon counts as on screen until a test says it timed out.
#pragma once

#include <deque>
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
  std::vector<std::pair<std::string, std::string>> baloes;
  bool balaoNaTela = false;
  std::vector<Caixa> caixas;
  std::deque<bool> respostas;
  int maximo = -1, progresso = -1, percentual = -1;

  void AdicionarLinha(app::Painel painel, const std::string& linha) override {
    paineis[painel].push_back(linha);
  }
  void LimparPainel(app::Painel painel) override { paineis[painel].clear(); }
  void AtivarPagina(app::Painel) override {}
  void MostrarGauge(int m, int p, int pc) override {
    maximo = m;
    progresso = p;
    percentual = pc;
  }
  void MostrarBalao(const std::string& titulo, const std::string& texto) override {
    baloes.emplace_back(titulo, texto);
    balaoNaTela = true;
  }
  bool BalaoNaTela() const override { return balaoNaTela; }
  void HabilitarBotao(app::Botao, bool) override {}
  void MostrarIntervalo(const std::string&) override {}
  void MostrarJanela() override {}
  void EsconderJanela() override {}
  void MinimizarJanela() override {}
  void RestaurarJanela() override {}
  void TrazerParaFrente() override {}
  void IconeBandejaVisivel(bool) override {}
  bool Pergunta(const std::string& titulo, const std::string& texto) override {
    caixas.push_back({"pergunta", titulo, texto});
    if (respostas.empty()) return false;
    bool resposta = respostas.front();
    respostas.pop_front();
    return resposta;
  }
  void Informacao(const std::string& titulo, const std::string& texto) override {
    caixas.push_back({"informacao", titulo, texto});
  }
  void MostrarErro(const std::string& texto) override { caixas.push_back({"erro", "", texto}); }
  void DefinirIntervaloTimer(unsigned) override {}
  void HabilitarTimer(bool) override {}
  void MostrarConfiguracoes() override {}
  void ProcessarMensagensPendentes() override {}
  void EncerrarAplicacao() override {}
};

}  // namespace apptest
