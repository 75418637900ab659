// The behaviour every window of the agent shares that is not drawing: the
// F10 (calculator) and F12 (remote-support tool) keys and the platform
// operations behind them — connectivity test, download, starting a file.
//
// JanelaModelo holds the remote-support settings and the platform hooks and
// talks to the operator through an AgentView (question and information
// boxes). The hooks default to the real platform (os/Connectivity.h,
// os/Download.h, os/Shell.h); tests replace the ones that would reach
// outside the machine. The view is not owned and must outlive the object.
// Single-threaded: keys arrive on the user-interface thread, and the
// download runs synchronously there.
#pragma once

#include <functional>
#include <string>

#include "app/AgentView.h"

namespace app {

// Key codes the windows react to.
namespace Tecla {
constexpr int Enter = 13;
constexpr int Esc = 27;
constexpr int F4 = 115;
constexpr int F5 = 116;
constexpr int F8 = 119;
constexpr int F10 = 121;
constexpr int F11 = 122;
constexpr int F12 = 123;
}  // namespace Tecla

// Where the remote-support tool comes from and where it is kept.
struct ConfiguracaoSuporte {
  std::string pasta;  // folder of the tool
  std::string nomeArquivo = "AA_v3.exe";
  std::string endereco;  // http:// address of the download
  std::string Arquivo() const { return pasta + "/" + nomeArquivo; }
};

// The folder $XDG_DATA_HOME/tolvex/suporte (~/.local/share/… by default) and
// the provider's server chosen at build time, path "/sistema/AA_v3.exe".
ConfiguracaoSuporte ConfiguracaoSuportePadrao();

// True when the machine has a usable network route.
bool TemConexaoInternet();
// Downloads `endereco` to `arquivo`; true exactly when the whole file
// arrived. Never throws.
bool BaixarArquivo(const std::string& endereco, const std::string& arquivo);
// Starts `programa`: directly with the blank-separated `parametros` when it
// is an executable file, otherwise with the desktop's handler for it. False
// when nothing could be started. Never throws.
bool ExecutarArquivo(const std::string& programa, const std::string& parametros);

// The platform operations JanelaModelo uses; empty members take the real ones.
struct PlataformaJanela {
  std::function<bool()> temConexaoInternet;
  std::function<bool(const std::string&, const std::string&)> baixarArquivo;
  std::function<bool(const std::string&, const std::string&)> executarArquivo;
  std::function<bool()> abrirCalculadora;
};

class JanelaModelo {
 public:
  explicit JanelaModelo(AgentView& view, ConfiguracaoSuporte suporte = ConfiguracaoSuportePadrao(),
                        PlataformaJanela plataforma = {});

  // F10 and F12; true when the key was one of them. Other keys are left to
  // the window.
  bool FormKeyDown(int tecla);

  // F10: starts the desktop's calculator; a failure is not reported.
  void AbrirCalculadora();

  // F12: makes sure the tool's folder exists; when the tool is missing, asks
  // whether to download it and does so if the machine is online; then starts
  // the tool when it exists.
  void SuporteRemoto();

  const ConfiguracaoSuporte& Suporte() const { return suporte_; }
  void DefinirSuporte(ConfiguracaoSuporte suporte) { suporte_ = std::move(suporte); }

 private:
  AgentView& view_;
  ConfiguracaoSuporte suporte_;
  PlataformaJanela plataforma_;
};

}  // namespace app
