#pragma once
// What a screen reader sees of a StatusBar: the bar, and in it each panel as a
// text of its own whose name is the panel's text.
namespace vidra::ui {

class StatusBar;

// Registers the interfaces once per process; StatusBar calls it.
void installStatusBarAccessibility();
// Tells a listening screen reader that a panel's text has changed.
void announcePanelText(StatusBar* bar, int index);

} // namespace vidra::ui
