#include "app/main_window.h"
#include "display/cursor_readout.h"

void TForm1::Image1MouseMove(int x, int y) {
  // Outside the plot area the status bar keeps its last text.
  const core::View &view = Run->view;
  if (const auto text = display::CursorReadout(x, y, Run->sampleRate, view.frameTime,
                                               view.viewOffset, view.binsPerColumn)) {
    SetStatusText(QString::fromStdString(*text));
  }
}
