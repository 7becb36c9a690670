#include "gui/UpDown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* up = new QToolButton(this);
  auto* down = new QToolButton(this);
  up->setObjectName("up");
  down->setObjectName("down");
  up->setArrowType(Qt::UpArrow);
  down->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up, down}) {
    b->setAutoRepeat(true);
    b->setFixedSize(16, 11);
    b->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(b);
  }
  connect(up, &QToolButton::clicked, this, &UpDown::stepUp);
  connect(down, &QToolButton::clicked, this, &UpDown::stepDown);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void UpDown::setRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = std::max(minimum, maximum);
}

void UpDown::step(int delta) {
  if (!buddy_) return;
  bool ok = false;
  const int now = buddy_->text().trimmed().toInt(&ok);
  const int next = ok ? std::clamp(now + delta, min_, max_) : min_;
  buddy_->setText(QString::number(next));
}
