#include "app/Certificado.h"

#include "wire/MysqlTls.h"

namespace app {

int MostrarCertificado(const EnderecoServidor& servidor, std::ostream& saida, std::ostream& erro) {
  wire::TCertificateInfo info;
  std::string falha;
  const std::string endereco = servidor.host + ":" + std::to_string(servidor.porta);
  if (!wire::FetchServerCertificate(servidor.host, static_cast<int>(servidor.porta), 30, info,
                                    falha)) {
    erro << "N\xC3\xA3o foi poss\xC3\xADvel obter o certificado de " << endereco << ": " << falha
         << "\n";
    return 1;
  }
  saida << "Servidor:  " << endereco << "\n"
        << "Titular:   " << info.subject << "\n"
        << "Emissor:   " << info.issuer << "\n"
        << "Nomes:     " << (info.names.empty() ? "-" : info.names) << "\n"
        << "V\xC3\xA1lido de " << info.notBefore << " at\xC3\xA9 " << info.notAfter << "\n"
        << "tls_impressao=" << wire::FormatFingerprint(info.fingerprint) << "\n";
  return 0;
}

}  // namespace app
