// The user command console ("User Command"): typed hex or text sent to the
// printer, what the printer sends back shown live, command files loaded and
// saved, and seven fixed service commands.
//
// The console opens the configured port when it is created and holds it until
// Exit (or the close box, Esc, or its destruction), which first stops and
// joins its reply reader, so no reader outlives the port or writes into a box
// after the console closed. Everything it reports goes into its Notice box;
// only a file that cannot be opened gets a message box.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

#include "link/PortSession.h"
#include "tools/ConsoleCodec.h"
#include "tools/ConsoleCommands.h"
#include "tools/GetBufThread.h"

namespace Ui {
class TPrintTestForm;
}
class QAction;
class QMenu;
class ConsoleBox;

class TPrintTestForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPrintTestForm(QWidget* owner = nullptr);
  ~TPrintTestForm() override;

  Ui::TPrintTestForm* form() const { return ui_.get(); }
  // The Bundler button's pop-up menu and its items.
  QMenu* BundlerControlMenu = nullptr;
  QAction* BundlerPresentMenu = nullptr;
  QAction* BundlerRetractMenu = nullptr;
  // Opens the bundler wait-time dialog on the console's connection.
  QAction* BundlerlatencytimeMenu = nullptr;

  // Font and captions for Language.
  void SetCaptions();

  // The boxes' texts exactly as they hold them (line breaks as "\n").
  QString inputText() const;
  void setInputText(const QString& text);
  QString receiveText() const;
  QStringList noticeLines() const;
  // The reply reader (tests watch it).
  torva::tools::TGetBufThread& reader() { return reader_; }
  // True when no reader runs and the last one's reports have all been shown.
  bool readerIdle() const { return !reader_.running() && endedGeneration_ == reader_.generation(); }
  // True once Exit, the close box or Esc has closed the console's port.
  bool portClosed() const { return closed_; }

  // Appends the text of the current Language as a line to the Notice.
  void OutputInformation(const QString& english, const QString& chinese);

 public slots:
  void ExcuteCommandButtonClick();
  void HexFormatCheckBoxClick();
  void HexFormatCheckBox1Click();
  void PrintFileButtonClick();
  void SaveFileButtonClick();
  void SaveFileButton1Click();
  void ClearButton1Click();
  void ClearButton2Click();
  void DisplayButtonClick();
  void PrinterResetButtonClick();
  void ClearButtonClick();
  void CutButtonClick();
  void FeedPaperButtonClick();
  void SelfTestButtonClick();
  void BundlerButtonClick();
  void BundlerPresentMenuClick();
  void BundlerRetractMenuClick();
  void BundlerlatencytimeMenuClick();
  void ExitButtonClick();

 protected:
  // The Input's key filter while it is in hex mode (CommandCombo1KeyPress).
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Exit, the close box and Esc end here: the reader is stopped and joined,
  // then the port is closed.
  void done(int result) override;

 private:
  void FormCreate();
  void FormDestroy();
  void EnableByModel();
  void OpenPort();
  void Output(const torva::tools::LinePair& line);
  void SendFixedCommand(torva::tools::FixedCommand id);
  // Converts a box between its modes after its check box was clicked; false
  // (box put back, Notice line) when its text cannot be converted.
  bool ConvertBox(ConsoleBox* box, bool toHex);
  void SaveBox(ConsoleBox* box, bool hex, const QString& fileName);
  void StartReader();
  // Takes a report of the reader (on the console's thread); they are shown
  // in order, a slice of time at a time.
  void OnReaderReport(const torva::tools::ReaderReport& report);
  void ScheduleReports();
  // Shows the reports waiting for about ms.
  void ShowReports(int ms);
  // While the Receive box is converted or read, the reader's reports wait;
  // released, they are shown in order.
  void HoldReports();
  void ReleaseReports();
  // Adds text (a hex dump or text in the notation) to the Receive box.
  void AppendReceived(const torva::tools::Text& text);
  int ReceiveColumn() const;

  std::unique_ptr<Ui::TPrintTestForm> ui_;
  torva::link::PortSession session_{torva::tools::kConsolePortPlan};
  torva::tools::TGetBufThread reader_;
  bool closed_ = false;
  uint64_t endedGeneration_ = 0;  // the last reader whose end report was handled
  torva::tools::ReceivedText receivedText_;  // the Receive box's text mode across reads
  // The reader's reports not shown yet, in order.
  std::deque<torva::tools::ReaderReport> pendingReports_;
  bool showScheduled_ = false;
  bool holdingReports_ = false;  // the Receive box is converted or saved
  QString saveFileName_;  // the last name saved to, proposed again by the Receive save
};
