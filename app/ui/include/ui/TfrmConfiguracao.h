// The settings dialog, "Configurações": the import interval (a data-aware
// edit on the settings table) and the hosts of the two database servers.
//
// The dialog draws and forwards; the rules (edit state, posting, applying
// the interval, reconnecting a server whose host changed) are the agent's
// app::Configuracao, which outlives the dialog. The main window creates the
// dialog when the settings are asked for, shows it modally and frees it
// when it returns; the dialog also frees itself when closed. The captions'
// keys F5 and ESC are not bound: only clicks act. User-interface thread
// only.
#pragma once

#include "app/Agente.h"
#include "ui/Controles.h"
#include "ui/TfrmModelo.h"

class QLabel;
class QLineEdit;

namespace app::ui {

class TfrmConfiguracao : public TfrmModelo {
  Q_OBJECT

 public:
  TfrmConfiguracao(Configuracao& configuracao, QWidget* parent = nullptr);
  ~TfrmConfiguracao() override;

  TPanel* Panel1;
  TGlowButton* AdvGlowButton1;
  TGlowButton* btnSair;
  TPanel* Panel2;
  QLabel* Label1;
  TDBEdit* DBEdit1;
  QLabel* Label2;
  QLineEdit* edtIpTolvex;
  QLabel* Label3;
  QLineEdit* edtIpPDV;

 protected:
  bool FormKeyDown(int tecla) override;
  void closeEvent(QCloseEvent* evento) override;

 private:
  void AdvGlowButton1Click();
  void btnSairClick();

  Configuracao& configuracao_;
};

}  // namespace app::ui
