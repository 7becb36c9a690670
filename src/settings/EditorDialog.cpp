#include "settings/EditorDialog.h"

#include <QLabel>

#include "gui/DialogHelpers.h"
#include "gui/Messages.h"

namespace torva::settings {

void ShowResultLine(QLabel* label, const QString& text, bool red) {
  QPalette p = label->window()->palette();
  if (red) p.setColor(QPalette::WindowText, Qt::red);
  label->setPalette(p);
  label->setProperty("red", red);
  label->setTextFormat(Qt::PlainText);  // the line names files: never markup
  label->setText(text);
  label->setToolTip(text);
}

void ShowStateLine(QLabel* label, const QString& text) {
  label->setText(text);
  label->setToolTip(text);
}

void ColourStateLine(QLabel* label, bool olive) {
  QPalette p = label->window()->palette();
  if (olive) p.setColor(QPalette::WindowText, gui::kOlive);
  label->setPalette(p);
  label->setProperty("olive", olive);
}

void ShowPortOpenError(const PortOpenResult& open) {
  const QString name = QString::fromStdString(open.portName);
  OutputError("Can't open " + name + " port!", "端口 " + name + " 打开错误！");
}

}  // namespace torva::settings
