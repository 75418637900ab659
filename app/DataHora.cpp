#include "app/DataHora.h"

namespace app {

const rtl::TFormatSettings& FormatoFixo() {
  static const rtl::TFormatSettings formato = rtl::TFormatSettings::Brazilian();
  return formato;
}

TDateTime Agora() {
  return rtl::Now();
}

std::string CarimboTempo(TDateTime valor) {
  return rtl::FormatDateTime("hh:nn:ss - dd/mm/yyyy", valor, FormatoFixo());
}

std::string DataNomeArquivo(TDateTime valor) {
  return rtl::FormatDateTime("ddmmyyyy", valor, FormatoFixo());
}

}  // namespace app
