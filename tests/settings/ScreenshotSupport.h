// What the editors' documentation screenshots share: the file names, the
// dialog grabbed with a message box drawn in its middle, catching the boxes
// the dialogs raise, and the capture of a table of editors against a
// simulated printer of each one's model.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "link/Clock.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"

namespace settings_shots {

// <folder>/settings-<stem>-english.png or -chinese.png.
inline QString ShotFile(const QString& folder, const QString& stem, const char* language) {
  return folder + "/settings-" + stem + "-" + QString(language).toLower() + ".png";
}

// Saves the dialog with the box drawn in its middle; true when written.
inline bool SaveWithBoxInFront(QWidget& dialog, QWidget& box, const QString& file) {
  QImage image = dialog.grab().toImage();
  const QImage boxImage = box.grab().toImage();
  QPainter painter(&image);
  painter.drawImage((image.width() - boxImage.width()) / 2, (image.height() - boxImage.height()) / 2, boxImage);
  painter.end();
  return image.save(file);
}

// Calls `act` with the first message box that comes up (checking every 20 ms
// while the caller's modal loop runs), then closes it.
class BoxCatcher {
 public:
  explicit BoxCatcher(std::function<void(QMessageBox*)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      timer_.stop();
      if (act_) act_(box);
      box->accept();
    });
    timer_.start(20);
  }

 private:
  std::function<void(QMessageBox*)> act_;
  QTimer timer_;
};

// Closes the next modal box once it shows, and grabs the dialog with the box
// drawn in its middle when `file` is given. Until the box is up it looks
// again (a loaded machine may take a while to get there).
inline void CloseNextBox(QWidget* dialog, const QString& file, bool* shot) {
  QTimer::singleShot(100, dialog, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      CloseNextBox(dialog, file, shot);
      return;
    }
    if (!file.isEmpty()) *shot = SaveWithBoxInFront(*dialog, *box, file);
    box->accept();
  });
}

// One editor of a table: its model, what the simulated printer holds, and
// the edit whose value makes the Chinese Save refuse.
template <class Form>
struct EditorShot {
  const char* file;  // settings-<file>-english.png, settings-<file>-chinese.png
  int model;
  std::function<std::unique_ptr<Form>()> create;
  std::function<void(torva::sim::SimPrinter&)> printer;  // what the printer holds
  const char* edit;                                      // the edit that makes the Chinese Save refuse
  const char* value;
};

// Each editor after a Get from a simulated printer of its model (English),
// and the same dialog in Chinese with the box of a refused Save in front.
// `getShowsBox`: the Get ends with a box, closed before the grab.
template <class Form>
void ShootEditors(const QString& folder, const std::vector<EditorShot<Form>>& shots, bool getShowsBox) {
  ResetPortState();
  torva::SetPrinterDelayScale(0);
  for (const EditorShot<Form>& s : shots) {
    SCOPED_TRACE(s.file);
    torva::sim::SimPrinter printer(s.model);
    PortType = PortCOM;
    ComParameter.Name = printer.startSerial();
    s.printer(printer);
    for (const char* language : {"English", "Chinese"}) {
      Language = language;
      auto form = s.create();
      form->show();
      bool shot = false;
      if (getShowsBox) CloseNextBox(form.get(), QString(), &shot);
      form->btnGetSettingsFromPrinterClick();
      QApplication::processEvents();
      const QString file = ShotFile(folder, s.file, language);
      if (Language == "English") {
        ASSERT_TRUE(form->grab().save(file));
        continue;
      }
      // A refused Save: its warning box, in front of the dialog.
      form->template findChild<QLineEdit*>(s.edit)->setText(s.value);
      CloseNextBox(form.get(), file, &shot);
      form->btnSaveSettingsToPrinterClick();
      EXPECT_TRUE(shot);
    }
    printer.stop();
    ResetPortState();
  }
}

}  // namespace settings_shots
