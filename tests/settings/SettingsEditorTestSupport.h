// Shared set-up of the editor tests: port state at its start values,
// printer delays scaled to zero, message boxes recorded, a private folder.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "link/Clock.h"
#include "link/PortState.h"
#include "settings/SettingsFile.h"
#include "gui/Messages.h"

// Lets GoogleTest print QString values in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace settings_test {

// A control of a dialog by its name; fails the test when it is missing.
template <class W>
W* Child(const QWidget& dialog, const char* name) {
  W* w = dialog.findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

inline QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

inline void WriteAll(const QString& path, const torva::settings::Bytes& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

inline torva::settings::Bytes ToBytes(const QByteArray& a) {
  return torva::settings::Bytes(a.begin(), a.end());
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    Language = "English";
    torva::SetPrinterDelayScale(0);
    ASSERT_TRUE(dir_.isValid());
  }
  void TearDown() override {
    torva::SetPrinterDelayScale(1.0);
    ResetPortState();
  }
  QString path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
  MessageRecorder messages_;
};

}  // namespace settings_test
