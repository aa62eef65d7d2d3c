#pragma once
// The busy (hourglass) mouse cursor for the whole application.
#include <cstdint>

namespace vidra::ui {

// Shows the busy cursor while it lives and then restores the cursor that was
// there before, also when an exception passes. Guards nest.
class BusyCursor
{
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    std::uint64_t m_generation;
};

// Puts the normal cursor back at once, whatever guards are still alive;
// those guards then leave the cursor alone when they end.
void setNormalCursor();

// Whether the busy cursor is showing now.
bool isBusyCursorShown();

// Used around every modal dialog and message box: the normal cursor shows
// while it is open; afterwards the cursor returns to what it was, unless the
// cursor was changed meanwhile, in which case it becomes normal.
class ModalCursorScope
{
public:
    ModalCursorScope();
    ~ModalCursorScope();
    ModalCursorScope(const ModalCursorScope&) = delete;
    ModalCursorScope& operator=(const ModalCursorScope&) = delete;

private:
    std::uint64_t m_changes;
    bool m_pushed = false;
};

} // namespace vidra::ui
