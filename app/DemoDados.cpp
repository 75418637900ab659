#include "app/DemoDados.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "app/SqlTexto.h"
#include "components/MySQLQuery.h"

namespace app {

namespace {

using Valor = std::optional<std::string>;

std::string SqlValor(const Valor& v, ModoAspas modo) {
  return v ? Aspas(*v, modo) : "null";
}

std::string Num(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

// Collects rows of one INSERT and sends them in blocks.
class Lote {
 public:
  Lote(components::TmySQLDatabase& db, std::string cabecalho, int porBloco = 250)
      : db_(db), cabecalho_(std::move(cabecalho)), porBloco_(porBloco) {}
  ~Lote() = default;
  void Linha(const std::vector<std::string>& valores) {
    std::string linha = "(";
    for (std::size_t i = 0; i < valores.size(); ++i) {
      if (i) linha += ',';
      linha += valores[i];
    }
    linha += ')';
    if (n_++) texto_ += ',';
    texto_ += linha;
    if (n_ == porBloco_) Enviar();
  }
  void Enviar() {
    if (n_ == 0) return;
    db_.Execute(cabecalho_ + " values " + texto_);
    texto_.clear();
    n_ = 0;
  }

 private:
  components::TmySQLDatabase& db_;
  std::string cabecalho_;
  int porBloco_;
  std::string texto_;
  int n_ = 0;
};

const char* const kColunasCliente =
    "insert into cadcliente(codcli,cliente,fantasia,email,cpf,cnpj,rg,orgexp,dtemissaorg,sexo,ie,"
    "insc_municipal,dtcadastro,contato,endereco,numero,complemento,cep,bairro,cidade,uf,tel1,tel2,"
    "tel3,codmunicipio,bloqueado,importado)";
const char* const kColunasProduto =
    "insert into cadprod(codprod,descricao,DescrResumida,und,punit,qtestoque,estoqueminimo,"
    "estoqueideal,ean13,NomenclaturaMercosul,vlipi,vliss,vlcofins,vl_icms_antec,cst,ProducPropria,"
    "importadopdv)";

// Windows-1252 texts: the accented letters written as byte escapes.
const char* const kNomes[] = {"MARIA",     "JOS\xC9",    "JO\xC3O",   "ANA",
                              "FRANCISCO", "ANT\xD4NIO", "LU\xCDS",   "CONCEI\xC7\xC3O",
                              "RAIMUNDA",  "PEDRO",      "F\xC1TIMA", "SEBASTI\xC3O"};
const char* const kSobrenomes[] = {"SILVA",
                                   "SOUSA",
                                   "OLIVEIRA",
                                   "ARA\xDAJO",
                                   "LIMA",
                                   "GON\xC7"
                                   "ALVES",
                                   "FERREIRA",
                                   "D'\xC1VILA",
                                   "MAGALH\xC3"
                                   "ES",
                                   "CAVALCANTE"};
const char* const kRuas[] = {"Rua S\xE3o Jo\xE3o",
                             "Av. Santos Dumont",
                             "Rua Bar\xE3o de Aracati",
                             "Rua Padre C\xED"
                             "cero, 1\xBA andar",
                             "Travessa #2 do A\xE7ude",
                             "Rua Concei\xE7\xE3o | Bloco B"};
const char* const kBairros[] = {"Centro",    "Aldeota", "Meireles",
                                "Messejana", "Benfica", "Parquel\xE2ndia"};
struct Cidade {
  const char* nome;
  const char* uf;
  const char* ibge;
};
const Cidade kCidades[] = {{"Fortaleza", "CE", "2304400"},    {"Caucaia", "CE", "2303709"},
                           {"Maracana\xFA", "CE", "2307650"}, {"Sobral", "CE", "2312908"},
                           {"Recife", "PE", "2611606"},       {"S\xE3o Paulo", "SP", "3550308"}};
const char* const kProdutos[] = {
    "SHAMPOO ANTICASPA 300ML",
    "SAB\xC3O EM P\xD3 1KG",
    "A\xC7\xDA"
    "CAR CRISTAL 5KG",
    "CAF\xC9 TORRADO E MO\xCD"
    "DO 250G",
    "FEIJ\xC3O CARIOCA 1KG",
    "\xD3LEO DE SOJA 900ML",
    "BISCOITO MARIA 400G",
    "CREME DENTAL 90G",
    "REFRIGERANTE GUARAN\xC1 2L",
    "P\xC3O DE FORMA INTEGRAL 500G",
    "DETERGENTE L\xCDQUIDO NEUTRO BIODEGRAD\xC1VEL FRASCO 500ML CAIXA COM 24 UNIDADES"};
const char* const kUnidades[] = {"UN", "KG", "MT", "M2", "M3",    "PCT",
                                 "CX", "LT", "un", "",   "CAIXA", "PC"};
const char* const kCsts[] = {"00", "10", "20", "30", "40", "41", "50",
                             "51", "60", "70", "90", "",   "AB"};
const char* const kProducao[] = {"N", "S", "", "X"};

std::string Formatar(const char* formato, int a, int b = 0, int c = 0, int d = 0) {
  char buf[128];
  std::snprintf(buf, sizeof buf, formato, a, b, c, d);
  return buf;
}

std::string Data(int ano, int mes, int dia) {
  return Formatar("'%04d-%02d-%02d'", ano, mes, dia);
}

std::vector<std::string> ClienteDemo(int i, ModoAspas modo) {
  const auto Sql = [modo](const Valor& v) { return SqlValor(v, modo); };
  const int codcli = 1000 + i;
  const Cidade& cidade = kCidades[i % 6];
  std::string nome = std::string(kNomes[i % 12]) + " " + kSobrenomes[(i / 12) % 10];
  if (i % 3 != 0) nome += std::string(" ") + kSobrenomes[(i * 7) % 10];
  Valor cpf, cnpj;
  if (i % 3 != 0)
    cpf = Formatar("%03d.%03d.%03d-%02d", 100 + i % 900, i * 7 % 1000, i * 13 % 1000, i % 100);
  else if (i % 9 != 0)
    cnpj = Formatar("07.526.%03d/0001-%02d", i % 1000, i % 100);
  else
    cpf = std::string("   ");
  const bool mulher = i % 2 == 0;
  Valor sexo = std::string(mulher ? "F" : "M");
  if (i % 50 == 7) sexo = std::string("FEMININO");  // too long for the PDV column
  Valor email;
  if (i % 5 != 0) email = "cliente" + std::to_string(codcli) + "@exemplo.com.br";
  Valor tel2;
  if (i % 4 == 1) tel2 = Formatar("(85) 9%04d-%04d", i % 10000, i * 3 % 10000);
  return {std::to_string(codcli),
          Sql(nome),
          i % 7 == 0 ? Sql(std::string("MERCEARIA ") + kSobrenomes[i % 10]) : "null",
          Sql(email),
          Sql(cpf),
          Sql(cnpj),
          i % 3 != 0 ? Sql(std::to_string(2000000 + i)) : "null",
          i % 3 != 0 ? Sql(std::string("SSP")) : "null",
          i % 4 == 0 ? "null" : Data(1990 + i % 30, 1 + i % 12, 1 + i % 28),
          Sql(sexo),
          i % 3 == 0 ? Sql(Formatar("06.%03d.%03d-%d", i % 1000, i * 11 % 1000, i % 10)) : "null",
          "null",
          Data(2010 + i % 15, 1 + i * 5 % 12, 1 + i * 3 % 28),
          i % 6 == 0 ? Sql(std::string("GERENTE")) : "null",
          Sql(std::string(kRuas[i % 6])),
          Sql(std::to_string(10 + i * 17 % 2000)),
          i % 5 == 2 ? Sql(std::string("Apto. 101, Bloco \xC7")) : "null",
          Sql(Formatar(i % 2 ? "60.%03d-%03d" : "60%03d%03d", 100 + i % 900, i % 1000)),
          Sql(std::string(kBairros[i % 6])),
          Sql(std::string(cidade.nome)),
          Sql(std::string(cidade.uf)),
          Sql(Formatar("(85) 3%03d-%04d", i % 1000, i * 7 % 10000)),
          Sql(tel2),
          i % 8 == 3 ? Sql(Formatar("85 9%04d%04d", i % 10000, i % 10000)) : "null",
          cidade.ibge,
          i % 17 == 0 ? "'S'" : "'N'",
          i % 13 == 0 ? "'S'" : "'N'"};
}

std::vector<std::string> ProdutoDemo(int i, ModoAspas modo) {
  const auto Sql = [modo](const Valor& v) { return SqlValor(v, modo); };
  const int codprod = 100 + i;
  std::string descricao = kProdutos[i % 11];
  if (i % 11 != 10) descricao += " " + std::to_string(codprod);
  Valor resumida;
  if (i % 9 == 4) resumida = std::string("DESCRICAO RESUMIDA COM QUARENTA CARACTER");
  Valor ean;
  if (i % 6 != 0) ean = Formatar("789%05d%05d", i * 31 % 100000, i % 100000);
  if (i % 71 == 5) ean = std::string("78912345678901234567");  // too long for GTIN
  Valor cst = std::string(kCsts[i % 13]);
  if (kCsts[i % 13][0] == 0 && i % 2) cst.reset();
  Valor producao = std::string(kProducao[i % 4]);
  if (i % 4 == 2) producao.reset();
  return {std::to_string(codprod),
          Sql(descricao),
          Sql(resumida),
          Sql(std::string(kUnidades[i % 12])),
          i % 11 == 0 ? "null" : Num((i * 37 % 10000) / 100.0 + 0.5),
          Num(i % 50),
          i % 3 == 0 ? "null" : std::to_string(i % 10),
          std::to_string(10 + i % 90),
          Sql(ean),
          Sql(Formatar("%04d.%02d.%02d", 3000 + i % 1000, i % 100, i % 10)),
          i % 2 ? "0" : "null",
          i % 5 == 0 ? "5" : "null",
          i % 7 == 0 ? Num(7.6) : "null",
          "null",
          Sql(cst),
          Sql(producao),
          i % 19 == 0 ? "'S'" : "'N'"};
}

}  // namespace

std::unique_ptr<components::TmySQLDatabase> ConexaoAdministrativa(const std::string& host,
                                                                  std::uint32_t porta,
                                                                  const std::string& banco) {
  auto db = std::make_unique<components::TmySQLDatabase>();
  db->SetDatabaseName(banco);
  db->SetUserName("tolve536");
  db->SetUserPassword("kb71530264809");
  db->SetHost(host);
  db->SetPort(porta);
  db->SetConnectionTimeout(30);
  db->SetLoginPrompt(false);
  db->Open();
  return db;
}

void CriarTabelasRetaguarda(components::TmySQLDatabase& db, const std::string& intervalo) {
  db.Execute("drop table if exists cadcliente");
  db.Execute("drop table if exists cadprod");
  db.Execute("drop table if exists cadparametos");
  db.Execute("drop table if exists cadempresa");
  db.Execute(
      "create table cadcliente (codcli bigint not null primary key, cliente varchar(80), "
      "fantasia varchar(50), email varchar(80), cpf varchar(15), cnpj varchar(20), rg varchar(40), "
      "orgexp varchar(10), dtemissaorg date, sexo varchar(10), ie varchar(25), "
      "insc_municipal varchar(25), dtcadastro date, contato varchar(30), endereco varchar(100), "
      "numero varchar(8), complemento varchar(70), cep varchar(15), bairro varchar(30), "
      "cidade varchar(30), uf varchar(2), tel1 varchar(15), tel2 varchar(15), tel3 varchar(15), "
      "codmunicipio int, limite double, observacao text, "
      "bloqueado char(1) not null default 'N', importado char(1) not null default 'N') "
      "engine=InnoDB default charset=latin1");
  db.Execute(
      "create table cadprod (codprod int not null auto_increment primary key, "
      "descricao varchar(80), DescrResumida varchar(50), und varchar(5), punit double, "
      "qtestoque double, estoqueminimo int, estoqueideal int, ean13 varchar(20), "
      "NomenclaturaMercosul varchar(15), vlipi double, vliss double, vlcofins double, "
      "vl_icms_antec double, cst varchar(2), ProducPropria varchar(1), pcusto double, "
      "importadopdv char(1) not null default 'N') engine=InnoDB default charset=latin1");
  db.Execute(
      "create table cadparametos (id int not null primary key, tempoatualizacaoPDV time) "
      "engine=InnoDB default charset=latin1");
  db.Execute("insert into cadparametos values (1," + Aspas(intervalo, ModoDe(db)) + ")");
  db.Execute(
      "create table cadempresa (id int not null primary key, razao varchar(80), cnpj varchar(20)) "
      "engine=InnoDB default charset=latin1");
  db.Execute("insert into cadempresa values (1,'MERCADINHO S\xC3O JO\xC3O LTDA','07526557000100')");
}

void CriarTabelasPDV(components::TmySQLDatabase& db) {
  db.Execute("drop table if exists cliente");
  db.Execute("drop table if exists produto");
  db.Execute(
      "create table cliente (id bigint not null, id_situacao_cliente int, nome varchar(80), "
      "fantasia varchar(50), email varchar(80), cpf_cnpj varchar(20), rg varchar(40), "
      "orgao_rg varchar(10), data_emissao_rg date, sexo varchar(1), inscricao_estadual "
      "varchar(25), "
      "inscricao_municipal varchar(25), tipo_pessoa char(1), data_cadastro date, "
      "contato varchar(30), logradouro varchar(100), numero varchar(10), complemento varchar(70), "
      "cep varchar(8), bairro varchar(30), cidade varchar(30), uf char(2), fone1 varchar(8), "
      "fone2 varchar(8), celular varchar(8), codigo_ibge_cidade varchar(7), "
      "codigo_ibge_uf varchar(2), unique key uk_cliente_id (id)) "
      "engine=InnoDB default charset=latin1");
  db.Execute(
      "create table produto (ID int not null, ID_UNIDADE_PRODUTO int, GTIN varchar(14), "
      "CODIGO_INTERNO int, NOME varchar(100), DESCRICAO varchar(250), DESCRICAO_PDV varchar(30), "
      "VALOR_VENDA decimal(18,6), QTD_ESTOQUE decimal(18,6), ESTOQUE_MIN decimal(18,6), "
      "ESTOQUE_MAX decimal(18,6), IPPT char(1), NCM varchar(8), DATA_ESTOQUE date, "
      "TAXA_IPI decimal(18,6), TAXA_ISSQN decimal(18,6), TAXA_COFINS decimal(18,6), "
      "TAXA_ICMS decimal(18,6), CST char(2), CSOSN varchar(3), ECF_ICMS_ST varchar(4), "
      "CODIGO_BALANCA varchar(20), unique key uk_produto_id (ID)) "
      "engine=InnoDB default charset=latin1");
}

namespace {

// The back office's customers: the two of the worked examples, then
// `clientes` generated ones.
void SemearClientesDemo(components::TmySQLDatabase& retaguarda, int clientes, ModoAspas modo) {
  Lote lote(retaguarda, kColunasCliente);
  // The customer of the worked example.
  lote.Linha({"15",
              "'MARIA SILVA'",
              "null",
              "null",
              "'123.456.789-09'",
              "null",
              "'2001'",
              "'SSP'",
              "null",
              "'F'",
              "null",
              "null",
              "'2012-03-15'",
              "null",
              SqlValor(std::string("Rua S\xE3o Jo\xE3o"), modo),
              "'12'",
              "null",
              "'60115-170'",
              "'Centro'",
              "'Fortaleza'",
              "'CE'",
              "'(85) 3222-1100'",
              "null",
              "null",
              "2304400",
              "'N'",
              "'N'"});
  // A name that ends with a backslash and one with a comment marker.
  lote.Linha({"16",
              SqlValor(std::string("ALFA & OMEGA COMERCIO \\"), modo),
              "null",
              "null",
              "null",
              "'07.526.557/0001-00'",
              "null",
              "null",
              "null",
              "null",
              "null",
              "null",
              "'2015-06-01'",
              "null",
              "'Rua -- Sem Nome'",
              "'S/N'",
              "null",
              "null",
              "null",
              "'Fortaleza'",
              "'CE'",
              "null",
              "null",
              "null",
              "2304400",
              "'N'",
              "'N'"});
  for (int i = 1; i <= clientes; ++i) lote.Linha(ClienteDemo(i, modo));
  lote.Enviar();
}

// The back office's products: the one of the worked example, then
// `produtos` generated ones.
void SemearProdutosDemo(components::TmySQLDatabase& retaguarda, int produtos, ModoAspas modo) {
  Lote lote(retaguarda, kColunasProduto);
  // The product of the worked example.
  lote.Linha({"7", "'SHAMPOO 300ML'", "null", "'un'", "12.5", "3", "null", "10", "'7891234567895'",
              "'3305.10.00'", "0", "null", "null", "null", "'60'", "'N'", "'N'"});
  for (int i = 1; i <= produtos; ++i) lote.Linha(ProdutoDemo(i, modo));
  lote.Enviar();
}

}  // namespace

ResumoDemo SemearDemo(components::TmySQLDatabase& retaguarda, components::TmySQLDatabase& pdv,
                      int clientes, int produtos) {
  CriarTabelasRetaguarda(retaguarda);
  CriarTabelasPDV(pdv);
  const ModoAspas modo = ModoDe(retaguarda);
  SemearClientesDemo(retaguarda, clientes, modo);
  SemearProdutosDemo(retaguarda, produtos, modo);
  // The PDV already has some of them: those are updated.
  pdv.Execute(
      "insert into cliente(id,id_situacao_cliente,nome) select codcli,1,'ANTIGO' from "
      "tolve536_vidoru.cadcliente where codcli % 10 = 1");
  pdv.Execute(
      "insert into produto(ID,ID_UNIDADE_PRODUTO,NOME) select codprod,1,'ANTIGO' from "
      "tolve536_vidoru.cadprod where codprod % 8 = 3");
  ResumoDemo r;
  r.clientesPendentes = static_cast<int>(
      Contar(retaguarda, "select count(*) from cadcliente where bloqueado='N' and importado='N'"));
  r.produtosPendentes =
      static_cast<int>(Contar(retaguarda, "select count(*) from cadprod where importadopdv='N'"));
  return r;
}

std::int64_t SemearVolume(components::TmySQLDatabase& retaguarda, int clientes, int produtos) {
  std::int64_t bytes = 0;
  const ModoAspas modo = ModoDe(retaguarda);
  auto somar = [&](const std::vector<std::string>& v) {
    for (const std::string& s : v) bytes += static_cast<std::int64_t>(s.size());
  };
  {
    Lote lote(retaguarda, kColunasCliente, 500);
    for (int i = 1; i <= clientes; ++i) {
      std::vector<std::string> v = ClienteDemo(i, modo);
      v[9] = i % 2 ? "'M'" : "'F'";  // every row fits the PDV
      v[v.size() - 2] = "'N'";       // nothing blocked
      v.back() = "'N'";              // nothing marked
      somar(v);
      lote.Linha(v);
    }
    lote.Enviar();
  }
  {
    Lote lote(retaguarda, kColunasProduto, 500);
    for (int i = 1; i <= produtos; ++i) {
      std::vector<std::string> v = ProdutoDemo(i, modo);
      if (i % 71 == 5) v[8] = "'7890000000000'";  // every row fits the PDV
      v.back() = "'N'";
      somar(v);
      lote.Linha(v);
    }
    lote.Enviar();
  }
  return bytes;
}

long long Contar(components::TmySQLDatabase& banco, const std::string& sql) {
  components::TmySQLQuery q;
  q.SetDatabase(&banco);
  q.SQL().Add(sql);
  q.Open();
  const long long n = q.Fields().Count() ? q.Fields()[0].AsLargeInt() : 0;
  q.Close();
  return n;
}

}  // namespace app
