// The on-screen side of the activity log: pane lines, the progress gauge and
// the tray balloon, kept as models here and shown through an AgentView.
//
// Gauge holds the gauge's numbers and the percentage rule. Balao holds the
// balloon's title and text and the rule for showing it again: while the
// balloon is on screen every change of the text shows it again, otherwise a
// change is only stored until the next explicit show. RegistroAtividade
// joins both to the view and to the clock for time stamps. The view is not
// owned and must outlive these objects. Single-threaded: all calls come from
// the user-interface thread.
#pragma once

#include <string>

#include "app/AgentView.h"
#include "app/DataHora.h"

namespace app {

class Gauge {
 public:
  int Minimo() const { return 0; }
  int Maximo() const { return maximo_; }
  int Progresso() const { return progresso_; }

  // A maximum below the minimum is taken as the minimum; the progress is
  // clamped into the new range.
  void DefinirMaximo(int maximo);
  // Clamped into minimum … maximum.
  void DefinirProgresso(int progresso);

  // trunc(100 × progress ÷ maximum); 0 when the maximum equals the minimum.
  int Percentual() const;

 private:
  int maximo_ = 100;
  int progresso_ = 0;
};

class Balao {
 public:
  explicit Balao(AgentView& view) : view_(view) {}

  const std::string& Titulo() const { return titulo_; }
  const std::string& Texto() const { return texto_; }

  // Both tell the view (AgentView::BalaoAlterado), shown or not.
  void DefinirTitulo(const std::string& titulo);
  // Shows the balloon again with the new text while it is on screen.
  void DefinirTexto(const std::string& texto);
  // Shows the balloon with the current title and text. Before anything was
  // ever set (both empty) there is nothing to show and nothing happens.
  void Mostrar();

 private:
  AgentView& view_;
  std::string titulo_;
  std::string texto_;
};

class RegistroAtividade {
 public:
  RegistroAtividade(AgentView& view, Relogio relogio);

  // Appends a line to a pane.
  void Linha(Painel painel, const std::string& texto);
  // The current time stamp, "hh:mm:ss - dd/mm/yyyy".
  std::string Carimbo() const;
  // Empties the three panes.
  void LimparPaineis();
  // Hands a daily error log entry to the view (AgentView::EntradaLogErro).
  void EntradaLog(const std::string& entrada) { view_.EntradaLogErro(entrada); }

  void DefinirMaximoGauge(int maximo);
  void DefinirProgressoGauge(int progresso);
  int PercentualGauge() const { return gauge_.Percentual(); }
  const Gauge& ObterGauge() const { return gauge_; }

  Balao& ObterBalao() { return balao_; }

  const Relogio& ObterRelogio() const { return relogio_; }

 private:
  void MostrarGauge();

  AgentView& view_;
  Relogio relogio_;
  Gauge gauge_;
  Balao balao_;
};

}  // namespace app
