#include "ui/TfrmConfiguracao.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include "ui/Aplicacao.h"
#include "ui/Icone.h"
#include "ui/Texto.h"

namespace app::ui {
namespace {

constexpr int kLargura = 393;
constexpr int kAltura = 299;
constexpr int kAlturaPanel1 = 43;

QLabel* Rotulo(QWidget* pai, const char* nome, const char* texto, int x, int y) {
  auto* rotulo = new QLabel(DeCp1252(texto), pai);
  rotulo->setObjectName(QString::fromLatin1(nome));
  rotulo->setFont(FonteTahoma(9, true));
  rotulo->move(x, y);
  rotulo->adjustSize();
  return rotulo;
}

template <typename Edit>
Edit* Campo(QWidget* pai, const char* nome, int x, int y) {
  auto* edit = new Edit(pai);
  edit->setObjectName(QString::fromLatin1(nome));
  edit->setGeometry(x, y, 121, 21);
  return edit;
}

}  // namespace

TfrmConfiguracao::TfrmConfiguracao(Configuracao& configuracao, QWidget* parent)
    : TfrmModelo(kLargura, kAltura, parent), configuracao_(configuracao) {
  setObjectName(QStringLiteral("frmConfiguracao"));
  setWindowTitle(
      DeCp1252("Configura\xE7\xF5"
               "es"));
  setWindowIcon(IconeAgente());

  Panel1 = new TPanel(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(0, 0, kLargura, kAlturaPanel1);
  AdvGlowButton1 = new TGlowButton(QStringLiteral("Salvar [F5]"), Panel1);
  AdvGlowButton1->setObjectName(QStringLiteral("AdvGlowButton1"));
  AdvGlowButton1->setGeometry(11, 4, 101, 34);
  AdvGlowButton1->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  btnSair = new TGlowButton(QStringLiteral("Fechar [ESC]"), Panel1);
  btnSair->setObjectName(QStringLiteral("btnSair"));
  btnSair->setGeometry(283, 4, 101, 34);
  btnSair->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

  Panel2 = new TPanel(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setGeometry(0, kAlturaPanel1, kLargura, kAltura - kAlturaPanel1);
  Label1 = Rotulo(Panel2, "Label1", "Tempo de Atualiza\xE7\xE3o:", 11, 16);
  DBEdit1 = Campo<TDBEdit>(Panel2, "DBEdit1", 168, 14);
  Label2 = Rotulo(Panel2, "Label2", "Ip do servidor Tolvex:", 11, 48);
  edtIpTolvex = Campo<QLineEdit>(Panel2, "edtIpTolvex", 168, 43);
  Label3 = Rotulo(Panel2, "Label3", "Ip do servidor PDV:", 11, 80);
  edtIpPDV = Campo<QLineEdit>(Panel2, "edtIpPDV", 168, 74);

  setTabOrder(DBEdit1, edtIpTolvex);
  setTabOrder(edtIpTolvex, edtIpPDV);
  setTabOrder(edtIpPDV, AdvGlowButton1);
  setTabOrder(AdvGlowButton1, btnSair);

  connect(AdvGlowButton1, &QPushButton::clicked, this, &TfrmConfiguracao::AdvGlowButton1Click);
  connect(btnSair, &QPushButton::clicked, this, &TfrmConfiguracao::btnSairClick);

  // The common creation steps, then what the agent's opening prepared: the
  // settings table in edit state and the hosts last saved.
  FormCreate();
  DBEdit1->SetDataSource(&configuracao_.dsParametos());
  DBEdit1->SetDataField(configuracao_.tblParametostempoatualizacaoPDV().FieldName());
  edtIpTolvex->setText(DeCp1252(configuracao_.TextoIpTolvex()));
  edtIpPDV->setText(DeCp1252(configuracao_.TextoIpPDV()));
  DBEdit1->setFocus();
}

TfrmConfiguracao::~TfrmConfiguracao() {
  DBEdit1->SetDataSource(nullptr);
}

bool TfrmConfiguracao::FormKeyDown(int tecla) {
  configuracao_.FormKeyDown(tecla);
  return true;
}

void TfrmConfiguracao::AdvGlowButton1Click() {
  if (configuracao_.AdvGlowButton1Click(ParaCp1252(edtIpTolvex->text()),
                                        ParaCp1252(edtIpPDV->text())))
    close();
}

void TfrmConfiguracao::btnSairClick() {
  configuracao_.btnSairClick();
  close();
}

void TfrmConfiguracao::closeEvent(QCloseEvent* evento) {
  // Closed without its buttons (by the window manager): leave nothing in
  // edit state, as "Fechar [ESC]" would.
  if (!configuracao_.Fechado()) configuracao_.btnSairClick();
  TfrmModelo::closeEvent(evento);
}

}  // namespace app::ui
