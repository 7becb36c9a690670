#include "shell/PrinterIni.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "gui/Messages.h"

namespace {
QString g_configOverride;

QString ProgramIni() { return ProgramFolder() + "/Printer.ini"; }
QString ConfigIni() { return PrinterIniConfigFolder() + "/Printer.ini"; }

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
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSettings ini(path, QSettings::IniFormat);
  ini.setValue("Printer/Language", value);
  ini.sync();
  return ini.status() == QSettings::NoError && QFileInfo(path).isFile();
}
