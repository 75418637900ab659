// Import passes against the sandbox: the worked examples, the update on a
// taken key, the edge values of every column rule, failing rows and the
// daily log, the pane lines, the balloon and the gauge.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "agente_suporte.h"
#include "app/Catalogo.h"
#include "rtl/FormatSettings.h"

namespace agentetest {
namespace {

using Linhas = std::vector<std::string>;

class ImportacaoTest : public AgenteServidor {
 protected:
  const std::string c_ = kCarimbo;
  // The lines every pass writes at the start and the end of both panes.
  const std::string iniciando_ = "INICIANDO Tolvex Integra\xE7\xE3o";
  const std::string iniciado_ = "** INICIADO COM SUCESSO " + c_;
  const std::string concluida_ =
      "** IMPORTA\xC7\xC3O CONCLU\xCD"
      "DA COM SUCESSO " +
      c_;

  void ExemploCliente() {
    Cliente(15,
            "cliente,cpf,rg,orgexp,sexo,dtcadastro,endereco,numero,cep,bairro,cidade,uf,tel1,"
            "codmunicipio",
            "'MARIA SILVA','123.456.789-09','2001','SSP','F','2012-03-15','Rua S\xE3o Jo\xE3o',"
            "'12','60115-170','Centro','Fortaleza','CE','(85) 3222-1100',2304400");
  }
  void ExemploProduto() {
    Produto(7,
            "descricao,und,punit,qtestoque,estoqueideal,ean13,NomenclaturaMercosul,vlipi,cst,"
            "ProducPropria",
            "'SHAMPOO 300ML','un',12.5,3,10,'7891234567895','3305.10.00',0,'60','N'");
  }
  static std::string ColunasCliente() {
    return "concat_ws('|',id,id_situacao_cliente,nome,fantasia,email,cpf_cnpj,rg,orgao_rg,"
           "data_emissao_rg,sexo,inscricao_estadual,inscricao_municipal,tipo_pessoa,data_cadastro,"
           "contato,logradouro,numero,complemento,cep,bairro,cidade,uf,fone1,fone2,celular,"
           "codigo_ibge_cidade,codigo_ibge_uf)";
  }
  static std::string ColunasProduto() {
    return "concat_ws('|',ID,ID_UNIDADE_PRODUTO,GTIN,CODIGO_INTERNO,NOME,DESCRICAO,DESCRICAO_PDV,"
           "ifnull(VALOR_VENDA,'null'),QTD_ESTOQUE,ifnull(ESTOQUE_MIN,'null'),ESTOQUE_MAX,IPPT,NCM,"
           "DATA_ESTOQUE=current_date,TAXA_IPI,ifnull(TAXA_ISSQN,'null'),"
           "ifnull(TAXA_COFINS,'null'),ifnull(TAXA_ICMS,'null'),CST,CSOSN,ECF_ICMS_ST,"
           "CODIGO_BALANCA)";
  }
};

TEST_F(ImportacaoTest, WorkedExamplesArriveWithTheirPaneLinesAndMarks) {
  ExemploCliente();
  ExemploProduto();
  app::Agente& a = AgenteAberto();
  a.btnIniciarClick();
  EXPECT_TRUE(view_.caixas.empty()) << view_.caixas[0].texto;

  EXPECT_EQ(view_.Clientes(),
            (Linhas{iniciando_, iniciado_, "", "", "Importa\xE7\xE3o de Clientes INICIADA em " + c_,
                    ">> 1 clientes a serem importados",
                    ">> CLIENTE 15 - MARIA SILVA *INSERIDO COM SUCESSO", "", concluida_,
                    "*** Importados: 1 - Atualizados: 0"}));
  EXPECT_EQ(
      view_.Produtos(),
      (Linhas{iniciando_, iniciado_, "", "Iniciando importa\xE7\xE3o de PRODUTOS em " + c_, "",
              "1 a serem importados!", "Produto INSERIDO: 7 - SHAMPOO 300ML", "", concluida_,
              "*** Importados: 1 - Atualizados: 0 - Exclu\xED"
              "do:0 - Erros: 0"}));

  EXPECT_EQ(ValorPdv("select " + ColunasCliente() + " from cliente where id=15"),
            "15|1|MARIA SILVA|||12345678909|2001|SSP|1899-12-30|F|||F|2012-03-15||Rua Sao Joao|12|"
            "|60115170|Centro|Fortaleza|CE|85322211|00000000|00000000|2304400|23");
  EXPECT_EQ(ValorPdv("select " + ColunasProduto() + " from produto where ID=7"),
            "7|1|7891234567895|7|SHAMPOO 300ML|SHAMPOO 300ML|SHAMPOO 300ML|12.500000|3.000000|null|"
            "10.000000|T|33051000|1|0.000000|null|null|null|60|500|II|7891234567895");
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='S'"), 1);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadprod where importadopdv='S'"), 1);

  // Pages in pass order, gauge at the end of one row, the balloon's texts.
  EXPECT_EQ(view_.paginas,
            (std::vector<app::Painel>{app::Painel::Clientes, app::Painel::Produtos}));
  EXPECT_EQ(view_.maximo, 1);
  EXPECT_EQ(view_.percentual, 100);
  const auto& b = view_.baloes;
  ASSERT_FALSE(b.empty());
  EXPECT_EQ(b.front(), std::make_pair(std::string("Importa\xE7\xE3o de Clientes"),
                                      std::string("Iniciando...")));
  EXPECT_NE(std::find(b.begin(), b.end(),
                      std::make_pair(std::string("Importa\xE7\xE3o de Clientes"),
                                     std::string("Importa\xE7\xE3o conclu\xED"
                                                 "da: Importados: 1 - "
                                                 "Atualizados: 0"))),
            b.end());
  EXPECT_EQ(b.back(), std::make_pair(std::string("Importa\xE7\xE3o de Produtos"),
                                     std::string("Importa\xE7\xE3o Conclu\xED"
                                                 "da:  Importados: 1 - "
                                                 "Atualizados: 0 - Exclu\xED"
                                                 "do:0")));
  EXPECT_TRUE(a.Iniciado());
  EXPECT_FALSE(a.Ocupado());
  EXPECT_EQ(view_.Botoes(), "010");
  EXPECT_TRUE(LogDoDia().empty());
}

TEST_F(ImportacaoTest, TakenKeysAreUpdatedKeepingInsertOnlyColumns) {
  ExemploCliente();
  ExemploProduto();
  Pdv("insert into cliente(id,id_situacao_cliente,nome) values (15,9,'ANTIGO')");
  Pdv("insert into produto(ID,ID_UNIDADE_PRODUTO,NOME,ESTOQUE_MAX,ECF_ICMS_ST,CODIGO_INTERNO) "
      "values (7,5,'ANTIGO',99,'FF',70)");
  AgenteAberto().btnIniciarClick();

  EXPECT_EQ(view_.Clientes()[6], ">> CLIENTE 15 - MARIA SILVA **ATUALIZADO COM SUCESSO");
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 0 - Atualizados: 1");
  EXPECT_EQ(view_.Produtos()[6], "Produto ATUALIAZADO: 7 - SHAMPOO 300ML");
  EXPECT_EQ(view_.Produtos().back(),
            "*** Importados: 0 - Atualizados: 1 - Exclu\xED"
            "do:0 - Erros: 0");
  EXPECT_EQ(ValorPdv("select " + ColunasCliente() + " from cliente where id=15"),
            "15|9|MARIA SILVA|||12345678909|2001|SSP|1899-12-30|F|||F|2012-03-15||Rua Sao Joao|12|"
            "|60115170|Centro|Fortaleza|CE|85322211|00000000|00000000|2304400|23");
  EXPECT_EQ(
      ValorPdv("select " + ColunasProduto() + " from produto where ID=7"),
      "7|5|7891234567895|70|SHAMPOO 300ML|SHAMPOO 300ML|SHAMPOO 300ML|12.500000|3.000000|null|"
      "99.000000|T|33051000|1|0.000000|null|null|null|60|500|FF|7891234567895");
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N'"), 0);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadprod where importadopdv='N'"), 0);
}

TEST_F(ImportacaoTest, ProductColumnRulesForEveryUnitCstAndBlankValue) {
  struct Caso {
    int cod;
    const char* valores;   // und, cst, ean13, DescrResumida, punit, ProducPropria
    const char* esperado;  // ID_UNIDADE|CSOSN|GTIN|CODIGO_BALANCA|DESCRICAO_PDV|VALOR_VENDA|IPPT
  };
  const Caso casos[] = {
      {101, "'KG','00','789001',null,1.25,'N'", "0|101|789001|789001|PRODUTO 101|1.250000|T"},
      {102, "'UN','10','789002','',2,'S'", "1|102|789002|789002|PRODUTO 102|2.000000|P"},
      {103, "'MT','20','',null,null,null", "2|103|103|103|PRODUTO 103|null|T"},
      {104, "'m2','30','   ',null,3,'X'", "3|201|104|104|PRODUTO 104|3.000000|T"},
      {105, "'M3','40',null,null,4,'N'", "4|202|105|105|PRODUTO 105|4.000000|T"},
      {106, "'PCT','41','789006','DESCRICAO RESUMIDA COM QUARENTA CARACTER',5,'N'",
       "5|203|789006|789006|DESCRICAO RESUMIDA COM QUARENT|5.000000|T"},
      {107, "'CX','50','789007',null,6,'N'", "6|300|789007|789007|PRODUTO 107|6.000000|T"},
      {108, "'LT','51','789008',null,7,'N'", "7|400|789008|789008|PRODUTO 108|7.000000|T"},
      {109, "'','60','789009',null,8,'N'", "1|500|789009|789009|PRODUTO 109|8.000000|T"},
      // Nothing is carried over from the row before: an unknown CST is empty.
      {110, "'CAIXA','90','789010',null,9,'N'", "-1||789010|789010|PRODUTO 110|9.000000|T"},
      {111, "null,'70','789011',null,10,'N'", "1|900|789011|789011|PRODUTO 111|10.000000|T"},
      {112, "'PC','AB','789012',null,11,'N'", "-1||789012|789012|PRODUTO 112|11.000000|T"},
      {113, "'UN',null,'789013',null,12,'N'", "1||789013|789013|PRODUTO 113|12.000000|T"},
  };
  for (const Caso& c : casos)
    Produto(c.cod, "descricao,und,cst,ean13,DescrResumida,punit,ProducPropria",
            "'PRODUTO " + std::to_string(c.cod) + "'," + c.valores);
  // A description longer than 30 characters is cut for the PDV only.
  Produto(114, "descricao,und,cst,ean13",
          "'DETERGENTE L\xCDQUIDO NEUTRO BIODEGRAD\xC1VEL 500ML','UN','60','789014'");
  AgenteAberto().btnIniciarClick();

  for (const Caso& c : casos) {
    EXPECT_EQ(ValorPdv("select concat_ws('|',ID_UNIDADE_PRODUTO,CSOSN,GTIN,CODIGO_BALANCA,"
                       "DESCRICAO_PDV,ifnull(VALOR_VENDA,'null'),IPPT) from produto where ID=" +
                       std::to_string(c.cod)),
              c.esperado)
        << "codprod " << c.cod;
  }
  EXPECT_EQ(
      ValorPdv("select concat_ws('|',NOME,DESCRICAO_PDV) from produto where ID=114"),
      "DETERGENTE L\xCDQUIDO NEUTRO BIODEGRAD\xC1VEL 500ML|DETERGENTE L\xCDQUIDO NEUTRO BIOD");
  EXPECT_EQ(view_.Produtos().back(),
            "*** Importados: 14 - Atualizados: 0 - Exclu\xED"
            "do:0 - Erros: 0");
}

TEST_F(ImportacaoTest, CustomerDocumentsSelectionAndUnsafeCharacters) {
  Cliente(21, "cliente,cnpj", "'EMPRESA UM','07.526.557/0001-00'");
  Cliente(22, "cliente,cpf,cnpj", "'SEM DOCUMENTO','  ',''");
  Cliente(23, "cliente,bloqueado", "'BLOQUEADO','S'");
  Cliente(24, "cliente,importado", "'JA IMPORTADO','S'");
  // Quotes, a trailing backslash, comment and parameter markers stay values.
  Cliente(25, "cliente,endereco,complemento,bairro",
          "'JOS\xC9 D''\xC1VILA','Rua -- comentario /* x */','Casa :nome #1','Centro\\\\'");
  AgenteAberto().btnIniciarClick();

  EXPECT_EQ(ValorPdv("select concat_ws('|',tipo_pessoa,cpf_cnpj) from cliente where id=21"),
            "J|07526557000100");
  EXPECT_EQ(ValorPdv("select concat_ws('|',tipo_pessoa,cpf_cnpj) from cliente where id=22"),
            "J|00000000000");
  EXPECT_EQ(ContarPdv("select count(*) from cliente where id in (23,24)"), 0);
  EXPECT_EQ(ValorPdv("select concat_ws('|',nome,logradouro,complemento,bairro) from cliente "
                     "where id=25"),
            "JOS\xC9 D'\xC1VILA|Rua -- comentario /* x */|Casa :nome  1|Centro\\");
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='S'"), 4);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where bloqueado='S' and "
                             "importado='N'"),
            1);
  EXPECT_EQ(view_.Clientes()[5], ">> 3 clientes a serem importados");
  EXPECT_TRUE(LogDoDia().empty()) << LogDoDia();
}

TEST_F(ImportacaoTest, RejectedRowsGoToTheDailyLogAndStayUnmarked) {
  Cliente(30, "cliente,sexo", "'BOA','F'");
  Cliente(31, "cliente,sexo", "'RUIM','FEMININO'");
  Produto(40, "descricao,ean13", "'BOM','789'");
  Produto(41, "descricao,ean13", "'RUIM','78912345678901234567'");
  AgenteAberto().btnIniciarClick();

  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 1 - Atualizados: 0");
  EXPECT_EQ(view_.Produtos().back(),
            "*** Importados: 1 - Atualizados: 0 - Exclu\xED"
            "do:0 - Erros: 1");
  // A failed row leaves no pane line.
  for (const auto& l : view_.Clientes()) EXPECT_EQ(l.find("RUIM"), std::string::npos) << l;
  EXPECT_EQ(LogDoDia(),
            "**" + c_ +
                " - ERRO AO INSERIR CLIENTE: 31 - RUIM Erro do sistema: "
                "MySQL Error Code: (1406)\r\nData too long for column 'sexo' at row 1\r\n"
                "**" +
                c_ +
                " - >ERRO AO INSERIR O PRODUTO: 41 - RUIM Erro do sistema: "
                "MySQL Error Code: (1406)\r\nData too long for column 'GTIN' at row 1\r\n");
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadcliente where importado='N'"), 1);
  EXPECT_EQ(ContarRetaguarda("select count(*) from cadprod where importadopdv='N'"), 1);

  // The next pass selects them again; a failed update is logged with its own context.
  Retaguarda("update cadcliente set sexo='F' where codcli=31");
  Pdv("insert into cliente(id,nome) values (31,'X')");
  Pdv("create trigger cliente_sem_update before update on cliente for each row "
      "signal sqlstate '45000' set message_text='cliente bloqueado no PDV'");
  agente_->Timer1Timer();
  EXPECT_NE(LogDoDia().find("**" + c_ +
                            " - ERRO AO ATUALIZAR CLIENTE: 31 - RUIM Erro do sistema: "
                            "MySQL Error Code: (1644)\r\ncliente bloqueado no PDV\r\n"),
            std::string::npos)
      << LogDoDia();
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 0 - Atualizados: 0");
}

TEST_F(ImportacaoTest, NoPendingRowsGiveTheShortPaneTexts) {
  Cliente(50, "cliente,importado", "'FEITO','S'");
  app::Agente& a = AgenteAberto();
  bool ocupado = false;
  view_.aoProcessar = [&] { ocupado = ocupado || a.Ocupado(); };
  a.btnIniciarClick();
  EXPECT_EQ(view_.Clientes(),
            (Linhas{iniciando_, iniciado_, "", "", "Importa\xE7\xE3o de Clientes INICIADA em " + c_,
                    ">> Nenhum cliente a ser importado!",
                    "Importa\xE7\xE3o de Clientes FINALIZADA em " + c_, "", concluida_,
                    "*** Importados: 0 - Atualizados: 0"}));
  EXPECT_EQ(view_.Produtos(),
            (Linhas{iniciando_, iniciado_, "", "Iniciando importa\xE7\xE3o de PRODUTOS em " + c_,
                    "** Nenhum produto para ser importado!",
                    "FINALIZANDO importa\xE7\xE3o de PRODUTOS em " + c_}));
  EXPECT_EQ(a.Registro().ObterBalao().Texto(), "Iniciando");
  EXPECT_FALSE(ocupado);
  EXPECT_FALSE(a.Ocupado());
  EXPECT_EQ(view_.maximo, -1);  // the gauge is left alone
}

TEST_F(ImportacaoTest, UnwritableLogIsToldOnceAndThePassGoesOn) {
  for (int i = 60; i < 63; ++i) Cliente(i, "cliente,sexo", "'RUIM','FEMININO'");
  Cliente(63, "cliente", "'BOA'");
  // The log folder's parent is a file: nothing can be created below it.
  const std::string arquivo = (pasta_ / "arquivo").string();
  { std::ofstream(arquivo) << "x"; }
  app::OpcoesAgente o;
  o.retaguarda = app::EnderecoServidor{Host(), static_cast<std::uint32_t>(Port())};
  o.pdv = o.retaguarda;
  o.pastaLog = arquivo;
  app::AmbienteAgente amb;
  amb.relogio = [] { return MomentoFixo(); };
  agente_ = std::make_unique<app::Agente>(view_, o, std::move(amb));
  ASSERT_TRUE(agente_->FormCreate());
  agente_->btnIniciarClick();
  int avisos = 0;
  for (const auto& l : view_.Clientes()) avisos += l.find(arquivo) != std::string::npos;
  EXPECT_EQ(avisos, 1);
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 1 - Atualizados: 0");
  EXPECT_FALSE(agente_->Ocupado());
  EXPECT_TRUE(view_.caixas.empty());
}

TEST_F(ImportacaoTest, DecimalCommaWhateverTheProcessSettingsSay) {
  rtl::FormatSettings().DecimalSeparator = '.';
  rtl::FormatSettings().ThousandSeparator = ',';
  Produto(8, "descricao,punit,qtestoque,vlipi", "'LEITE',1234.5,0.25,7.6");
  AgenteAberto().btnIniciarClick();
  EXPECT_EQ(rtl::FormatSettings().DecimalSeparator, ',');
  EXPECT_EQ(ValorPdv("select concat_ws('|',VALOR_VENDA,QTD_ESTOQUE,TAXA_IPI) from produto"),
            "1234.500000|0.250000|7.600000");
}

TEST_F(ImportacaoTest, SourceThatCannotBeOpenedEndsThePassShownAndNotBusy) {
  Cliente(70, "cliente", "'ANTES'");
  app::Agente& a = AgenteAberto();
  Retaguarda("drop table cadprod");
  a.btnIniciarClick();
  ASSERT_EQ(view_.caixas.size(), 1u);
  EXPECT_EQ(view_.caixas[0].texto.rfind("MySQL Error Code: (1146)\r\n", 0), 0u)
      << view_.caixas[0].texto;
  EXPECT_EQ(view_.Clientes().back(), "*** Importados: 1 - Atualizados: 0");
  EXPECT_FALSE(a.Ocupado());
  EXPECT_FALSE(a.EmImportacao());
  // The next tick runs again (and fails again the same way).
  a.Timer1Timer();
  EXPECT_EQ(view_.caixas.size(), 2u);
}

}  // namespace
}  // namespace agentetest
