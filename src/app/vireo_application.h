#pragma once

#include <QApplication>

#include <functional>

// The application object: title "Vireo", the Japanese UI font, numbers formatted in the "C"
// locale whatever the user's locale, and the standard error display for any error that
// escapes an event handler (the program carries on) or start-up (the program ends).
class VireoApplication : public QApplication {
public:
  VireoApplication(int &argc, char **argv);

  bool notify(QObject *receiver, QEvent *event) override;

  // Runs the program body; an error escaping it is shown and the result is 0.
  int Run(const std::function<int()> &body);

  static void ShowError(const char *text);
};
