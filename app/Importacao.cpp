// The two halves of an import pass: customers, then products. Each reads
// the pending back-office rows, tries an insert into the PDV, falls back to
// an update when the key is taken (server error 1062), marks the source row,
// and reports on its pane, the gauge and the tray balloon.
#include <exception>
#include <string>

#include "app/Agente.h"
#include "app/Catalogo.h"
#include "app/ComandosCliente.h"
#include "app/ComandosProduto.h"
#include "app/ErrosDoPasso.h"
#include "app/Normalizadores.h"

namespace app {

namespace {

// Clears the busy flag when a pass ends, also when it ends early.
class Ocupacao {
 public:
  explicit Ocupacao(bool& flag) : flag_(flag) {}
  void Iniciar() { flag_ = true; }
  void Terminar() { flag_ = false; }
  ~Ocupacao() { flag_ = false; }
  Ocupacao(const Ocupacao&) = delete;
  Ocupacao& operator=(const Ocupacao&) = delete;

 private:
  bool& flag_;
};

// Close, clear the text, add the statement, execute. The clearing and the
// adding are one change of the text, so the query takes the new text once.
void Executar(components::TmySQLQuery& q, const std::string& sql) {
  q.Close();
  rtl::TStrings& texto = q.SQL();
  texto.BeginUpdate();
  try {
    texto.Clear();
    texto.Add(sql);
  } catch (...) {
    texto.EndUpdate();
    throw;
  }
  texto.EndUpdate();
  q.ExecSQL();
}

ClienteOrigem LerCliente(const ComponentesAgente& c) {
  ClienteOrigem o;
  o.codcli = c.qryClientescodcli.AsString();
  o.cliente = c.qryClientescliente.AsString();
  o.fantasia = c.qryClientesfantasia.AsString();
  o.email = c.qryClientesemail.AsString();
  o.cpf = c.qryClientescpf.AsString();
  o.cnpj = c.qryClientescnpj.AsString();
  o.rg = c.qryClientesrg.AsString();
  o.orgexp = c.qryClientesorgexp.AsString();
  o.dtemissaorg = c.qryClientesdtemissaorg.AsDateTime();
  o.sexo = c.qryClientessexo.AsString();
  o.ie = c.qryClientesie.AsString();
  o.insc_municipal = c.qryClientesinsc_municipal.AsString();
  o.dtcadastro = c.qryClientesdtcadastro.AsDateTime();
  o.contato = c.qryClientescontato.AsString();
  o.endereco = c.qryClientesendereco.AsString();
  o.numero = c.qryClientesnumero.AsString();
  o.complemento = c.qryClientescomplemento.AsString();
  o.cep = c.qryClientescep.AsString();
  o.bairro = c.qryClientesbairro.AsString();
  o.cidade = c.qryClientescidade.AsString();
  o.uf = c.qryClientesuf.AsString();
  o.tel1 = c.qryClientestel1.AsString();
  o.tel2 = c.qryClientestel2.AsString();
  o.tel3 = c.qryClientestel3.AsString();
  o.codmunicipio = c.qryClientescodmunicipio.AsString();
  return o;
}

ProdutoOrigem LerProduto(const ComponentesAgente& c) {
  ProdutoOrigem o;
  o.codprod = c.qryProdcodprod.AsString();
  o.descricao = c.qryProddescricao.AsString();
  o.DescrResumida = c.qryProdDescrResumida.AsString();
  o.und = c.qryProdund.AsString();
  o.punit = c.qryProdpunit.AsString();
  o.qtestoque = c.qryProdqtestoque.AsString();
  o.estoqueminimo = c.qryProdestoqueminimo.AsString();
  o.estoqueideal = c.qryProdestoqueideal.AsString();
  o.ean13 = c.qryProdean13.AsString();
  o.NomenclaturaMercosul = c.qryProdNomenclaturaMercosul.AsString();
  o.vlipi = c.qryProdvlipi.AsString();
  o.vliss = c.qryProdvliss.AsString();
  o.vlcofins = c.qryProdvlcofins.AsString();
  o.vl_icms_antec = c.qryProdvl_icms_antec.AsString();
  o.cst = c.qryProdcst.AsString();
  o.ProducPropria = c.qryProdProducPropria.AsString();
  return o;
}

bool ChaveRepetida(const std::string& mensagem) {
  std::optional<int> codigo = CodigoErro(mensagem);
  return codigo && *codigo == 1062;
}

struct ContagemClientes {
  long long importados = 0;
  long long atualizados = 0;
};

// One customer row: insert and mark; on a taken key update and mark; any
// other failure goes to the daily log and leaves the row unmarked.
void ProcessarCliente(ComponentesAgente& c, RegistroAtividade& registro, ErrosDoPasso& erros,
                      ContagemClientes& n) {
  ClienteOrigem o;
  try {
    o = LerCliente(c);
  } catch (const std::exception& e) {
    erros.Registrar(ContextoInserirCliente(c.qryClientescodcli.AsString(), ""), e.what());
    return;
  }
  try {
    try {
      Executar(c.qryInsertPDV, SqlInserirCliente(o));
      Executar(c.qryEuVidoru, SqlMarcarCliente(o.codcli));
      registro.Linha(Painel::Clientes, LinhaClienteInserido(o.codcli, o.cliente));
      ++n.importados;
      return;
    } catch (const std::exception& e) {
      if (!ChaveRepetida(e.what())) {
        erros.Registrar(ContextoInserirCliente(o.codcli, o.cliente), e.what());
        return;
      }
    }
    try {
      Executar(c.qryInsertPDV, SqlAtualizarCliente(o));
      Executar(c.qryEuVidoru, SqlMarcarCliente(o.codcli));
      registro.Linha(Painel::Clientes, LinhaClienteAtualizado(o.codcli, o.cliente));
      ++n.atualizados;
    } catch (const std::exception& e) {
      erros.Registrar(ContextoAtualizarCliente(o.codcli, o.cliente), e.what());
    }
  } catch (const std::exception& e) {
    // Only the failure handling itself can get here; the row counts as
    // failed and the pass goes on.
    erros.Registrar(ContextoInserirCliente(o.codcli, o.cliente), e.what());
  }
}

struct ContagemProdutos {
  long long importados = 0;
  long long atualizados = 0;
  long long erros = 0;
};

// One product row. The pane line of an insert comes before its marking and
// an update is counted before its marking, so a failed marking after an
// update counts the row both as updated and as failed.
void ProcessarProduto(ComponentesAgente& c, RegistroAtividade& registro, ErrosDoPasso& erros,
                      ContagemProdutos& n) {
  ProdutoOrigem o;
  try {
    o = LerProduto(c);
  } catch (const std::exception& e) {
    ++n.erros;
    erros.Registrar(ContextoInserirProduto(c.qryProdcodprod.AsString(), ""), e.what());
    return;
  }
  try {
    try {
      Executar(c.qryInsertPDV, SqlInserirProduto(o));
      registro.Linha(Painel::Produtos, LinhaProdutoInserido(o.codprod, o.descricao));
      Executar(c.qryEuVidoru, SqlMarcarProduto(o.codprod));
      ++n.importados;
      return;
    } catch (const std::exception& e) {
      if (!ChaveRepetida(e.what())) {
        ++n.erros;
        erros.Registrar(ContextoInserirProduto(o.codprod, o.descricao), e.what());
        return;
      }
    }
    try {
      Executar(c.qryInsertPDV, SqlAtualizarProduto(o));
      ++n.atualizados;
      registro.Linha(Painel::Produtos, LinhaProdutoAtualizado(o.codprod, o.descricao));
      Executar(c.qryEuVidoru, SqlMarcarProduto(o.codprod));
    } catch (const std::exception& e) {
      ++n.erros;
      erros.Registrar(ContextoAtualizarProduto(o.codprod, o.descricao), e.what());
    }
  } catch (const std::exception& e) {
    ++n.erros;
    erros.Registrar(ContextoInserirProduto(o.codprod, o.descricao), e.what());
  }
}

}  // namespace

void Agente::ImportarClientes() {
  ComponentesAgente& c = *componentes_;
  components::TmySQLQuery& q = c.qryClientes;
  Balao& balao = registro_.ObterBalao();
  Ocupacao ocupacao(ocupado_);

  registro_.Linha(Painel::Clientes, "");
  registro_.Linha(Painel::Clientes, LinhaClientesIniciada(registro_.Carimbo()));
  q.Close();
  balao.DefinirTitulo(TituloBalaoClientes());
  balao.DefinirTexto(TextoBalaoClientesInicio());
  balao.Mostrar();
  q.SQL().Clear();
  q.SQL().Add(SqlClientesPendentes());
  q.Open();

  ContagemClientes n;
  const int total = q.RecordCount();
  if (total == 0) {
    registro_.Linha(Painel::Clientes, LinhaNenhumCliente());
    registro_.Linha(Painel::Clientes, LinhaClientesFinalizada(registro_.Carimbo()));
  } else {
    ocupacao.Iniciar();
    registro_.Linha(Painel::Clientes, LinhaClientesASeremImportados(total));
    registro_.DefinirMaximoGauge(total);
    registro_.DefinirProgressoGauge(0);
    q.First();
    ErrosDoPasso erros(log_, registro_, Painel::Clientes);
    while (!q.Eof() && !encerramentoPedido_) {
      ProcessarCliente(c, registro_, erros, n);
      registro_.DefinirProgressoGauge(q.RecNo());
      q.Next();
      view_.ProcessarMensagensPendentes();
      balao.DefinirTexto(TextoBalaoProgresso(registro_.PercentualGauge()));
    }
  }
  registro_.Linha(Painel::Clientes, "");
  registro_.Linha(Painel::Clientes, LinhaImportacaoConcluida(registro_.Carimbo()));
  registro_.Linha(Painel::Clientes, LinhaResumoClientes(n.importados, n.atualizados));
  ocupacao.Terminar();
  balao.DefinirTexto(TextoBalaoClientesFinal(n.importados, n.atualizados));
}

void Agente::ImportarProdutos() {
  ComponentesAgente& c = *componentes_;
  components::TmySQLQuery& q = c.qryProd;
  Balao& balao = registro_.ObterBalao();
  Ocupacao ocupacao(ocupado_);

  registro_.Linha(Painel::Produtos, LinhaProdutosIniciando(registro_.Carimbo()));
  balao.DefinirTitulo(TituloBalaoProdutos());
  balao.DefinirTexto(TextoBalaoProdutosInicio());
  balao.Mostrar();
  q.Close();
  q.SQL().Clear();
  q.SQL().Add(SqlProdutosPendentes());
  q.Open();

  const int total = q.RecordCount();
  if (total == 0) {
    registro_.Linha(Painel::Produtos, LinhaNenhumProduto());
    registro_.Linha(Painel::Produtos, LinhaProdutosFinalizando(registro_.Carimbo()));
    return;
  }
  ocupacao.Iniciar();
  registro_.DefinirMaximoGauge(total);
  registro_.DefinirProgressoGauge(0);
  registro_.Linha(Painel::Produtos, "");
  registro_.Linha(Painel::Produtos, LinhaProdutosASeremImportados(total));
  q.First();
  ContagemProdutos n;
  ErrosDoPasso erros(log_, registro_, Painel::Produtos);
  while (!q.Eof() && !encerramentoPedido_) {
    ProcessarProduto(c, registro_, erros, n);
    registro_.DefinirProgressoGauge(q.RecNo());
    balao.DefinirTexto(TextoBalaoProgresso(registro_.PercentualGauge()));
    q.Next();
    view_.ProcessarMensagensPendentes();
  }
  registro_.Linha(Painel::Produtos, "");
  registro_.Linha(Painel::Produtos, LinhaImportacaoConcluida(registro_.Carimbo()));
  registro_.Linha(Painel::Produtos, LinhaResumoProdutos(n.importados, n.atualizados, n.erros));
  ocupacao.Terminar();
  balao.DefinirTexto(TextoBalaoProdutosFinal(n.importados, n.atualizados));
}

}  // namespace app
