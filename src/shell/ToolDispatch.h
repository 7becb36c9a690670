// The main window's service tools: after the handler's port-kind guard, each
// opener creates its dialog owned by the main window (font and captions of
// Language), runs it modally and releases it when it closes.
#pragma once

class TMainForm;

// The user command console (User Command button and Test menu entry).
void OpenPrintTest(TMainForm& main);
