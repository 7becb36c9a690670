#include "shell/PrinterIni.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "gui/FileAccess.h"
#include "gui/Messages.h"

namespace {
QString g_configOverride;

QString ProgramIni() { return ProgramFolder() + "/Printer.ini"; }
QString ConfigIni() { return PrinterIniConfigFolder() + "/Printer.ini"; }

// True when QSettings can parse the file. It is asked about a copy at a path
// of its own: QSettings keeps what it once read of a path and reads the file
// again only when it has changed, so it would not report a file it had
// parsed before (the start and the clock read Printer.ini).
bool Parses(const QString& path) {
  const auto file = torva::gui::ReadRegularFile(path);
  if (!file) return false;
  const QTemporaryDir scratch;
  if (!scratch.isValid()) return false;
  const QString copy = scratch.filePath("Printer.ini");
  if (torva::gui::WriteWholeFile(copy, file->data) != torva::gui::FileWrite::Written) return false;
  return QSettings(copy, QSettings::IniFormat).status() == QSettings::NoError;
}

// A file can be written where it is writable, or where it is missing and its
// folder is writable.
bool CanWrite(const QString& path) {
  QFileInfo file(path);
  if (file.exists()) return file.isWritable();
  QFileInfo dir(file.absolutePath());
  return dir.isDir() && dir.isWritable();
}
}  // namespace

QString PrinterIniConfigFolder() {
  if (!g_configOverride.isEmpty()) return g_configOverride;
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

void SetPrinterIniConfigFolderForTests(const QString& folder) { g_configOverride = folder; }

QString PrinterIniReadPath() {
  const QString config = ConfigIni();
  if (QFileInfo(config).isFile()) return config;
  return ProgramIni();
}

QString PrinterIniWritePath() {
  const QString config = ConfigIni();
  if (QFileInfo(config).isFile()) return config;
  const QString program = ProgramIni();
  if (CanWrite(program)) return program;
  return config;
}

QString ReadIniLanguage() {
  const QString path = PrinterIniReadPath();
  if (!QFileInfo(path).isFile()) return "-1";  // QSettings would not create it, but stay explicit
  QSettings ini(path, QSettings::IniFormat);
  return ini.value("Printer/Language", "-1").toString();
}

bool WriteIniLanguage(const QString& value) {
  const QString path = PrinterIniWritePath();
  // Only a regular file, or none: the toolkit opens the file to read it
  // before it writes, and would wait on a FIFO for ever; a FIFO or a device
  // would be replaced by a regular file.
  if (torva::gui::ExistsAndIsNotRegular(path)) return false;
  // A file it cannot parse would be rewritten as junk plus the key: it is
  // left as the user has it.
  if (torva::gui::PathExists(path) && !Parses(path)) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSettings ini(path, QSettings::IniFormat);
  ini.setValue("Printer/Language", value);
  ini.sync();
  return ini.status() == QSettings::NoError && QFileInfo(path).isFile();
}
