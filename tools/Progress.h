#pragma once
// A progress bar on the terminal for inputs that take a while.
#include <QElapsedTimer>

namespace vidradb {

// Drawn on standard error, and only when that is a terminal and the input
// is large; at most five times a second. Wiped again when it ends.
class Progress
{
public:
    explicit Progress(bool large);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(double fraction);

private:
    bool m_on;
    bool m_shown = false;
    QElapsedTimer m_timer;
    qint64 m_last = -1000;
};

} // namespace vidradb
