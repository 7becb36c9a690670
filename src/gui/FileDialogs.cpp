#include "gui/FileDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "gui/Messages.h"

namespace torva::gui {

namespace {
FileChooser g_chooser;
OkCancelAnswer g_answer;
}  // namespace

QString ChooseFile(QWidget* owner, const FileDialogRequest& request) {
  if (g_chooser) return g_chooser(request);

  QFileDialog dialog(owner, request.title, request.directory, request.filter);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save || !request.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (request.save) dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
  dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

FileDialogRequest SettingsFileRequest(bool save, const SettingsFileDialogs& dialogs) {
  FileDialogRequest request;
  request.save = save;
  request.directory = ProgramFolder();
  if (save) {
    request.filter = dialogs.saveFilter;
    request.defaultSuffix = "pes";
    request.confirmOverwrite = dialogs.confirmOverwrite;
  } else {
    request.filter = dialogs.openFilter;
  }
  return request;
}

QString ChooseSettingsFile(QWidget* owner, bool save, const SettingsFileDialogs& dialogs) {
  return ChooseFile(owner, SettingsFileRequest(save, dialogs));
}

SettingsFileDialogs PosSettingsFiles() {
  return {"POS Printer Eeprom Settings File(*.pes)", true, "POS Printer Eeprom Settings File(*.pes)"};
}

bool AskWarningOkCancel(const QString& text) {
  if (g_answer) return g_answer(text);
  QMessageBox box(QMessageBox::Warning, "Warning", text, QMessageBox::Ok | QMessageBox::Cancel, nullptr);
  box.setTextFormat(Qt::PlainText);  // the text names a file
  FitTitleBar(box);
  return box.exec() == QMessageBox::Ok;
}

ScopedFileDialogs::ScopedFileDialogs(FileChooser chooser, OkCancelAnswer answer)
    : savedChooser_(g_chooser), savedAnswer_(g_answer) {
  if (chooser) g_chooser = std::move(chooser);
  if (answer) g_answer = std::move(answer);
}

ScopedFileDialogs::~ScopedFileDialogs() {
  g_chooser = savedChooser_;
  g_answer = savedAnswer_;
}

}  // namespace torva::gui
