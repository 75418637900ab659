// The two halves of an import pass: customers, then products. Each reads
// the pending back-office rows, tries an insert into the PDV, falls back to
// an update when the key is taken (server error 1062), marks the source row,
// and reports on its pane, the gauge and the tray balloon.
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Agente.h"
#include "app/Catalogo.h"
#include "app/ComandosCliente.h"
#include "app/ComandosProduto.h"
#include "app/ErrosDoPasso.h"
#include "app/Normalizadores.h"
#include "engine/EngineErrors.h"
#include "rtl/ScopeExit.h"
#include "wire/MysqlVio.h"

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
  {
    rtl::ScopeExit fim([&] { texto.EndUpdate(); });
    texto.Clear();
    texto.Add(sql);
  }
  q.ExecSQL();
}

// The text of a field, whole. A string field cannot keep a back-office
// value with a zero byte in it; rather than go on with the part before the
// byte, the row fails with a reason of its own.
std::string Texto(const db::TField& campo) {
  try {
    return campo.AsString();
  } catch (const engine::EmySQLDatabaseError& e) {
    if (e.ErrorCode() != engine::DBIERR_VALUECUT) throw;
    throw std::runtime_error(MotivoValorComByteNulo(campo.FieldName()));
  }
}

ClienteOrigem LerCliente(const ComponentesAgente& c) {
  ClienteOrigem o;
  o.codcli = Texto(c.qryClientescodcli);
  o.cliente = Texto(c.qryClientescliente);
  o.fantasia = Texto(c.qryClientesfantasia);
  o.email = Texto(c.qryClientesemail);
  o.cpf = Texto(c.qryClientescpf);
  o.cnpj = Texto(c.qryClientescnpj);
  o.rg = Texto(c.qryClientesrg);
  o.orgexp = Texto(c.qryClientesorgexp);
  o.dtemissaorg = c.qryClientesdtemissaorg.AsDateTime();
  o.sexo = Texto(c.qryClientessexo);
  o.ie = Texto(c.qryClientesie);
  o.insc_municipal = Texto(c.qryClientesinsc_municipal);
  o.dtcadastro = c.qryClientesdtcadastro.AsDateTime();
  o.contato = Texto(c.qryClientescontato);
  o.endereco = Texto(c.qryClientesendereco);
  o.numero = Texto(c.qryClientesnumero);
  o.complemento = Texto(c.qryClientescomplemento);
  o.cep = Texto(c.qryClientescep);
  o.bairro = Texto(c.qryClientesbairro);
  o.cidade = Texto(c.qryClientescidade);
  o.uf = Texto(c.qryClientesuf);
  o.tel1 = Texto(c.qryClientestel1);
  o.tel2 = Texto(c.qryClientestel2);
  o.tel3 = Texto(c.qryClientestel3);
  o.codmunicipio = Texto(c.qryClientescodmunicipio);
  return o;
}

ProdutoOrigem LerProduto(const ComponentesAgente& c) {
  ProdutoOrigem o;
  o.codprod = Texto(c.qryProdcodprod);
  o.descricao = Texto(c.qryProddescricao);
  o.DescrResumida = Texto(c.qryProdDescrResumida);
  o.und = Texto(c.qryProdund);
  o.punit = Texto(c.qryProdpunit);
  o.qtestoque = Texto(c.qryProdqtestoque);
  o.estoqueminimo = Texto(c.qryProdestoqueminimo);
  o.estoqueideal = Texto(c.qryProdestoqueideal);
  o.ean13 = Texto(c.qryProdean13);
  o.NomenclaturaMercosul = Texto(c.qryProdNomenclaturaMercosul);
  o.vlipi = Texto(c.qryProdvlipi);
  o.vliss = Texto(c.qryProdvliss);
  o.vlcofins = Texto(c.qryProdvlcofins);
  o.vl_icms_antec = Texto(c.qryProdvl_icms_antec);
  o.cst = Texto(c.qryProdcst);
  o.ProducPropria = Texto(c.qryProdProducPropria);
  return o;
}

// PDV statements are quoted for the mode of the session that runs them: the
// connection is opened first when it is not.
ModoAspas ModoPDV(ComponentesAgente& c) {
  c.dbPDV.Open();
  return ModoDe(c.dbPDV);
}

bool ChaveRepetida(const std::string& mensagem) {
  std::optional<int> codigo = CodigoErro(mensagem);
  return codigo && *codigo == 1062;
}

// How a row ended. kServidorPerdido: a failure of the connection itself
// (the client's one reconnect did not cure it), after which the pass stops.
enum class Resultado { kFeito, kFalhou, kServidorPerdido };

Resultado Falha(const std::string& mensagem) {
  return FalhaDeConexao(mensagem) ? Resultado::kServidorPerdido : Resultado::kFalhou;
}

// Batched markings: rows written to the PDV wait here and are marked in
// the back office with one statement once `tamanho` of them are gathered
// (and at the end of the pass). Each row's success (its pane line, its
// count) is written after its marking, in the order of the rows. A batch
// the back office refuses is marked again row by row with the usual
// statement, so that one row it will not mark (a trigger, a lock) holds
// back no other; a row whose own marking fails is logged and stays
// unmarked. Inactive (tamanho 0), nothing is gathered.
class Lote {
 public:
  struct Pendente {
    std::string codigo;
    std::string contexto;           // daily log context of its own failed marking
    std::function<void()> sucesso;  // pane line and count, once marked
    std::function<void()> falha;    // count of its failed marking
  };
  using SqlUma = std::string (*)(const std::string&);
  using SqlVarias = std::string (*)(const std::vector<std::string>&);

  Lote(components::TmySQLQuery& q, ErrosDoPasso& erros, unsigned tamanho, SqlUma uma,
       SqlVarias varias)
      : q_(q), erros_(erros), tamanho_(tamanho), uma_(uma), varias_(varias) {}

  bool Ativo() const { return tamanho_ > 0; }
  // Rows dropped unmarked after a marking lost the back office.
  long long NaoMarcados() const { return naoMarcados_; }

  // Adds a row; a full batch is marked. False when a marking lost the
  // server (the rows left are then dropped, unmarked).
  bool Acrescentar(Pendente p) {
    pendentes_.push_back(std::move(p));
    return pendentes_.size() < tamanho_ || Descarregar();
  }

  // Marks what waits; false as for Acrescentar.
  bool Descarregar() {
    if (pendentes_.empty()) return true;
    std::vector<Pendente> lote;
    lote.swap(pendentes_);
    std::vector<std::string> codigos;
    codigos.reserve(lote.size());
    for (const Pendente& p : lote) codigos.push_back(p.codigo);
    try {
      Executar(q_, varias_(codigos));
      for (Pendente& p : lote) p.sucesso();
      return true;
    } catch (const std::exception&) {
      // Each row on its own, below.
    }
    for (std::size_t i = 0; i < lote.size(); ++i) {
      try {
        Executar(q_, uma_(lote[i].codigo));
        lote[i].sucesso();
      } catch (const std::exception& e) {
        lote[i].falha();
        erros_.Registrar(lote[i].contexto, e.what());
        if (Falha(e.what()) == Resultado::kServidorPerdido) {
          naoMarcados_ += static_cast<long long>(lote.size() - i);
          return false;
        }
      }
    }
    return true;
  }

  // At the end of a pass. After a signal has ended the waits, the last
  // batch still gets a second to reach the back office.
  bool Encerrar() {
    if (pendentes_.empty()) return true;
    if (!wire::WaitsInterrupted()) return Descarregar();
    wire::LimitWaits(kUltimoLoteMs);
    const bool ok = Descarregar();
    wire::InterruptWaits();
    return ok;
  }

 private:
  static constexpr int kUltimoLoteMs = 1000;

  components::TmySQLQuery& q_;
  ErrosDoPasso& erros_;
  unsigned tamanho_;
  SqlUma uma_;
  SqlVarias varias_;
  std::vector<Pendente> pendentes_;
  long long naoMarcados_ = 0;
};

// The two tries of one row: the insert, and on a taken key the update.
// Either's failure goes to `falhou` (true for the update's) and ends the row
// as Falha says; a failure of that handling itself fails the row, counted
// as the insert's, and the pass goes on.
template <typename Inserir, typename Atualizar, typename Falhou>
Resultado InserirOuAtualizar(Inserir&& inserir, Atualizar&& atualizar, Falhou&& falhou) {
  try {
    try {
      return inserir();
    } catch (const std::exception& e) {
      if (!ChaveRepetida(e.what())) {
        falhou(false, e.what());
        return Falha(e.what());
      }
    }
    try {
      return atualizar();
    } catch (const std::exception& e) {
      falhou(true, e.what());
      return Falha(e.what());
    }
  } catch (const std::exception& e) {
    falhou(false, e.what());
    return Resultado::kFalhou;
  }
}

struct ContagemClientes {
  long long importados = 0;
  long long atualizados = 0;
};

// One customer row: insert and mark; on a taken key update and mark; any
// other failure goes to the daily log and leaves the row unmarked.
Resultado ProcessarCliente(ComponentesAgente& c, RegistroAtividade& registro, ErrosDoPasso& erros,
                           ContagemClientes& n, Lote& lote) {
  ClienteOrigem o;
  try {
    o = LerCliente(c);
  } catch (const std::exception& e) {
    erros.Registrar(ContextoInserirCliente(c.qryClientescodcli.AsString(), ""), e.what());
    return Resultado::kFalhou;
  }
  // Batched: the row joins the batch, its line and count follow its marking.
  auto juntar = [&](std::string linha, long long& contagem, std::string contexto) {
    bool ok = lote.Acrescentar({o.codcli, std::move(contexto),
                                [&registro, &contagem, linha] {
                                  registro.Linha(Painel::Clientes, linha);
                                  ++contagem;
                                },
                                [] {}});
    return ok ? Resultado::kFeito : Resultado::kServidorPerdido;
  };
  return InserirOuAtualizar(
      [&] {
        Executar(c.qryInsertPDV, SqlInserirCliente(o, ModoPDV(c)));
        if (lote.Ativo()) {
          return juntar(LinhaClienteInserido(o.codcli, o.cliente), n.importados,
                        ContextoInserirCliente(o.codcli, o.cliente));
        }
        Executar(c.qryEuVidoru, SqlMarcarCliente(o.codcli));
        registro.Linha(Painel::Clientes, LinhaClienteInserido(o.codcli, o.cliente));
        ++n.importados;
        return Resultado::kFeito;
      },
      [&] {
        Executar(c.qryInsertPDV, SqlAtualizarCliente(o, ModoPDV(c)));
        if (lote.Ativo()) {
          return juntar(LinhaClienteAtualizado(o.codcli, o.cliente), n.atualizados,
                        ContextoAtualizarCliente(o.codcli, o.cliente));
        }
        Executar(c.qryEuVidoru, SqlMarcarCliente(o.codcli));
        registro.Linha(Painel::Clientes, LinhaClienteAtualizado(o.codcli, o.cliente));
        ++n.atualizados;
        return Resultado::kFeito;
      },
      [&](bool atualizando, const char* motivo) {
        erros.Registrar(atualizando ? ContextoAtualizarCliente(o.codcli, o.cliente)
                                    : ContextoInserirCliente(o.codcli, o.cliente),
                        motivo);
      });
}

struct ContagemProdutos {
  long long importados = 0;
  long long atualizados = 0;
  long long erros = 0;
};

// One product row. The pane line of an insert comes before its marking and
// an update is counted before its marking, so a failed marking after an
// update counts the row both as updated and as failed. Batched, every pane
// line follows its row's marking.
Resultado ProcessarProduto(ComponentesAgente& c, RegistroAtividade& registro, ErrosDoPasso& erros,
                           ContagemProdutos& n, Lote& lote) {
  ProdutoOrigem o;
  try {
    o = LerProduto(c);
  } catch (const std::exception& e) {
    ++n.erros;
    erros.Registrar(ContextoInserirProduto(c.qryProdcodprod.AsString(), ""), e.what());
    return Resultado::kFalhou;
  }
  auto juntar = [&](std::string linha, long long* contagem, std::string contexto) {
    bool ok = lote.Acrescentar({o.codprod, std::move(contexto),
                                [&registro, contagem, linha] {
                                  registro.Linha(Painel::Produtos, linha);
                                  if (contagem) ++*contagem;
                                },
                                [&n] { ++n.erros; }});
    return ok ? Resultado::kFeito : Resultado::kServidorPerdido;
  };
  return InserirOuAtualizar(
      [&] {
        Executar(c.qryInsertPDV, SqlInserirProduto(o, ModoPDV(c)));
        if (lote.Ativo()) {
          return juntar(LinhaProdutoInserido(o.codprod, o.descricao), &n.importados,
                        ContextoInserirProduto(o.codprod, o.descricao));
        }
        registro.Linha(Painel::Produtos, LinhaProdutoInserido(o.codprod, o.descricao));
        Executar(c.qryEuVidoru, SqlMarcarProduto(o.codprod));
        ++n.importados;
        return Resultado::kFeito;
      },
      [&] {
        Executar(c.qryInsertPDV, SqlAtualizarProduto(o, ModoPDV(c)));
        ++n.atualizados;
        if (lote.Ativo()) {
          return juntar(LinhaProdutoAtualizado(o.codprod, o.descricao), nullptr,
                        ContextoAtualizarProduto(o.codprod, o.descricao));
        }
        registro.Linha(Painel::Produtos, LinhaProdutoAtualizado(o.codprod, o.descricao));
        Executar(c.qryEuVidoru, SqlMarcarProduto(o.codprod));
        return Resultado::kFeito;
      },
      [&](bool atualizando, const char* motivo) {
        ++n.erros;
        erros.Registrar(atualizando ? ContextoAtualizarProduto(o.codprod, o.descricao)
                                    : ContextoInserirProduto(o.codprod, o.descricao),
                        motivo);
      });
}

// Walks the pending rows of `q` from the current one to the last, or until
// a stop request or a lost server: `processar` handles a row, the gauge
// follows each, and pending window messages run between rows. The balloon
// shows the progress right after each row's gauge (balaoNaLinha) or after
// the messages. Last go the batch's remaining markings. The rows left
// unmarked when the server went away, or -1 when it did not.
template <typename Processar>
long long PercorrerLinhas(Agente& agente, components::TmySQLQuery& q, int total, Lote& lote,
                          Balao& balao, bool balaoNaLinha, Processar&& processar) {
  RegistroAtividade& registro = agente.Registro();
  bool perdido = false;
  long long aguardando = 0;  // rows not tried, and the one that failed
  while (!q.Eof() && !agente.EncerramentoPedido()) {
    const long long antes = lote.NaoMarcados();
    perdido = processar() == Resultado::kServidorPerdido;
    registro.DefinirProgressoGauge(q.RecNo());
    if (balaoNaLinha) balao.DefinirTexto(TextoBalaoProgresso(registro.PercentualGauge()));
    if (perdido) {
      aguardando = total - q.RecNo() + (lote.NaoMarcados() == antes ? 1 : 0);
      break;
    }
    q.Next();
    agente.View().ProcessarMensagensPendentes();
    if (!balaoNaLinha) balao.DefinirTexto(TextoBalaoProgresso(registro.PercentualGauge()));
  }
  if (!lote.Encerrar()) perdido = true;
  return perdido ? aguardando + lote.NaoMarcados() : -1;
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
    Lote lote(c.qryEuVidoru, erros, marcarEmLote_, SqlMarcarCliente, SqlMarcarClientes);
    const long long aguardando = PercorrerLinhas(*this, q, total, lote, balao, false, [&] {
      return ProcessarCliente(c, registro_, erros, n, lote);
    });
    if (aguardando >= 0) {
      erros.Registrar(ContextoClientesInterrompida(), TextoServidorPerdido(aguardando));
      InterromperPasso(Painel::Clientes, aguardando);
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
  Lote lote(c.qryEuVidoru, erros, marcarEmLote_, SqlMarcarProduto, SqlMarcarProdutos);
  const long long aguardando = PercorrerLinhas(*this, q, total, lote, balao, true, [&] {
    return ProcessarProduto(c, registro_, erros, n, lote);
  });
  if (aguardando >= 0) {
    erros.Registrar(ContextoProdutosInterrompida(), TextoServidorPerdido(aguardando));
    InterromperPasso(Painel::Produtos, aguardando);
  }
  registro_.Linha(Painel::Produtos, "");
  registro_.Linha(Painel::Produtos, LinhaImportacaoConcluida(registro_.Carimbo()));
  registro_.Linha(Painel::Produtos, LinhaResumoProdutos(n.importados, n.atualizados, n.erros));
  ocupacao.Terminar();
  balao.DefinirTexto(TextoBalaoProdutosFinal(n.importados, n.atualizados));
}

void Agente::InterromperPasso(Painel painel, long long aguardando) {
  passoInterrompido_ = true;
  registro_.Linha(painel, LinhaImportacaoInterrompida(aguardando));
}

}  // namespace app
