#include "app/Normalizadores.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace app;

struct Par {
  std::string entrada;
  std::string saida;
};

TEST(LimparTexto, ReplacesTheTableAndKeepsTheLength) {
  const std::vector<Par> casos = {
      {"Rua S\xE3o Jo\xE3o, 12 #3", "Rua Sao Joao  12  3"},
      {"D'Avila|Ltda", "D Avila Ltda"},
      {"\xE1\xE0\xE2\xE4\xE3\xE9\xE8\xEA\xEB\xED\xEC\xEE\xEF", "aaaaaeeeeiiii"},
      {"\xF3\xF2\xF4\xF6\xF5\xFA\xF9\xFB\xFC\xF1\xE7", "ooooouuuunc"},
      {"\xC1\xC0\xC2\xC4\xC3\xC9\xC8\xCA\xCB\xCD\xCC\xCE\xCF", "AAAAAEEEEIIII"},
      {"\xD3\xD2\xD4\xD6\xD5\xDA\xD9\xDB\xDC\xD1\xC7", "OOOOOUUUUNC"},
      // Outside the table: other accents, other quotes, the backslash.
      {"\xFD\xE5\xF8\"`\\;", "\xFD\xE5\xF8\"`\\;"},
      {"", ""},
  };
  for (const Par& c : casos) {
    EXPECT_EQ(LimparTexto(c.entrada), c.saida) << c.entrada;
    EXPECT_EQ(LimparTexto(c.entrada).size(), c.entrada.size());
  }
}

TEST(LimparTexto, ChangesExactlyTheFiftyTwoCharactersOfItsTable) {
  int trocados = 0;
  for (int c = 0; c < 256; ++c) {
    std::string um(1, static_cast<char>(c));
    if (LimparTexto(um) != um) ++trocados;
  }
  EXPECT_EQ(trocados, 52);
}

TEST(SomenteNumeros, KeepsDigitsAndFallsBackToElevenZeros) {
  const std::vector<Par> casos = {
      {"(85) 3222-1100", "8532221100"},
      {"123.456.789-09", "12345678909"},
      {"07.526.557/0001-00", "07526557000100"},
      {"", "00000000000"},
      {"   ", "00000000000"},
      {"abc", "00000000000"},
      {"0", "0"},
  };
  for (const Par& c : casos) EXPECT_EQ(SomenteNumeros(c.entrada), c.saida) << c.entrada;
}

TEST(SomenteNumeros, ThenTruncarToEightGivesPostcodesAndPhones) {
  EXPECT_EQ(Truncar(SomenteNumeros("60.115-170"), 8), "60115170");
  EXPECT_EQ(Truncar(SomenteNumeros(""), 8), "00000000");
  EXPECT_EQ(Truncar(SomenteNumeros("(85) 3222-1100"), 8), "85322211");
  EXPECT_EQ(Truncar(SomenteNumeros("3305.10.00"), 8), "33051000");
}

TEST(Truncar, CutsOnlyLongerTexts) {
  EXPECT_EQ(Truncar("abcdef", 3), "abc");
  EXPECT_EQ(Truncar("abc", 3), "abc");
  EXPECT_EQ(Truncar("ab", 3), "ab");
  EXPECT_EQ(Truncar("abc", 0), "");
}

TEST(NumberText, RemovesPointsThenCommaToPointThenNull) {
  const std::vector<Par> casos = {
      {"1234,5", "1234.5"},
      {"10", "10"},
      {"0", "0"},
      {"1,25", "1.25"},
      {"", "null"},
      {"   ", "null"},
      {"1.234,56", "1234.56"},
      {"-3,5", "-3.5"},
      // A point as decimal separator would lose the fraction; this is why the
      // agent insists on the comma form of its float texts.
      {"12.5", "125"},
  };
  for (const Par& c : casos) EXPECT_EQ(TextoNumero(c.entrada), c.saida) << c.entrada;
  EXPECT_EQ(RemoverPontos("a.b.c"), "abc");
  EXPECT_EQ(VirgulaParaPonto("1,2,3"), "1.2.3");
}

TEST(VazioParaNull, BlankIsNullAndNothingIsTrimmed) {
  EXPECT_EQ(VazioParaNull(""), "null");
  EXPECT_EQ(VazioParaNull(std::string(" \t\r\n\x01", 5)), "null");
  EXPECT_EQ(VazioParaNull(std::string("\0", 1)), "null");
  EXPECT_EQ(VazioParaNull(" 5"), " 5");
  EXPECT_EQ(VazioParaNull("x "), "x ");
}

TEST(CstParaCsosn, MapsTheTableAndGivesEmptyOtherwise) {
  const std::vector<Par> casos = {
      {"0", "101"},
      {"00", "101"},
      {"10", "102"},
      {"20", "103"},
      {"30", "201"},
      {"40", "202"},
      {"41", "203"},
      {"50", "300"},
      {"51", "400"},
      {"60", "500"},
      {"70", "900"},
      {" 60", "500"},
      // Blank, not a number, or a number outside the table: empty, never the
      // value of an earlier row.
      {"", ""},
      {"  ", ""},
      {"90", ""},
      {"1", ""},
      {"6O", ""},
      {"60 ", ""},
      {"x", ""},
      {"-0", "101"},
      {"99999999999", ""},
  };
  for (const Par& c : casos) EXPECT_EQ(CstParaCsosn(c.entrada), c.saida) << c.entrada;
  EXPECT_EQ(CstParaCsosn("60"), "500");
  EXPECT_EQ(CstParaCsosn("zz"), "");
  EXPECT_EQ(CstParaCsosn("60"), "500");
}

TEST(CodigoUnidade, PositionInTheUnitList) {
  const std::vector<Par> casos = {
      {"KG", "0"},  {"kg", "0"},     {"UN", "1"},   {"un", "1"},   {"MT", "2"},     {"m2", "3"},
      {"M3", "4"},  {"PCT", "5"},    {"Cx", "6"},   {"LT", "7"},   {"", "1"},       {"   ", "1"},
      {"PC", "-1"}, {"CAIXA", "-1"}, {"KG ", "-1"}, {" KG", "-1"}, {"\xE7x", "-1"},
  };
  for (const Par& c : casos) EXPECT_EQ(CodigoUnidade(c.entrada), c.saida) << c.entrada;
}

TEST(TempoEmSegundos, AddsTheThreePartsWithoutWeighting) {
  struct Caso {
    int h, m, s;
    int esperado;
  };
  const std::vector<Caso> casos = {
      {0, 5, 0, 5},   {1, 0, 0, 1},   {0, 0, 30, 30}, {23, 59, 59, 141},
      {0, 1, 30, 31}, {0, 0, 45, 45}, {0, 0, 0, 0},
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(TempoEmSegundos(rtl::EncodeDateTime(1899, 12, 30, c.h, c.m, c.s, 0)), c.esperado)
        << c.h << ":" << c.m << ":" << c.s;
  }
  // Only the time of day counts, whatever the date part.
  EXPECT_EQ(TempoEmSegundos(rtl::EncodeDateTime(2012, 3, 15, 0, 5, 0, 0)), 5);
  EXPECT_EQ(TempoEmSegundos(0.0), 0);
}

TEST(CodigoErro, ReadsTheNumberAfterThePrefix) {
  EXPECT_EQ(CodigoErro("MySQL Error Code: (1062)\r\nDuplicate entry '15' for key 'PRIMARY'"), 1062);
  EXPECT_EQ(CodigoErro("MySQL Error Code: (2013)\r\nLost connection to MySQL server"), 2013);
  EXPECT_EQ(CodigoErro("MySQL Error Code: (1064)\r\nsyntax error near ')'"), 1064);
  // Messages without a number at the 20th character give nothing instead of
  // raising out of the row's failure handling.
  for (const char* sem :
       {"", "Access violation", "MySQL Error Code: ()\r\nx", "MySQL Error Code: (abc)\r\nx",
        "(1062)", "MySQL Error Code: (1062", "MySQL Error Code: (99999999999)"}) {
    EXPECT_FALSE(CodigoErro(sem).has_value()) << sem;
  }
}

TEST(DateText, FormatsYearMonthDayAndDayZero) {
  EXPECT_EQ(TextoData(0), "18991230");
  EXPECT_EQ(TextoData(rtl::EncodeDateTime(2012, 3, 15, 0, 0, 0, 0)), "20120315");
  EXPECT_EQ(TextoData(rtl::EncodeDateTime(2000, 2, 29, 23, 59, 59, 0)), "20000229");
  EXPECT_EQ(TextoData(rtl::EncodeDateTime(1899, 12, 29, 0, 0, 0, 0)), "18991229");
}

}  // namespace
