#include "shell/EditorDispatch.h"

#include <QDialog>

#include "link/PortState.h"
#include "settings/M512EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "shell/DialogOpeners.h"
#include "shell/MainForm.h"

namespace {

template <class Form>
std::unique_ptr<QDialog> Make(QWidget* owner) {
  return std::make_unique<Form>(owner);
}

struct EditorEntry {
  int modelCode;
  const char* className;
  std::unique_ptr<QDialog> (*create)(QWidget* owner);
};

// One row per model code whose editor exists. Codes that share an editor
// (RW-K305 and RW-K305W, VD-K772 and VD-K772II) get one row each.
const EditorEntry kEditors[] = {
    {ModelVDM512, "TM512EepromSetForm", &Make<TM512EepromSetForm>},
    {ModelVDM512II, "TM512IIEepromSetForm", &Make<TM512IIEepromSetForm>},
};

const EditorEntry* Find(int modelCode) {
  for (const EditorEntry& e : kEditors) {
    if (e.modelCode == modelCode) return &e;
  }
  return nullptr;
}

}  // namespace

const char* SettingsEditorClass(int modelCode) {
  const EditorEntry* e = Find(modelCode);
  return e ? e->className : "";
}

std::unique_ptr<QDialog> CreateSettingsEditor(int modelCode, QWidget* owner) {
  const EditorEntry* e = Find(modelCode);
  return e ? e->create(owner) : nullptr;
}

void OpenSettingsEditor(TMainForm& main) {
  if (!AskAccessCode(main)) return;
  std::unique_ptr<QDialog> editor = CreateSettingsEditor(PrinterName.load(), &main);
  if (!editor) return;
  editor->exec();
}
