// Test support for the agent's controller: a view that records every call
// in order, and a fixture that gives the agent fresh back-office and PDV
// tables in the sandbox and a scratch folder for its daily log.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VisaoGravada.h"
#include "app/AgentView.h"
#include "app/Agente.h"
#include "app/DemoDados.h"
#include "support/Sandbox.h"

namespace agentetest {

using apptest::Caixa;
using apptest::VisaoGravada;

// A fixed moment: 9 December 2026, 10:20:30.
app::TDateTime MomentoFixo();
// "10:20:30 - 09/12/2026"
inline const char* kCarimbo = "10:20:30 - 09/12/2026";

// The first value `sql` selects on `banco` ("" for null, "<none>" without a
// row).
std::string PrimeiroValor(components::TmySQLDatabase& banco, const std::string& sql);

// The agent's surroundings in the tests: the clock at MomentoFixo, no
// internet, a calculator that always starts.
app::AmbienteAgente AmbienteDeTeste();

// An agent's options for a scratch folder: the daily log there and the
// remote-support tool in its "suporte" folder.
app::OpcoesAgente OpcoesDeTeste(const std::filesystem::path& pasta);

// The file every test that recreates the agent's two databases locks
// (flock, exclusive) for its whole run, so that test processes run in
// parallel by ctest take turns on them: MYSQL_TEST_DIR/agent-databases.lock.
std::string ArquivoBloqueioBancos();

// Takes the lock file at `caminho` (exclusive, waiting for the holder) and
// returns its descriptor. A lock that cannot be taken throws, which fails the
// test: running unlocked would let parallel test processes trample each
// other's rows.
int TravarBancos(const std::string& caminho);

// Fresh demo tables in both databases, an agent pointed at the sandbox
// (both connections to its host and port) with a fixed clock and a scratch
// log folder. The databases are locked from SetUp to TearDown.
class AgenteServidor : public support::SandboxTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the agent (not yet FormCreate'd). `pdvHost` replaces the PDV host.
  app::Agente& CriarAgente(const std::string& pdvHost = "");
  // Runs FormCreate and expects it to succeed.
  app::Agente& AgenteAberto(const std::string& pdvHost = "");

  // Statements on the back office / PDV as the administrative account.
  void Retaguarda(const std::string& sql) { retaguarda_->Execute(sql); }
  void Pdv(const std::string& sql) { pdv_->Execute(sql); }
  long long ContarRetaguarda(const std::string& sql) { return app::Contar(*retaguarda_, sql); }
  long long ContarPdv(const std::string& sql) { return app::Contar(*pdv_, sql); }
  // One value of the PDV ("" for null).
  std::string ValorPdv(const std::string& sql);

  // Inserts a customer: codcli and then column=value pairs (SQL literals).
  void Cliente(long long codcli, const std::string& colunas = "", const std::string& valores = "");
  void Produto(long long codprod, const std::string& colunas = "", const std::string& valores = "");

  // Entries of the daily log file of MomentoFixo (empty when none).
  std::string LogDoDia() const;

  VisaoGravada view_;
  std::unique_ptr<app::Agente> agente_;
  unsigned marcarEmLote_ = 0;  // --marcar-em-lote of the agents CriarAgente makes
  std::unique_ptr<components::TmySQLDatabase> retaguarda_;
  std::unique_ptr<components::TmySQLDatabase> pdv_;
  std::filesystem::path pasta_;
  int bloqueio_ = -1;
};

}  // namespace agentetest
