// A pair of arrow buttons bound to an edit: each click moves the edit's number
// one step within a range (the edit itself accepts any text; the editor
// validates it when it saves).
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

class UpDown : public QWidget {
  Q_OBJECT

 public:
  explicit UpDown(QWidget* parent = nullptr);
  void setBuddy(QLineEdit* edit) { buddy_ = edit; }
  QLineEdit* buddy() const { return buddy_; }
  void setRange(int minimum, int maximum);
  int minimum() const { return min_; }
  int maximum() const { return max_; }

 public slots:
  void stepUp() { step(1); }
  void stepDown() { step(-1); }

 private:
  void step(int delta);
  QLineEdit* buddy_ = nullptr;
  int min_ = 0;
  int max_ = 100;
};
