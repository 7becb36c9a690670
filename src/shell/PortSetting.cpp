#include "shell/PortSetting.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCursor>
#include <QStringList>

#include "link/DriverUnit.h"
#include "link/NetLib.h"
#include "link/PortState.h"
#include "link/USBUnit.h"
#include "shell/DialogOpeners.h"
#include "shell/MainForm.h"
#include "shell/MenuEnables.h"
#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "ui_PortSetting.h"

namespace {

// Selects the entry whose text equals `text`; none when no entry does.
void SelectText(QComboBox* box, const QString& text) {
  box->setCurrentIndex(text.isEmpty() ? -1 : box->findText(text, Qt::MatchExactly));
}

void SelectNumber(QComboBox* box, int value) {
  box->setCurrentIndex(value == 0 ? -1 : box->findText(QString::number(value), Qt::MatchExactly));
}

// Hourglass while the port is opened and tested; the arrow comes back on
// every way out.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~WaitCursor() { restore(); }
  void restore() {
    if (active_) QApplication::restoreOverrideCursor();
    active_ = false;
  }

 private:
  bool active_ = true;
};

QString Text2(const portset::Texts& t) {
  return QString::fromUtf8(Language == "English" ? t.english : t.chinese);
}

}  // namespace

TPortSettingForm::TPortSettingForm(TMainForm* main, QWidget* parent)
    : QDialog(parent), ui(new Ui::TPortSettingForm), main_(main) {
  ui->setupUi(this);

  // The port radios sit in different group boxes but exclude each other.
  portGroup_ = new QButtonGroup(this);
  for (QRadioButton* r : {ui->COMRadio, ui->LPTRadio, ui->USBRadio, ui->USBPrinterRadio, ui->NetRadio,
                          ui->DriverRadio})
    portGroup_->addButton(r);
  addressGroup_ = new QButtonGroup(this);
  addressGroup_->addButton(ui->RBSetIp);
  addressGroup_->addButton(ui->RBAutoGetIP);

  // Laid out hidden: the spooler choice has no branch in OK.
  ui->DriverRadio->hide();
  ui->DriverCombo->hide();
  ui->USBPrinterRadio->hide();
  ui->NetRadio->setEnabled(false);

  connect(ui->PrinterNameCBO, qOverload<int>(&QComboBox::activated), this,
          &TPortSettingForm::PrinterNameCBOChange);
  connect(ui->COMRadio, &QRadioButton::clicked, this, &TPortSettingForm::COMRadioClick);
  connect(ui->LPTRadio, &QRadioButton::clicked, this, &TPortSettingForm::LPTRadioClick);
  connect(ui->USBRadio, &QRadioButton::clicked, this, &TPortSettingForm::USBRadioClick);
  connect(ui->USBPrinterRadio, &QRadioButton::clicked, this, &TPortSettingForm::USBRadioClick);
  connect(ui->NetRadio, &QRadioButton::clicked, this, &TPortSettingForm::NetRadioClick);
  connect(ui->DriverRadio, &QRadioButton::clicked, this, &TPortSettingForm::DriverRadioClick);
  connect(ui->RBSetIp, &QRadioButton::clicked, this, &TPortSettingForm::RBSetIpClick);
  connect(ui->RBAutoGetIP, &QRadioButton::clicked, this, &TPortSettingForm::RBAutoGetIPClick);
  connect(ui->OpenPortButton, &QPushButton::clicked, this, &TPortSettingForm::OpenPortButtonClick);
  connect(ui->CancelButton, &QPushButton::clicked, this, &TPortSettingForm::CancelButtonClick);
  BindHelpKey(this);

  FormCreate();
}

TPortSettingForm::~TPortSettingForm() { delete ui; }

void TPortSettingForm::SetCaptions(const std::string& language) {
  const bool en = language == "English";
  auto s = [en](const char* e, const char* c) { return QString::fromUtf8(en ? e : c); };
  setWindowTitle(s("Port Setting", "端口设置"));
  ui->GroupBox1->setTitle(s("COM", "串口"));
  ui->COMRadio->setText(s("COM", "串口"));
  ui->GroupBox2->setTitle(s("LPT", "并口"));
  ui->LPTRadio->setText(s("LPT", "并口"));
  ui->GroupBox3->setTitle(s("USB", "USB口"));
  ui->USBRadio->setText(s("USB", "USB"));
  ui->USBPrinterRadio->setText(s("USB", "USB"));
  ui->GroupBox5->setTitle(s("Select Printer", "选择打印机"));
  ui->PrintNameLabel->setText(s("Printer Model:", "打印机型号："));
  ui->COMNameLabel->setText(s("Port Name:", "端口名称："));
  ui->LPTNameLabel->setText(s("Port Name:", "端口名称："));
  ui->USBNameLabel->setText(s("Port Name:", "端口名称："));
  ui->BaudRateLabel->setText(s("Baudrate:", "每秒位数："));
  ui->DataBitsLabel->setText(s("Data Bits:", "数据位："));
  ui->StopBitsLabel->setText(s("Stop Bits:", "停止位："));
  ui->ProtocolLabel->setText(s("Protocol:", "流控制："));
  ui->ParityLabel->setText(s("Parity:", "奇偶校验："));
  ui->CheckConnect->setText(s("Communication Test", "连接测试"));
  ui->OpenPortButton->setText(s("&OK", "打开(&O)"));
  ui->CancelButton->setText(s("&Cancel", "取消(&C)"));
  ui->Label1->setText(s("Status:", "状态："));
  ui->NetRadio->setText(s("Ethernet", "以太网"));
  ui->GroupBox6->setTitle(s("Net Setting", "以太网设置"));
  ui->RBSetIp->setText(s("Set IP:", "设置IP："));
  ui->RBAutoGetIP->setText(s("Auto Get IP:", "自动获取IP："));
}

// ---- opening --------------------------------------------------------------------

void TPortSettingForm::FormCreate() {
  // 1, 2: the model and the parallel list that goes with it.
  const int row = portset::ModelRowForCode(PrinterName.load());
  ui->PrinterNameCBO->setCurrentIndex(row);
  const bool nibble = portset::RowUsesNibbleLPT(row);
  ui->NibbleLPTCBO->setVisible(nibble);
  ui->LPTCBO->setVisible(!nibble);

  // 3: the serial lists from the stored parameters.
  SelectText(ui->cboPortName, QString::fromStdString(ComParameter.Name));
  SelectNumber(ui->cboBaudrate, ComParameter.Baudrate);
  SelectNumber(ui->cboDataBits, ComParameter.Databits);
  SelectNumber(ui->cboStopbits, ComParameter.Stopbits);
  SelectText(ui->cboFlowControl, QString::fromStdString(ComParameter.Handshake));
  SelectText(ui->cboParity, QString::fromStdString(ComParameter.Parity));

  // 4: the parallel lists.
  if (!LPTParameter.Name.empty()) {
    SelectText(ui->LPTCBO, QString::fromStdString(LPTParameter.Name));
    SelectText(ui->NibbleLPTCBO, QString::fromStdString(LPTParameter.Name));
  }

  // 5: the address boxes.
  QLineEdit* boxes[4] = {ui->Edit_IP1, ui->Edit_IP2, ui->Edit_IP3, ui->Edit_IP4};
  const QStringList parts = QString::fromStdString(PNET.IPAddress).split(QLatin1Char('.'));
  for (int i = 0; i < 4; ++i)
    boxes[i]->setText(!PNET.IPAddress.empty() && i < parts.size() ? parts[i] : QString());
  ui->RBSetIp->setChecked(true);

  // 6, 7: the test box and the radio of the configured kind.
  ui->CheckConnect->setChecked(bCheckConnect);
  switch (PortType.load()) {
    case PortLPT:
    case PortNibbleLPT:
      SelectRadio(ui->LPTRadio);
      break;
    case PortUSB:
      SelectRadio(ui->USBRadio);
      break;
    case PortDriver:
      SelectRadio(ui->DriverRadio);
      break;
    case PortNet:
      SelectRadio(ui->NetRadio);
      break;
    case PortUSBPrinter:
      SelectRadio(ui->USBPrinterRadio);
      break;
    default:
      SelectRadio(ui->COMRadio);
      break;
  }

  // 8 to 10: USB devices, else USB printers.
  ProbeUsbDevices();
  if (usbProbe_.indexes.empty()) {
    ListUsbPrinters();
  } else {
    // The USB printers are listed only when no USB device exists; a USB
    // printer configured before is offered as the device found now.
    if (ui->USBPrinterRadio->isChecked()) SelectRadio(ui->USBRadio);
    int select = 0;
    bHave = false;
    const int x = USBParameter.X;
    for (size_t i = 0; x >= 0 && i < usbProbe_.indexes.size(); ++i)
      if (usbProbe_.indexes[i] == x) {
        select = static_cast<int>(i);
        bHave = true;
        break;
      }
    ui->USBNameCbo->setCurrentIndex(select);
    // The configured device is gone.
    if (PortType == PortUSB && !bHave) {
      SelectRadio(ui->COMRadio);
      PortType = PortNone;
    }
  }

  // 11: the spooler's printers (the spooler choice itself is hidden).
  ui->DriverCombo->clear();
  for (const std::string& q : EnumPrinterQueues()) ui->DriverCombo->addItem(QString::fromStdString(q));
  if (ui->DriverCombo->count() > 0) {
    int i = DriverParameter.DriverName.empty()
                ? -1
                : ui->DriverCombo->findText(QString::fromStdString(DriverParameter.DriverName), Qt::MatchExactly);
    bHave = i >= 0;
    ui->DriverCombo->setCurrentIndex(i >= 0 ? i : 0);
  }
}

void TPortSettingForm::ProbeUsbDevices() {
  if (PortType == PortUSB && USBParameter.m_hdev != -1) {
    if (USBParameter.m_hdev > 0) UsbDevice::CloseDevice(USBParameter.m_hdev);
    USBParameter.m_hdev = -1;
  }
  // The probe's findings stay in the dialog; USBParameter changes only on OK.
  usbProbe_ = {};
  ui->USBNameCbo->clear();
  for (int index = 0; index <= 7; ++index) {
    const int h = UsbDevice::OpenDeviceX(index);
    if (h <= 0) continue;
    usbProbe_.indexes.push_back(index);
    usbProbe_.ids.push_back(UsbDevice::GetPrinterInternalID(h));
    ui->USBNameCbo->addItem(QStringLiteral("QFUSB-%1").arg(index));
    UsbDevice::CloseDevice(h);
  }
}

void TPortSettingForm::ListUsbPrinters() {
  ui->USBRadio->hide();
  if (PortType == PortUSB) {
    // The configured device is gone.
    SelectRadio(ui->COMRadio);
    PortType = PortNone;
  }
  ui->USBNameCbo->clear();
  const int count = portset::EnumerateUsbPrinters(usbNames_);
  const std::vector<std::string> names = portset::UsbPrinterNames(usbNames_, count);
  if (names.empty()) {
    ui->USBRadio->show();
    ui->USBRadio->setEnabled(false);
    ui->USBPrinterRadio->hide();
    if (ui->USBRadio->isChecked() || ui->USBPrinterRadio->isChecked()) SelectRadio(ui->COMRadio);
    if (PortType == PortUSBPrinter) PortType = PortNone;  // the printer is gone
    return;
  }
  ui->USBPrinterRadio->show();
  ui->USBPrinterRadio->setEnabled(true);
  int select = 0;
  bHave = false;
  for (size_t i = 0; i < names.size(); ++i) {
    ui->USBNameCbo->addItem(QString::fromStdString(names[i]));
    if (!bHave && names[i] == USBPrinterParameter.Name) {
      select = static_cast<int>(i);
      bHave = true;
    }
  }
  ui->USBNameCbo->setCurrentIndex(select);
  if (PortType == PortUSBPrinter && !bHave) PortType = PortNone;  // the printer is gone
}

// ---- enable handlers ------------------------------------------------------------

void TPortSettingForm::SelectRadio(QRadioButton* radio) {
  radio->setChecked(true);
  if (radio == ui->COMRadio)
    COMRadioClick();
  else if (radio == ui->LPTRadio)
    LPTRadioClick();
  else if (radio == ui->USBRadio || radio == ui->USBPrinterRadio)
    USBRadioClick();
  else if (radio == ui->NetRadio)
    NetRadioClick();
  else if (radio == ui->DriverRadio)
    DriverRadioClick();
}

void TPortSettingForm::EnableSerial(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           ui->cboPortName, ui->cboBaudrate, ui->cboDataBits, ui->cboStopbits, ui->cboFlowControl, ui->cboParity,
           ui->COMNameLabel, ui->BaudRateLabel, ui->DataBitsLabel, ui->StopBitsLabel, ui->ProtocolLabel,
           ui->ParityLabel})
    w->setEnabled(on);
}

void TPortSettingForm::EnableParallel(bool on) {
  ui->LPTCBO->setEnabled(on);
  ui->NibbleLPTCBO->setEnabled(on);
  ui->LPTNameLabel->setEnabled(on);
}

void TPortSettingForm::EnableUsb(bool on) {
  ui->USBNameCbo->setEnabled(on);
  ui->USBNameLabel->setEnabled(on);
}

void TPortSettingForm::EnableIpBoxes(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->Edit_IP1, ui->Edit_IP2, ui->Edit_IP3, ui->Edit_IP4,
                                                    ui->Dot1, ui->Dot2, ui->Dot3})
    w->setEnabled(on);
}

void TPortSettingForm::EnableAddress(bool on) {
  ui->RBSetIp->setEnabled(on);
  ui->RBAutoGetIP->setEnabled(on);
  ui->CBIPGROUP->setEnabled(on);
  EnableIpBoxes(on);
}

void TPortSettingForm::COMRadioClick() {
  EnableSerial(true);
  EnableParallel(false);
  EnableUsb(false);
  ui->DriverCombo->setEnabled(false);
  EnableAddress(false);
  ui->CheckConnect->show();
}

void TPortSettingForm::LPTRadioClick() {
  EnableParallel(true);
  EnableSerial(false);
  EnableUsb(false);
  ui->DriverCombo->setEnabled(false);
  EnableAddress(false);
  // The plain parallel port has no connection test.
  ui->CheckConnect->setVisible(!ui->NibbleLPTCBO->isHidden());
}

void TPortSettingForm::USBRadioClick() {
  EnableUsb(true);
  EnableSerial(false);
  EnableParallel(false);
  ui->DriverCombo->setEnabled(false);
  EnableAddress(false);
  ui->CheckConnect->show();
}

void TPortSettingForm::NetRadioClick() {
  EnableAddress(true);
  EnableSerial(false);
  EnableParallel(false);
  EnableUsb(false);
  ui->DriverCombo->setEnabled(false);
  ui->CheckConnect->show();
}

void TPortSettingForm::DriverRadioClick() {
  ui->DriverCombo->setEnabled(true);
  EnableSerial(false);
  EnableParallel(false);
  EnableUsb(false);
  ui->CheckConnect->setChecked(false);
  ui->CheckConnect->hide();
}

void TPortSettingForm::PrinterNameCBOChange() {
  if (portset::RowUsesNibbleLPT(ui->PrinterNameCBO->currentIndex())) {
    ui->NibbleLPTCBO->show();
    ui->LPTCBO->hide();
    ui->CheckConnect->show();
  } else {
    ui->NibbleLPTCBO->hide();
    ui->LPTCBO->show();
    if (ui->LPTRadio->isChecked()) ui->CheckConnect->hide();
  }
}

void TPortSettingForm::RBSetIpClick() {
  ui->RBSetIp->setChecked(true);
  ui->CBIPGROUP->setEnabled(false);
  EnableIpBoxes(true);
}

void TPortSettingForm::RBAutoGetIPClick() {
  ui->CBIPGROUP->clear();
  ui->RBAutoGetIP->setChecked(true);
  ui->CBIPGROUP->setEnabled(true);
  std::vector<char> buffer(3061, 0);
  int found = 0;
  {
    WaitCursor wait;
    found = NetLib::NetGetPrinterIP(buffer.data(), static_cast<int>(buffer.size()));
  }
  buffer.back() = 0;
  EnableIpBoxes(false);
  if (found > 0) {
    for (const std::string& a : portset::SplitAddressList(buffer.data()))
      ui->CBIPGROUP->addItem(QString::fromStdString(a));
    ui->CBIPGROUP->setCurrentIndex(ui->CBIPGROUP->count() > 0 ? 0 : -1);
  } else {
    ui->Label2->setText(Tr2("No printer is found!", "没有发现打印机！"));
  }
}

std::string TPortSettingForm::GetIpAdd() const {
  const std::array<std::string, 4> boxes = {ui->Edit_IP1->text().toStdString(), ui->Edit_IP2->text().toStdString(),
                                            ui->Edit_IP3->text().toStdString(), ui->Edit_IP4->text().toStdString()};
  return portset::IpAddressText(ui->RBSetIp->isChecked(), ui->RBAutoGetIP->isChecked(), boxes,
                                ui->CBIPGROUP->currentText().toStdString());
}

int TPortSettingForm::FindPinterIDByPrinterName(const std::string& name) const {
  return portset::FindPinterIDByPrinterName(usbNames_, name);
}

// ---- OK and Cancel --------------------------------------------------------------

int TPortSettingForm::ChosenKind() const {
  if (ui->COMRadio->isChecked()) return PortCOM;
  if (ui->LPTRadio->isChecked()) return ui->NibbleLPTCBO->isHidden() ? PortLPT : PortNibbleLPT;
  if (ui->USBRadio->isChecked()) return PortUSB;
  if (ui->USBPrinterRadio->isChecked()) return PortUSBPrinter;
  if (ui->NetRadio->isChecked()) return PortNet;
  return PortNone;  // no radio, or the spooler's: no branch
}

portset::PortRequest TPortSettingForm::BuildRequest(int kind) const {
  portset::PortRequest r;
  r.kind = kind;
  r.modelRow = ui->PrinterNameCBO->currentIndex();
  r.test = ui->CheckConnect->isChecked();
  r.serial.name = ui->cboPortName->currentText().toStdString();
  r.serial.baudrate = ui->cboBaudrate->currentText().toInt();
  r.serial.databits = ui->cboDataBits->currentText().toInt();
  r.serial.stopbits = ui->cboStopbits->currentText().toInt();
  r.serial.handshake = ui->cboFlowControl->currentText().toStdString();
  r.serial.parity = ui->cboParity->currentText().toStdString();
  const QComboBox* lpt = kind == PortNibbleLPT ? ui->NibbleLPTCBO : ui->LPTCBO;
  r.lptName = lpt->currentText().toStdString();
  r.lptIndex = lpt->currentIndex();
  for (int i = 0; i < ui->USBNameCbo->count(); ++i) r.usbEntries.push_back(ui->USBNameCbo->itemText(i).toStdString());
  r.usbSelected = ui->USBNameCbo->currentIndex();
  r.usbIds = usbProbe_.ids;
  r.usbNames = &usbNames_;
  r.ipAddress = GetIpAdd();
  return r;
}

void TPortSettingForm::OpenPortButtonClick() {
  // Every open port is closed first, while the port state still tells how
  // an open USB printer handle was opened.
  torva::link::CloseEveryOpenPort();
  // A VD-K773 configured anew on another kind is no longer in custom mode.
  is773Costom = 0;
  iUSBClassMode = 0;
  iStatusBytes = 0;

  const QString label = QString::fromUtf8(portset::PortLabel());
  WaitCursor wait;

  // The model and the menus follow the chosen row even when the port fails.
  const int row = ui->PrinterNameCBO->currentIndex();
  if (row >= 0) {
    PrinterName = portset::ModelCodeForRow(row);
    if (main_) portset::ApplyMenuEnables(*main_, row);
  }

  // The port is opened and tested beside the event loop: the test waits up
  // to 3 s for the printer's answer, a write the printer holds up to 4 s, and
  // meanwhile the windows keep painting while clicks and keys are dropped.
  const int kind = ChosenKind();
  const portset::PortRequest request = BuildRequest(kind);
  portset::OpenOutcome outcome = portset::OpenOutcome::Failed;
  torva::gui::RunWhilePainting([&] { outcome = portset::OpenRequestedPort(request); });
  switch (outcome) {
    case portset::OpenOutcome::Opened:
      if (main_) {
        main_->SetPanelText(0, label + QString::fromStdString(PortDisplay));
        main_->SetPanelText(1, QStringLiteral("Driver:"));
      }
      if (kind == PortNet) ui->CBIPGROUP->clear();
      wait.restore();
      bCheckConnect = ui->CheckConnect->isChecked();
      accept();
      return;
    case portset::OpenOutcome::NoBranch:
      wait.restore();
      bCheckConnect = ui->CheckConnect->isChecked();
      return;
    case portset::OpenOutcome::TwoUsbDevices:
      wait.restore();
      OutputInformation(QStringLiteral("Please make sure that only one USB-Printer is on-line at the same time!"),
                        QStringLiteral("请确认只连接有一台USB设备！"));
      break;
    case portset::OpenOutcome::Failed:
      ui->Label2->setText(Text2(portset::FailureText(kind)));
      break;
  }
  if (main_) {
    main_->SetPanelText(0, label);
    main_->SetPanelText(1, QStringLiteral("Driver:"));
  }
  PortType = PortNone;
  wait.restore();
}

void TPortSettingForm::CancelButtonClick() { reject(); }

void OpenPortSettingDialog(TMainForm& main) {
  TPortSettingForm form(&main, &main);
  ApplyDialogFont(&form);
  form.SetCaptions(Language);
  form.exec();
}
