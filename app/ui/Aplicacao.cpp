#include "ui/Aplicacao.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QPalette>
#include <QProxyStyle>
#include <QToolTip>

#include "rtl/FormatSettings.h"

namespace app::ui {
namespace {

constexpr int kAtrasoDica = 100;
constexpr int kDuracaoDica = 7000;

int atrasoDica = 0;
int duracaoDica = 0;

// Shows hints after kAtrasoDica ms instead of the style's own delay.
class EstiloDicas : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* retorno) const override {
    if (hint == SH_ToolTip_WakeUpDelay) return kAtrasoDica;
    return QProxyStyle::styleHint(hint, option, widget, retorno);
  }
};

// Shows every hint itself so that it disappears after kDuracaoDica ms,
// however long its text.
class FiltroDicas : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* objeto, QEvent* evento) override {
    if (evento->type() != QEvent::ToolTip) return false;
    auto* widget = qobject_cast<QWidget*>(objeto);
    if (widget == nullptr || widget->toolTip().isEmpty()) return false;
    auto* ajuda = static_cast<QHelpEvent*>(evento);
    QToolTip::showText(ajuda->globalPos(), widget->toolTip(), widget, {}, kDuracaoDica);
    return true;
  }
};

}  // namespace

bool PrepararFontes() {
  static const bool registrada = [] {
    bool achou = false;
    for (const char* pasta :
         {"/usr/share/wine/fonts", "/usr/share/fonts/truetype/wine", "/usr/local/share/fonts"}) {
      for (const char* arquivo : {"/tahoma.ttf", "/tahomabd.ttf"}) {
        const QString caminho = QString::fromLatin1(pasta) + QString::fromLatin1(arquivo);
        if (QFile::exists(caminho) && QFontDatabase::addApplicationFont(caminho) >= 0) achou = true;
      }
      if (achou) break;
    }
    if (!achou)
      QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                                 {QStringLiteral("DejaVu Sans Condensed"),
                                  QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    return achou;
  }();
  return registrada;
}

QFont FonteTahoma(int pontos, bool negrito) {
  QFont fonte(QStringLiteral("Tahoma"), pontos);
  fonte.setBold(negrito);
  return fonte;
}

void AplicarPadroesDeJanela() {
  if (atrasoDica == 0) {
    QApplication::setStyle(new EstiloDicas(QApplication::style()->name()));
    qApp->installEventFilter(new FiltroDicas(qApp));
  }
  QPalette dica = QToolTip::palette();
  dica.setColor(QPalette::ToolTipBase, Qt::yellow);
  dica.setColor(QPalette::ToolTipText, Qt::black);
  QToolTip::setPalette(dica);
  atrasoDica = kAtrasoDica;
  duracaoDica = kDuracaoDica;
  rtl::FormatSettings().ShortDateFormat = "dd/mm/yyyy";
}

int AtrasoDica() {
  return atrasoDica;
}
int DuracaoDica() {
  return duracaoDica;
}

}  // namespace app::ui
