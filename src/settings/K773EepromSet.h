// The settings editor of the VD-K773: thirty-three settings on the frame of
// the common-address family, eighteen of them written at once while Save
// runs, a second print head (hidden), watermark, code page and character-set
// settings, and the printer's custom USB mode (SettingLink). Its map and file
// records are K773Profile() in CommonAddressMap.h.
#pragma once

#include "settings/M512IIEepromSet.h"

class TK773Eeport : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TK773Eeport(QWidget* owner = nullptr);

 private slots:
  // A paper width that is empty or outside 0..65534 is told and set to 0.
  void PaperWidthChange(const QString& text);
};
