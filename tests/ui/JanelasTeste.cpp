#include "JanelasTeste.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <iostream>

#include "components/MySQLQuery.h"
#include "db/Field.h"
#include "rtl/Classes.h"
#include "ui/TfrmModelo.h"

namespace uiteste {

RoteiroModal::RoteiroModal() {
  timer_.setInterval(10);
  connect(&timer_, &QTimer::timeout, this, &RoteiroModal::Verificar);
  timer_.start();
}

RoteiroModal::~RoteiroModal() {
  timer_.stop();
}

void RoteiroModal::Verificar() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || modal == ultima_ || !modal->isVisible()) return;
  if (acoes_.empty()) {
    // Two seconds without an action for it: record and close it.
    if (++ticksSemAcao_ < 200) return;
    ticksSemAcao_ = 0;
    ++inesperadas;
    ultima_ = modal;
    std::cerr << "unexpected modal window: " << modal->metaObject()->className() << " \""
              << modal->windowTitle().toStdString() << "\"\n";
    if (auto* caixa = qobject_cast<QMessageBox*>(modal)) {
      caixas.push_back({caixa->windowTitle(), caixa->text(), caixa->icon(), {}});
      caixa->reject();
      if (caixa->isVisible()) caixa->done(0);
    } else {
      modal->close();
    }
    return;
  }
  ticksSemAcao_ = 0;
  ultima_ = modal;
  if (auto* caixa = qobject_cast<QMessageBox*>(modal)) {
    CaixaVista vista{caixa->windowTitle(), caixa->text(), caixa->icon(), {}};
    for (QAbstractButton* b : caixa->buttons()) vista.botoes << b->text();
    caixas.push_back(vista);
  }
  Acao acao = std::move(acoes_.front());
  acoes_.pop_front();
  // Run outside the timer's slot: the action may open a modal loop itself.
  QTimer::singleShot(0, modal, [acao, modal] { acao(modal); });
}

RoteiroModal::Acao Responder(QMessageBox::StandardButton botao) {
  return [botao](QWidget* w) {
    auto* caixa = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(caixa, nullptr) << "expected a message box, got " << w->metaObject()->className();
    QAbstractButton* b = caixa->button(botao);
    ASSERT_NE(b, nullptr);
    b->click();
  };
}

void Tecla(QWidget* janela, int teclaQt) {
  QWidget* alvo = janela->focusWidget() ? janela->focusWidget() : janela;
  QTest::keyClick(alvo, static_cast<Qt::Key>(teclaQt));
}

bool Aguardar(const std::function<bool()>& condicao, int ms) {
  QElapsedTimer relogio;
  relogio.start();
  while (!condicao()) {
    if (relogio.elapsed() > ms) return false;
    QTest::qWait(10);
  }
  return true;
}

QStringList Linhas(const QWidget* memo) {
  return static_cast<const QPlainTextEdit*>(memo)->toPlainText().split(QLatin1Char('\n'));
}

app::AmbienteAgente AmbienteContado(const std::string& pastaPrograma, int& calculadoras,
                                    std::vector<std::string>& executados, bool internet) {
  app::AmbienteAgente ambiente;
  ambiente.pastaPrograma = pastaPrograma;
  ambiente.plataforma.abrirCalculadora = [&calculadoras] {
    ++calculadoras;
    return true;
  };
  ambiente.plataforma.executarArquivo = [&executados](const std::string& programa,
                                                      const std::string&) {
    executados.push_back(programa);
    return true;
  };
  ambiente.plataforma.temConexaoInternet = [internet] { return internet; };
  return ambiente;
}

// --- BancoTeste ---------------------------------------------------------------------

BancoTeste::BancoTeste(const std::string& host, int porta, const std::string& banco) {
  db_.SetDatabaseName(banco);
  db_.SetUserName(support::SandboxAccounts::kRootUser);
  db_.SetUserPassword(support::SandboxAccounts::kRootPassword);
  db_.SetHost(host);
  db_.SetPort(static_cast<std::uint32_t>(porta));
  db_.SetLoginPrompt(false);
  db_.Open();
}

BancoTeste::~BancoTeste() {
  try {
    db_.Close();
  } catch (...) {
    // A destructor may not throw; a connection the server dropped has nothing left to close.
  }
}

void BancoTeste::Executar(const std::string& sql) {
  db_.Execute(sql);
}

std::string BancoTeste::Valor(const std::string& sql) {
  components::TmySQLQuery q;
  q.SetDatabase(&db_);
  q.SQL().Add(sql);
  q.Open();
  std::string v = q.Fields()[0].AsString();
  q.Close();
  return v;
}

// --- JanelaServidor -----------------------------------------------------------------

namespace {

const char* const kTabelas[] = {
    "create table tolvexui_vidoru.cadcliente (codcli bigint not null primary key,"
    " cliente varchar(80), fantasia varchar(50), email varchar(80), cpf varchar(15),"
    " cnpj varchar(20), rg varchar(40), orgexp varchar(10), dtemissaorg date,"
    " sexo varchar(10), ie varchar(25), insc_municipal varchar(25), dtcadastro date,"
    " contato varchar(30), endereco varchar(100), numero varchar(8), complemento varchar(70),"
    " cep varchar(15), bairro varchar(30), cidade varchar(30), uf varchar(2),"
    " tel1 varchar(15), tel2 varchar(15), tel3 varchar(15), codmunicipio int,"
    " bloqueado char(1) not null default 'N', importado char(1) not null default 'N')"
    " character set latin1",
    "create table tolvexui_vidoru.cadprod (codprod int not null auto_increment primary key,"
    " descricao varchar(80), DescrResumida varchar(50), und varchar(5), punit double,"
    " qtestoque double, estoqueminimo int, estoqueideal int, ean13 varchar(20),"
    " NomenclaturaMercosul varchar(15), vlipi double, vliss double, vlcofins double,"
    " vl_icms_antec double, cst varchar(2), ProducPropria varchar(1),"
    " importadopdv char(1) not null default 'N') character set latin1",
    "create table tolvexui_vidoru.cadparametos (id int not null primary key,"
    " tempoatualizacaoPDV time) character set latin1",
    "create table tolvexui_pdv.cliente (id bigint not null primary key,"
    " id_situacao_cliente int, nome varchar(100), fantasia varchar(100), email varchar(100),"
    " cpf_cnpj varchar(20), rg varchar(40), orgao_rg varchar(20), data_emissao_rg varchar(10),"
    " sexo varchar(10), inscricao_estadual varchar(30), inscricao_municipal varchar(30),"
    " tipo_pessoa char(1), data_cadastro varchar(10), contato varchar(40),"
    " logradouro varchar(100), numero varchar(10), complemento varchar(100), cep varchar(8),"
    " bairro varchar(40), cidade varchar(40), uf varchar(2), fone1 varchar(8),"
    " fone2 varchar(8), celular varchar(8), codigo_ibge_cidade varchar(10),"
    " codigo_ibge_uf varchar(2)) character set latin1",
    "create table tolvexui_pdv.produto (ID int not null primary key, ID_UNIDADE_PRODUTO int,"
    " GTIN varchar(20), CODIGO_INTERNO varchar(20), NOME varchar(100), DESCRICAO varchar(100),"
    " DESCRICAO_PDV varchar(100), VALOR_VENDA double, QTD_ESTOQUE double, ESTOQUE_MIN double,"
    " ESTOQUE_MAX double, IPPT varchar(1), NCM varchar(8), DATA_ESTOQUE date, TAXA_IPI double,"
    " TAXA_ISSQN double, TAXA_COFINS double, TAXA_ICMS double, CST varchar(3),"
    " CSOSN varchar(4), ECF_ICMS_ST varchar(2), CODIGO_BALANCA varchar(20))"
    " character set latin1",
};

void Apontar(components::TmySQLDatabase& banco, const char* nome) {
  banco.SetDatabaseName(nome);
  banco.SetUserName(support::SandboxAccounts::kRootUser);
  banco.SetUserPassword(support::SandboxAccounts::kRootPassword);
}

}  // namespace

void JanelaServidor::SetUp() {
  support::SandboxTest::SetUp();
  if (IsSkipped()) return;
  temporaria_ = std::make_unique<QTemporaryDir>();
  pasta = temporaria_->path().toStdString();
  {
    BancoTeste raiz(Host(), Port(), kTestDatabase);
    for (const char* banco : {kRetaguarda, kPdv}) {
      raiz.Executar(std::string("drop database if exists ") + banco);
      raiz.Executar(std::string("create database ") + banco + " character set latin1");
    }
    for (const char* sql : kTabelas) raiz.Executar(sql);
  }
  retaguarda_ = std::make_unique<BancoTeste>(Host(), Port(), kRetaguarda);
  pdv_ = std::make_unique<BancoTeste>(Host(), Port(), kPdv);
}

void JanelaServidor::TearDown() {
  if (frm) {
    frm->hide();
    frm.reset();
  }
  QApplication::processEvents();
  EXPECT_EQ(roteiro.inesperadas, 0) << "a modal window opened that the test did not expect";
  for (const CaixaVista& c : roteiro.caixas)
    if (HasFailure())
      std::cerr << "box: " << c.titulo.toStdString() << " / " << c.texto.toStdString() << "\n";
}

void JanelaServidor::AbrirJanela(const std::string& intervalo, const app::OpcoesAgente* opcoes) {
  Retaguarda().Executar("insert into cadparametos values (1, '" + intervalo + "')");
  app::OpcoesAgente o = opcoes ? *opcoes : app::OpcoesAgente{};
  const app::EnderecoServidor sandbox{Host(), static_cast<std::uint32_t>(Port())};
  if (!o.retaguarda) o.retaguarda = sandbox;
  if (!o.pdv) o.pdv = sandbox;
  o.pastaSuporte = pasta;
  app::AmbienteAgente ambiente = AmbienteContado(pasta, calculadoras, executados, false);
  ambiente.plataforma.baixarArquivo = [](const app::ConfiguracaoSuporte&, const std::string&) {
    return app::ResultadoDownload{};
  };
  frm = std::make_unique<app::ui::TfrmPincipal>(o, std::move(ambiente));
  Apontar(frm->Agent().Componentes().dbVidoru, kRetaguarda);
  Apontar(frm->Agent().Componentes().dbPDV, kPdv);
  frm->FormCreate();
  frm->show();
  frm->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
}

void JanelaServidor::InserirClientes(int quantidade, int primeiro) {
  for (int i = primeiro; i < primeiro + quantidade; ++i) {
    const std::string n = std::to_string(i);
    Retaguarda().Executar(
        "insert into cadcliente (codcli, cliente, fantasia, cpf, dtcadastro, endereco, cep,"
        " cidade, uf, codmunicipio) values (" +
        n + ", 'CLIENTE " + n + "', 'LOJA " + n +
        "', '123.456.789-01', '2024-03-15', 'RUA A', '01310-100', 'SAO PAULO', 'SP', 3550308)");
  }
}

void JanelaServidor::InserirProdutos(int quantidade) {
  for (int i = 1; i <= quantidade; ++i)
    Retaguarda().Executar(
        "insert into cadprod (descricao, und, punit, qtestoque, estoqueminimo, estoqueideal,"
        " ean13, NomenclaturaMercosul, vlipi, vliss, vlcofins, vl_icms_antec, cst, ProducPropria)"
        " values ('PRODUTO " +
        std::to_string(i) +
        "', 'UN', 9.9, 10, 1, 5, '7891234567895', '2202.10.00', 0, 0, 0, 0,"
        " '00', 'N')");
}

}  // namespace uiteste
