#include "ui/Icone.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace app::ui {

QImage ImagemIconeAgente(int lado) {
  QImage imagem(lado, lado, QImage::Format_ARGB32_Premultiplied);
  imagem.fill(Qt::transparent);
  QPainter p(&imagem);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(lado / 64.0, lado / 64.0);

  // Rounded tile.
  QLinearGradient fundo(0, 0, 0, 64);
  fundo.setColorAt(0, QColor(0x1F, 0x6F, 0xB5));
  fundo.setColorAt(1, QColor(0x0D, 0x3B, 0x6E));
  p.setPen(Qt::NoPen);
  p.setBrush(fundo);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  // Terminal: screen on a stand and a base with keys.
  p.setBrush(QColor(0xF2, 0xF2, 0xF2));
  p.drawRoundedRect(QRectF(12, 12, 30, 22), 3, 3);
  p.setBrush(QColor(0x2E, 0x8B, 0x57));
  p.drawRect(QRectF(15, 15, 24, 16));
  p.setBrush(QColor(0xD0, 0xD0, 0xD0));
  p.drawRect(QRectF(24, 34, 6, 6));
  p.drawRoundedRect(QRectF(8, 40, 38, 14), 3, 3);
  p.setBrush(QColor(0x60, 0x60, 0x60));
  for (int linha = 0; linha < 2; ++linha)
    for (int coluna = 0; coluna < 5; ++coluna)
      p.drawRect(QRectF(12 + coluna * 6.5, 43 + linha * 5, 4.5, 3));

  // Arrow coming in from the right: data arriving at the terminal.
  QPainterPath seta;
  seta.moveTo(58, 20);
  seta.lineTo(50, 20);
  seta.lineTo(50, 14);
  seta.lineTo(40, 24);
  seta.lineTo(50, 34);
  seta.lineTo(50, 28);
  seta.lineTo(58, 28);
  seta.closeSubpath();
  p.setBrush(QColor(0xFF, 0xB3, 0x00));
  p.setPen(QPen(QColor(0x5A, 0x3A, 0x00), 1.2));
  p.drawPath(seta);
  p.end();
  return imagem;
}

QIcon IconeAgente() {
  QIcon icone;
  for (int lado : {16, 24, 32, 48, 64})
    icone.addPixmap(QPixmap::fromImage(ImagemIconeAgente(lado)));
  return icone;
}

}  // namespace app::ui
