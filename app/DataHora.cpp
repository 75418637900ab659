#include "app/DataHora.h"

#include "rtl/FormatSettings.h"

namespace app {
namespace {

// Fixed separators: the texts must not follow a changed system setting.
const rtl::TFormatSettings& Formato() {
  static const rtl::TFormatSettings formato = rtl::TFormatSettings::Brazilian();
  return formato;
}

}  // namespace

TDateTime Agora() {
  return rtl::Now();
}

std::string CarimboTempo(TDateTime valor) {
  return rtl::FormatDateTime("hh:nn:ss - dd/mm/yyyy", valor, Formato());
}

std::string DataNomeArquivo(TDateTime valor) {
  return rtl::FormatDateTime("ddmmyyyy", valor, Formato());
}

std::string DataParaSql(TDateTime valor) {
  return rtl::FormatDateTime("yyyymmdd", valor, Formato());
}

}  // namespace app
