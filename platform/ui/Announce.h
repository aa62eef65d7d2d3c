#pragma once
// Tells a screen reader what changed on screen. Qt delivers such events only
// while a reader listens on the desktop's bus, so building them is skipped
// otherwise; while a hook lives, the events go to it instead, so that tests
// can hear what a reader would.
#include <QAccessible>
#include <QString>
#include <vector>

namespace vidra::ui {

// Whether an event would be heard: a reader listens or a hook records.
bool announcing();
// Sends the event to the hook, or to the bus while a reader listens.
void announce(QAccessibleEvent& event);

class AnnounceHook
{
public:
    struct Heard
    {
        QAccessible::Event type;
        QAccessible::Role role; // of what the event is about
        QString name;           // its name when the event was sent
        int row;                // the table row of a cell, or -1
        int column;             // its column, or -1
    };

    AnnounceHook();
    ~AnnounceHook();
    AnnounceHook(const AnnounceHook&) = delete;
    AnnounceHook& operator=(const AnnounceHook&) = delete;

    const std::vector<Heard>& heard() const { return m_heard; }
    void clear() { m_heard.clear(); }

private:
    friend void announce(QAccessibleEvent&);
    AnnounceHook* m_previous;
    std::vector<Heard> m_heard;
};

} // namespace vidra::ui
