// The main window's service tools: after the handler's port-kind guard, each
// opener creates its dialog owned by the main window (font and captions of
// Language), runs it modally and releases it when it closes.
#pragma once

class TMainForm;

// The user command console (User Command button and Test menu entry).
void OpenPrintTest(TMainForm& main);

// The download dialog (Download button and Setting > Download).
void OpenFirmwareUpdate(TMainForm& main);

// The printer information (Printer Status > Printer Infor): isADPress is
// cleared before the dialog is created, since the dialog asks the printer
// while it is created and the A/D view's flag would cut its replies short.
void OpenPrinterInformation(TMainForm& main);

// The bundler wait time (Test > Bundler > Bundler WaitTime): the dialog opens
// and closes the configured port itself.
void OpenBundlerlatencytime(TMainForm& main);

// Black-mark calibration (Check Mark button and menu entry). Creating the
// dialog reads the printer; for the VD-K305 and the RW-K305GII the opener then
// disables the calibration and warns that the model has no black-mark mode.
void OpenCheckMark(TMainForm& main);

// The A/D converter view (AD Converter menu entry). isADPress is 1 from
// before the dialog is created until it has closed, on every way out.
void OpenADConverter(TMainForm& main);
