// Black-mark calibration ("Check Mark"): reads and sets the printer's mark
// threshold, and runs the printer's calibration and shows the sensor log it
// sends back, decoded into lines.
//
// What the dialog offers depends on the model's group (CheckMarkProtocol.h):
// the full layout, calibration only (group H: the threshold row hidden) or
// the threshold only (group J). Creating the dialog reads the threshold and
// the paper type; every exchange runs on the dialog's thread under the
// hourglass and opens and closes the port itself, on every way out.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

#include "tools/CheckMarkProtocol.h"

namespace Ui {
class TCheckmarkForm;
}

class TCheckmarkForm : public QDialog {
  Q_OBJECT

 public:
  explicit TCheckmarkForm(QWidget* owner = nullptr);
  ~TCheckmarkForm() override;

  Ui::TCheckmarkForm* form() const { return ui_.get(); }
  const torva::tools::MarkGroup& group() const { return group_; }
  // The memo's lines.
  QStringList memoLines() const;

  // Font, captions, hints and positions for Language.
  void SetCaptions();
  // The opener's step for the models without black-mark mode.
  void DisableCheckMark();

 public slots:
  void SetADButtonClick();
  void CheckMarkClick();
  void ExitButtonClick();

 protected:
  // edtAD's key filter: backspace, 0-9, A-F and a-f pass; any other
  // character is dropped with a beep.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  // Places the controls for the group's layout and the language.
  void ApplyLayout();
  // Opens the port through the session; an open failure shows its error.
  bool OpenPort(torva::link::PortSession& session, torva::tools::MarkPort& port);
  void ShowOpenError(int kind);
  void AddMemoLine(const QString& line);
  // While an exchange runs: the hourglass and the buttons disabled. At its
  // end the clicks and keys that came meanwhile are handled while the
  // buttons are still disabled (so a double click calibrates once), then the
  // buttons are as they were, or as the exchange left them.
  class BusyScope;

  std::unique_ptr<Ui::TCheckmarkForm> ui_;
  const torva::tools::MarkGroup& group_;
};
