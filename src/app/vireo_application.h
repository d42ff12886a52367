#pragma once

#include <QApplication>
#include <QTranslator>

#include <functional>

// The application object: title "Vireo", the desktop entry it belongs to, the Japanese UI
// font, the toolkit's own dialogs and buttons in the user's language, numbers formatted in the
// "C" locale whatever the user's locale, and the standard error display for any error that
// escapes an event handler (the program carries on) or start-up (the program ends).
class VireoApplication : public QApplication {
public:
  VireoApplication(int &argc, char **argv);

  bool notify(QObject *receiver, QEvent *event) override;

  // Runs the program body; an error escaping it is shown and the result is 0.
  int Run(const std::function<int()> &body);

  static void ShowError(const char *text);

private:
  // The toolkit's texts (its dialogs and standard buttons) in the user's language.
  QTranslator toolkitTranslation;
};
