#pragma once
// The same Enter-and-Escape handling for every form: in its one-line edit
// boxes and push buttons, Enter moves on to the next control (a button takes
// it as a click) and Escape closes the form. Multi-line boxes, grids and
// toolbars keep their own keys.
class QWidget;

// Installs the shared key handler on every edit box and push button the form
// owns, replacing any handler installed before. Installing twice is harmless.
void InstallEnterEscape(QWidget* form);

// Moves the focus from a control to the next one in its form's tab order.
void FocusNextControl(QWidget* from);
