#include "gui/SettingsFileDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "gui/Messages.h"

namespace torva::settings {

namespace {
FileChooser g_chooser;
OkCancelAnswer g_answer;
}  // namespace

QString ChooseSettingsFile(QWidget* owner, bool save) {
  FileDialogRequest request;
  request.save = save;
  request.directory = ProgramFolder();
  if (save) {
    request.filter = "Printer Eeprom Settings File(*.pes)";
    request.defaultSuffix = "pes";
  } else {
    request.filter = "Print File(*.pes);;All File(*.*)";
  }
  if (g_chooser) return g_chooser(request);

  QFileDialog dialog(owner, QString(), request.directory, request.filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) {
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  }
  dialog.selectFile(QString());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

bool AskWarningOkCancel(const QString& text) {
  if (g_answer) return g_answer(text);
  QMessageBox box(QMessageBox::Warning, "Warning", text, QMessageBox::Ok | QMessageBox::Cancel, nullptr);
  return box.exec() == QMessageBox::Ok;
}

ScopedSettingsDialogs::ScopedSettingsDialogs(FileChooser chooser, OkCancelAnswer answer)
    : savedChooser_(g_chooser), savedAnswer_(g_answer) {
  g_chooser = std::move(chooser);
  g_answer = std::move(answer);
}

ScopedSettingsDialogs::~ScopedSettingsDialogs() {
  g_chooser = savedChooser_;
  g_answer = savedAnswer_;
}

}  // namespace torva::settings
