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

  struct {
    components::TmySQLQuery& q;
    const char* nome;
    components::TmySQLDatabase& db;
  } consultas[] = {
      {qryClientes, "qryClientes", dbVidoru}, {qryProd, "qryProd", dbVidoru},
      {qryInsertPDV, "qryInsertPDV", dbPDV},  {qryEuVidoru, "qryEuVidoru", dbVidoru},
      {qryEmpresa, "qryEmpresa", dbVidoru},   {qryVerifica, "qryVerifica", dbPDV},
      {qryEuPDV, "qryEuPDV", dbPDV},
  };
  for (auto& c : consultas) {
    c.q.SetName(c.nome);
    c.q.SetDatabase(&c.db);
  }
  ConsultaLiteral(qryInsertPDV);
  ConsultaLiteral(qryEuVidoru);
  ConsultaLiteral(qryEuPDV);
  qryEmpresa.SQL().Add("select * from cadempresa");

  tblParametos.SetName("tblParametos");
  tblParametos.SetDatabase(&dbVidoru);
  tblParametos.SetTableName("cadparametos");
  dsParametos.SetName("dsParametos");
  dsParametos.SetDataSet(&tblParametos);

  db::TDataSet& c = qryClientes;
  Campo(qryClientescodcli, c, "codcli");
  Campo(qryClientescliente, c, "cliente", 80);
  Campo(qryClientesfantasia, c, "fantasia", 50);
  Campo(qryClientesemail, c, "email", 80);
  Campo(qryClientescpf, c, "cpf", 15);
  Campo(qryClientescnpj, c, "cnpj", 20);
  Campo(qryClientesrg, c, "rg", 40);
  Campo(qryClientesorgexp, c, "orgexp", 10);
  Campo(qryClientesdtemissaorg, c, "dtemissaorg");
  Campo(qryClientessexo, c, "sexo", 10);
  Campo(qryClientesie, c, "ie", 25);
  Campo(qryClientesinsc_municipal, c, "insc_municipal", 25);
  Campo(qryClientesdtcadastro, c, "dtcadastro");
  Campo(qryClientescontato, c, "contato", 30);
  Campo(qryClientesendereco, c, "endereco", 100);
  Campo(qryClientesnumero, c, "numero", 8);
  Campo(qryClientescomplemento, c, "complemento", 70);
  Campo(qryClientescep, c, "cep", 15);
  Campo(qryClientesbairro, c, "bairro", 30);
  Campo(qryClientescidade, c, "cidade", 30);
  Campo(qryClientesuf, c, "uf", 2);
  Campo(qryClientestel1, c, "tel1", 15);
  Campo(qryClientestel2, c, "tel2", 15);
  Campo(qryClientestel3, c, "tel3", 15);
  Campo(qryClientescodmunicipio, c, "codmunicipio");

  db::TDataSet& p = qryProd;
  Campo(qryProdcodprod, p, "codprod");
  Campo(qryProddescricao, p, "descricao", 80);
  Campo(qryProdDescrResumida, p, "DescrResumida", 50);
  Campo(qryProdund, p, "und", 5);
  Campo(qryProdpunit, p, "punit");
  Campo(qryProdqtestoque, p, "qtestoque");
  Campo(qryProdestoqueminimo, p, "estoqueminimo");
  Campo(qryProdestoqueideal, p, "estoqueideal");
  Campo(qryProdean13, p, "ean13", 20);
  Campo(qryProdNomenclaturaMercosul, p, "NomenclaturaMercosul", 15);
  Campo(qryProdvlipi, p, "vlipi");
  Campo(qryProdvliss, p, "vliss");
  Campo(qryProdvlcofins, p, "vlcofins");
  Campo(qryProdvl_icms_antec, p, "vl_icms_antec");
  Campo(qryProdcst, p, "cst", 2);
  Campo(qryProdProducPropria, p, "ProducPropria", 1);

  Campo(tblParametostempoatualizacaoPDV, tblParametos, "tempoatualizacaoPDV");
  tblParametostempoatualizacaoPDV.SetEditMask("!90:00:00;1;_");
}

ComponentesAgente::~ComponentesAgente() {
  // Datasets first, then the connections, whatever the members' order does.
  try {
    dbVidoru.Close();
    dbPDV.Close();
  } catch (...) {
  }
}

}  // namespace app
