#include "app/RegistroAtividade.h"

#include <algorithm>
#include <utility>

namespace app {

void Gauge::DefinirMaximo(int maximo) {
  maximo_ = std::max(maximo, Minimo());
  progresso_ = std::clamp(progresso_, Minimo(), maximo_);
}

void Gauge::DefinirProgresso(int progresso) {
  progresso_ = std::clamp(progresso, Minimo(), maximo_);
}

int Gauge::Percentual() const {
  if (maximo_ == Minimo()) return 0;
  return static_cast<int>(100LL * (progresso_ - Minimo()) / (maximo_ - Minimo()));
}

void Balao::DefinirTitulo(const std::string& titulo) {
  titulo_ = titulo;
  view_.BalaoAlterado(titulo_, texto_);
}

void Balao::DefinirTexto(const std::string& texto) {
  texto_ = texto;
  view_.BalaoAlterado(titulo_, texto_);
  if (view_.BalaoNaTela()) view_.MostrarBalao(titulo_, texto_);
}

void Balao::Mostrar() {
  if (titulo_.empty() && texto_.empty()) return;
  view_.MostrarBalao(titulo_, texto_);
}

RegistroAtividade::RegistroAtividade(AgentView& view, Relogio relogio)
    : view_(view), relogio_(relogio ? std::move(relogio) : Relogio(Agora)), balao_(view) {}

void RegistroAtividade::Linha(Painel painel, const std::string& texto) {
  view_.AdicionarLinha(painel, texto);
}

std::string RegistroAtividade::Carimbo() const {
  return CarimboTempo(relogio_());
}

void RegistroAtividade::LimparPaineis() {
  view_.LimparPainel(Painel::Clientes);
  view_.LimparPainel(Painel::Produtos);
  view_.LimparPainel(Painel::Cupons);
}

void RegistroAtividade::DefinirMaximoGauge(int maximo) {
  gauge_.DefinirMaximo(maximo);
  MostrarGauge();
}

void RegistroAtividade::DefinirProgressoGauge(int progresso) {
  gauge_.DefinirProgresso(progresso);
  MostrarGauge();
}

void RegistroAtividade::MostrarGauge() {
  view_.MostrarGauge(gauge_.Maximo(), gauge_.Progresso(), gauge_.Percentual());
}

}  // namespace app
