// The agent without a display: a view that writes the log panes to a text
// stream and answers every box on its own, and the runner that drives the
// agent from the console (tolvex-agent --headless).
//
// Pane lines go out as UTF-8, one per line, their control bytes written as
// \xNN (the window panes keep the texts as they are), prefixed with the pane's name
// ("Clientes: ", "Produtos: ", "Cupons: "); balloons shown go out prefixed
// "Bandeja: ", boxes prefixed with their kind, and each box takes its safe
// answer (No to every question). The window operations do nothing. The
// timer is kept as numbers the runner reads. For a service (SaidaServico)
// every daily error log entry and every error box also goes to a second
// stream, standard error, and under journald each line starts with its
// syslog priority: "<6>" for pane lines, "<3>" for failures. The streams
// are not owned.
// Single-threaded, except that the runner's signal handler only sets a flag.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "app/AgentView.h"
#include "app/Agente.h"
#include "app/Opcoes.h"

namespace app {

// Windows-1252 text as UTF-8 (the five unassigned codes become U+FFFD).
std::string Cp1252ParaUtf8(std::string_view texto);

// The text with every control byte (below 0x20 except TAB, and 0x7F) written
// as \xNN, so a back-office value cannot move the cursor, overwrite or hide a
// line of the console.
std::string EscaparControles(std::string_view texto);

// "Clientes", "Produtos" or "Cupons".
std::string_view NomePainel(Painel painel);

// When the console view hands its lines on: each line at once (a terminal
// someone watches), or at most every quarter of a second and whenever the
// runner goes idle (a pipe or a file, where a write per line would cost a
// system call per imported row).
enum class Descarga { CadaLinha, Periodica };

// Where a console view run as a service writes besides its pane stream.
struct SaidaServico {
  std::ostream* erros = nullptr;  // daily-log entries and error boxes; null: the pane stream
  bool prioridadesSaida = false;  // the pane stream goes to journald
  bool prioridadesErros = false;  // the error stream goes to journald
};

// True when `fd` is the stream systemd connected to journald: JOURNAL_STREAM
// ("device:inode") names the file `fd` refers to. A stream redirected
// elsewhere by the service keeps plain lines.
bool LigadoAoJournal(int fd);

class ConsoleView : public AgentView {
 public:
  explicit ConsoleView(std::ostream& saida, Descarga descarga = Descarga::CadaLinha,
                       SaidaServico servico = {})
      : saida_(saida), descarga_(descarga), servico_(servico) {}
  ~ConsoleView() override;
  ConsoleView(const ConsoleView&) = delete;
  ConsoleView& operator=(const ConsoleView&) = delete;

  void AdicionarLinha(Painel painel, const std::string& linha) override;
  void LimparPainel(Painel) override {}
  void AtivarPagina(Painel) override {}
  void MostrarGauge(int, int, int percentual) override { percentual_ = percentual; }
  void MostrarBalao(const std::string& titulo, const std::string& texto) override;
  // A console has no balloon that stays on screen: only explicit shows print.
  bool BalaoNaTela() const override { return false; }
  void HabilitarBotao(Botao, bool) override {}
  void MostrarIntervalo(const std::string&) override {}
  void MostrarJanela() override {}
  void EsconderJanela() override {}
  void MinimizarJanela() override {}
  void RestaurarJanela() override {}
  void TrazerParaFrente() override {}
  void IconeBandejaVisivel(bool) override {}
  // Prints the question and answers No.
  bool Pergunta(const std::string& titulo, const std::string& texto) override;
  void Informacao(const std::string& titulo, const std::string& texto) override;
  // On the error stream when there is one.
  void MostrarErro(const std::string& texto) override;
  // Each line of the entry on the error stream; nothing without one.
  void EntradaLogErro(const std::string& entrada) override;
  void DefinirIntervaloTimer(unsigned intervaloMs) override { intervaloMs_ = intervaloMs; }
  void HabilitarTimer(bool habilitado) override { timerHabilitado_ = habilitado; }
  // There is no dialog to show: it closes at once, unchanged.
  void MostrarConfiguracoes() override {}
  void ProcessarMensagensPendentes() override {
    if (aoProcessarMensagens) aoProcessarMensagens();
  }
  void EncerrarAplicacao() override { encerrar_ = true; }

  // Run for every "process pending messages" (the runner checks for signals).
  std::function<void()> aoProcessarMensagens;

  unsigned IntervaloTimer() const { return intervaloMs_; }
  bool TimerHabilitado() const { return timerHabilitado_; }
  bool Encerrar() const { return encerrar_; }
  int Erros() const { return erros_; }
  int Percentual() const { return percentual_; }
  // Hands on every line written so far.
  void Descarregar();

 private:
  // Writes "rotulo: texto" as UTF-8 on a line of its own.
  void Escrever(std::string_view rotulo, const std::string& texto);
  // Writes a failure's lines as UTF-8 on the error stream.
  void EscreverFalha(const std::string& texto);

  std::ostream& saida_;
  Descarga descarga_;
  SaidaServico servico_;
  std::chrono::steady_clock::time_point ultimaDescarga_ = std::chrono::steady_clock::now();
  unsigned intervaloMs_ = 0;
  bool timerHabilitado_ = false;
  bool encerrar_ = false;
  int erros_ = 0;
  int percentual_ = 0;
};

// Runs the agent on the console: creation, start, then one pass and out
// (--once) or timer passes until SIGINT or SIGTERM. A signal ends a connect,
// read or write under way at once (the statement fails), the pass writes
// its closing lines and both connections are closed. Without --once a failed
// creation or start is tried again on every tick and the status is 0; with
// --once it is 0 when the pass ran, 1 when creation or start failed.
int ExecutarSemJanela(const OpcoesAgente& opcoes, std::ostream& saida, AmbienteAgente ambiente = {},
                      Descarga descarga = Descarga::CadaLinha, SaidaServico servico = {});

}  // namespace app
