// Black-mark calibration ("Check Mark"): reads and sets the printer's mark
// threshold, and runs the printer's calibration and shows the sensor log it
// sends back, decoded into lines.
//
// What the dialog offers depends on the model's group (CheckMarkProtocol.h):
// the full layout, calibration only (group H: the threshold row hidden) or
// the threshold only (group J). Creating the dialog reads the threshold and
// the paper type. Every exchange opens and closes the port itself, on every
// way out, and runs under the hourglass while the windows keep painting and
// what the user clicks or types meanwhile is dropped.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
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
  // Runs `exchange` with the port open, on a thread of its own while the
  // windows keep painting and user input is dropped (torva::gui::
  // RunWhilePainting); the port is closed again before it returns. False,
  // with the open error shown, when the port could not be opened (or the
  // kind is not one the dialog opens).
  bool RunExchange(const std::function<void(const torva::tools::MarkPort&)>& exchange);
  void ShowOpenError(int kind);
  // The failure of a threshold read (EcGetMark), at the opening and after a
  // calibration.
  void ShowThresholdReadError();
  void AddMemoLine(const QString& line);

  std::unique_ptr<Ui::TCheckmarkForm> ui_;
  const torva::tools::MarkGroup& group_;
};
