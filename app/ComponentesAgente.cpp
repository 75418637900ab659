#include "app/ComponentesAgente.h"

#include "rtl/SysUtils.h"

#ifndef TOLVEX_RETAGUARDA_HOST
#define TOLVEX_RETAGUARDA_HOST "mysql.tolvex.com.br"
#endif

namespace app {

namespace {

struct DefinicaoBanco {
  const char* nome;
  const char* banco;
  const char* usuario;
  const char* senha;
  std::string host;
};

// The connection as the agent defines it: the properties and the six-line
// parameter list the engine reads at connect, in their fixed order.
void Configurar(components::TmySQLDatabase& db, const DefinicaoBanco& d) {
  db.SetName(d.nome);
  db.SetDatabaseName(d.banco);
  db.SetUserName(d.usuario);
  db.SetUserPassword(d.senha);
  db.SetHost(d.host);
  db.SetPort(3306);
  // One statement per query is all the agent sends; local files stay off.
  db.SetConnectOptions(engine::ConnectOptionBit(engine::coCompress) |
                       engine::ConnectOptionBit(engine::coSingleStatements));
  db.SetLoginPrompt(false);
  rtl::TStringList linhas;
  linhas.Add("Port=3306");
  linhas.Add("TIMEOUT=30");
  linhas.Add(std::string("DatabaseName=") + d.banco);
  linhas.Add(std::string("UID=") + d.usuario);
  linhas.Add(std::string("PWD=") + d.senha);
  linhas.Add("Host=" + d.host);
  db.SetParams(linhas);
}

void Campo(db::TField& campo, db::TDataSet& dataset, const std::string& coluna, int tamanho = 0) {
  campo.SetName(dataset.Name() + coluna);
  campo.SetFieldName(coluna);
  if (tamanho > 0) campo.SetSize(tamanho);
  campo.SetDataSet(&dataset);
}

// A query that runs statements the agent builds itself: the text goes to
// the server as written, without comment removal or parameter markers, so
// no back-office value can turn part of a statement into a comment or a
// parameter.
void ConsultaLiteral(components::TmySQLQuery& q) {
  q.SetParamCheck(false);
  q.SetProcessComments({});
}

// The queries on their connections, and the settings table with its data
// source.
void CriarConsultas(ComponentesAgente& k) {
  struct {
    components::TmySQLQuery& q;
    const char* nome;
    components::TmySQLDatabase& db;
  } consultas[] = {
      {k.qryClientes, "qryClientes", k.dbVidoru}, {k.qryProd, "qryProd", k.dbVidoru},
      {k.qryInsertPDV, "qryInsertPDV", k.dbPDV},  {k.qryEuVidoru, "qryEuVidoru", k.dbVidoru},
      {k.qryEmpresa, "qryEmpresa", k.dbVidoru},   {k.qryVerifica, "qryVerifica", k.dbPDV},
      {k.qryEuPDV, "qryEuPDV", k.dbPDV},
  };
  for (auto& c : consultas) {
    c.q.SetName(c.nome);
    c.q.SetDatabase(&c.db);
  }
  ConsultaLiteral(k.qryInsertPDV);
  ConsultaLiteral(k.qryEuVidoru);
  ConsultaLiteral(k.qryEuPDV);
  k.qryEmpresa.SQL().Add("select * from cadempresa");

  k.tblParametos.SetName("tblParametos");
  k.tblParametos.SetDatabase(&k.dbVidoru);
  k.tblParametos.SetTableName("cadparametos");
  k.dsParametos.SetName("dsParametos");
  k.dsParametos.SetDataSet(&k.tblParametos);
}

// cadcliente's columns as the customer pass reads them.
void CriarCamposClientes(ComponentesAgente& k) {
  db::TDataSet& c = k.qryClientes;
  Campo(k.qryClientescodcli, c, "codcli");
  Campo(k.qryClientescliente, c, "cliente", 80);
  Campo(k.qryClientesfantasia, c, "fantasia", 50);
  Campo(k.qryClientesemail, c, "email", 80);
  Campo(k.qryClientescpf, c, "cpf", 15);
  Campo(k.qryClientescnpj, c, "cnpj", 20);
  Campo(k.qryClientesrg, c, "rg", 40);
  Campo(k.qryClientesorgexp, c, "orgexp", 10);
  Campo(k.qryClientesdtemissaorg, c, "dtemissaorg");
  Campo(k.qryClientessexo, c, "sexo", 10);
  Campo(k.qryClientesie, c, "ie", 25);
  Campo(k.qryClientesinsc_municipal, c, "insc_municipal", 25);
  Campo(k.qryClientesdtcadastro, c, "dtcadastro");
  Campo(k.qryClientescontato, c, "contato", 30);
  Campo(k.qryClientesendereco, c, "endereco", 100);
  Campo(k.qryClientesnumero, c, "numero", 8);
  Campo(k.qryClientescomplemento, c, "complemento", 70);
  Campo(k.qryClientescep, c, "cep", 15);
  Campo(k.qryClientesbairro, c, "bairro", 30);
  Campo(k.qryClientescidade, c, "cidade", 30);
  Campo(k.qryClientesuf, c, "uf", 2);
  Campo(k.qryClientestel1, c, "tel1", 15);
  Campo(k.qryClientestel2, c, "tel2", 15);
  Campo(k.qryClientestel3, c, "tel3", 15);
  Campo(k.qryClientescodmunicipio, c, "codmunicipio");
}

// cadprod's columns as the product pass reads them.
void CriarCamposProdutos(ComponentesAgente& k) {
  db::TDataSet& p = k.qryProd;
  Campo(k.qryProdcodprod, p, "codprod");
  Campo(k.qryProddescricao, p, "descricao", 80);
  Campo(k.qryProdDescrResumida, p, "DescrResumida", 50);
  Campo(k.qryProdund, p, "und", 5);
  Campo(k.qryProdpunit, p, "punit");
  Campo(k.qryProdqtestoque, p, "qtestoque");
  Campo(k.qryProdestoqueminimo, p, "estoqueminimo");
  Campo(k.qryProdestoqueideal, p, "estoqueideal");
  Campo(k.qryProdean13, p, "ean13", 20);
  Campo(k.qryProdNomenclaturaMercosul, p, "NomenclaturaMercosul", 15);
  Campo(k.qryProdvlipi, p, "vlipi");
  Campo(k.qryProdvliss, p, "vliss");
  Campo(k.qryProdvlcofins, p, "vlcofins");
  Campo(k.qryProdvl_icms_antec, p, "vl_icms_antec");
  Campo(k.qryProdcst, p, "cst", 2);
  Campo(k.qryProdProducPropria, p, "ProducPropria", 1);
}

}  // namespace

std::string HostRetaguardaPadrao() {
  return TOLVEX_RETAGUARDA_HOST;
}

void ComponentesAgente::DefinirServidor(components::TmySQLDatabase& banco, const std::string& host,
                                        std::uint32_t porta) {
  banco.SetHost(host);
  banco.SetPort(porta);
  banco.Params().SetValues("Host", host);
  banco.Params().SetValues("Port", rtl::IntToStr(static_cast<int>(porta)));
}

void ComponentesAgente::AplicarConfiguracao(components::TmySQLDatabase& banco,
                                            const ConfiguracaoConexao& configuracao) {
  if (configuracao.host || configuracao.porta)
    DefinirServidor(banco, configuracao.host.value_or(banco.Host()),
                    configuracao.porta.value_or(banco.Port()));
  if (configuracao.usuario) banco.SetUserName(*configuracao.usuario);
  if (configuracao.senha) banco.SetUserPassword(*configuracao.senha);
  if (configuracao.chavePublica)
    banco.Params().SetValues("ServerPublicKey", *configuracao.chavePublica);
  if (configuracao.obterChavePublica)
    banco.Params().SetValues("GetServerPublicKey", *configuracao.obterChavePublica ? "1" : "");
  wire::TTlsOptions tls = banco.TLSOptions();
  if (configuracao.tls) tls.mode = *configuracao.tls;
  if (configuracao.tlsCa) tls.caFile = *configuracao.tlsCa;
  if (configuracao.tlsImpressao) tls.fingerprint = *configuracao.tlsImpressao;
  banco.SetTLSOptions(tls);
  if (configuracao.senhaAntiga) banco.SetOldPasswords(*configuracao.senhaAntiga);
}

ComponentesAgente::ComponentesAgente() {
  Configurar(dbVidoru,
             {"dbVidoru", "tolve536_vidoru", "tolve536", "kb71530264809", HostRetaguardaPadrao()});
  Configurar(dbPDV, {"dbPDV", "t2tipafecf", "root", "kmzq", "localhost"});
  // The back office is reached over the internet: TLS whenever it offers it.
  // The PDV server is on the same machine.
  dbVidoru.SetTLSOptions({wire::TlsMode::Preferred, {}, {}});

  CriarConsultas(*this);
  CriarCamposClientes(*this);
  CriarCamposProdutos(*this);
  Campo(tblParametostempoatualizacaoPDV, tblParametos, "tempoatualizacaoPDV");
  tblParametostempoatualizacaoPDV.SetEditMask("!90:00:00;1;_");
}

ComponentesAgente::~ComponentesAgente() {
  // Datasets first, then the connections, whatever the members' order does.
  try {
    dbVidoru.Close();
    dbPDV.Close();
  } catch (...) {
    // A destructor must not raise; what a close could not tell has no reader.
  }
}

}  // namespace app
