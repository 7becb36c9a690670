// The About box: product name, version, notice line and description in the
// current language.
#pragma once

#include <QDialog>

namespace Ui {
class TAboutForm;
}

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutForm(QWidget* owner);
  ~TAboutForm() override;

  Ui::TAboutForm* ui;

 public slots:
  void OKButtonClick();
};
