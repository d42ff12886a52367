#include "app/main_window.h"
#include "display/cursor_readout.h"

void TForm1::Image1MouseMove(int x, int y) {
  // Outside the plot area the status bar keeps its last text.
  if (const auto text =
          display::CursorReadout(x, y, SampleRate, FrameTime, ViewOffset, BinsPerColumn())) {
    SetStatusText(QString::fromStdString(*text));
  }
}
