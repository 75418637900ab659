// The pieces of the windows that need no window: text conversion at the
// widgets' edge, edit masks, key codes, the gauge's text and the icon.
#include <gtest/gtest.h>

#include "ui/Controles.h"
#include "ui/Icone.h"
#include "ui/Texto.h"
#include "ui/TfrmModelo.h"

namespace {

using app::ui::DeCp1252;
using app::ui::ParaCp1252;

TEST(Texto, Cp1252ParaUnicodeEVolta) {
  struct Caso {
    std::string bytes;
    QString unicode;
  };
  const Caso casos[] = {
      {"Importa\xE7\xE3o Tolvex PDV", QStringLiteral(u"Importação Tolvex PDV")},
      {"Configura\xE7\xF5"
       "es",
       QStringLiteral(u"Configurações")},
      {"CONCLU\xCD"
       "DA",
       QStringLiteral(u"CONCLUÍDA")},
      // The bytes where the code page differs from Latin-1.
      {"\x80 \x85 \x93x\x94 \x96 \x99 \x9C", QStringLiteral(u"€ … “x” – ™ œ")},
      {"", QString()},
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(DeCp1252(c.bytes), c.unicode) << c.bytes;
    EXPECT_EQ(ParaCp1252(c.unicode), c.bytes) << c.bytes;
  }
}

TEST(Texto, TodoByteVoltaIgual) {
  std::string todos;
  for (int b = 1; b < 256; ++b) todos.push_back(static_cast<char>(b));
  EXPECT_EQ(ParaCp1252(DeCp1252(todos)), todos);
  EXPECT_EQ(DeCp1252(todos).size(), 255);
}

TEST(Texto, ForaDoCodigoViraInterrogacao) {
  EXPECT_EQ(ParaCp1252(QStringLiteral(u"a\u4E2Db\u0394")), "a?b?");
}

TEST(Mascara, DoFrameworkParaQt) {
  const std::pair<std::string, QString> casos[] = {
      // The interval's mask: the first hour digit optional, the rest required.
      {"!90:00:00;1;_", QStringLiteral("09:99:99;_")},
      {"00/00/0000;1;_", QStringLiteral("99/99/9999;_")},
      {"99999-999;0;*", QStringLiteral("00000-000;*")},
      {">LL-0000;1;_", QStringLiteral(">AA-9999;_")},
      {"aaCc;1;_", QStringLiteral("nnXx;_")},
      // Letters Qt reads as codes are literals in the framework's masks.
      {"0h0;1;_", QStringLiteral("9\\h9;_")},
      {"\\90;1;_", QStringLiteral("\\99;_")},
      {"00;1", QStringLiteral("99;_")},
      {"", QString()},
  };
  for (const auto& [mascara, qt] : casos) EXPECT_EQ(app::ui::MascaraQt(mascara), qt) << mascara;
}

TEST(Teclas, CodigosVirtuais) {
  const std::pair<int, int> casos[] = {
      {Qt::Key_F4, 115},    {Qt::Key_F5, 116},   {Qt::Key_F8, 119}, {Qt::Key_F10, 121},
      {Qt::Key_F11, 122},   {Qt::Key_F12, 123},  {Qt::Key_F1, 112}, {Qt::Key_Escape, 27},
      {Qt::Key_Return, 13}, {Qt::Key_Enter, 13}, {Qt::Key_A, 65},   {Qt::Key_7, 55},
      {Qt::Key_Tab, 9},     {Qt::Key_Shift, 0},
  };
  for (const auto& [qt, vk] : casos) EXPECT_EQ(app::ui::CodigoTecla(qt), vk) << qt;
}

TEST(Gauge, MostraOPercentualDado) {
  app::ui::TGauge gauge;
  gauge.Mostrar(3, 1, 33);
  EXPECT_EQ(gauge.text(), QStringLiteral("33%"));
  EXPECT_EQ(gauge.maximum(), 3);
  EXPECT_EQ(gauge.value(), 1);
  // A maximum of 0 would make Qt's busy indicator: the bar stays empty.
  gauge.Mostrar(0, 0, 0);
  EXPECT_EQ(gauge.text(), QStringLiteral("0%"));
  EXPECT_EQ(gauge.maximum(), 1);
  EXPECT_EQ(gauge.value(), 0);
  gauge.Mostrar(1, 1, 100);
  EXPECT_EQ(gauge.text(), QStringLiteral("100%"));
}

TEST(Icone, SessentaEQuatroPixelsDesenhados) {
  const QImage imagem = app::ui::ImagemIconeAgente();
  ASSERT_EQ(imagem.size(), QSize(64, 64));
  // Transparent corners, an opaque middle.
  EXPECT_EQ(qAlpha(imagem.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(imagem.pixel(32, 32)), 255);
  EXPECT_EQ(app::ui::ImagemIconeAgente(16).size(), QSize(16, 16));
  EXPECT_FALSE(app::ui::IconeAgente().availableSizes().isEmpty());
}

}  // namespace
