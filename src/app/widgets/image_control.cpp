#include "app/widgets/image_control.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstring>

ImageControl::ImageControl(QWidget *parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageControl::CopyRect(const display::Canvas &canvas, display::Rect rect) {
  if (picture.isNull()) {
    picture = QImage(size(), QImage::Format_RGB888);
    picture.fill(Qt::white);
  }
  const QRect area = QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1))
                         .intersected(picture.rect())
                         .intersected(canvas.Image().rect());
  const QImage &source = canvas.Image();
  const int bytes = area.width() * 3;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    std::memcpy(picture.scanLine(y) + area.left() * 3, source.constScanLine(y) + area.left() * 3,
                bytes);
  }
  update(area);
}

void ImageControl::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), palette().window());
  if (!picture.isNull()) {
    painter.drawImage(event->rect().topLeft(), picture, event->rect());
  }
}

void ImageControl::mouseMoveEvent(QMouseEvent *event) {
  if (OnMouseMove) {
    const QPoint at = event->position().toPoint();
    OnMouseMove(at.x(), at.y());
  }
}
