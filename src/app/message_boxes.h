#pragma once

#include <QString>

class QWidget;

// The application's message box: modal to the application's windows, one OK button, no icon.
void ShowApplicationMessage(QWidget *owner, const QString &text, const QString &caption);

// The application's question box with Yes and No, no icon; true for Yes.
bool AskYesNo(QWidget *owner, const QString &text, const QString &caption);

// A message box without owner window: the program's other windows stay usable (their
// handlers run while it is shown); returns when the user closes it or the program ends.
void ShowOwnerlessMessage(const QString &text, const QString &caption);

// Under Wayland, where a program cannot place its windows, makes `box` a transient of the
// active window, so that the compositor shows it over that window; elsewhere leaves it as it is.
void KeepOverActiveWindow(QWidget &box);

// The simple message dialog: no icon, one OK button, centred on the screen, the application
// title as caption.
void ShowSimpleMessage(const QString &text);
