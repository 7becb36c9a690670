// The USB libraries' backend for the simulated printer: every port is one
// connection to the Unix socket named by TORVA_USB_SIM (protocol in
// UsbSimProtocol.h).
#pragma once

#include <string>

#include "link/UsbBackend.h"

namespace torva::usb {

class SimBackend : public UsbBackend {
 public:
  explicit SimBackend(std::string socketPath) : path_(std::move(socketPath)) {}
  std::vector<int> devicePositions() override;
  std::vector<std::string> printerNames() override;
  std::unique_ptr<UsbConnection> open(PortClass cls, int index) override;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace torva::usb
