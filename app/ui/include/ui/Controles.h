// The controls the agent's windows are drawn with, on top of Qt Widgets:
// the panel, the glow button, the percentage gauge, and the two data-aware
// controls that follow one field of a dataset through the framework's
// field data link (TDBText shows it, TDBEdit edits it with the field's
// edit mask).
//
// Each control is owned by its Qt parent. A data-aware control owns its
// link; the data source and dataset belong to the agent and must outlive
// the binding or be unbound first (SetDataSource(nullptr)); a data source
// that goes away tells its links, so a control never reads a freed field.
// User-interface thread only.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <string>

#include "db/DataSource.h"

namespace app::ui {

// A raised panel holding other controls.
class TPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TPanel(QWidget* parent = nullptr);
};

// A push button with the agent's glow look; it never takes Enter as a click
// (Enter moves the focus in the agent's windows).
class TGlowButton : public QPushButton {
  Q_OBJECT

 public:
  TGlowButton(const QString& texto, QWidget* parent = nullptr);
};

// Horizontal gauge showing the percentage it is given ("37%").
class TGauge : public QProgressBar {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);
  // `percentual` is what the gauge shows; the bar is drawn from the other
  // two. A maximum of 0 shows an empty bar (never Qt's busy indicator).
  void Mostrar(int maximo, int progresso, int percentual);
  int Percentual() const { return percentual_; }

 private:
  int percentual_ = 0;
};

// The Qt input mask for an edit mask of the dataset framework ("!90:00:00;1;_"
// gives "09:99:99;_"): required and optional digits swap letters, the
// leading-blank flag has no Qt counterpart, and characters Qt treats as
// mask codes but the framework as literals are escaped. Empty for an empty
// mask.
QString MascaraQt(const std::string& mascara);

// What the data-aware controls share: the link to one field of a data
// source. Binding a source or a field shows the field at once, as does every
// change of the dataset's data or state. A control unbinds in its own
// destructor, while Atualizar still reaches it.
class TLigacaoDeCampo {
 public:
  TLigacaoDeCampo(const TLigacaoDeCampo&) = delete;
  TLigacaoDeCampo& operator=(const TLigacaoDeCampo&) = delete;

  db::TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(db::TDataSource* fonte);
  void SetDataField(const std::string& campo);
  db::TField* Field() const { return link_.Field(); }

 protected:
  TLigacaoDeCampo();
  ~TLigacaoDeCampo() = default;
  // Shows the bound field, or nothing while there is none.
  virtual void Atualizar() = 0;

  db::TFieldDataLink link_;
};

// Data-aware label: shows the bound field's display text; empty while the
// dataset is closed or the field is unbound.
class TDBText : public QLabel, public TLigacaoDeCampo {
  Q_OBJECT

 public:
  explicit TDBText(QWidget* parent = nullptr);
  ~TDBText() override;

 private:
  void Atualizar() override;
};

// Data-aware edit: shows the bound field's edit text under the field's edit
// mask; typing puts the dataset into edit state, and the typed text is
// stored into the field when the dataset posts (the link's update data).
class TDBEdit : public QLineEdit, public TLigacaoDeCampo {
  Q_OBJECT

 public:
  explicit TDBEdit(QWidget* parent = nullptr);
  ~TDBEdit() override;

  // The text the field would receive: the edit's text with blank mask
  // positions dropped (" 5:00:00" → "5:00:00").
  std::string TextoDoCampo() const;

 private:
  void Atualizar() override;
  void AoEditar();
  bool mostrando_ = false;
};

}  // namespace app::ui
