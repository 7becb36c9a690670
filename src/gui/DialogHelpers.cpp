#include "gui/DialogHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QWidget>
#include <thread>

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

namespace {
// Drops what the user does while a wait runs; everything else passes.
class InputDropper : public QObject {
 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::Drop:
        return true;
      case QEvent::Close:
        return event->spontaneous();  // the window's close box
      default:
        return false;
    }
  }
};
}  // namespace

void RunWhilePainting(const std::function<void()>& work) {
  WaitCursor cursor;
  InputDropper dropper;
  QCoreApplication::instance()->installEventFilter(&dropper);
  QEventLoop loop;
  std::thread worker([&] {
    work();
    // Queued: seen by the loop even when it has not started yet.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  QCoreApplication::instance()->removeEventFilter(&dropper);
}

void PaintNow(QWidget* widget) {
  if (!widget) return;
  QWidget* top = widget->window();
  if (top->isVisible()) top->repaint();
  // Lets the window system show the painted pixels; user input stays queued.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace torva::gui
