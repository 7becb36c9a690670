// The check every dialog test runs in both languages: at the dialog's
// laid-out size, no caption, label, button, check box, radio button or group
// title is cut off, wrapped inside a word (for Chinese text: anywhere but
// after its punctuation), or placed outside its parent; every number edit
// shows its largest number whole (gui/DialogHelpers.h: LargestNumber); the
// window, with its frame and title bar, fits a 1024 x 768 screen; and it is
// wide enough for a window manager to show its whole title (TitleBarNeed).
// Font metrics against geometry; the dialog need not be shown on screen.
//
//   EXPECT_THAT(CaptionProblems(dialog), ::testing::IsEmpty());
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>
#include <QWidget>
#include <vector>

#include "gui/DialogHelpers.h"

namespace torva::testing {

// The smallest screen the console is used on, and what a window manager adds
// around a window's client area (a title bar and the frame).
inline constexpr int kScreenWidth = 1024;
inline constexpr int kScreenHeight = 768;
inline constexpr int kFrameWidth = 8;    // left and right
inline constexpr int kFrameHeight = 40;  // title bar, top and bottom

// The text as drawn: mnemonic markers removed ("&&" stays one "&").
inline QString DrawnText(QString text) {
  QString out;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) {
      ++i;
      out += text[i];
      continue;
    }
    out += text[i];
  }
  return out;
}

// The widest line of the text.
inline int TextWidth(const QFontMetrics& fm, const QString& text) {
  int w = 0;
  for (const QString& line : DrawnText(text).split('\n')) w = std::max(w, fm.horizontalAdvance(line));
  return w;
}

inline int LineCount(const QString& text) { return static_cast<int>(text.count('\n')) + 1; }

// What a window manager's title bar takes beside the title: the window's
// icon, its minimise, maximise and close buttons and the padding. Measured
// under openbox's default theme against the toolkit's bold face: a title
// shows whole from its width in that face plus 95 pixels.
inline constexpr int kTitleDecorations = 96;
// The width a window needs for its whole title to show: the toolkit sends the
// title with the program's name after it ("Printer Information — TORVAConsole"),
// and the window manager draws it in a bold face.
inline int TitleBarNeed(const QString& title) {
  const QString program = QStringLiteral("TORVAConsole");
  const QString shown = title.endsWith(program) ? title : title + QString::fromUtf8(" — ") + program;
  QFont bold = QApplication::font();
  bold.setBold(true);
  return QFontMetrics(bold).horizontalAdvance(shown) + kTitleDecorations;
}

// The pieces a word-wrapped text may be broken between: at white space, and
// after the punctuation of Chinese text (so a Chinese sentence may wrap at
// its commas and stops, while a caption without punctuation, such as
// "切刀错误\打印机塞纸", must fit its line whole).
inline QStringList WrapPieces(const QString& drawn) {
  static const QString kBreakAfter = QString::fromUtf8("，。、；：！？）」』》");
  QStringList pieces;
  QString piece;
  for (const QChar ch : drawn) {
    if (ch.isSpace()) {
      if (!piece.isEmpty()) pieces << piece;
      piece.clear();
      continue;
    }
    piece += ch;
    if (kBreakAfter.contains(ch)) {
      pieces << piece;
      piece.clear();
    }
  }
  if (!piece.isEmpty()) pieces << piece;
  return pieces;
}

// Lays out every layout of `top` from the top down, as showing would: the
// layout of a widget that has never been shown keeps the geometry of its
// last activation, which may predate the size the dialog set.
inline void LayOut(QWidget* top) {
  std::vector<QLayout*> layouts;
  if (top->layout()) layouts.push_back(top->layout());
  for (QWidget* w : top->findChildren<QWidget*>())  // parents before their children
    if (w->layout()) layouts.push_back(w->layout());
  for (QLayout* l : layouts) {
    l->invalidate();
    l->activate();
  }
}

// True when the widget and all its parents up to `top` are not hidden.
inline bool ShownWithin(const QWidget* w, const QWidget* top) {
  for (const QWidget* p = w; p && p != top; p = p->parentWidget())
    if (p->isHidden()) return false;
  return true;
}

// What is cut off in `top` (a dialog or window), one line per fault; empty
// when every text fits. The widget is laid out first (as showing it would).
inline QStringList CaptionProblems(QWidget* top) {
  QStringList problems;
  top->ensurePolished();
  for (QWidget* w : top->findChildren<QWidget*>()) w->ensurePolished();
  LayOut(top);

  auto name = [](const QWidget* w) {
    return QString("%1 \"%2\"").arg(w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
  };

  // A box or panel placed past its parent's edge cuts off whatever it holds,
  // titled or not.
  for (QWidget* w : top->findChildren<QWidget*>()) {
    if (!ShownWithin(w, top) || w->objectName().startsWith("qt_") || !w->parentWidget()) continue;
    const QString cls = w->metaObject()->className();
    if (cls != "QWidget" && cls != "QFrame" && !(cls == "QGroupBox" && qobject_cast<QGroupBox*>(w)->title().isEmpty()))
      continue;
    if (w->findChildren<QWidget*>().isEmpty()) continue;
    const QRect inside = w->parentWidget()->rect();
    if (!inside.contains(w->geometry()))
      problems << QString("%1 lies outside its parent %2 (%3,%4 %5x%6 in %7x%8)")
                      .arg(w->objectName(), w->parentWidget()->objectName())
                      .arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())
                      .arg(inside.width()).arg(inside.height());
  }

  // The window on the smallest screen, frame and title bar included.
  if (top->isWindow() && (top->width() + kFrameWidth > kScreenWidth || top->height() + kFrameHeight > kScreenHeight))
    problems << QString("%1 is %2x%3, with its frame wider or taller than a %4x%5 screen")
                    .arg(name(top).arg(top->windowTitle()))
                    .arg(top->width()).arg(top->height()).arg(kScreenWidth).arg(kScreenHeight);

  // The window manager cuts a title too long for the window's width ("Analog
  // / Digit… ORVAConsole").
  if (top->isWindow() && !top->windowTitle().isEmpty() && top->width() < TitleBarNeed(top->windowTitle()))
    problems << QString("%1 is %2 px wide, its title bar needs %3")
                    .arg(name(top).arg(top->windowTitle()))
                    .arg(top->width())
                    .arg(TitleBarNeed(top->windowTitle()));

  // Every number edit shows its largest number whole: one it cannot show
  // scrolls, and the user reads "5534" for 65534.
  for (QLineEdit* edit : top->findChildren<QLineEdit*>()) {
    if (!ShownWithin(edit, top)) continue;
    const QString largest = torva::gui::LargestNumber(edit);
    if (largest.isEmpty()) continue;
    const int need = torva::gui::TextNeed(edit, largest);
    const int room = torva::gui::TextRoom(edit);
    if (need > room)
      problems << QString("%1: shows %2 in %3 px, needs %4").arg(name(edit).arg(edit->text()), largest).arg(room).arg(need);
  }

  for (QWidget* w : top->findChildren<QWidget*>()) {
    if (!ShownWithin(w, top)) continue;
    const QFontMetrics fm(w->font());
    QString text;
    int need = 0;
    int room = 0;
    int needHeight = 0;
    int roomHeight = w->height();

    if (auto* label = qobject_cast<QLabel*>(w)) {
      if (label->textFormat() == Qt::RichText || !label->pixmap().isNull()) continue;
      text = label->text();
      if (text.isEmpty()) continue;
      const QRect cr = label->contentsRect();
      room = cr.width() - 2 * label->margin();
      roomHeight = cr.height() - 2 * label->margin();
      if (label->wordWrap()) {
        // Every word must fit a line, and the wrapped text the label's height.
        for (const QString& word : WrapPieces(DrawnText(text)))
          if (fm.horizontalAdvance(word) > room)
            problems << QString("%1: the word \"%2\" is wider than its %3 px").arg(name(w).arg(text), word).arg(room);
        const QRect bound =
            fm.boundingRect(QRect(0, 0, std::max(room, 1), 100000), Qt::TextWordWrap | label->alignment(), DrawnText(text));
        needHeight = bound.height();
        need = 0;
      } else {
        need = TextWidth(fm, text);
        needHeight = fm.height() * LineCount(text);
      }
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
      text = box->text();
      if (text.isEmpty()) continue;
      const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box);
      const int spacing = box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
      need = indicator + spacing + TextWidth(fm, text);
      room = w->width();
      needHeight = fm.height();
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
      text = radio->text();
      if (text.isEmpty()) continue;
      const int indicator = radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio);
      const int spacing = radio->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio);
      need = indicator + spacing + TextWidth(fm, text);
      room = w->width();
      needHeight = fm.height();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      text = button->text();
      if (text.isEmpty()) continue;
      if (auto* tool = qobject_cast<QToolButton*>(w); tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly)
        continue;
      const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
      int iconWidth = 0;
      if (!button->icon().isNull()) {
        auto* tool = qobject_cast<QToolButton*>(w);
        // A tool button with the text under its icon needs only the text's width.
        if (!tool || tool->toolButtonStyle() != Qt::ToolButtonTextUnderIcon) iconWidth = button->iconSize().width() + 4;
      }
      need = TextWidth(fm, text) + iconWidth + margin;
      room = w->width();
      needHeight = fm.height() * LineCount(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      text = group->title();
      if (text.isEmpty()) continue;
      QStyleOptionGroupBox opt;
      opt.initFrom(group);
      opt.text = text;
      opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
      const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
      need = label.x() + TextWidth(fm, text);
      room = group->width();
      needHeight = 0;
    } else {
      continue;
    }

    if (need > room)
      problems << QString("%1: needs %2 px, has %3").arg(name(w).arg(text)).arg(need).arg(room);
    if (needHeight > roomHeight)
      problems << QString("%1: needs %2 px high, has %3").arg(name(w).arg(text)).arg(needHeight).arg(roomHeight);
    // A caption placed past its parent's edge is cut there.
    if (QWidget* parent = w->parentWidget()) {
      const QRect inside = parent->rect();
      if (!inside.contains(w->geometry()))
        problems << QString("%1: lies outside its parent %2 (%3,%4 %5x%6 in %7x%8)")
                        .arg(name(w).arg(text), parent->objectName())
                        .arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())
                        .arg(inside.width()).arg(inside.height());
    }
  }
  return problems;
}

}  // namespace torva::testing
