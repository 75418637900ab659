// Back-office values built to break the agent's statements: on a PDV whose
// session reads backslashes as escapes and on one with NO_BACKSLASH_ESCAPES
// every value arrives byte for byte, no other statement runs, and a value
// with a zero byte fails its row instead of arriving cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agente_suporte.h"
#include "app/Catalogo.h"
#include "app/Normalizadores.h"
#include "app/SqlTexto.h"
#include "engine/NativeConnect.h"

namespace agentetest {
namespace {

using app::Aspas;
using app::ModoAspas;

class ValoresHostisTest : public AgenteServidor {
 protected:
  // A back-office customer with the given values in the columns that the
  // pass copies as they are (nome, fantasia, email, rg, contato) and in the
  // complement, which the update writes as it comes.
  void ClienteHostil(long long codcli, const std::vector<std::string>& v) {
    std::string valores;
    for (const std::string& x : v) {
      valores += (valores.empty() ? "" : ",") + Aspas(x, ModoAspas::Barras);
    }
    Cliente(codcli, "cliente,fantasia,email,rg,contato,complemento", valores);
  }
  std::vector<std::string> NoPdv(long long id) {
    std::vector<std::string> v;
    for (const char* coluna : {"nome", "fantasia", "email", "rg", "contato", "complemento"}) {
      v.push_back(ValorPdv(std::string("select ") + coluna +
                           " from cliente where id=" + std::to_string(id)));
    }
    return v;
  }
  bool CanarioVivo() {
    return ContarPdv(
               "select count(*) from information_schema.tables where "
               "table_schema=database() and table_name='canario'") == 1;
  }
};

TEST_F(ValoresHostisTest, ValuesArriveWholeInBothBackslashModesAndNothingElseRuns) {
  Pdv("drop table if exists canario");
  Pdv("create table canario (id int)");
  std::string bytes;  // 1 to 255: every byte but zero, over the six columns
  for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
  const std::vector<std::vector<std::string>> linhas = {
      {"' where 0;drop table canario;#", "\\' where 0;drop table canario;#", "x -- y /* z #w :nome",
       "\\", "''\\''\r\n", "' where 0;drop table canario;#"},
      {bytes.substr(0, 80), bytes.substr(80, 50), bytes.substr(130, 80), bytes.substr(210, 40),
       bytes.substr(250), "\\\\' or 1=1 -- "},
  };
  app::Agente& a = AgenteAberto();
  // One statement per query on both connections, and no local files.
  for (components::TmySQLDatabase* banco : {&a.Componentes().dbVidoru, &a.Componentes().dbPDV}) {
    EXPECT_EQ(
        banco->Handle()->Client().ClientFlags() &
            (wire::CLIENT_MULTI_STATEMENTS | wire::CLIENT_MULTI_RESULTS | wire::CLIENT_LOCAL_FILES),
        0u)
        << banco->Name();
  }
  long long codcli = 100;
  for (bool semBarras : {false, true}) {
    SCOPED_TRACE(semBarras ? "NO_BACKSLASH_ESCAPES" : "backslash escapes");
    if (semBarras) {
      a.Componentes().dbPDV.Execute(
          "set session sql_mode=concat_ws(',',nullif(@@sql_mode,''),'NO_BACKSLASH_ESCAPES')");
      ASSERT_TRUE(a.Componentes().dbPDV.NoBackslashEscapes());
    }
    const long long primeiro = codcli + 1;
    for (const auto& v : linhas) {
      ClienteHostil(++codcli, v);
      // The same values again over a row already in the PDV: the update path.
      ClienteHostil(++codcli, v);
      Pdv("insert into cliente(id,nome) values (" + std::to_string(codcli) + ",'ANTIGO')");
    }
    if (semBarras) {
      a.Timer1Timer();
    } else {
      a.btnIniciarClick();
    }
    for (long long id = primeiro; id <= codcli; ++id) {
      const bool atualizacao = (id - primeiro) % 2 == 1;
      std::vector<std::string> esperado = linhas[(id - primeiro) / 2];
      // The insert cleans the complement; the update writes it as it comes.
      if (!atualizacao) esperado[5] = app::LimparTexto(esperado[5]);
      // Lone CR and LF bytes cannot be written for a session without
      // backslash escapes: those rows fail and the PDV keeps what it had.
      if (semBarras && id - primeiro >= 2) {
        esperado = atualizacao ? std::vector<std::string>{"ANTIGO", "", "", "", "", ""}
                               : std::vector<std::string>(6, "<none>");
      }
      EXPECT_EQ(NoPdv(id), esperado) << id;
    }
    EXPECT_TRUE(CanarioVivo());
    if (!semBarras) {
      EXPECT_EQ(view_.Clientes().back(), "*** Importados: 2 - Atualizados: 2");
      EXPECT_EQ(ContarPdv("select count(*) from cliente"), 4);
      EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N'"), 0);
      EXPECT_TRUE(LogDoDia().empty()) << LogDoDia();
    } else {
      EXPECT_EQ(view_.Clientes().back(), "*** Importados: 1 - Atualizados: 1");
      EXPECT_EQ(ContarPdv("select count(*) from cliente"), 7);
      EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N' and "
                                 "codcli in (107,108)"),
                2);
      EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N'"), 2);
      const std::string log = LogDoDia();
      const std::string motivo = "Erro do sistema: " + app::MotivoQuebraDeLinhaAvulsa() + "\r\n";
      const std::size_t primeira = log.find(motivo);
      ASSERT_NE(primeira, std::string::npos) << log;
      EXPECT_NE(log.find(motivo, primeira + 1), std::string::npos) << log;
      EXPECT_EQ(log.rfind("**" + std::string(kCarimbo) + " - ERRO AO INSERIR CLIENTE: 107 - ", 0),
                0u)
          << log;
    }
  }
}

TEST_F(ValoresHostisTest, AValueWithAZeroByteFailsItsRowInsteadOfArrivingCut) {
  Cliente(200, "cliente", Aspas(std::string("nul\0byte\0end", 12), ModoAspas::Barras));
  Cliente(201, "cliente", "'INTEIRO'");
  Produto(300, "descricao", Aspas(std::string("SABAO\0EM PO", 11), ModoAspas::Barras));
  Produto(301, "descricao", "'DETERGENTE'");
  AgenteAberto().btnIniciarClick();

  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 1 - Atualizados: 0");
  EXPECT_EQ(view_.Produtos().back(),
            "*** Importados: 1 - Atualizados: 0 - Exclu\xED"
            "do:0 - Erros: 1");
  EXPECT_EQ(ContarPdv("select count(*) from cliente where id=200"), 0);
  EXPECT_EQ(ContarPdv("select count(*) from produto where ID=300"), 0);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N'"), 1);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadprod where importadopdv='N'"), 1);
  EXPECT_EQ(LogDoDia(), "**" + std::string(kCarimbo) +
                            " - ERRO AO INSERIR CLIENTE: 200 -  Erro do sistema: " +
                            app::MotivoValorComByteNulo("cliente") + "\r\n**" + kCarimbo +
                            " - >ERRO AO INSERIR O PRODUTO: 300 -  Erro do sistema: " +
                            app::MotivoValorComByteNulo("descricao") + "\r\n");
  EXPECT_EQ(app::MotivoValorComByteNulo("cliente"),
            "VALOR COM BYTE NULO NO CAMPO cliente: o registro n\xE3o foi importado");
}

}  // namespace
}  // namespace agentetest
