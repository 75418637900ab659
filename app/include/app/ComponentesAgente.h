// The agent's component tree: the two connections, the queries of the
// passes, the settings table with its data source, and the persistent field
// objects the passes and the settings read.
//
// Everything here is a member of one ComponentesAgente (itself owned by the
// agent) and lives as long as it does; the components are created with the
// connection settings of the agent's definition already in place (names,
// users, six-line parameter lists, compressed protocol). Members are
// declared connections first, datasets next, fields last, so fields go
// before their datasets and datasets before their connections. Single-threaded: only the
// user-interface thread touches the components.
#pragma once

#include <memory>
#include <string>

#include "app/ArquivoConfiguracao.h"
#include "components/MySQLDatabase.h"
#include "components/MySQLQuery.h"
#include "components/MySQLTable.h"
#include "db/Component.h"
#include "db/DataSource.h"
#include "db/Field.h"

namespace app {

// The back-office server the agent is delivered for (a build setting).
std::string HostRetaguardaPadrao();

class ComponentesAgente {
 public:
  ComponentesAgente();
  ~ComponentesAgente();
  ComponentesAgente(const ComponentesAgente&) = delete;
  ComponentesAgente& operator=(const ComponentesAgente&) = delete;

  // Host and port of a closed connection, kept in step with its parameter
  // list ("Host=", "Port=").
  static void DefinirServidor(components::TmySQLDatabase& banco, const std::string& host,
                              std::uint32_t porta);
  // What the configuration file gives a closed connection: host, port,
  // user and password where it names them; the rest stays as it is.
  static void AplicarConfiguracao(components::TmySQLDatabase& banco,
                                  const ConfiguracaoConexao& configuracao);

  components::TmySQLDatabase dbVidoru;
  components::TmySQLDatabase dbPDV;

  components::TmySQLQuery qryClientes;
  components::TmySQLQuery qryProd;
  components::TmySQLQuery qryInsertPDV;
  components::TmySQLQuery qryEuVidoru;
  components::TmySQLQuery qryEmpresa;
  components::TmySQLQuery qryVerifica;
  components::TmySQLQuery qryEuPDV;

  components::TmySQLTable tblParametos;
  db::TDataSource dsParametos;

  // cadcliente, the 25 columns the customer pass reads.
  db::TLargeintField qryClientescodcli;
  db::TStringField qryClientescliente;
  db::TStringField qryClientesfantasia;
  db::TStringField qryClientesemail;
  db::TStringField qryClientescpf;
  db::TStringField qryClientescnpj;
  db::TStringField qryClientesrg;
  db::TStringField qryClientesorgexp;
  db::TDateField qryClientesdtemissaorg;
  db::TStringField qryClientessexo;
  db::TStringField qryClientesie;
  db::TStringField qryClientesinsc_municipal;
  db::TDateField qryClientesdtcadastro;
  db::TStringField qryClientescontato;
  db::TStringField qryClientesendereco;
  db::TStringField qryClientesnumero;
  db::TStringField qryClientescomplemento;
  db::TStringField qryClientescep;
  db::TStringField qryClientesbairro;
  db::TStringField qryClientescidade;
  db::TStringField qryClientesuf;
  db::TStringField qryClientestel1;
  db::TStringField qryClientestel2;
  db::TStringField qryClientestel3;
  db::TIntegerField qryClientescodmunicipio;

  // cadprod, the 16 columns the product pass reads.
  db::TAutoIncField qryProdcodprod;
  db::TStringField qryProddescricao;
  db::TStringField qryProdDescrResumida;
  db::TStringField qryProdund;
  db::TFloatField qryProdpunit;
  db::TFloatField qryProdqtestoque;
  db::TIntegerField qryProdestoqueminimo;
  db::TIntegerField qryProdestoqueideal;
  db::TStringField qryProdean13;
  db::TStringField qryProdNomenclaturaMercosul;
  db::TFloatField qryProdvlipi;
  db::TFloatField qryProdvliss;
  db::TFloatField qryProdvlcofins;
  db::TFloatField qryProdvl_icms_antec;
  db::TStringField qryProdcst;
  db::TStringField qryProdProducPropria;

  // cadparametos: the import interval.
  db::TTimeField tblParametostempoatualizacaoPDV;
};

}  // namespace app
