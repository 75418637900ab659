// The configuration file reader on any bytes: a text is either refused
// with a message naming the file, or read into values the connections can
// take (no control bytes, a port in range, a host without spaces).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ArquivoConfiguracao.h"

namespace {

bool SemControle(const std::optional<std::string>& s) {
  if (!s) return true;
  for (unsigned char c : *s)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

void Conferir(const app::ConfiguracaoConexao& c) {
  if (!SemControle(c.host) || !SemControle(c.usuario) || !SemControle(c.senha)) std::abort();
  if (c.host && (c.host->empty() || c.host->find(' ') != std::string::npos)) std::abort();
  if (c.porta && (*c.porta < 1 || *c.porta > 65535)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view texto(reinterpret_cast<const char*>(data), size);
  app::ConfiguracaoAgente c;
  try {
    app::LerTextoConfiguracao(texto, "agente.conf", c);
  } catch (const app::ErroConfiguracao& e) {
    if (std::string_view(e.what()).find("agente.conf") == std::string_view::npos) std::abort();
    return 0;
  }
  Conferir(c.retaguarda);
  Conferir(c.pdv);
  return 0;
}
