// tolvex-agent --mostrar-certificado HOST[:PORT]: connects to a server,
// shows its TLS certificate and the tls_impressao line that pins it, and
// sends no login. Blocks for the connect (30 s at most).
#pragma once

#include <ostream>

#include "app/Opcoes.h"

namespace app {

// Writes the certificate to `saida` (UTF-8) and returns 0, or writes why it
// could not to `erro` and returns 1.
int MostrarCertificado(const EnderecoServidor& servidor, std::ostream& saida, std::ostream& erro);

}  // namespace app
