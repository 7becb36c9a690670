#include "shell/MenuEnables.h"

#include <QAction>
#include <QMenu>
#include <array>

#include "shell/ConnectionTest.h"
#include "shell/MainForm.h"
#include "ui_MainForm.h"

namespace portset {

namespace {
constexpr Enable F = Enable::Off;
constexpr Enable T = Enable::On;
constexpr Enable U = Enable::Unchanged;

// By row of the model list (not by model code).
constexpr std::array<MenuEnables, kModelRowCount> kByRow = {{
    {F, T, T, T, U},  // VD-M512
    {F, T, T, T, U},  // VD-M512II
    {T, F, T, T, U},  // VD-N512
    {F, F, T, T, U},  // VD-K201
    {F, T, T, T, U},  // VD-K305
    {F, T, T, T, U},  // VD-K466
    {F, F, T, T, U},  // VD-K512
    {F, T, T, T, U},  // VD-K9034
    {F, T, T, T, U},  // VD-K772
    {F, T, T, T, U},  // VD-K772II
    {F, T, T, T, U},  // VD-K773
    {F, T, T, T, T},  // VD-H738
    {F, F, T, T, U},  // RW-K201
    {F, F, T, T, U},  // RW-K201E
    {F, F, T, T, U},  // RW-K305
    {F, T, F, F, U},  // RW-K305GII
    {F, F, T, T, U},  // RW-K305W
    {F, F, T, T, U},  // RW-K305E
    {F, F, T, T, U},  // RWN-K409
}};

void Set(QAction* action, Enable e) {
  if (action && e != Enable::Unchanged) action->setEnabled(e == Enable::On);
}
}  // namespace

MenuEnables MenuEnablesForRow(int row) {
  if (row < 0 || row >= kModelRowCount) return {U, U, U, U, U};
  return kByRow[static_cast<size_t>(row)];
}

void ApplyMenuEnables(TMainForm& main, int row) {
  if (!main.ui) return;
  const MenuEnables e = MenuEnablesForRow(row);
  Set(main.ui->BundlerMenu->menuAction(), e.bundler);
  Set(main.ui->ADConverterMenu, e.adConverter);
  Set(main.ui->CutMenu, e.cut);
  Set(main.ui->PrinterClearMenu, e.clearError);
  Set(main.ui->CheckMarkMenu, e.checkMark);
}

}  // namespace portset
