#include "app/Agente.h"

#include <utility>

#include "app/Catalogo.h"
#include "app/Evento.h"
#include "app/Normalizadores.h"
#include "app/PastaLog.h"
#include "os/Shell.h"
#include "rtl/FormatSettings.h"
#include "rtl/SysUtils.h"

namespace app {

namespace {

// Clears a flag when the scope ends, however it ends.
class Bandeira {
 public:
  explicit Bandeira(bool& flag) : flag_(flag) { flag_ = true; }
  ~Bandeira() { flag_ = false; }
  Bandeira(const Bandeira&) = delete;
  Bandeira& operator=(const Bandeira&) = delete;

 private:
  bool& flag_;
};

ConfiguracaoSuporte Suporte(const OpcoesAgente& opcoes) {
  ConfiguracaoSuporte s = ConfiguracaoSuportePadrao();
  if (opcoes.pastaSuporte) s.pasta = *opcoes.pastaSuporte;
  if (opcoes.servidorSuporte) s.endereco = EnderecoSuporte(*opcoes.servidorSuporte, s.nomeArquivo);
  return s;
}

PastaDoLog PastaLog(const OpcoesAgente& opcoes, const AmbienteAgente& ambiente) {
  if (!opcoes.pastaLog && !ambiente.pastaPrograma.empty()) return {ambiente.pastaPrograma, false};
  return EscolherPastaLog(opcoes.pastaLog, os::ExecutableDirectory());
}

Relogio RelogioDe(const AmbienteAgente& ambiente) {
  return ambiente.relogio ? ambiente.relogio : Relogio(&Agora);
}

// Number texts must reach the normalisers with a decimal comma and no other
// separator, whatever the machine's locale says.
void FixarSeparadores() {
  rtl::TFormatSettings& f = rtl::FormatSettings();
  f.DecimalSeparator = ',';
  f.ThousandSeparator = '.';
}

}  // namespace

Agente::Agente(AgentView& view, const OpcoesAgente& opcoes, AmbienteAgente ambiente)
    : view_(view),
      componentes_((FixarSeparadores(), std::make_unique<ComponentesAgente>())),
      registro_(view, RelogioDe(ambiente)),
      pastaLog_(PastaLog(opcoes, ambiente)),
      log_(pastaLog_.pasta, RelogioDe(ambiente)),
      janela_(view, Suporte(opcoes), std::move(ambiente.plataforma)),
      marcarEmLote_(opcoes.marcarEmLote.value_or(opcoes.configuracao.marcarEmLote.value_or(0))) {
  ComponentesAgente::AplicarConfiguracao(componentes_->dbVidoru, opcoes.configuracao.retaguarda);
  ComponentesAgente::AplicarConfiguracao(componentes_->dbPDV, opcoes.configuracao.pdv);
  if (opcoes.retaguarda)
    ComponentesAgente::DefinirServidor(componentes_->dbVidoru, opcoes.retaguarda->host,
                                       opcoes.retaguarda->porta);
  if (opcoes.pdv)
    ComponentesAgente::DefinirServidor(componentes_->dbPDV, opcoes.pdv->host, opcoes.pdv->porta);
  log_.DefinirDiasGuardados(opcoes.configuracao.diasLog.value_or(DiasGuardadosPadrao()));
}

Agente::~Agente() {
  frmConfiguracao_.reset();
  FecharConexoes();
}

void Agente::AtualizarBotoes(bool iniciar, bool parar, bool config) {
  view_.HabilitarBotao(Botao::Iniciar, iniciar);
  view_.HabilitarBotao(Botao::Parar, parar);
  view_.HabilitarBotao(Botao::Configuracoes, config);
}

bool Agente::FormCreate() {
  AtualizarBotoes(true, false, true);
  view_.HabilitarBotao(Botao::Esconder, true);
  view_.HabilitarBotao(Botao::Encerrar, true);
  view_.IconeBandejaVisivel(true);
  view_.DefinirIntervaloTimer(intervaloMs_);
  view_.HabilitarTimer(true);
  bool ok = false;
  ComoEvento(view_, [&] {
    componentes_->dbVidoru.Open();
    componentes_->dbPDV.Open();
    registro_.LimparPaineis();
    AbrirParametros();
    ok = true;
  });
  criado_ = ok;
  // Away from the program the log is hard to guess: the pane says where.
  if (pastaLog_.estado) registro_.Linha(Painel::Clientes, LinhaPastaLog(log_.Pasta()));
  return ok;
}

bool Agente::ReabrirConexoes() {
  for (components::TmySQLDatabase* banco : {&componentes_->dbVidoru, &componentes_->dbPDV}) {
    if (banco->Connected()) continue;
    try {
      banco->Open();
    } catch (const std::exception&) {
      // Still unreachable: the caller tests Connected(), the next tick
      // tries again.
    }
  }
  const bool ambas = componentes_->dbVidoru.Connected() && componentes_->dbPDV.Connected();
  if (ambas && !criado_) {
    // The rest of a creation that failed; the panes keep what they show.
    try {
      AbrirParametros();
      criado_ = true;
    } catch (const std::exception&) {
      // Not yet: the next reconnection tries the rest of the creation again.
    }
  }
  return ambas;
}

void Agente::AbrirParametros() {
  if (!componentes_->tblParametos.Active()) componentes_->tblParametos.Open();
  AplicarIntervalo();
}

void Agente::AplicarIntervalo() {
  components::TmySQLTable& tabela = componentes_->tblParametos;
  db::TField& campo = componentes_->tblParametostempoatualizacaoPDV;
  unsigned ms = 0;
  std::string texto;
  if (tabela.Active()) {
    if (!campo.IsNull()) ms = 1000u * static_cast<unsigned>(TempoEmSegundos(campo.AsDateTime()));
    texto = campo.DisplayText();
  } else {
    ms = intervaloMs_;
  }
  intervaloMs_ = ms;
  view_.DefinirIntervaloTimer(ms);
  view_.MostrarIntervalo(texto);
}

void Agente::btnIniciarClick() {
  // A start while a pass runs would run a second pass inside the first on
  // the same queries.
  if (emImportacao_) return;
  inicioPendente_ = false;
  ComoEvento(view_, [&] {
    AtualizarBotoes(false, true, false);
    for (Painel p : {Painel::Clientes, Painel::Produtos}) registro_.Linha(p, LinhaIniciando());
    ReabrirConexoes();
    auto recusar = [&](const std::string& linha) {
      for (Painel p : {Painel::Clientes, Painel::Produtos}) registro_.Linha(p, linha);
      iniciado_ = false;
      inicioPendente_ = true;
      rtl::Abort();
    };
    if (!componentes_->dbVidoru.Connected()) recusar(LinhaErroConexaoRetaguarda());
    if (!componentes_->dbPDV.Connected()) recusar(LinhaErroConexaoPDV());
    iniciado_ = true;
    for (Painel p : {Painel::Clientes, Painel::Produtos}) {
      registro_.Linha(p, LinhaIniciadoComSucesso(registro_.Carimbo()));
      registro_.Linha(p, "");
    }
    ExecutarImportacao();
  });
}

void Agente::btnPararClick() {
  iniciado_ = false;
  inicioPendente_ = false;
  AtualizarBotoes(true, false, true);
}

void Agente::Timer1Timer() {
  if (ocupado_ || emImportacao_ || encerramentoPedido_) return;
  if (!iniciado_) {
    // A refused start runs as soon as both servers answer; after a failed
    // creation the connections are tried again even while idle.
    if (inicioPendente_) {
      if (ReabrirConexoes()) btnIniciarClick();
    } else if (!criado_) {
      ReabrirConexoes();
    }
    return;
  }
  if (!ReabrirConexoes()) return;
  ComoEvento(view_, [&] { ExecutarImportacao(); });
}

void Agente::ExecutarImportacao() {
  if (emImportacao_ || encerramentoPedido_) return;
  Bandeira emCurso(emImportacao_);
  passoInterrompido_ = false;
  view_.AtivarPagina(Painel::Clientes);
  ImportarClientes();
  // A server lost in the customer pass is not tried again by the product
  // pass: the next pass starts over.
  if (encerramentoPedido_ || passoInterrompido_) return;
  view_.AtivarPagina(Painel::Produtos);
  ImportarProdutos();
}

void Agente::btnEsconderClick() {
  view_.EsconderJanela();
  view_.MinimizarJanela();
  view_.IconeBandejaVisivel(true);
  registro_.ObterBalao().Mostrar();
}

void Agente::ApplicationEvents1Minimize() {
  btnEsconderClick();
}

void Agente::TrayIcon1DblClick() {
  view_.MostrarJanela();
  view_.RestaurarJanela();
  view_.TrazerParaFrente();
}

void Agente::Restaurar1Click() {
  TrayIcon1DblClick();
}

void Agente::btnEncerrarClick() {
  if (!view_.Pergunta(TituloPergunta(), TextoConfirmarEncerramento())) return;
  PedirEncerramento();
  view_.EncerrarAplicacao();
}

void Agente::EncerrarPrograma1Click() {
  btnEncerrarClick();
}

void Agente::btnConfigClick() {
  if (frmConfiguracao_) return;  // the dialog is modal: one at a time
  ComoEvento(view_, [&] {
    frmConfiguracao_ = std::make_unique<Configuracao>(*this);
    struct Liberar {
      std::unique_ptr<Configuracao>& dialogo;
      ~Liberar() {
        // A dialog closed without its buttons leaves nothing in edit state.
        try {
          if (dialogo && !dialogo->Fechado()) dialogo->btnSairClick();
        } catch (...) {
          // A destructor must not raise; the dialog goes either way.
        }
        dialogo.reset();
      }
    } liberar{frmConfiguracao_};
    frmConfiguracao_->FormCreate();
    view_.MostrarConfiguracoes();
  });
}

void Agente::FormKeyDown(int tecla) {
  bool comum = false;
  ComoEvento(view_, [&] { comum = janela_.FormKeyDown(tecla); });
  if (comum) return;
  // The main window's own keys.
  static constexpr std::pair<int, void (Agente::*)()> kTeclas[] = {
      {Tecla::F5, &Agente::btnIniciarClick},   {Tecla::F4, &Agente::btnPararClick},
      {Tecla::Esc, &Agente::btnEsconderClick}, {Tecla::F11, &Agente::btnEncerrarClick},
      {Tecla::F8, &Agente::btnConfigClick},
  };
  for (const auto& [t, clique] : kTeclas)
    if (t == tecla) return (this->*clique)();
}

void Agente::PedirEncerramento() {
  encerramentoPedido_ = true;
}

void Agente::FecharConexoes() {
  for (components::TmySQLDatabase* banco : {&componentes_->dbVidoru, &componentes_->dbPDV}) {
    try {
      banco->Close();
    } catch (...) {
      // A connection whose close fails is gone all the same: nothing to undo.
    }
  }
}

}  // namespace app
