// F12 through the main window against a web server on loopback, with the
// downloader the window brings: HTTPS with a certificate from a throwaway
// authority the test trusts. The right file is stored and started; a wrong
// file, a redirect to another host or to plain HTTP, a plain-HTTP server, a
// certificate nobody vouches for or for another name, and a file over the
// size limit are refused with an information box and nothing is started.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "JanelasTeste.h"
#include "ServidorHttp.h"
#include "app/Catalogo.h"
#include "ui/Texto.h"

namespace {

namespace fs = std::filesystem;
using app::ui::DeCp1252;
using uiteste::CaixaVista;
using uiteste::CertificadosTeste;
using uiteste::ServidorHttp;

const std::string kFerramenta("MZ\x90\x00\x03\r\n ferramenta de suporte", 29);

std::string Sha256(const std::string& dados) {
  unsigned char resumo[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(dados.data()), dados.size(), resumo);
  std::ostringstream hex;
  for (unsigned char b : resumo) {
    hex << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 0x0F];
  }
  return hex.str();
}

std::string Ler(const std::string& arquivo) {
  std::ifstream in(arquivo, std::ios::binary);
  std::ostringstream texto;
  texto << in.rdbuf();
  return texto.str();
}

class SuporteHttps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    autoridade_ = new QTemporaryDir;
    certificados_ = new CertificadosTeste;
    gerados_ = certificados_->Gerar(autoridade_->path().toStdString());
  }
  static void TearDownTestSuite() {
    delete certificados_;
    delete autoridade_;
  }

  void SetUp() override { ASSERT_TRUE(gerados_) << "openssl could not make the certificates"; }

  void TearDown() override {
    if (frm) frm->hide();
    frm.reset();
  }

  const CertificadosTeste& Certificados() const { return *certificados_; }

  // The main window with F12 pointed at `servidor`, expecting kFerramenta.
  void Abrir(const ServidorHttp& servidor, bool confiarNaAutoridade = true) {
    app::OpcoesAgente opcoes;
    opcoes.servidorSuporte = servidor.Servidor();
    opcoes.pastaSuporte = pasta.path().toStdString() + "/suporte";
    frm = std::make_unique<app::ui::TfrmPincipal>(
        opcoes,
        uiteste::AmbienteContado(pasta.path().toStdString(), calculadoras, executados, true));
    app::ConfiguracaoSuporte suporte = frm->Agent().Janela().Suporte();
    suporte.sha256 = Sha256(kFerramenta);
    if (confiarNaAutoridade) suporte.certificadosCa = Certificados().ca;
    frm->Agent().Janela().DefinirSuporte(suporte);
    frm->show();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
  }

  std::string Arquivo() const { return frm->Agent().Janela().Suporte().Arquivo(); }

  // F12 answered Yes, and the box after it closed with OK.
  std::vector<CaixaVista> F12() {
    uiteste::RoteiroModal roteiro;
    roteiro.Esperar(uiteste::Responder(QMessageBox::Yes));
    roteiro.Esperar(uiteste::Responder(QMessageBox::Ok));
    uiteste::Tecla(frm.get(), Qt::Key_F12);
    EXPECT_TRUE(roteiro.Concluido());
    EXPECT_EQ(roteiro.inesperadas, 0);
    return roteiro.caixas;
  }

  // `servidor` holds the tool, yet F12 refuses it for `motivo` before
  // asking for it.
  void ConfereRecusaSemPedido(ServidorHttp& servidor, bool confiarNaAutoridade,
                              const std::string& motivo, const std::string& caso) {
    servidor.Responder("/sistema/AA_v3.exe", ServidorHttp::Ok(kFerramenta));
    Abrir(servidor, confiarNaAutoridade);
    ConfereRecusa(motivo, caso);
    EXPECT_TRUE(servidor.Pedidos().empty()) << caso;
  }

  // F12 ended in the refusal box with `motivo`; nothing stored or started.
  void ConfereRecusa(const std::string& motivo, const std::string& caso) {
    const std::vector<CaixaVista> caixas = F12();
    ASSERT_EQ(caixas.size(), 2u) << caso;
    EXPECT_EQ(caixas[1].icone, QMessageBox::Information) << caso;
    EXPECT_EQ(caixas[1].titulo, QStringLiteral(u"Atenção")) << caso;
    EXPECT_EQ(caixas[1].texto.toStdString(),
              DeCp1252(app::TextoSuporteRecusado(motivo)).toStdString())
        << caso;
    EXPECT_TRUE(executados.empty()) << caso;
    EXPECT_FALSE(fs::exists(Arquivo())) << caso;
    // Not even a partial file is left behind.
    EXPECT_TRUE(fs::is_empty(fs::path(Arquivo()).parent_path())) << caso;
  }

  QTemporaryDir pasta;
  std::unique_ptr<app::ui::TfrmPincipal> frm;
  std::vector<std::string> executados;
  int calculadoras = 0;

 private:
  static inline QTemporaryDir* autoridade_ = nullptr;
  static inline CertificadosTeste* certificados_ = nullptr;
  static inline bool gerados_ = false;
};

TEST_F(SuporteHttps, TheRightFileIsStoredPrivatelyAndStartedAfterASameHostRedirect) {
  ServidorHttp servidor(Certificados().servidor, Certificados().chaveServidor);
  servidor.Responder("/sistema/AA_v3.exe", ServidorHttp::Redirecionar("/espelho/AA_v3.exe"));
  servidor.Responder("/espelho/AA_v3.exe", ServidorHttp::Ok(kFerramenta));
  Abrir(servidor);

  const std::vector<CaixaVista> caixas = F12();
  ASSERT_EQ(caixas.size(), 2u);
  EXPECT_EQ(caixas[0].texto, QStringLiteral("Deseja baixar o programa Ammy Admin?"));
  const std::string pastaSuporte = pasta.path().toStdString() + "/suporte/";
  EXPECT_EQ(caixas[1].texto.toStdString(),
            DeCp1252(app::TextoSuporteBaixado(pastaSuporte)).toStdString());
  EXPECT_EQ(caixas[1].icone, QMessageBox::Information);
  EXPECT_EQ(Ler(Arquivo()), kFerramenta);
  EXPECT_EQ(executados, std::vector<std::string>{Arquivo()});

  struct stat info {};
  ASSERT_EQ(stat(pastaSuporte.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(stat(Arquivo().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::vector<std::string> pedidos = servidor.Pedidos();
  ASSERT_EQ(pedidos.size(), 2u);
  EXPECT_EQ(pedidos[0].rfind("GET /sistema/AA_v3.exe HTTP/1.1\r\n", 0), 0u) << pedidos[0];
  EXPECT_EQ(pedidos[1].rfind("GET /espelho/AA_v3.exe HTTP/1.1\r\n", 0), 0u) << pedidos[1];

  // Stored and matching: the next F12 starts it at once, without a download.
  uiteste::Tecla(frm.get(), Qt::Key_F12);
  EXPECT_EQ(executados.size(), 2u);
  EXPECT_EQ(servidor.Pedidos().size(), 2u);
}

TEST_F(SuporteHttps, AFileThatIsNotTheExpectedOneIsRefused) {
  ServidorHttp servidor(Certificados().servidor, Certificados().chaveServidor);
  servidor.Responder("/sistema/AA_v3.exe", ServidorHttp::Ok(kFerramenta + "!"));
  Abrir(servidor);
  ConfereRecusa(app::MotivoSuporteSha256(), "wrong hash");
}

TEST_F(SuporteHttps, RedirectsToAnotherHostOrToPlainHttpAreNotFollowed) {
  ServidorHttp servidor(Certificados().servidor, Certificados().chaveServidor);
  Abrir(servidor);
  const std::string porta = std::to_string(servidor.Porta());
  // localhost is on the certificate too: only the change of host is wrong.
  for (const std::string& destino : {"https://localhost:" + porta + "/sistema/AA_v3.exe",
                                     "http://127.0.0.1:" + porta + "/sistema/AA_v3.exe",
                                     std::string("https://127.0.0.1:1/sistema/AA_v3.exe")}) {
    servidor.Responder("/sistema/AA_v3.exe", ServidorHttp::Redirecionar(destino));
    const size_t antes = servidor.Pedidos().size();
    ConfereRecusa(app::MotivoSuporteRedirecionado(destino), destino);
    EXPECT_EQ(servidor.Pedidos().size(), antes + 1) << destino;
  }
}

TEST_F(SuporteHttps, APlainHttpServerIsRefused) {
  ServidorHttp servidor;
  ConfereRecusaSemPedido(servidor, true, app::MotivoSuporteSemHttps(), "plain HTTP");
}

TEST_F(SuporteHttps, CertificatesNobodyVouchesForOrForAnotherNameAreRefused) {
  {
    ServidorHttp servidor(Certificados().servidor, Certificados().chaveServidor);
    // Only the system's authorities.
    ConfereRecusaSemPedido(servidor, false, app::MotivoSuporteCertificado(), "unknown authority");
  }
  frm.reset();
  ServidorHttp servidor(Certificados().outro, Certificados().chaveOutro);
  ConfereRecusaSemPedido(servidor, true, app::MotivoSuporteCertificado(), "other name");
}

TEST_F(SuporteHttps, AFileOverTheSizeLimitIsRefusedAnnouncedOrNot) {
  ServidorHttp servidor(Certificados().servidor, Certificados().chaveServidor);
  Abrir(servidor);
  app::ConfiguracaoSuporte suporte = frm->Agent().Janela().Suporte();
  suporte.tamanhoMaximo = static_cast<std::int64_t>(kFerramenta.size()) - 1;
  frm->Agent().Janela().DefinirSuporte(suporte);
  servidor.Responder("/sistema/AA_v3.exe", ServidorHttp::Ok(kFerramenta));
  ConfereRecusa(app::MotivoSuporteTamanho(suporte.tamanhoMaximo), "announced");
  servidor.Responder("/sistema/AA_v3.exe", "HTTP/1.0 200 OK\r\n\r\n" + kFerramenta);
  ConfereRecusa(app::MotivoSuporteTamanho(suporte.tamanhoMaximo), "without a length");

  // The limit itself is allowed.
  suporte.tamanhoMaximo = static_cast<std::int64_t>(kFerramenta.size());
  frm->Agent().Janela().DefinirSuporte(suporte);
  const std::vector<CaixaVista> caixas = F12();
  ASSERT_EQ(caixas.size(), 2u);
  EXPECT_EQ(Ler(Arquivo()), kFerramenta);
  EXPECT_EQ(executados.size(), 1u);
}

}  // namespace
