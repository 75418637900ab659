#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ServidorHttp.h"
#include "VisaoGravada.h"
#include "app/Catalogo.h"
#include "app/JanelaModelo.h"
#include "os/Download.h"

namespace {

namespace fs = std::filesystem;
using apptest::Caixa;
using apptest::ServidorHttp;
using apptest::VisaoGravada;
using namespace app;

std::string Ler(const std::string& arquivo) {
  std::ifstream in(arquivo, std::ios::binary);
  std::ostringstream texto;
  texto << in.rdbuf();
  return texto.str();
}

class Pasta : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string modelo = (fs::temp_directory_path() / "suporte-XXXXXX").string();
    ASSERT_NE(mkdtemp(modelo.data()), nullptr);
    raiz_ = modelo;
  }
  void TearDown() override { fs::remove_all(raiz_); }
  std::string raiz_;
};

// F12 against a real download from a loopback server; the connectivity test
// and the program start are replaced so the test neither depends on the
// machine's network nor starts anything.
class RemoteSupportKey : public Pasta {
 protected:
  JanelaModelo Janela(bool online = true) {
    ConfiguracaoSuporte suporte;
    suporte.pasta = raiz_ + "/bkp/ATUALIZACAO";
    suporte.endereco = servidor_.Url("/sistema/AA_v3.exe");
    PlataformaJanela plataforma;
    plataforma.temConexaoInternet = [online] { return online; };
    plataforma.executarArquivo = [this](const std::string& programa, const std::string& params) {
      iniciados_.push_back(programa + "|" + params);
      return true;
    };
    return JanelaModelo(visao_, suporte, plataforma);
  }
  std::string Programa() const { return raiz_ + "/bkp/ATUALIZACAO/AA_v3.exe"; }

  ServidorHttp servidor_;
  VisaoGravada visao_;
  std::vector<std::string> iniciados_;
};

TEST_F(RemoteSupportKey, FirstPressAsksDownloadsAndStartsLaterPressesStartAtOnce) {
  servidor_.Responder("/sistema/AA_v3.exe", ServidorHttp::Ok("MZ-ferramenta"));
  JanelaModelo janela = Janela();
  visao_.respostas = {true};

  EXPECT_TRUE(janela.FormKeyDown(Tecla::F12));

  EXPECT_EQ(Ler(Programa()), "MZ-ferramenta");
  const std::string pasta = raiz_ + "/bkp/ATUALIZACAO/";
  EXPECT_EQ(
      visao_.caixas,
      (std::vector<Caixa>{
          {"pergunta", "Aten\xE7\xE3o", "Deseja baixar o programa Ammy Admin?"},
          {"informacao", "Aten\xE7\xE3o", "Vers\xE3o baixada com sucesso.\r\rNa pasta:\r" + pasta},
      }));
  EXPECT_EQ(iniciados_, std::vector<std::string>{Programa() + "|"});
  ASSERT_EQ(servidor_.Pedidos().size(), 1u);
  EXPECT_EQ(servidor_.Pedidos()[0].rfind("GET /sistema/AA_v3.exe HTTP/1.0\r\n", 0), 0u);

  // The tool is there now: no question, no download, just the start.
  visao_.caixas.clear();
  janela.FormKeyDown(Tecla::F12);
  EXPECT_TRUE(visao_.caixas.empty());
  EXPECT_EQ(iniciados_.size(), 2u);
  EXPECT_EQ(servidor_.Pedidos().size(), 1u);
}

TEST_F(RemoteSupportKey, AnsweredNoLeavesNoFileAndShowsNothingMore) {
  servidor_.Responder("/sistema/AA_v3.exe", ServidorHttp::Ok("MZ"));
  JanelaModelo janela = Janela();
  visao_.respostas = {false};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas.size(), 1u);
  EXPECT_FALSE(fs::exists(Programa()));
  EXPECT_TRUE(fs::is_directory(raiz_ + "/bkp/ATUALIZACAO"));  // the folder is made anyway
  EXPECT_TRUE(iniciados_.empty());
  EXPECT_TRUE(servidor_.Pedidos().empty());
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
  EXPECT_TRUE(servidor_.Pedidos().empty());
}

TEST_F(RemoteSupportKey, FailedDownloadIsSilentAndTheNextPressAsksAgain) {
  // Nothing registered: the server answers 404.
  JanelaModelo janela = Janela();
  visao_.respostas = {true, true};
  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas.size(), 1u);
  EXPECT_FALSE(fs::exists(Programa()));
  EXPECT_TRUE(iniciados_.empty());

  janela.FormKeyDown(Tecla::F12);
  EXPECT_EQ(visao_.caixas.size(), 2u);
  EXPECT_EQ(visao_.caixas[1].tipo, "pergunta");
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

TEST(RemoteSupportDefaults, PerUserFolderAndProviderPath) {
  ConfiguracaoSuporte c = ConfiguracaoSuportePadrao();
  EXPECT_EQ(c.nomeArquivo, "AA_v3.exe");
  EXPECT_NE(c.pasta.find("/tolvex/suporte"), std::string::npos);
  EXPECT_EQ(c.endereco.rfind("http://", 0), 0u);
  EXPECT_EQ(c.endereco.substr(c.endereco.size() - 18), "/sistema/AA_v3.exe");
  EXPECT_EQ(c.Arquivo(), c.pasta + "/AA_v3.exe");
}

class HttpDownloadTest : public Pasta {
 protected:
  ServidorHttp servidor_;
};

TEST_F(HttpDownloadTest, FollowsRedirectsAndKeepsBinaryBytes) {
  const std::string corpo("\x00\x01\xFF\r\n\r\nfim", 10);
  servidor_.Responder("/novo", ServidorHttp::Ok(corpo));
  servidor_.Responder("/velho",
                      "HTTP/1.1 302 Found\r\nLocation: /novo\r\nContent-Length: 0\r\n\r\n");
  const std::string destino = raiz_ + "/arquivo";
  os::DownloadResult r = os::HttpDownload(servidor_.Url("/velho"), destino, 5);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(Ler(destino), corpo);
  EXPECT_FALSE(fs::exists(destino + ".part"));
  ASSERT_EQ(servidor_.Pedidos().size(), 2u);
  EXPECT_NE(servidor_.Pedidos()[1].find("\r\nHost: 127.0.0.1:" + std::to_string(servidor_.Porta()) +
                                        "\r\n"),
            std::string::npos);
}

TEST_F(HttpDownloadTest, BodyWithoutLengthRunsToTheEndOfTheConnection) {
  servidor_.Responder("/a", "HTTP/1.0 200 OK\r\n\r\nsem tamanho");
  os::DownloadResult r = os::HttpDownload(servidor_.Url("/a"), raiz_ + "/a", 5);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Ler(raiz_ + "/a"), "sem tamanho");
}

TEST_F(HttpDownloadTest, FailuresLeaveNoFileUnderTheTargetName) {
  servidor_.Responder("/curto", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nso um pouco");
  servidor_.Responder("/erro", "HTTP/1.0 500 Internal Server Error\r\n\r\n");
  servidor_.Responder("/lixo", "SSH-2.0-OpenSSH\r\n\r\n");
  servidor_.Responder("/laco", "HTTP/1.0 301 Moved\r\nLocation: /laco\r\n\r\n");
  struct Caso {
    std::string caminho;
    int status;
  };
  for (const Caso& c : {Caso{"/curto", 200}, Caso{"/erro", 500}, Caso{"/nada", 404},
                        Caso{"/lixo", 0}, Caso{"/laco", 301}}) {
    const std::string destino = raiz_ + "/alvo";
    std::ofstream(destino) << "antigo";
    os::DownloadResult r = os::HttpDownload(servidor_.Url(c.caminho), destino, 5);
    EXPECT_FALSE(r.ok) << c.caminho;
    EXPECT_EQ(r.status, c.status) << c.caminho;
    EXPECT_FALSE(r.error.empty()) << c.caminho;
    EXPECT_EQ(Ler(destino), "antigo") << c.caminho;
    EXPECT_FALSE(fs::exists(destino + ".part")) << c.caminho;
  }
  EXPECT_FALSE(os::HttpDownload("https://127.0.0.1/x", raiz_ + "/y", 5).ok);
  EXPECT_FALSE(BaixarArquivo("http://127.0.0.1:1/x", raiz_ + "/y"));
}

TEST(HttpUrl, SplitsHostPortAndPath) {
  struct Caso {
    std::string url;
    bool valido;
    std::string host;
    int porta;
    std::string caminho;
  };
  for (const Caso& c : {
           Caso{"http://www.tolvex.com.br/sistema/AA_v3.exe", true, "www.tolvex.com.br", 80,
                "/sistema/AA_v3.exe"},
           Caso{"HTTP://h:8080", true, "h", 8080, "/"},
           Caso{"http://h?x=1", true, "h", 80, "/?x=1"},
           Caso{"http://[::1]:81/a", true, "::1", 81, "/a"},
           Caso{"https://h/", false, "", 0, ""},
           Caso{"http:///a", false, "", 0, ""},
           Caso{"http://h:0/", false, "", 0, ""},
           Caso{"http://h:65536/", false, "", 0, ""},
           Caso{"http://h:8x/", false, "", 0, ""},
       }) {
    auto u = os::ParseHttpUrl(c.url);
    ASSERT_EQ(u.has_value(), c.valido) << c.url;
    if (!u) continue;
    EXPECT_EQ(u->host, c.host) << c.url;
    EXPECT_EQ(u->port, c.porta) << c.url;
    EXPECT_EQ(u->path, c.caminho) << c.url;
  }
}

}  // namespace
