#include "settings/EditorDialog.h"

#include <QFile>
#include <QLabel>
#include <QSaveFile>

#include "gui/DialogHelpers.h"
#include "gui/FileDialogs.h"
#include "gui/Messages.h"

namespace torva::settings {

void ShowResultLine(QLabel* label, const QString& text, bool red) {
  QPalette p = label->window()->palette();
  if (red) p.setColor(QPalette::WindowText, Qt::red);
  label->setPalette(p);
  label->setProperty("red", red);
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

FileWrite WriteWholeFile(const QString& fileName, const Bytes& bytes) {
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) return FileWrite::OpenFailed;
  const qint64 size = static_cast<qint64>(bytes.size());
  if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size || !file.commit()) {
    file.cancelWriting();
    return FileWrite::WriteFailed;
  }
  return FileWrite::Written;
}

std::optional<FileBytes> ReadFileStart(const QString& fileName, qint64 limit) {
  QFile file(fileName);
  if (!gui::IsRegularFile(fileName) || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  FileBytes out;
  out.size = file.size();
  out.data = file.read(limit);
  return out;
}

}  // namespace torva::settings
