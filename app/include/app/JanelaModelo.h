// The behaviour every window of the agent shares that is not drawing: the
// F10 (calculator) and F12 (remote-support tool) keys and the platform
// operations behind them — connectivity test, download, starting a file.
//
// JanelaModelo holds the remote-support settings and the platform hooks and
// talks to the operator through an AgentView (question and information
// boxes). The hooks default to the real platform (os/Connectivity.h,
// os/Shell.h), except the download: F12 exists only in the window, so the
// windows bring the downloader (Qt Network) and without it nothing is
// downloaded. Tests replace the hooks that would reach outside the machine.
// The tool is started only when its SHA-256 is the one the build expects,
// checked again before every start. The view is not owned and must outlive
// the object. Single-threaded: keys arrive on the user-interface thread, and
// the download runs synchronously there.
#pragma once

#include <cstdint>
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

// Largest remote-support tool a download accepts (the tool is about 1 MB).
constexpr std::int64_t kTamanhoMaximoSuporte = 32 * 1024 * 1024;

// Where the remote-support tool comes from, how it is recognised and where
// it is kept.
struct ConfiguracaoSuporte {
  std::string pasta;  // folder of the tool; empty when the user has no home folder
  std::string nomeArquivo = "AA_v3.exe";
  std::string endereco;  // https:// address of the download
  // SHA-256 of the expected tool, 64 hexadecimal digits; empty: no file is
  // ever started.
  std::string sha256;
  // PEM file of the certificate authorities the download trusts; empty: the
  // system's.
  std::string certificadosCa;
  std::int64_t tamanhoMaximo = kTamanhoMaximoSuporte;
  std::string Arquivo() const { return pasta + "/" + nomeArquivo; }
};

// The folder $XDG_DATA_HOME/tolvex/suporte (~/.local/share/… by default;
// empty without a home folder), the provider's server chosen at build time
// over HTTPS, path "/sistema/AA_v3.exe", and the tool's SHA-256 chosen at
// build time.
ConfiguracaoSuporte ConfiguracaoSuportePadrao();
// The download address of the tool on `servidor` (HOST[:PORT]).
std::string EnderecoSuporte(const std::string& servidor, const std::string& nomeArquivo);

// How a download ended. `recusa` names, in the operator's words, the safety
// check the server failed (certificate, HTTPS, a redirect to another host,
// the size limit); it is empty for an ordinary failure (no answer, an error
// status), which is not reported.
struct ResultadoDownload {
  bool ok = false;
  std::string recusa;
};

// The lowercase hexadecimal SHA-256 of the file's bytes; empty when it
// cannot be read.
std::string Sha256DoArquivo(const std::string& arquivo);

// True when the machine has a usable network route.
bool TemConexaoInternet();
// Starts `programa`: directly with the blank-separated `parametros` when it
// is an executable file, otherwise with the desktop's handler for it. False
// when nothing could be started. Never throws.
bool ExecutarArquivo(const std::string& programa, const std::string& parametros);

// The platform operations JanelaModelo uses; empty members take the real ones
// (an empty download downloads nothing).
struct PlataformaJanela {
  std::function<bool()> temConexaoInternet;
  // Downloads the tool described by the settings to the file: the whole file
  // under that name, or nothing under it. Never throws.
  std::function<ResultadoDownload(const ConfiguracaoSuporte&, const std::string&)> baixarArquivo;
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

  // F12: makes sure the tool's folder exists (0700, owned by the user);
  // when the tool is missing or is not the expected file, asks whether to
  // download it and does so if the machine is online; then starts the tool
  // when it is there and its SHA-256 matches. A refusal (no home folder, no
  // SHA-256 in the build, an unsafe folder, a file or download that failed
  // a check) is told in an information box.
  void SuporteRemoto();

  const ConfiguracaoSuporte& Suporte() const { return suporte_; }
  void DefinirSuporte(ConfiguracaoSuporte suporte) { suporte_ = std::move(suporte); }

 private:
  // True when the file's SHA-256 is the expected one.
  bool Confere(const std::string& arquivo) const;

  AgentView& view_;
  ConfiguracaoSuporte suporte_;
  PlataformaJanela plataforma_;
};

}  // namespace app
