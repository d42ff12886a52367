#pragma once

#include <QEvent>

#include "sources/wave_device.h"

// A notification of the wave-input device, posted to the main window from the capture's
// thread (or from a device call) and handled there on the GUI thread.
class WaveInEvent : public QEvent {
public:
  explicit WaveInEvent(const sources::WaveNotice &notice) : QEvent(EventType()), Notice(notice) {}

  // The event type of every wave-input notification, registered once per process.
  static QEvent::Type EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }

  const sources::WaveNotice Notice;
};
