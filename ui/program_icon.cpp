#include "ui/program_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x4e, 0x79));
  painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
  // A trace across the screen of an instrument.
  QPainterPath trace;
  trace.moveTo(s * 0.12, s * 0.62);
  trace.lineTo(s * 0.32, s * 0.62);
  trace.lineTo(s * 0.42, s * 0.30);
  trace.lineTo(s * 0.54, s * 0.80);
  trace.lineTo(s * 0.64, s * 0.50);
  trace.lineTo(s * 0.88, s * 0.50);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(0x7f, 0xe0, 0x9a), s * 0.08, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
  painter.drawPath(trace);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
  return icon;
}
