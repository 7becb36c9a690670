#include "settings/K773EepromSet.h"

#include <QLineEdit>

#include "gui/Messages.h"
#include "settings/EditorCommon.h"
#include "ui_K773EepromSet.h"

namespace {

void LoadForm(QDialog* dialog) {
  Ui::K773EepromSet form;
  form.setupUi(dialog);
}

TCommonAddressEepromSetForm::FormOptions K773Form() {
  TCommonAddressEepromSetForm::FormOptions options;
  options.load = &LoadForm;
  options.upDowns = {
      {"udPrintSpeed", "edtPrintSpeed", 50, 350}, {"UpDown4", "Head1", 50, 254},    {"UpDown5", "Head2", 50, 254},
      {"UpDown1", "EditHorizon", 1, 3},           {"UpDown2", "EditVertical", 1, 3},
  };
  options.digitEdits = {"WaitTime", "AutoTime", "AotoSpeed", "edtPrintSpeed", "PaperWidth"};
  // The paper width takes any number up to 65534 (PaperWidthChange).
  options.largestNumbers = {{"PaperWidth", "65534"}};
  options.clientSize = QSize(726, 527);
  return options;
}

}  // namespace

TK773Eeport::TK773Eeport(QWidget* owner)
    : TCommonAddressEepromSetForm(torva::settings::K773Profile(), owner, K773Form()) {
  auto* paperWidth = findChild<QLineEdit*>("PaperWidth");
  connect(paperWidth, &QLineEdit::textChanged, this, &TK773Eeport::PaperWidthChange);
}

void TK773Eeport::PaperWidthChange(const QString& text) {
  const auto value = torva::settings::ParseInt32(text.toStdString());
  if (value && *value >= 0 && *value <= 65534) return;
  ShowEnglishMessage(MessageKind::Information, "illegal value,please input again!");
  findChild<QLineEdit*>("PaperWidth")->setText("0");
}
