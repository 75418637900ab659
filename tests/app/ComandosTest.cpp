#include <gtest/gtest.h>

#include <string>

#include "app/ComandosCliente.h"
#include "app/ComandosProduto.h"
#include "app/DataHora.h"
#include "app/SqlTexto.h"

namespace {

using namespace app;

ClienteOrigem Maria() {
  ClienteOrigem c;
  c.codcli = "15";
  c.cliente = "MARIA SILVA";
  c.cpf = "123.456.789-09";
  c.rg = "2001";
  c.orgexp = "SSP";
  c.sexo = "F";
  c.dtcadastro = rtl::EncodeDateTime(2012, 3, 15, 0, 0, 0, 0);
  c.endereco = "Rua S\xE3o Jo\xE3o";
  c.numero = "12";
  c.cep = "60115-170";
  c.bairro = "Centro";
  c.cidade = "Fortaleza";
  c.uf = "CE";
  c.tel1 = "(85) 3222-1100";
  c.codmunicipio = "2304400";
  return c;
}

ProdutoOrigem Shampoo() {
  ProdutoOrigem p;
  p.codprod = "7";
  p.descricao = "SHAMPOO 300ML";
  p.und = "un";
  p.punit = "12,5";
  p.qtestoque = "3";
  p.estoqueideal = "10";
  p.ean13 = "7891234567895";
  p.NomenclaturaMercosul = "3305.10.00";
  p.vlipi = "0";
  p.cst = "60";
  p.ProducPropria = "N";
  return p;
}

const std::string kInsertClienteColunas =
    "insert into cliente(id,id_situacao_cliente,nome,fantasia,email,cpf_cnpj,rg,orgao_rg,"
    "data_emissao_rg,sexo,inscricao_estadual,inscricao_municipal, tipo_pessoa,data_cadastro,"
    "contato,logradouro,numero,complemento,cep,bairro,cidade,uf,fone1,fone2,celular,"
    "codigo_ibge_cidade,codigo_ibge_uf) values (";

const std::string kInsertProdutoColunas =
    "insert into produto(ID,ID_UNIDADE_PRODUTO, GTIN,CODIGO_INTERNO,NOME,DESCRICAO,"
    "DESCRICAO_PDV,VALOR_VENDA,QTD_ESTOQUE,ESTOQUE_MIN,ESTOQUE_MAX,IPPT,NCM,DATA_ESTOQUE,"
    "TAXA_IPI, TAXA_ISSQN,TAXA_COFINS,TAXA_ICMS,CST,CSOSN,ECF_ICMS_ST,CODIGO_BALANCA) values (";

TEST(CustomerStatements, WorkedExampleInsertUpdateAndMarking) {
  EXPECT_EQ(SqlClientesPendentes(),
            "select * from cadcliente where bloqueado='N' and importado='N'");
  EXPECT_EQ(SqlInserirCliente(Maria(), ModoAspas::Barras),
            kInsertClienteColunas +
                "15,1,'MARIA SILVA','','','12345678909','2001','SSP','18991230','F','','','F',"
                "20120315,'','Rua Sao Joao','12','','60115170','Centro','Fortaleza','CE',"
                "'85322211','00000000','00000000','2304400','23')");
  EXPECT_EQ(SqlAtualizarCliente(Maria(), ModoAspas::Barras),
            "update cliente set nome='MARIA SILVA',fantasia='',email='',cpf_cnpj='12345678909',"
            "rg='2001',orgao_rg='SSP',data_emissao_rg='18991230',sexo='F',inscricao_estadual='',"
            "inscricao_municipal='',tipo_pessoa='F',data_cadastro=20120315,contato='',"
            "logradouro='Rua Sao Joao',numero='12',complemento='',cep='60115170',bairro='Centro',"
            "cidade='Fortaleza',uf='CE',fone1='85322211',fone2='00000000',celular='00000000',"
            "codigo_ibge_cidade='2304400',codigo_ibge_uf='23' where id=15");
  EXPECT_EQ(SqlMarcarCliente("15"), "update cadcliente set importado='S' where codcli=15");
}

TEST(CustomerStatements, PersonTypeAndDocument) {
  struct Caso {
    std::string cpf, cnpj, tipo, documento;
  };
  for (const Caso& c :
       {Caso{"123.456.789-09", "07.526.557/0001-00", "F", "12345678909"},
        Caso{"", "07.526.557/0001-00", "J", "07526557000100"},
        Caso{"   ", "07.526.557/0001-00", "J", "07526557000100"}, Caso{"", "", "J", "00000000000"},
        Caso{"x", "07.526.557/0001-00", "F", "00000000000"}}) {
    ClienteOrigem o;
    o.cpf = c.cpf;
    o.cnpj = c.cnpj;
    DerivadosCliente d = DerivarCliente(o);
    EXPECT_EQ(d.tipoPessoa, c.tipo) << c.cpf << "|" << c.cnpj;
    EXPECT_EQ(d.documento, c.documento) << c.cpf << "|" << c.cnpj;
  }
}

TEST(CustomerStatements, ComplementIsCleanedInTheInsertOnly) {
  ClienteOrigem o = Maria();
  o.complemento = "Apto 3, Bloco #B";
  o.codmunicipio = "2";
  EXPECT_NE(SqlInserirCliente(o, ModoAspas::Barras).find(",'Apto 3  Bloco  B',"),
            std::string::npos);
  EXPECT_NE(SqlInserirCliente(o, ModoAspas::Barras).find(",'2','2')"), std::string::npos);
  EXPECT_NE(SqlAtualizarCliente(o, ModoAspas::Barras).find(",complemento='Apto 3, Bloco #B',"),
            std::string::npos);
}

TEST(CustomerStatements, BackOfficeValuesAreEscaped) {
  ClienteOrigem o = Maria();
  o.cliente = "JOANA D'ARC";
  o.fantasia = "BAR\\";
  o.email = "a\"b";
  std::string insert = SqlInserirCliente(o, ModoAspas::Barras);
  EXPECT_NE(insert.find(",'JOANA D\\'ARC','BAR\\\\','a\\\"b',"), std::string::npos) << insert;
  std::string update = SqlAtualizarCliente(o, ModoAspas::Barras);
  EXPECT_NE(update.find("nome='JOANA D\\'ARC',fantasia='BAR\\\\',email='a\\\"b',"),
            std::string::npos)
      << update;
  // For a session without backslash escapes only the quote is doubled.
  insert = SqlInserirCliente(o, ModoAspas::Dobradas);
  EXPECT_NE(insert.find(",'JOANA D''ARC','BAR\\','a\"b',"), std::string::npos) << insert;
  update = SqlAtualizarCliente(o, ModoAspas::Dobradas);
  EXPECT_NE(update.find("nome='JOANA D''ARC',fantasia='BAR\\',email='a\"b',"), std::string::npos)
      << update;
}

TEST(ProductStatements, WorkedExampleInsertUpdateAndMarking) {
  EXPECT_EQ(SqlProdutosPendentes(), "select * from cadprod where importadopdv='N'");
  EXPECT_EQ(SqlInserirProduto(Shampoo(), ModoAspas::Barras),
            kInsertProdutoColunas +
                "7,1,'7891234567895',7,'SHAMPOO 300ML','SHAMPOO 300ML','SHAMPOO 300ML',12.5,3,"
                "null,10,'T','33051000',current_date,0,null,null,null,'60','500','II',"
                "'7891234567895')");
  EXPECT_EQ(SqlAtualizarProduto(Shampoo(), ModoAspas::Barras),
            "UPDATE produto set GTIN='7891234567895',NOME='SHAMPOO 300ML',"
            "DESCRICAO='SHAMPOO 300ML',DESCRICAO_PDV='SHAMPOO 300ML',VALOR_VENDA=12.5,"
            "QTD_ESTOQUE=3,ESTOQUE_MIN=null,IPPT='T',NCM='33051000',DATA_ESTOQUE=current_date,"
            "TAXA_IPI=0, TAXA_ISSQN=null,TAXA_COFINS=null,TAXA_ICMS=null,CST='60',CSOSN='500',"
            "CODIGO_BALANCA='7891234567895' where id=7");
  EXPECT_EQ(SqlMarcarProduto("7"), "update cadprod set importadopdv='S' where codprod=7");
}

TEST(ProductStatements, DerivedBarCodeDescriptionAndFlag) {
  struct Caso {
    std::string ean13, resumida, descricao, producao;
    std::string barras, descricaoPdv, flag;
  };
  const std::string quarenta = "1234567890123456789012345678901234567890";
  for (const Caso& c : {
           Caso{"", "", "SABAO", "N", "7", "SABAO", "T"},
           Caso{"  ", "  ", "SABAO", "S", "7", "SABAO", "P"},
           Caso{" 789 ", quarenta, "SABAO", "", " 789 ", quarenta.substr(0, 30), "T"},
           Caso{"789", "", quarenta, "s", "789", quarenta.substr(0, 30), "T"},
           Caso{"789", "CURTA", quarenta, "X", "789", "CURTA", "T"},
       }) {
    ProdutoOrigem o;
    o.codprod = "7";
    o.ean13 = c.ean13;
    o.DescrResumida = c.resumida;
    o.descricao = c.descricao;
    o.ProducPropria = c.producao;
    DerivadosProduto d = DerivarProduto(o);
    EXPECT_EQ(d.codigoBarras, c.barras);
    EXPECT_EQ(d.descricaoPdv, c.descricaoPdv);
    EXPECT_EQ(d.producaoPropria, c.flag) << c.producao;
  }
}

TEST(ProductStatements, NullPriceUnknownUnitAndUnmappedCst) {
  ProdutoOrigem o = Shampoo();
  o.punit = "";
  o.und = "CAIXA";
  o.cst = "99";
  o.ean13 = "";
  const std::string insert = SqlInserirProduto(o, ModoAspas::Barras);
  EXPECT_EQ(insert.substr(kInsertProdutoColunas.size()),
            "7,-1,'7',7,'SHAMPOO 300ML','SHAMPOO 300ML','SHAMPOO 300ML',null,3,null,10,'T',"
            "'33051000',current_date,0,null,null,null,'99','','II','7')");
  EXPECT_NE(SqlAtualizarProduto(o, ModoAspas::Barras).find(",VALOR_VENDA=null,"),
            std::string::npos);
  EXPECT_NE(SqlAtualizarProduto(o, ModoAspas::Barras).find(",CSOSN='',"), std::string::npos);
  // A cst that is not a number builds a statement instead of failing.
  o.cst = "A1";
  EXPECT_NE(SqlInserirProduto(o, ModoAspas::Barras).find(",'A1','','II',"), std::string::npos);
}

TEST(ProductStatements, DescriptionWithQuoteStaysOneValue) {
  ProdutoOrigem o = Shampoo();
  o.descricao = "COPO 200ML 'DESCART\xC1VEL'";
  EXPECT_NE(SqlInserirProduto(o, ModoAspas::Barras).find(",'COPO 200ML \\'DESCART\xC1VEL\\'',"),
            std::string::npos);
}

TEST(Escaping, QuotedValuesUseTheServersLiteralRule) {
  EXPECT_EQ(Aspas("O'Brien", ModoAspas::Barras), "'O\\'Brien'");
  EXPECT_EQ(Aspas(std::string("a\0b\tc\nd\re\"f\\g", 13), ModoAspas::Barras),
            "'a\\0b\\tc\\nd\\re\\\"f\\\\g'");
  EXPECT_EQ(Aspas("Jo\xE3o -- /* :x", ModoAspas::Barras), "'Jo\xE3o -- /* :x'");
  EXPECT_EQ(Aspas("", ModoAspas::Barras), "''");
  EXPECT_EQ(Aspas("fim\\", ModoAspas::Barras), "'fim\\\\'");
  // Escapes that double a value's length outgrow what the statement reserved.
  const std::string aspas(300, '\'');
  std::string esperado = "x='";
  for (int i = 0; i < 300; ++i) esperado += "\\'";
  esperado += "',y=1";
  EXPECT_EQ(Juntar("x=", EntreAspas(aspas, ModoAspas::Barras), ",y=", std::string("1")), esperado);
}

}  // namespace
