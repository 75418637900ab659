// Import passes with utf8mb4 back offices and PDVs, on the second sandbox
// (server character set utf8mb4) and mixed with the latin1 one: accented
// names, the euro sign, the OE ligature, c cedilla and quotes arrive
// byte-exactly, an emoji arrives as '?' and its row is still imported and
// marked. Rows are written and checked in hexadecimal, so neither side
// depends on the session character set under test.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "agente_suporte.h"
#include "app/DemoDados.h"
#include "components/MySQLQuery.h"
#include "support/Hex.h"

namespace agentetest {
namespace {

using support::ServerHex;

struct Servidor {
  std::string host;
  int porta = 0;
  std::string pasta;  // MYSQL_*_DIR, where the databases' lock file lives
};

Servidor DoAmbiente(const char* prefixo) {
  auto var = [&](const char* nome) {
    const char* v = std::getenv((std::string(prefixo) + nome).c_str());
    return std::string(v ? v : "");
  };
  return {var("HOST"), std::atoi(var("PORT").c_str()), var("DIR")};
}

// One text as the agent holds it (Windows-1252) and as a utf8mb4 column
// holds it.
struct Texto {
  std::string ansi;
  std::string utf8;
};

const Texto kJose{"JOS\xC9 CONCEI\xC7\xC3O", "JOSÉ CONCEIÇÃO"};
const Texto kAspas{"D'\xC1VILA \"Z\xC9\" \x8CUVRE \x80 \xE7", "D'ÁVILA \"ZÉ\" ŒUVRE € ç"};
const Texto kFeijao{
    "FEIJ\xC3O A\xC7\xDA"
    "CAR \x80 1KG",
    "FEIJÃO AÇÚCAR € 1KG"};
const Texto kEmoji{"ANA ? LIMA", "ANA \xF0\x9F\x98\x80 LIMA"};

class ImportacaoUtf8mb4Test : public ::testing::Test {
 protected:
  void SetUp() override {
    latin1_ = DoAmbiente("MYSQL_TEST_");
    utf8_ = DoAmbiente("MYSQL_UTF8MB4_TEST_");
    if (latin1_.porta <= 0 || utf8_.porta <= 0)
      GTEST_SKIP() << "needs both sandboxes: MYSQL_TEST_* and MYSQL_UTF8MB4_TEST_* "
                      "(scripts/test.sh starts them)";
    pasta_ = std::filesystem::temp_directory_path() /
             ("agente_utf8mb4_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(pasta_);
  }
  void TearDown() override {
    agente_.reset();
    retaguarda_.reset();
    pdv_.reset();
    for (int f : bloqueios_) ::close(f);
    if (!pasta_.empty()) std::filesystem::remove_all(pasta_);
  }

  // Fresh agent tables on the given servers, in utf8mb4 where asked (the
  // database's default as well, so that the connection sees a utf8mb4
  // database).
  void Preparar(const Servidor& ret, bool retUtf8, const Servidor& pdv, bool pdvUtf8) {
    // The other agent tests take turns on the same databases; lock in one
    // order, the latin1 sandbox first.
    for (const Servidor* s : {&latin1_, &utf8_}) {
      if (s != &ret && s != &pdv) continue;
      bloqueios_.push_back(TravarBancos(s->pasta + "/agent-databases.lock"));
    }
    ret_ = ret;
    pdvServidor_ = pdv;
    auto banco = [](const Servidor& s, const char* nome, bool utf8) {
      auto db = app::ConexaoAdministrativa(s.host, static_cast<std::uint32_t>(s.porta), nome);
      db->Execute(std::string("alter database ") + nome + " character set " +
                  (utf8 ? "utf8mb4" : "latin1"));
      // Reconnect, so that the connection reads the database's new set.
      db->Close();
      db->Open();
      return db;
    };
    retaguarda_ = banco(ret, "tolve536_vidoru", retUtf8);
    pdv_ = banco(pdv, "t2tipafecf", pdvUtf8);
    app::CriarTabelasRetaguarda(*retaguarda_);
    app::CriarTabelasPDV(*pdv_);
    retUtf8_ = retUtf8;
    if (retUtf8) {
      for (const char* t : {"cadcliente", "cadprod"})
        retaguarda_->Execute(std::string("alter table ") + t + " convert to character set utf8mb4");
    }
    if (pdvUtf8) {
      for (const char* t : {"cliente", "produto"})
        pdv_->Execute(std::string("alter table ") + t + " convert to character set utf8mb4");
    }
  }

  // A text literal of the back office's column set, written in hex.
  std::string Literal(const Texto& t) const {
    return retUtf8_ ? "convert(X'" + ServerHex(t.utf8) + "' using utf8mb4)"
                    : "convert(X'" + ServerHex(t.ansi) + "' using latin1)";
  }

  void Cliente(long long codcli, const Texto& nome, const Texto& bairro) {
    retaguarda_->Execute("insert into cadcliente(codcli,cliente,bairro,cpf) values (" +
                         std::to_string(codcli) + "," + Literal(nome) + "," + Literal(bairro) +
                         ",'123.456.789-09')");
  }

  void Produto(long long codprod, const Texto& descricao) {
    retaguarda_->Execute(
        "insert into cadprod(codprod,descricao,und,punit,qtestoque,ean13,cst,ProducPropria) "
        "values (" +
        std::to_string(codprod) + "," + Literal(descricao) +
        ",'un',1.5,2,'7891234567895','60','N')");
  }

  std::string HexPdv(const std::string& sql) { return PrimeiroValor(*pdv_, sql); }

  void Importar() {
    app::OpcoesAgente o = OpcoesDeTeste(pasta_);
    o.retaguarda = app::EnderecoServidor{ret_.host, static_cast<std::uint32_t>(ret_.porta)};
    o.pdv =
        app::EnderecoServidor{pdvServidor_.host, static_cast<std::uint32_t>(pdvServidor_.porta)};
    agente_ = std::make_unique<app::Agente>(view_, o, AmbienteDeTeste());
    ASSERT_TRUE(agente_->FormCreate());
    agente_->btnIniciarClick();
  }

  // The whole pass: every row in the PDV with its text in the PDV's column
  // set, every row marked, the names in the pane as the agent holds them.
  void ConferirPassagem(bool pdvUtf8) {
    Cliente(15, kJose, kAspas);
    Cliente(16, kEmoji, kJose);
    Produto(7, kFeijao);
    Importar();
    EXPECT_TRUE(view_.caixas.empty()) << view_.caixas[0].texto;
    auto forma = [&](const Texto& t) { return ServerHex(pdvUtf8 ? t.utf8 : t.ansi); };
    // The emoji went through the agent's Windows-1252 as '?'.
    const Texto emoji{kEmoji.ansi, kEmoji.ansi};
    EXPECT_EQ(HexPdv("select hex(nome) from cliente where id=15"), forma(kJose));
    EXPECT_EQ(HexPdv("select hex(bairro) from cliente where id=15"), forma(kAspas));
    EXPECT_EQ(HexPdv("select hex(nome) from cliente where id=16"), forma(emoji));
    EXPECT_EQ(HexPdv("select hex(bairro) from cliente where id=16"), forma(kJose));
    EXPECT_EQ(HexPdv("select hex(concat(NOME,'|',DESCRICAO,'|',DESCRICAO_PDV)) from produto "
                     "where ID=7"),
              ServerHex(pdvUtf8 ? kFeijao.utf8 + "|" + kFeijao.utf8 + "|" + kFeijao.utf8
                                : kFeijao.ansi + "|" + kFeijao.ansi + "|" + kFeijao.ansi));
    EXPECT_EQ(app::Contar(*retaguarda_, "select count(*) from cadcliente where importado='S'"), 2);
    EXPECT_EQ(app::Contar(*retaguarda_, "select count(*) from cadprod where importadopdv='S'"), 1);
    EXPECT_EQ(app::Contar(*pdv_, "select count(*) from cliente"), 2);
    EXPECT_EQ(app::Contar(*pdv_, "select count(*) from produto"), 1);
    const auto& linhas = view_.Clientes();
    EXPECT_NE(std::find(linhas.begin(), linhas.end(),
                        ">> CLIENTE 15 - " + kJose.ansi + " *INSERIDO COM SUCESSO"),
              linhas.end());
    EXPECT_NE(std::find(linhas.begin(), linhas.end(),
                        ">> CLIENTE 16 - " + kEmoji.ansi + " *INSERIDO COM SUCESSO"),
              linhas.end());
  }

  Servidor latin1_, utf8_, ret_, pdvServidor_;
  bool retUtf8_ = false;
  std::filesystem::path pasta_;
  std::vector<int> bloqueios_;
  VisaoGravada view_;
  std::unique_ptr<app::Agente> agente_;
  std::unique_ptr<components::TmySQLDatabase> retaguarda_, pdv_;
};

TEST_F(ImportacaoUtf8mb4Test, Utf8mb4BackOfficeIntoALatin1PdvOnTheSameServer) {
  Preparar(utf8_, true, utf8_, false);
  ConferirPassagem(false);
}

TEST_F(ImportacaoUtf8mb4Test, Utf8mb4BackOfficeIntoAUtf8mb4Pdv) {
  Preparar(utf8_, true, utf8_, true);
  ConferirPassagem(true);
}

TEST_F(ImportacaoUtf8mb4Test, Utf8mb4BackOfficeIntoALatin1Server) {
  Preparar(utf8_, true, latin1_, false);
  ConferirPassagem(false);
}

TEST_F(ImportacaoUtf8mb4Test, Latin1BackOfficeIntoAUtf8mb4Server) {
  Preparar(latin1_, false, utf8_, true);
  // A latin1 back office cannot hold the emoji: its row arrives as the
  // server stored it.
  ConferirPassagem(true);
}

}  // namespace
}  // namespace agentetest
