#include "tools/Bundlerlatencytime.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "link/DriverUnit.h"
#include "link/EepromControl.h"
#include "link/NetUnit.h"
#include "link/PortState.h"
#include "tools/ConsoleCommands.h"
#include "ui_Bundlerlatencytime.h"

namespace torva::tools {

std::vector<uint8_t> BundlerWaitTimeCommand(int seconds) {
  return {0x1B, 0x63, 0x39, static_cast<uint8_t>(std::clamp(seconds, 0, kMaxWaitTime)), 0x0A};
}

std::string WaitTimeOpenError(int portType) {
  const std::string name = torva::link::ConfiguredPortName(portType);
  switch (portType) {
    case PortCOM: return "Can't open " + name + " port";
    case PortLPT:
    case PortNibbleLPT: return "Can't open" + name + " port!";
    case PortDriver: return "Can't open the Driver:" + name;
    default: return "Can't open " + name + " port!";
  }
}

std::string WaitTimeWriteError(int portType) {
  const std::string name = torva::link::ConfiguredPortName(portType);
  if (portType == PortDriver) return "Write Driver:" + name + " error!";
  return "Write " + name + " port error!";
}

bool WriteWaitTime(int portType, int handle, const std::vector<uint8_t>& bytes) {
  const int n = static_cast<int>(bytes.size());
  switch (FixedCommandRoute(portType)) {
    case WriteRoute::Common: return POSWritePort(portType, handle, bytes.data(), n);
    case WriteRoute::Net: return WriteNetPort(bytes.data(), n);
    case WriteRoute::Spooler: return WritePrinterDriver(handle, bytes.data(), n) == n;
    case WriteRoute::None: break;
  }
  return false;
}

}  // namespace torva::tools

using namespace torva::tools;

TBundlerlatencytimeForm::TBundlerlatencytimeForm(QWidget* owner, bool useOpenPort)
    : QDialog(owner), ui_(std::make_unique<Ui::TBundlerlatencytimeForm>()), useOpenPort_(useOpenPort) {
  ui_->setupUi(this);
  // Fixed dialog border, system menu (close box) only.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(DialogSerifFont());
  connect(ui_->OKButton, &QPushButton::clicked, this, &TBundlerlatencytimeForm::OKButtonClick);
  connect(ui_->CancelButton, &QPushButton::clicked, this, &TBundlerlatencytimeForm::CancelButtonClick);
  // The box's own edit: the spin box reports only texts that are values.
  if (QLineEdit* edit = ui_->LatencyTimeEdit->findChild<QLineEdit*>())
    connect(edit, &QLineEdit::textChanged, this, &TBundlerlatencytimeForm::LatencyTimeEditChange);
  ui_->LatencyTimeEdit->installEventFilter(this);
  // The form's client area, widened for the whole title.
  FitTitleBar(*this);
  setFixedSize(minimumSizeHint().expandedTo(QSize(274, 109)));
  FormCreate();
}

TBundlerlatencytimeForm::~TBundlerlatencytimeForm() = default;

QFont TBundlerlatencytimeForm::DialogSerifFont() {
  QFont font;
  // Times New Roman where it is installed, else its metric twins, else any serif.
  font.setFamilies({"Times New Roman", "Liberation Serif", "Nimbus Roman", "DejaVu Serif"});
  font.setStyleHint(QFont::Serif);
  font.setPointSize(10);
  return font;
}

void TBundlerlatencytimeForm::FormCreate() { ui_->LatencyTimeEdit->setValue(kDefaultWaitTime); }

void TBundlerlatencytimeForm::LatencyTimeEditChange(const QString& text) {
  if (!text.isEmpty()) return;
  // An empty box means the default again, at once.
  QSpinBox* box = ui_->LatencyTimeEdit;
  if (QLineEdit* edit = box->findChild<QLineEdit*>()) edit->setText(QString::number(kDefaultWaitTime));
  box->setValue(kDefaultWaitTime);
}

bool TBundlerlatencytimeForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->LatencyTimeEdit && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Keys that type nothing (arrows, Tab, Enter, Esc, Delete) and shortcuts
    // are not the filter's business.
    const bool types = !text.isEmpty() && text.front().isPrint() &&
                       !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier));
    const bool digit = text.size() == 1 && text.front() >= QLatin1Char('0') && text.front() <= QLatin1Char('9');
    if (types && !digit) {
      QApplication::beep();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TBundlerlatencytimeForm::OKButtonClick() {
  QSpinBox* box = ui_->LatencyTimeEdit;
  box->interpretText();
  const std::vector<uint8_t> bytes = BundlerWaitTimeCommand(box->value());
  const int kind = PortType.load();
  const bool useOpenPort = useOpenPort_;

  // The port work runs beside the event loop (the windows keep painting and
  // take no input); the boxes follow here.
  enum class Outcome { Sent, OpenFailed, WriteFailed, NotServed } outcome = Outcome::Sent;
  torva::gui::RunWhilePainting([&] {
    if (useOpenPort) {
      // The console's connection: written, never closed here.
      outcome = WriteWaitTime(kind, torva::link::ConfiguredHandle(kind), bytes) ? Outcome::Sent
                                                                                 : Outcome::WriteFailed;
      return;
    }
    torva::link::PortSession session(kWaitTimePortPlan);
    const torva::link::PortOpen port = session.Open();
    if (!port.opened()) {
      outcome = port.status == torva::link::PortOpenStatus::Failed ? Outcome::OpenFailed : Outcome::NotServed;
      return;
    }
    outcome = WriteWaitTime(kind, port.handle, bytes) ? Outcome::Sent : Outcome::WriteFailed;
    // Closed after a failed write too: the next OK opens it afresh.
  });
  switch (outcome) {
    case Outcome::Sent: accept(); break;
    case Outcome::OpenFailed:
      ShowEnglishMessage(MessageKind::Error, QString::fromStdString(WaitTimeOpenError(kind)));
      break;
    case Outcome::WriteFailed:
      ShowEnglishMessage(MessageKind::Error, QString::fromStdString(WaitTimeWriteError(kind)));
      break;
    case Outcome::NotServed: break;
  }
}

void TBundlerlatencytimeForm::CancelButtonClick() { reject(); }
