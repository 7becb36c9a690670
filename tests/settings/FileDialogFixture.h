// The editor fixture with its file dialogs replaced: every file dialog
// answers the file chosen last (empty: Cancel) and is remembered, every
// OK/Cancel question answers `ok_` and is remembered.
#pragma once

#include <QString>
#include <vector>

#include "SettingsEditorTestSupport.h"
#include "gui/FileDialogs.h"

namespace settings_test {

class FileDialogTest : public EditorTest {
 protected:
  // Every file dialog answers `chosen`; the OK/Cancel questions answer `ok`.
  void Choose(const QString& chosen, bool ok = true) {
    chosen_ = chosen;
    ok_ = ok;
  }

  QString chosen_;
  bool ok_ = true;
  std::vector<QString> asked_;
  std::vector<torva::gui::FileDialogRequest> requests_;
  torva::gui::ScopedFileDialogs dialogs_{[this](const torva::gui::FileDialogRequest& r) {
                                           requests_.push_back(r);
                                           return chosen_;
                                         },
                                         [this](const QString& text) {
                                           asked_.push_back(text);
                                           return ok_;
                                         }};
};

}  // namespace settings_test
