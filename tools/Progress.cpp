#include "tools/Progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace vidradb {

Progress::Progress(bool large) : m_on(large && ::isatty(STDERR_FILENO))
{
    m_timer.start();
}

Progress::~Progress()
{
    if (m_shown) std::fputs("\r\033[K", stderr);
}

void Progress::update(double fraction)
{
    if (!m_on || m_timer.elapsed() - m_last < 200) return;
    m_last = m_timer.elapsed();
    const int pct = int(std::clamp(fraction, 0.0, 1.0) * 100);
    char bar[41];
    for (int i = 0; i < 40; ++i)
        bar[i] = i < pct * 40 / 100 ? '#' : '.';
    bar[40] = 0;
    std::fprintf(stderr, "\r[%s] %3d%%", bar, pct);
    std::fflush(stderr);
    m_shown = true;
}

} // namespace vidradb
