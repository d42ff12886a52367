#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

#include "display/canvas.h"

// Shows a persistent picture unscaled at its top left. The picture is created at the
// control's size by the first copy into it and keeps what was last copied.
class ImageControl : public QWidget {
public:
  explicit ImageControl(QWidget *parent);

  // Copies the rectangle of the canvas into the same rectangle of the picture and schedules
  // a repaint of it.
  void CopyRect(const display::Canvas &canvas, display::Rect rect);
  const QImage &Picture() const { return picture; }

  // Raised for every mouse move over the control, in picture pixels.
  std::function<void(int x, int y)> OnMouseMove;

protected:
  void paintEvent(QPaintEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  QImage picture;
};
