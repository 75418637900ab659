// What the agent needs from whatever shows it: the Qt windows, or a console
// view for running without a screen.
//
// The agent's rules (what to write, when to enable a button, when to show
// the balloon again) live in plain classes above this interface; a view only
// shows and forwards. All texts crossing it are Windows-1252 bytes; a view
// converts them at its edge. A view is owned by whoever creates the agent
// and must outlive it. Every call comes from the one user-interface thread,
// including calls made while a pass lets pending messages run.
#pragma once

#include <string>

namespace app {

// The three log panes, one per tabbed page, in page order.
enum class Painel { Clientes, Produtos, Cupons };

// The main window's buttons.
enum class Botao { Iniciar, Parar, Esconder, Encerrar, Configuracoes };

class AgentView {
 public:
  virtual ~AgentView() = default;

  // Log panes: append one line at the end (an empty text is a line of its
  // own), or empty the pane.
  virtual void AdicionarLinha(Painel painel, const std::string& linha) = 0;
  virtual void LimparPainel(Painel painel) = 0;

  // Makes the page of `painel` the active page.
  virtual void AtivarPagina(Painel painel) = 0;

  // Progress gauge: the model (Gauge in RegistroAtividade.h) has already
  // clamped the progress and computed the percentage shown.
  virtual void MostrarGauge(int maximo, int progresso, int percentual) = 0;

  // Tray balloon: show it now with this title and text; and whether the
  // balloon last shown is still on screen (not timed out, not closed).
  virtual void MostrarBalao(const std::string& titulo, const std::string& texto) = 0;
  virtual bool BalaoNaTela() const = 0;

  // The balloon's title or text changed, shown or not (the tray's tooltip
  // follows them). Nothing by default.
  virtual void BalaoAlterado(const std::string& /*titulo*/, const std::string& /*texto*/) {}

  // An entry of the daily error log (its bytes, CR LF included), whether or
  // not it reached the file: a console for a service shows it on standard
  // error. Nothing by default.
  virtual void EntradaLogErro(const std::string& /*entrada*/) {}

  virtual void HabilitarBotao(Botao botao, bool habilitado) = 0;

  // The interval shown beside "Intervalo de importação:" (the setting's text;
  // empty when the settings table is closed).
  virtual void MostrarIntervalo(const std::string& texto) = 0;

  // Main window: shown or hidden (hidden leaves only the tray icon), its
  // state minimised or normal, and the application brought to the front.
  virtual void MostrarJanela() = 0;
  virtual void EsconderJanela() = 0;
  virtual void MinimizarJanela() = 0;
  virtual void RestaurarJanela() = 0;
  virtual void TrazerParaFrente() = 0;

  virtual void IconeBandejaVisivel(bool visivel) = 0;

  // A modal question box with Yes and No buttons and the question icon;
  // true for Yes.
  virtual bool Pergunta(const std::string& titulo, const std::string& texto) = 0;
  // A modal information box with an OK button and the information icon.
  virtual void Informacao(const std::string& titulo, const std::string& texto) = 0;
  // The application's default error display: a message box with the text of
  // a failure that left an event handler.
  virtual void MostrarErro(const std::string& texto) = 0;

  // The window timer: interval in milliseconds (0 never ticks; assigning the
  // current value does not restart the count) and whether it runs.
  virtual void DefinirIntervaloTimer(unsigned intervaloMs) = 0;
  virtual void HabilitarTimer(bool habilitado) = 0;

  // Shows the settings dialog modally and returns when it has closed.
  virtual void MostrarConfiguracoes() = 0;

  // Handles every window message waiting now (repaints, clicks, keys, timer
  // ticks) and returns.
  virtual void ProcessarMensagensPendentes() = 0;

  // Ends the message loop; the program then ends.
  virtual void EncerrarAplicacao() = 0;
};

}  // namespace app
