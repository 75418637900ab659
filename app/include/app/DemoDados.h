// Demonstration and test data for the agent: the back-office tables it
// reads (cadcliente, cadprod, cadparametos, cadempresa) and the PDV tables
// it writes (cliente, produto), created afresh, and rows to fill them.
//
// Everything goes through our own connection component, as root, on the
// database the connection names. The schemas carry the columns the agent
// relies on plus a few it ignores; the PDV keys (cliente.id, produto.ID)
// are unique so that a second insert fails with 1062. Texts are
// Windows-1252. Single-threaded; the connections are not owned.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "components/MySQLDatabase.h"

namespace app {

// An administrative connection (the back-office account, which holds every
// privilege) to `banco` on host:porta (compressed, like the agent's).
std::unique_ptr<components::TmySQLDatabase> ConexaoAdministrativa(const std::string& host,
                                                                  std::uint32_t porta,
                                                                  const std::string& banco);

// Drops and creates cadcliente, cadprod, cadparametos (one row holding
// `intervalo`, "hh:mm:ss") and cadempresa (one row).
void CriarTabelasRetaguarda(components::TmySQLDatabase& retaguarda,
                            const std::string& intervalo = "00:05:00");
// Drops and creates cliente and produto.
void CriarTabelasPDV(components::TmySQLDatabase& pdv);

// The demo back office: a few hundred customers and products with accented
// names, a quote in a name, nulls, blocked customers, rows already marked,
// every unit and every CST, the two worked examples (customer 15, product
// 7); and a PDV that already holds some of them, so that they are updated.
struct ResumoDemo {
  int clientesPendentes = 0;
  int produtosPendentes = 0;
};
ResumoDemo SemearDemo(components::TmySQLDatabase& retaguarda, components::TmySQLDatabase& pdv,
                      int clientes = 300, int produtos = 300);

// `clientes` pending customers and `produtos` pending products with plain
// generated values that the PDV accepts, inserted in large blocks (benchmarks). Returns the
// bytes of the source values written.
std::int64_t SemearVolume(components::TmySQLDatabase& retaguarda, int clientes, int produtos);

// The number `sql` (a "select count(*) ..." ) returns.
long long Contar(components::TmySQLDatabase& banco, const std::string& sql);

}  // namespace app
