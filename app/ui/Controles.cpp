#include "ui/Controles.h"

#include <utility>

#include "db/Field.h"
#include "ui/Texto.h"

namespace app::ui {

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Raised);
  setAutoFillBackground(true);
}

TGlowButton::TGlowButton(const QString& texto, QWidget* parent) : QPushButton(texto, parent) {
  setAutoDefault(false);
  setDefault(false);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

TGauge::TGauge(QWidget* parent) : QProgressBar(parent) {
  setOrientation(Qt::Horizontal);
  setTextVisible(true);
  setAlignment(Qt::AlignCenter);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  Mostrar(100, 0, 0);
}

void TGauge::Mostrar(int maximo, int progresso, int percentual) {
  percentual_ = percentual;
  setRange(0, maximo > 0 ? maximo : 1);
  setValue(maximo > 0 ? progresso : 0);
  setFormat(QString::number(percentual) + QLatin1Char('%'));
}

namespace {

// The Qt mask code of a position code that has one of its own; 0 for the
// others.
char CodigoQt(char c) {
  static constexpr std::pair<char, char> kCodigos[] = {
      {'0', '9'}, {'9', '0'}, {'#', '#'}, {'L', 'A'}, {'l', 'a'}, {'A', 'N'},
      {'a', 'n'}, {'C', 'X'}, {'c', 'x'}, {'>', '>'}, {'<', '<'}, {'_', ' '},
  };
  for (const auto& [nosso, qt] : kCodigos)
    if (nosso == c) return qt;
  return 0;
}

}  // namespace

QString MascaraQt(const std::string& mascara) {
  // Only the part before the first ';' describes the positions; the last
  // part names the blank character.
  const std::size_t fimPosicoes = mascara.find(';');
  const std::string posicoes = mascara.substr(0, fimPosicoes);
  if (posicoes.empty()) return {};
  char branco = '_';
  if (fimPosicoes != std::string::npos) {
    const std::size_t ultimo = mascara.rfind(';');
    if (ultimo != fimPosicoes && ultimo + 1 < mascara.size()) branco = mascara[ultimo + 1];
  }

  QString saida;
  for (std::size_t i = 0; i < posicoes.size(); ++i) {
    const char c = posicoes[i];
    if (const char qt = CodigoQt(c)) {
      saida += QLatin1Char(qt);
      continue;
    }
    switch (c) {
      case '!':
        break;
      case '\\':
        if (i + 1 < posicoes.size()) {
          saida += QLatin1Char('\\');
          saida += DeCp1252(std::string(1, posicoes[++i]));
        }
        break;
      default:
        // Literal: escape the letters and signs Qt reads as mask codes.
        if (QStringLiteral("AaNnXx90DdHhBb#><!;[]{}\\").contains(QLatin1Char(c)))
          saida += QLatin1Char('\\');
        saida += DeCp1252(std::string(1, c));
        break;
    }
  }
  saida += QLatin1Char(';');
  saida += QLatin1Char(branco);
  return saida;
}

// --- TLigacaoDeCampo --------------------------------------------------------------

TLigacaoDeCampo::TLigacaoDeCampo() {
  link_.OnDataChange = [this] { Atualizar(); };
  link_.OnActiveChange = [this] { Atualizar(); };
}

void TLigacaoDeCampo::SetDataSource(db::TDataSource* fonte) {
  link_.SetDataSource(fonte);
  Atualizar();
}

void TLigacaoDeCampo::SetDataField(const std::string& campo) {
  link_.SetFieldName(campo);
  Atualizar();
}

// --- TDBText ----------------------------------------------------------------------

TDBText::TDBText(QWidget* parent) : QLabel(parent) {}

TDBText::~TDBText() {
  link_.SetDataSource(nullptr);
}

void TDBText::Atualizar() {
  db::TField* campo = link_.Field();
  setText(campo != nullptr ? DeCp1252(campo->DisplayText()) : QString());
}

// --- TDBEdit ----------------------------------------------------------------------

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent) {
  link_.OnUpdateData = [this] {
    if (db::TField* campo = link_.Field()) campo->SetText(TextoDoCampo());
  };
  link_.OnFocusControl = [this] {
    setFocus();
    return true;
  };
  connect(this, &QLineEdit::textEdited, this, &TDBEdit::AoEditar);
}

TDBEdit::~TDBEdit() {
  link_.SetDataSource(nullptr);
}

std::string TDBEdit::TextoDoCampo() const {
  return ParaCp1252(text().trimmed());
}

void TDBEdit::Atualizar() {
  mostrando_ = true;
  db::TField* campo = link_.Field();
  const QString mascara = campo != nullptr ? MascaraQt(campo->EditMask()) : QString();
  if (inputMask() != mascara) setInputMask(mascara);
  setText(campo != nullptr ? DeCp1252(campo->Text()) : QString());
  mostrando_ = false;
}

void TDBEdit::AoEditar() {
  if (mostrando_) return;
  // Typing into a dataset that cannot be edited shows the stored value again.
  if (!link_.Edit()) {
    Atualizar();
    return;
  }
  link_.Modified();
}

}  // namespace app::ui
