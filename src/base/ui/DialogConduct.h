#pragma once

class QDialog;
class QWidget;

namespace velmora {

// How every dialog of the program meets the keyboard and the screen:
// - Enter on a focused push button presses that button, whatever its
//   autoDefault setting; Enter anywhere else presses the default button;
// - a button that disables itself while it has the focus hands the focus
//   to the next enabled control in the tab order, never to "Cancel", so
//   the next Enter cannot throw the user's edits away;
// - the dialog opens centred on the screen, not on its parent.
// The Cancel button is the one named CancelBtn, as every form names it.
void applyDialogConduct(QDialog* dialog);

// Centres a window on its screen's available area.
void centreOnScreen(QWidget* window);

}  // namespace velmora
