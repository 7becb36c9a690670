#include "shell/EditorDispatch.h"

#include <QDialog>

#include "link/PortState.h"
#include "settings/K201EepromSet.h"
#include "settings/K305EepromSet.h"
#include "settings/K409EepromSet.h"
#include "settings/K512EepromSet.h"
#include "settings/K773EepromSet.h"
#include "settings/K772EepromSet.h"
#include "settings/K9034EepromSet.h"
#include "settings/M512EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "settings/N512EepromSet.h"
#include "settings/RWK201EEepromSet.h"
#include "settings/RWK201EepromSet.h"
#include "settings/RWK305EEepromSet.h"
#include "settings/RWK305EepromSet.h"
#include "settings/VDH738EepromSet.h"
#include "settings/VDK466EepromSet.h"
#include "settings/RWK305G2EepSet.h"
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
    {ModelVDN512, "TN512EepromSetForm", &Make<TN512EepromSetForm>},
    {ModelVDM512, "TM512EepromSetForm", &Make<TM512EepromSetForm>},
    {ModelVDM512II, "TM512IIEepromSetForm", &Make<TM512IIEepromSetForm>},
    {ModelVDK305, "TK305EepromSetForm", &Make<TK305EepromSetForm>},
    {ModelVDK201, "TK201EepromSetForm", &Make<TK201EepromSetForm>},
    {ModelVDK512, "TK512EepromSetForm", &Make<TK512EepromSetForm>},
    {ModelRWK201, "TRWK201EepromSetForm", &Make<TRWK201EepromSetForm>},
    {ModelRWK305, "TRWK305EepromSetForm", &Make<TRWK305EepromSetForm>},
    {ModelRWK305W, "TRWK305EepromSetForm", &Make<TRWK305EepromSetForm>},
    {ModelRWNK409, "TK409EepromSetForm", &Make<TK409EepromSetForm>},
    {ModelVDK773, "TK773Eeport", &Make<TK773Eeport>},
    {ModelVDK772, "TK772EepromSetForm", &Make<TK772EepromSetForm>},
    {ModelVDK772II, "TK772EepromSetForm", &Make<TK772EepromSetForm>},
    {ModelVDK9034, "TK9034EepromSetForm", &Make<TK9034EepromSetForm>},
    {ModelVDK466, "TVDK466EepromSetForm", &Make<TVDK466EepromSetForm>},
    {ModelVDH738, "TVDH738EepromSetForm", &Make<TVDH738EepromSetForm>},
    {ModelRWK305E, "TRWK305EEepromSetForm", &Make<TRWK305EEepromSetForm>},
    {ModelRWK201E, "TRWK201EEepromSetForm", &Make<TRWK201EEepromSetForm>},
    {ModelRWK305GII, "TRWK305G2EepSetForm", &Make<TRWK305G2EepSetForm>},
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
