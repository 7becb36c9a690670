// The access-code dialog in front of the settings editors. Its only output is
// bPassword: true after the right code with a port the editors can use.
#pragma once

#include <QDialog>
#include <string>

namespace Ui {
class TPasswordForm;
}

// The access code the dialog accepts, compared exactly.
extern const char* const kAccessCode;

// Widget-free check of OK: what happens for a typed code and port kind.
enum class AccessVerdict {
  WrongCode,  // "Password Error!", box emptied, dialog stays open
  NoPort,     // right code, no port: warning, dialog stays open
  LptPort,    // right code, plain parallel port: warning, dialog stays open
  Unlocked,   // bPassword true, dialog closes
};
AccessVerdict CheckAccessCode(const std::string& typed, int portKind);

class TPasswordForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPasswordForm(QWidget* parent = nullptr);
  ~TPasswordForm() override;

  // Captions and layout for "English" or "Chinese" (the opener's part).
  void SetCaptions(const std::string& language);

  Ui::TPasswordForm* ui;

 public slots:
  void OKButtonClick();
  void CancelButtonClick();
};
