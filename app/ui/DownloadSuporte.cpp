#include "ui/DownloadSuporte.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QThread>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "app/Catalogo.h"

namespace app::ui {
namespace {

constexpr int kSemDadosMs = 30000;
constexpr int kMaximoRedirecionamentos = 5;
constexpr qsizetype kEnderecoMostrado = 200;

bool EscreverTudo(int fd, const QByteArray& dados) {
  qsizetype escrito = 0;
  while (escrito < dados.size()) {
    const ssize_t n =
        ::write(fd, dados.constData() + escrito, static_cast<size_t>(dados.size() - escrito));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    escrito += n;
  }
  return true;
}

// One download on the calling thread, into the open file `fd`.
class Transferencia {
 public:
  Transferencia(const ConfiguracaoSuporte& suporte, int fd) : suporte_(suporte), fd_(fd) {}

  ResultadoDownload Executar() {
    origem_ = QUrl(QString::fromStdString(suporte_.endereco), QUrl::StrictMode);
    if (!origem_.isValid() || origem_.scheme() != QLatin1String("https") ||
        origem_.host().isEmpty()) {
      return {false, MotivoSuporteSemHttps()};
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    if (!suporte_.certificadosCa.empty()) {
      const QList<QSslCertificate> autoridades =
          QSslCertificate::fromPath(QString::fromStdString(suporte_.certificadosCa));
      if (autoridades.isEmpty()) return {false, MotivoSuporteCertificado()};
      tls.setCaCertificates(autoridades);
    }
    QNetworkRequest pedido(origem_);
    pedido.setSslConfiguration(tls);
    pedido.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                        QNetworkRequest::UserVerifiedRedirectPolicy);
    pedido.setMaximumRedirectsAllowed(kMaximoRedirecionamentos);
    pedido.setTransferTimeout(kSemDadosMs);
    // The bytes as stored: the hash is of the file, and the size limit
    // counts what is written.
    pedido.setRawHeader("Accept-Encoding", "identity");
    pedido.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tolvex"));

    QNetworkAccessManager rede;
    std::unique_ptr<QNetworkReply> resposta(rede.get(pedido));
    resposta_ = resposta.get();
    QObject::connect(resposta_, &QNetworkReply::redirected, resposta_,
                     [this](const QUrl& destino) { Redirecionado(destino); });
    QObject::connect(resposta_, &QNetworkReply::sslErrors, resposta_,
                     [this] { certificadoRecusado_ = true; });
    QObject::connect(resposta_, &QNetworkReply::metaDataChanged, resposta_,
                     [this] { ConferirTamanhoAnunciado(); });
    QObject::connect(resposta_, &QIODevice::readyRead, resposta_, [this] { Receber(); });
    QEventLoop laco;
    QObject::connect(resposta_, &QNetworkReply::finished, &laco, &QEventLoop::quit);
    if (!resposta_->isFinished()) laco.exec();
    Receber();

    if (!recusa_.empty()) return {false, recusa_};
    if (resposta_->error() == QNetworkReply::SslHandshakeFailedError) {
      return {false, certificadoRecusado_ ? MotivoSuporteCertificado() : MotivoSuporteSemHttps()};
    }
    return {resposta_->error() == QNetworkReply::NoError && Status() == 200 && !falhaEscrita_, ""};
  }

 private:
  int Status() const {
    return resposta_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  }

  void Recusar(std::string motivo) {
    if (recusa_.empty()) recusa_ = std::move(motivo);
    resposta_->abort();
  }

  void Redirecionado(const QUrl& destino) {
    if (destino.scheme() == QLatin1String("https") &&
        destino.host().compare(origem_.host(), Qt::CaseInsensitive) == 0 &&
        destino.port(443) == origem_.port(443)) {
      emit resposta_->redirectAllowed();
      return;
    }
    Recusar(MotivoSuporteRedirecionado(
        destino.toEncoded(QUrl::RemoveUserInfo).left(kEnderecoMostrado).toStdString()));
  }

  void ConferirTamanhoAnunciado() {
    if (Status() != 200) return;
    bool conhecido = false;
    const qint64 anunciado =
        resposta_->header(QNetworkRequest::ContentLengthHeader).toLongLong(&conhecido);
    if (conhecido && anunciado > suporte_.tamanhoMaximo) {
      Recusar(MotivoSuporteTamanho(suporte_.tamanhoMaximo));
    }
  }

  void Receber() {
    if (!resposta_->isOpen()) return;  // aborted
    const QByteArray bloco = resposta_->readAll();
    if (bloco.isEmpty() || Status() != 200 || !recusa_.empty() || falhaEscrita_) return;
    recebidos_ += bloco.size();
    if (recebidos_ > suporte_.tamanhoMaximo) {
      Recusar(MotivoSuporteTamanho(suporte_.tamanhoMaximo));
    } else if (!EscreverTudo(fd_, bloco)) {
      falhaEscrita_ = true;
      resposta_->abort();
    }
  }

  const ConfiguracaoSuporte& suporte_;
  const int fd_;
  QUrl origem_;
  QNetworkReply* resposta_ = nullptr;
  std::string recusa_;
  bool certificadoRecusado_ = false;
  bool falhaEscrita_ = false;
  qint64 recebidos_ = 0;
};

}  // namespace

ResultadoDownload BaixarArquivo(const ConfiguracaoSuporte& suporte, const std::string& arquivo) {
  try {
    std::string parcial = arquivo + ".XXXXXX";
    const int fd = ::mkostemp(parcial.data(), O_CLOEXEC);  // 0600
    if (fd < 0) return {};
    ResultadoDownload r;
    std::unique_ptr<QThread> linha(QThread::create([&] {
      try {
        r = Transferencia(suporte, fd).Executar();
      } catch (...) {
        r = ResultadoDownload{};
      }
    }));
    linha->start();
    linha->wait();
    bool gravado = r.ok && ::fsync(fd) == 0;
    gravado = ::close(fd) == 0 && gravado;
    if (gravado && std::rename(parcial.c_str(), arquivo.c_str()) == 0) return r;
    ::unlink(parcial.c_str());
    return r.ok ? ResultadoDownload{} : r;
  } catch (...) {
    return {};
  }
}

}  // namespace app::ui
