#include "gui/DialogHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <thread>

#include "gui/UpDown.h"

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

namespace {
// The dynamic properties the number edits carry.
constexpr const char* kTypingLimit = "torvaTypingLimit";
constexpr const char* kLargestNumber = "torvaLargestNumber";
}  // namespace

void LimitTyping(QLineEdit* edit, int characters) {
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QString(".{0,%1}").arg(characters)), edit));
  edit->setProperty(kTypingLimit, characters);
}

void SetLargestNumber(QLineEdit* edit, const QString& largest) { edit->setProperty(kLargestNumber, largest); }

QString LargestNumber(const QLineEdit* edit) {
  const QVariant declared = edit->property(kLargestNumber);
  if (declared.isValid()) return declared.toString();
  const QFontMetrics fm(edit->font());
  QString widest;
  const auto consider = [&](const QString& text) {
    if (fm.horizontalAdvance(text) > fm.horizontalAdvance(widest)) widest = text;
  };
  // As many of the widest digit as the user may type.
  int digits = edit->property(kTypingLimit).isValid() ? edit->property(kTypingLimit).toInt() : 0;
  if (digits == 0 && edit->maxLength() < 32767) digits = edit->maxLength();
  if (digits > 0) {
    QChar wide = '0';
    for (QChar c = '1'; c <= '9'; c = QChar(c.unicode() + 1))
      if (fm.horizontalAdvance(c) > fm.horizontalAdvance(wide)) wide = c;
    consider(QString(digits, wide));
  }
  if (const QWidget* window = edit->window()) {
    for (const UpDown* arrows : window->findChildren<UpDown*>()) {
      if (arrows->buddy() != edit) continue;
      consider(QString::number(arrows->minimum()));
      consider(QString::number(arrows->maximum()));
    }
  }
  return widest;
}

namespace {
// The rectangle the edit's text is drawn in, as the edit itself lays it out.
QRect TextRect(const QLineEdit* edit, const QRect& rect) {
  QStyleOptionFrame opt;
  opt.initFrom(edit);
  opt.rect = rect;
  opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
  opt.midLineWidth = 0;
  opt.state |= QStyle::State_Sunken;
  if (edit->isReadOnly()) opt.state |= QStyle::State_ReadOnly;
  opt.features = QStyleOptionFrame::None;
  QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
  const QMargins m = edit->textMargins();
  // The edit keeps 2 pixels clear on either side of its text.
  constexpr int kHorizontalMargin = 2;
  return r.adjusted(m.left() + kHorizontalMargin, 0, -(m.right() + kHorizontalMargin), 0);
}
}  // namespace

int TextRoom(const QLineEdit* edit) { return TextRect(edit, edit->rect()).width(); }

int TextNeed(const QLineEdit* edit, const QString& text) {
  const int cursor = edit->style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, edit);
  return QFontMetrics(edit->font()).horizontalAdvance(text) + std::max(cursor, 1);
}

void FitNumberEdits(QWidget* dialog) {
  for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
    const QString largest = LargestNumber(edit);
    if (largest.isEmpty()) continue;
    // What the frame and margins take at any width, plus the text.
    const QRect probe(0, 0, 200, 24);
    const int overhead = probe.width() - TextRect(edit, probe).width();
    const int need = overhead + TextNeed(edit, largest);
    if (edit->minimumWidth() < need) edit->setMinimumWidth(need);
    if (edit->maximumWidth() < need) edit->setMaximumWidth(need);
  }
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

void RunSlicesWhilePainting(const std::function<bool()>& slice) {
  if (slice()) return;  // done in one slice: nothing to wait for
  WaitCursor cursor;
  InputDropper dropper;
  QCoreApplication::instance()->installEventFilter(&dropper);
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } while (!slice());
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
