#include "app/ConsoleView.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <thread>

#include "wire/CodePages.h"
#include "wire/MysqlVio.h"

namespace app {

namespace {

volatile std::sig_atomic_t g_sinal = 0;

extern "C" void AoReceberSinal(int numero) {
  g_sinal = numero;
  // A connect, read or write under way ends now instead of at its timeout.
  wire::InterruptWaits();
}

// Installs the handler without SA_RESTART, so a sleep ends early; returns
// what was installed before.
struct sigaction Instalar(int numero) {
  struct sigaction nova {};
  struct sigaction antiga {};
  nova.sa_handler = AoReceberSinal;
  sigemptyset(&nova.sa_mask);
  sigaction(numero, &nova, &antiga);
  return antiga;
}

}  // namespace

std::string Cp1252ParaUtf8(std::string_view texto) {
  std::string s;
  s.reserve(texto.size() + texto.size() / 8);
  // The workstation's code page, as the wire client converts with it; the
  // bytes it leaves undefined become U+FFFD.
  static const std::uint16_t* const tabela = wire::CodePageTable(wire::WorkstationCodePage());
  for (unsigned char b : texto) wire::AppendUtf8(s, tabela[b]);
  return s;
}

std::string EscaparControles(std::string_view texto) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(texto.size());
  for (unsigned char b : texto) {
    if ((b < 0x20 && b != '\t') || b == 0x7F) {
      s += "\\x";
      s += kHex[b >> 4];
      s += kHex[b & 0x0F];
    } else {
      s += static_cast<char>(b);
    }
  }
  return s;
}

std::string_view NomePainel(Painel painel) {
  switch (painel) {
    case Painel::Clientes:
      return "Clientes";
    case Painel::Produtos:
      return "Produtos";
    case Painel::Cupons:
      return "Cupons";
  }
  return "?";
}

ConsoleView::~ConsoleView() {
  Descarregar();
}

void ConsoleView::Descarregar() {
  saida_.flush();
  ultimaDescarga_ = std::chrono::steady_clock::now();
}

bool LigadoAoJournal(int fd) {
  const char* valor = std::getenv("JOURNAL_STREAM");
  if (valor == nullptr) return false;
  unsigned long long dispositivo = 0, inode = 0;
  char resto = 0;
  if (std::sscanf(valor, "%llu:%llu%c", &dispositivo, &inode, &resto) != 2) return false;
  struct stat st {};
  return fstat(fd, &st) == 0 && st.st_dev == dispositivo && st.st_ino == inode;
}

void ConsoleView::Escrever(std::string_view rotulo, const std::string& texto) {
  if (servico_.prioridadesSaida) saida_ << "<6>";
  saida_ << Cp1252ParaUtf8(rotulo) << ": " << Cp1252ParaUtf8(EscaparControles(texto)) << '\n';
  if (descarga_ == Descarga::CadaLinha ||
      std::chrono::steady_clock::now() - ultimaDescarga_ >= std::chrono::milliseconds(250))
    Descarregar();
}

void ConsoleView::AdicionarLinha(Painel painel, const std::string& linha) {
  Escrever(NomePainel(painel), linha);
}

void ConsoleView::MostrarBalao(const std::string& titulo, const std::string& texto) {
  Escrever("Bandeja", titulo + " - " + texto);
}

bool ConsoleView::Pergunta(const std::string& titulo, const std::string& texto) {
  Escrever("Pergunta", titulo + " - " + texto + " [N\xE3o]");
  return false;
}

void ConsoleView::Informacao(const std::string& titulo, const std::string& texto) {
  Escrever("Informa\xE7\xE3o", titulo + " - " + texto);
}

void ConsoleView::MostrarErro(const std::string& texto) {
  ++erros_;
  if (servico_.erros == nullptr)
    Escrever("Erro", texto);
  else
    EscreverFalha("Erro: " + texto);
}

void ConsoleView::EntradaLogErro(const std::string& entrada) {
  if (servico_.erros != nullptr) EscreverFalha(entrada);
}

void ConsoleView::EscreverFalha(const std::string& texto) {
  // A failure may span several lines (a server's error text follows its
  // number on a line of its own); under journald each gets its priority.
  std::string_view resto(texto);
  while (!resto.empty()) {
    const std::size_t fim = resto.find("\r\n");
    if (servico_.prioridadesErros) *servico_.erros << "<3>";
    *servico_.erros << Cp1252ParaUtf8(EscaparControles(std::string(resto.substr(0, fim)))) << '\n';
    resto = fim == std::string_view::npos ? std::string_view() : resto.substr(fim + 2);
  }
  servico_.erros->flush();
}

int ExecutarSemJanela(const OpcoesAgente& opcoes, std::ostream& saida, AmbienteAgente ambiente,
                      Descarga descarga, SaidaServico servico) {
  g_sinal = 0;
  wire::ResumeWaits();
  const struct sigaction antigaInt = Instalar(SIGINT);
  const struct sigaction antigaTerm = Instalar(SIGTERM);

  ConsoleView view(saida, descarga, servico);
  int status = 0;
  {
    Agente agente(view, opcoes, std::move(ambiente));
    view.aoProcessarMensagens = [&] {
      if (g_sinal != 0) agente.PedirEncerramento();
    };
    const bool criado = agente.FormCreate();
    if (opcoes.once) {
      if (!criado) {
        status = 1;
      } else {
        const int errosAntes = view.Erros();
        agente.btnIniciarClick();
        if (!agente.Iniciado() || view.Erros() != errosAntes) status = 1;
      }
    } else if (criado) {
      // Without --once nothing ends the run but a signal: a refused start
      // or a failed pass is tried again on the next tick.
      agente.btnIniciarClick();
    } else if (g_sinal == 0) {
      agente.IniciarQuandoPossivel();
    }
    if (!opcoes.once) {
      using Relogio = std::chrono::steady_clock;
      auto ultimo = Relogio::now();
      while (g_sinal == 0 && !view.Encerrar()) {
        view.Descarregar();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const unsigned intervalo = view.IntervaloTimer();
        if (!view.TimerHabilitado() || intervalo == 0) {
          ultimo = Relogio::now();
          continue;
        }
        if (Relogio::now() - ultimo >= std::chrono::milliseconds(intervalo)) {
          agente.Timer1Timer();
          ultimo = Relogio::now();
        }
      }
    }
    agente.FecharConexoes();
    view.Descarregar();
  }
  sigaction(SIGINT, &antigaInt, nullptr);
  sigaction(SIGTERM, &antigaTerm, nullptr);
  return status;
}

}  // namespace app
