// The menu items of the main window that follow the chosen printer model:
// the bundler submenu, the A/D converter item, the cut and clear-error items
// and the check-mark item of the Test menu.
#pragma once

class TMainForm;

namespace portset {

// Enable state of one item: off, on, or left as it is.
enum class Enable { Off, On, Unchanged };

struct MenuEnables {
  Enable bundler;      // BundlerMenu (the submenu)
  Enable adConverter;  // ADConverterMenu
  Enable cut;          // CutMenu
  Enable clearError;   // PrinterClearMenu
  Enable checkMark;    // CheckMarkMenu
};

// The enables of a row of the port dialog's model list; every item unchanged
// for a row outside 0..18.
MenuEnables MenuEnablesForRow(int row);

// Applies the row's enables to the main window's menus.
void ApplyMenuEnables(TMainForm& main, int row);

}  // namespace portset
