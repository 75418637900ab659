#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "VisaoGravada.h"
#include "app/Catalogo.h"
#include "app/JanelaModelo.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;
using apptest::Caixa;
using apptest::VisaoGravada;
using namespace app;

std::string Ler(const std::string& arquivo) {
  return support::ReadFile(arquivo);
}

mode_t Modo(const std::string& caminho) {
  struct stat info {};
  return stat(caminho.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class Pasta : public ::testing::Test {
 protected:
  support::TempDir temp_{"suporte"};
  std::string raiz_ = temp_.Path();
};

// F12 with the download, the connectivity test and the program start
// replaced: the "server" hands over `corpo_` (or the result a test gives).
class RemoteSupportKey : public Pasta {
 protected:
  JanelaModelo Janela(bool online = true) {
    ConfiguracaoSuporte suporte;
    suporte.pasta = Pasta();
    suporte.endereco = "https://suporte.exemplo/sistema/AA_v3.exe";
    suporte.sha256 = Sha256DoArquivo(Escrever(raiz_ + "/esperado", "MZ-ferramenta"));
    PlataformaJanela plataforma;
    plataforma.temConexaoInternet = [online] { return online; };
    plataforma.baixarArquivo = [this](const ConfiguracaoSuporte& s, const std::string& arquivo) {
      downloads_.push_back(s.endereco + " -> " + arquivo);
      if (resultado_.ok) Escrever(arquivo, corpo_);
      return resultado_;
    };
    plataforma.executarArquivo = [this](const std::string& programa, const std::string& params) {
      iniciados_.push_back(programa + "|" + params);
      return true;
    };
    return JanelaModelo(visao_, suporte, plataforma);
  }
  std::string Pasta() const { return raiz_ + "/bkp/ATUALIZACAO"; }
  std::string Programa() const { return Pasta() + "/AA_v3.exe"; }
  static std::string Escrever(const std::string& arquivo, const std::string& bytes) {
    std::ofstream(arquivo, std::ios::binary) << bytes;
    return arquivo;
  }
  Caixa Recusa(const std::string& motivo) const {
    return {"informacao", "Aten\xE7\xE3o", TextoSuporteRecusado(motivo)};
  }

  VisaoGravada visao_;
  std::string corpo_ = "MZ-ferramenta";
  ResultadoDownload resultado_{true, ""};
  std::vector<std::string> downloads_;
  std::vector<std::string> iniciados_;
};

TEST_F(RemoteSupportKey, FirstPressAsksDownloadsAndStartsLaterPressesStartAtOnce) {
  JanelaModelo janela = Janela();
  visao_.respostas = {true};

  EXPECT_TRUE(janela.FormKeyDown(Tecla::F12));

  EXPECT_EQ(Ler(Programa()), "MZ-ferramenta");
  EXPECT_EQ(visao_.caixas,
            (std::vector<Caixa>{
                {"pergunta", "Aten\xE7\xE3o", "Deseja baixar o programa Ammy Admin?"},
                {"informacao", "Aten\xE7\xE3o",
                 "Vers\xE3o baixada com sucesso.\r\rNa pasta:\r" + Pasta() + "/"},
            }));
  EXPECT_EQ(iniciados_, std::vector<std::string>{Programa() + "|"});
  EXPECT_EQ(downloads_,
            std::vector<std::string>{"https://suporte.exemplo/sistema/AA_v3.exe -> " + Programa()});
  // The folder and its missing parents are private to the user.
  EXPECT_EQ(Modo(Pasta()), 0700u);
  EXPECT_EQ(Modo(raiz_ + "/bkp"), 0700u);

  // The tool is there now: no question, no download, just the start.
  visao_.caixas.clear();
  janela.FormKeyDown(Tecla::F12);
  EXPECT_TRUE(visao_.caixas.empty());
  EXPECT_EQ(iniciados_.size(), 2u);
  EXPECT_EQ(downloads_.size(), 1u);
}

TEST_F(RemoteSupportKey, AStoredFileIsCheckedAgainBeforeEveryStart) {
  JanelaModelo janela = Janela();
  visao_.respostas = {true};
  janela.FormKeyDown(Tecla::F12);
  ASSERT_EQ(iniciados_.size(), 1u);

  // Changed after the download: told, not started, offered again.
  Escrever(Programa(), "MZ-trocado");
  visao_.caixas.clear();
  visao_.respostas = {false};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas,
            (std::vector<Caixa>{
                {"informacao", "Aten\xE7\xE3o", TextoSuporteNaoConfere(Pasta() + "/")},
                {"pergunta", "Aten\xE7\xE3o", "Deseja baixar o programa Ammy Admin?"},
            }));
  EXPECT_EQ(iniciados_.size(), 1u);

  // Offline, answered Yes: the wrong file is still not started.
  JanelaModelo semRede = Janela(false);
  visao_.caixas.clear();
  visao_.respostas = {true};
  semRede.FormKeyDown(Tecla::F12);
  ASSERT_EQ(visao_.caixas.size(), 3u);
  EXPECT_EQ(visao_.caixas[2].texto, TextoSemInternet());
  EXPECT_EQ(iniciados_.size(), 1u);

  // Answered Yes online: downloaded afresh over it and started.
  visao_.caixas.clear();
  visao_.respostas = {true};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(Ler(Programa()), "MZ-ferramenta");
  EXPECT_EQ(iniciados_.size(), 2u);
}

TEST_F(RemoteSupportKey, ADownloadedFileThatIsNotTheExpectedOneIsRemovedAndNotStarted) {
  corpo_ = "MZ-outra-coisa";
  JanelaModelo janela = Janela();
  visao_.respostas = {true};
  janela.FormKeyDown(Tecla::F12);
  ASSERT_EQ(visao_.caixas.size(), 2u);
  EXPECT_EQ(visao_.caixas[1], Recusa(MotivoSuporteSha256()));
  EXPECT_FALSE(fs::exists(Programa()));
  EXPECT_TRUE(iniciados_.empty());
}

TEST_F(RemoteSupportKey, FailedDownloadsAreSilentUnlessACheckRefusedThem) {
  resultado_ = ResultadoDownload{};
  JanelaModelo janela = Janela();
  visao_.respostas = {true, true};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas.size(), 1u);
  EXPECT_FALSE(fs::exists(Programa()));
  EXPECT_TRUE(iniciados_.empty());

  // The next press asks again; a refused download is told.
  resultado_ = ResultadoDownload{false, MotivoSuporteCertificado()};
  janela.FormKeyDown(Tecla::F12);
  ASSERT_EQ(visao_.caixas.size(), 3u);
  EXPECT_EQ(visao_.caixas[1].tipo, "pergunta");
  EXPECT_EQ(visao_.caixas[2], Recusa(MotivoSuporteCertificado()));
  EXPECT_TRUE(iniciados_.empty());
}

TEST_F(RemoteSupportKey, AnsweredNoLeavesNoFileAndShowsNothingMore) {
  JanelaModelo janela = Janela();
  visao_.respostas = {false};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas.size(), 1u);
  EXPECT_FALSE(fs::exists(Programa()));
  EXPECT_TRUE(fs::is_directory(Pasta()));  // the folder is made anyway
  EXPECT_TRUE(iniciados_.empty());
  EXPECT_TRUE(downloads_.empty());
}

TEST_F(RemoteSupportKey, OfflineAnsweredYesSaysThereIsNoConnectivity) {
  JanelaModelo janela = Janela(false);
  visao_.respostas = {true};
  janela.FormKeyDown(Tecla::F12);
  ASSERT_EQ(visao_.caixas.size(), 2u);
  EXPECT_EQ(visao_.caixas[1],
            (Caixa{"informacao", "Aten\xE7\xE3o", "N\xE3o h\xE1 conectividade com a internet"}));
  EXPECT_FALSE(fs::exists(Programa()));
  EXPECT_TRUE(iniciados_.empty());
  EXPECT_TRUE(downloads_.empty());
}

TEST_F(RemoteSupportKey, WithoutAHashOrAHomeFolderNothingIsAskedDownloadedOrStarted) {
  JanelaModelo janela = Janela();
  fs::create_directories(Pasta());
  Escrever(Programa(), "MZ-ferramenta");
  const ConfiguracaoSuporte original = janela.Suporte();
  ConfiguracaoSuporte suporte = original;
  suporte.sha256.clear();
  janela.DefinirSuporte(suporte);
  visao_.respostas = {true};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas,
            (std::vector<Caixa>{{"informacao", "Aten\xE7\xE3o", TextoSuporteSemSha256()}}));

  visao_.caixas.clear();
  suporte = original;
  suporte.pasta.clear();
  janela.DefinirSuporte(suporte);
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas,
            (std::vector<Caixa>{{"informacao", "Aten\xE7\xE3o", TextoSuporteSemPastaPessoal()}}));
  EXPECT_TRUE(iniciados_.empty());
  EXPECT_TRUE(downloads_.empty());
}

TEST_F(RemoteSupportKey, AFolderOthersCouldWriteToIsTightenedOneOfAnotherUserRefused) {
  fs::create_directories(Pasta());
  chmod(Pasta().c_str(), 0777);
  JanelaModelo janela = Janela();
  visao_.respostas = {true};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(Modo(Pasta()), 0700u);
  EXPECT_EQ(iniciados_.size(), 1u);

  if (geteuid() != 0) GTEST_SKIP() << "a folder of another user needs root to make";
  const std::string alheia = raiz_ + "/alheia";
  fs::create_directories(alheia);
  Escrever(alheia + "/AA_v3.exe", "MZ-ferramenta");
  ASSERT_EQ(chown(alheia.c_str(), 65534, 65534), 0);
  ConfiguracaoSuporte suporte = janela.Suporte();
  suporte.pasta = alheia;
  janela.DefinirSuporte(suporte);
  visao_.caixas.clear();
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas, (std::vector<Caixa>{{"informacao", "Aten\xE7\xE3o",
                                                TextoSuportePastaRecusada(alheia + "/")}}));
  EXPECT_EQ(iniciados_.size(), 1u);
}

TEST_F(RemoteSupportKey, OtherKeysAreLeftToTheWindowAndF10StartsTheCalculator) {
  int calculadoras = 0;
  ConfiguracaoSuporte suporte;
  suporte.pasta = raiz_;
  PlataformaJanela plataforma;
  plataforma.abrirCalculadora = [&calculadoras] {
    ++calculadoras;
    return false;  // not found: still no message
  };
  JanelaModelo janela(visao_, suporte, plataforma);
  for (int tecla : {Tecla::F4, Tecla::F5, Tecla::F8, Tecla::F11, Tecla::Esc, Tecla::Enter}) {
    EXPECT_FALSE(janela.FormKeyDown(tecla)) << tecla;
  }
  EXPECT_TRUE(janela.FormKeyDown(Tecla::F10));
  EXPECT_EQ(calculadoras, 1);
  EXPECT_TRUE(visao_.caixas.empty());
}

TEST(RemoteSupportDefaults, PerUserFolderOverHttpsAndNoFolderWithoutAHome) {
  ConfiguracaoSuporte c = ConfiguracaoSuportePadrao();
  EXPECT_EQ(c.nomeArquivo, "AA_v3.exe");
  EXPECT_NE(c.pasta.find("/tolvex/suporte"), std::string::npos);
  EXPECT_EQ(c.endereco.rfind("https://", 0), 0u);
  EXPECT_EQ(c.endereco.substr(c.endereco.size() - 18), "/sistema/AA_v3.exe");
  EXPECT_EQ(c.Arquivo(), c.pasta + "/AA_v3.exe");
  EXPECT_EQ(c.tamanhoMaximo, kTamanhoMaximoSuporte);
  EXPECT_EQ(EnderecoSuporte("127.0.0.1:8443", "AA_v3.exe"),
            "https://127.0.0.1:8443/sistema/AA_v3.exe");

  const char* home = getenv("HOME");
  const char* dados = getenv("XDG_DATA_HOME");
  const std::string homeGuardado = home ? home : "", dadosGuardado = dados ? dados : "";
  unsetenv("HOME");
  unsetenv("XDG_DATA_HOME");
  const std::string semCasa = ConfiguracaoSuportePadrao().pasta;
  if (home) setenv("HOME", homeGuardado.c_str(), 1);
  if (dados) setenv("XDG_DATA_HOME", dadosGuardado.c_str(), 1);
  EXPECT_EQ(semCasa, "");
}

TEST_F(Pasta, Sha256OfAFile) {
  const std::string arquivo = raiz_ + "/a";
  std::ofstream(arquivo, std::ios::binary) << "abc";
  EXPECT_EQ(Sha256DoArquivo(arquivo),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::ofstream(arquivo, std::ios::binary | std::ios::trunc);
  EXPECT_EQ(Sha256DoArquivo(arquivo),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256DoArquivo(raiz_ + "/nao-existe"), "");
}

}  // namespace
