#include "gui/DialogHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QWidget>

namespace torva::gui {

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

QButtonGroup* GroupOf(QWidget* box, QObject* owner) {
  auto* group = new QButtonGroup(owner);
  int id = 0;
  for (QRadioButton* b : box->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly)) group->addButton(b, id++);
  return group;
}

void Check(QButtonGroup* group, int id) {
  if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

void Fill(QComboBox* box, const std::vector<std::string>& items) {
  box->clear();
  for (const auto& item : items) box->addItem(QString::fromStdString(item));
}

void LimitTyping(QLineEdit* edit, int characters) {
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QString(".{0,%1}").arg(characters)), edit));
}

QString Quoted(const QString& fileName) { return "\"" + fileName + "\""; }

void PaintNow(QWidget* widget) {
  if (!widget) return;
  QWidget* top = widget->window();
  if (top->isVisible()) top->repaint();
  // Lets the window system show the painted pixels; user input stays queued.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace torva::gui
