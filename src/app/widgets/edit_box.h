#pragma once

#include <QLineEdit>

#include <functional>

// A one-line edit box whose key handler sees every typed character first and may swallow it
// (by setting it to 0), that refuses typed characters beyond a maximum length while text set
// from code stays unlimited, and that reports the keyboard focus moving to another control (not
// to a menu, a message box or another window).
class EditBox : public QLineEdit {
public:
  explicit EditBox(QWidget *parent);

  // Typed or pasted text may not make the box longer than this; 0: no limit.
  void SetMaxTypedLength(int length) { maxTypedLength = length; }

  static constexpr char16_t kEnter = 13;
  // Raised with the typed character; Enter arrives as kEnter.
  std::function<void(char16_t &key)> OnKeyPress;
  std::function<void()> OnExit;

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

private:
  bool GrowsPastLimit(qsizetype before, qsizetype after) const;
  void FocusChanged(QWidget *now);
  void RaiseExit();

  int maxTypedLength = 0;
  // The focus went to the menu bar; where it goes next decides whether the box was left.
  bool leftForMenuBar = false;
};
