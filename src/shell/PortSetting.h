// The port-setting dialog: the user chooses the printer model and the port;
// OK opens the port, optionally tests that a printer answers, and stores the
// choice in the global port state.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "shell/ConnectionTest.h"

namespace Ui {
class TPortSettingForm;
}
class QButtonGroup;
class QComboBox;
class QRadioButton;
class TMainForm;

class TPortSettingForm : public QDialog {
  Q_OBJECT

 public:
  // `main` receives the menu enables and the status-bar texts; it may be null.
  explicit TPortSettingForm(TMainForm* main, QWidget* parent = nullptr);
  ~TPortSettingForm() override;

  // Captions for "English" or "Chinese" (the opener's part).
  void SetCaptions(const std::string& language);

  // The address the Ethernet choice names, as typed or found.
  std::string GetIpAdd() const;
  // 1-based position of a USB printer among the names found; 0 when absent.
  int FindPinterIDByPrinterName(const std::string& name) const;

  // What the USB device probe found, kept in the dialog until OK.
  struct UsbProbe {
    std::vector<int> indexes;
    std::vector<int> ids;
  };
  const UsbProbe& usbProbe() const { return usbProbe_; }
  const portset::UsbNameBuffer& usbNameBuffer() const { return usbNames_; }

  Ui::TPortSettingForm* ui;

 public slots:
  void PrinterNameCBOChange();
  void COMRadioClick();
  void LPTRadioClick();
  void USBRadioClick();
  void NetRadioClick();
  void DriverRadioClick();
  void RBSetIpClick();
  void RBAutoGetIPClick();
  void OpenPortButtonClick();
  void CancelButtonClick();

 private:
  void FormCreate();
  void ProbeUsbDevices();
  void ListUsbPrinters();
  void SelectRadio(QRadioButton* radio);
  void EnableSerial(bool on);
  void EnableParallel(bool on);
  void EnableUsb(bool on);
  void EnableAddress(bool on);
  void EnableIpBoxes(bool on);
  int ChosenKind() const;
  portset::PortRequest BuildRequest(int kind) const;

  TMainForm* main_;
  QButtonGroup* portGroup_;
  QButtonGroup* addressGroup_;
  UsbProbe usbProbe_;
  portset::UsbNameBuffer usbNames_{};
};
