// The agent's own sequences at component level: the customer source query
// with persistent fields, the insert that fails with a duplicate key and
// the update and marking that follow, and the settings table with a
// persistent time field edited and posted.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "db/Field.h"
#include "engine/EngineErrors.h"

namespace components::testing {
namespace {

class AgentSequencesTest : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    if (IsSkipped()) return;
    form_ = std::make_unique<db::TComponent>();
    form_->SetName("frmPincipal");
  }

  void TearDown() override {
    form_.reset();
    ComponentTest::TearDown();
  }

  template <typename F>
  F* Field(const std::string& owner_name, const std::string& column, db::TDataSet& dataset,
           int size = 0) {
    auto* f = new F(form_.get());
    f->SetName(owner_name + column);
    f->SetFieldName(column);
    if (size) f->SetSize(size);
    f->SetDataSet(&dataset);
    return f;
  }

  // The number the agent reads from a failure message: the characters from
  // the twentieth up to the first ")".
  static std::string CodigoErro(const std::string& message) {
    const std::size_t close = message.find(')');
    if (message.size() < 20 || close == std::string::npos || close < 19) return {};
    return message.substr(19, close - 19);
  }

  // The back office's customers (two to import, one blocked, one imported)
  // and the PDV's, which has the second one already.
  void CustomerTables(const std::string& source, const std::string& target) {
    Exec("CREATE TABLE " + source +
         " (codcli BIGINT PRIMARY KEY, cliente VARCHAR(80), cpf VARCHAR(15), dtcadastro DATE, "
         "codmunicipio INT, bloqueado CHAR(1), importado CHAR(1), outra VARCHAR(5))");
    Exec("INSERT INTO " + source +
         " VALUES (15,'MARIA SILVA','123.456.789-09','2012-03-15',2304400,'N','N','x'),"
         "(16,'JOAO',NULL,NULL,NULL,'N','N','y'),(17,'BLOQ','','2012-01-01',1,'S','N','z'),"
         "(18,'FEITO','','2012-01-01',1,'N','S','w')");
    Exec("CREATE TABLE " + target +
         " (id BIGINT PRIMARY KEY, nome VARCHAR(80), data_cadastro DATE, codigo_ibge_cidade "
         "VARCHAR(10))");
    Exec("INSERT INTO " + target + " VALUES (16,'ANTIGO',NULL,NULL)");
  }

  std::unique_ptr<db::TComponent> form_;
};

TEST_F(AgentSequencesTest, CustomerPassInsertsUpdatesOnDuplicateAndMarks) {
  const std::string source = Table("_cadcliente");
  const std::string target = Table("_cliente");
  CustomerTables(source, target);

  auto* dbVidoru = db_.get();
  TmySQLQuery& qryClientes = Query("", dbVidoru);
  qryClientes.SetName("qryClientes");
  auto* codcli = Field<db::TLargeintField>("qryClientes", "codcli", qryClientes);
  auto* cliente = Field<db::TStringField>("qryClientes", "cliente", qryClientes, 80);
  auto* dtcadastro = Field<db::TDateField>("qryClientes", "dtcadastro", qryClientes);
  auto* codmunicipio = Field<db::TIntegerField>("qryClientes", "codmunicipio", qryClientes);
  TmySQLQuery& qryInsertPDV = Query();
  TmySQLQuery& qryEuVidoru = Query("", dbVidoru);

  Rewrite(qryClientes, "select * from " + source + " where bloqueado='N' and importado='N'");
  qryClientes.Open();
  ASSERT_EQ(qryClientes.RecordCount(), 2);
  EXPECT_EQ(qryClientes.FieldCount(), 4);  // columns without a field object are ignored
  qryClientes.First();
  int inserted = 0, updated = 0;
  std::vector<std::string> failures;
  while (!qryClientes.Eof()) {
    const std::string code = codcli->AsString();
    const std::string date = rtl::FormatDateTime("yyyymmdd", dtcadastro->AsDateTime());
    const std::string values =
        code + ",'" + cliente->AsString() + "'," + date + ",'" + codmunicipio->AsString() + "'";
    Rewrite(qryInsertPDV, "insert into " + target +
                              "(id,nome,data_cadastro,codigo_ibge_cidade) values (" + values + ")");
    auto mark = [&] {
      Rewrite(qryEuVidoru, "update " + source + " set importado='S' where codcli=" + code);
      qryEuVidoru.Execute();
    };
    try {
      qryInsertPDV.Execute();
      mark();
      ++inserted;
    } catch (const std::exception& e) {
      const std::string message = e.what();
      if (CodigoErro(message) == "1062") {
        EXPECT_EQ(message.rfind("MySQL Error Code: (1062)\r\nDuplicate entry '16'", 0), 0u)
            << message;
        Rewrite(qryInsertPDV, "update " + target + " set nome='" + cliente->AsString() +
                                  "',data_cadastro=" + date + " where id=" + code);
        qryInsertPDV.Execute();
        EXPECT_EQ(qryInsertPDV.AffectedRowCount(), 1);
        mark();
        ++updated;
      } else {
        failures.push_back(message);
      }
    }
    EXPECT_EQ(qryClientes.RecNo(), inserted + updated + static_cast<int>(failures.size()));
    qryClientes.Next();
  }
  EXPECT_TRUE(failures.empty()) << failures.front();
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(updated, 1);
  EXPECT_EQ(qryEuVidoru.AffectedRowCount(), 1);
  EXPECT_EQ(Value("select group_concat(concat(id,'/',nome,'/',coalesce(data_cadastro,'-'),'/',"
                  "coalesce(codigo_ibge_cidade,'-')) order by id) from " +
                  target),
            "15/MARIA SILVA/2012-03-15/2304400,16/JOAO/1899-12-30/-");
  EXPECT_EQ(
      Value("select group_concat(codcli order by codcli) from " + source + " where importado='S'"),
      "15,16,18");
  // A second pass finds nothing.
  qryClientes.Close();
  qryClientes.Open();
  EXPECT_EQ(qryClientes.RecordCount(), 0);
  EXPECT_TRUE(qryClientes.Eof());
}

TEST_F(AgentSequencesTest, PersistentFieldOfTheWrongKindFailsTheOpen) {
  const std::string source = CreateTable("(codcli BIGINT, nome VARCHAR(10))");
  TmySQLQuery& q = Query("select * from " + source);
  q.SetName("qryClientes");
  Field<db::TIntegerField>("qryClientes", "codcli", q);
  EXPECT_EQ(MessageOf([&] { q.Open(); }),
            "qryClientes: Type mismatch for field 'codcli', expecting: Integer actual: "
            "LargeInt");
  EXPECT_FALSE(q.Active());
}

TEST_F(AgentSequencesTest, SettingsTimeFieldIsEditedAndPosted) {
  const std::string name = Table("_cadparametos");
  Exec("CREATE TABLE " + name + " (codigo INT, tempoatualizacaoPDV TIME, obs VARCHAR(10))");
  Exec("INSERT INTO " + name + " VALUES (1, '00:05:00', 'a')");
  auto* tblParametos = new TmySQLTable(form_.get());
  tblParametos->SetName("tblParametos");
  tblParametos->SetDatabase(db_.get());
  tblParametos->SetTableName(name);
  auto* tempo = Field<db::TTimeField>("tblParametos", "tempoatualizacaoPDV", *tblParametos);
  tblParametos->Open();
  EXPECT_EQ(tempo->DataType(), db::ftTime);
  EXPECT_NEAR(tempo->AsDateTime(), 300.0 / 86400.0, 1e-9);
  EXPECT_EQ(tblParametos->FieldCount(), 1);

  // Cancel leaves everything as it was.
  tblParametos->Edit();
  tempo->SetAsDateTime(60.0 / 86400.0);
  tblParametos->Cancel();
  EXPECT_NEAR(tempo->AsDateTime(), 300.0 / 86400.0, 1e-9);

  const int updates = SessionUpdates();
  tblParametos->Edit();
  tempo->SetAsDateTime((1 * 3600 + 2 * 60 + 3) / 86400.0);
  tblParametos->Post();
  EXPECT_EQ(SessionUpdates() - updates, 1);
  EXPECT_EQ(Value("select cast(tempoatualizacaoPDV as char) from " + name), "01:02:03");
  EXPECT_EQ(Value("select concat(codigo,obs) from " + name), "1a");
  EXPECT_EQ(tblParametos->RecordCount(), 1);
  EXPECT_NEAR(tempo->AsDateTime(), 3723.0 / 86400.0, 1e-9);
}

}  // namespace
}  // namespace components::testing
