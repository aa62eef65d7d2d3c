#include "platform/shell/Shell.h"

#include <QDesktopServices>

namespace vidra::shell {

namespace {
LinkHook* g_hook = nullptr;
}

QUrl linkUrl(const QString& link)
{
    return QUrl(link, QUrl::TolerantMode);
}

void openLink(const QString& link)
{
    if (g_hook) {
        g_hook->m_links.push_back(link);
        return;
    }
    const QUrl url = linkUrl(link);
    if (!url.isValid() || url.scheme().isEmpty()) return;
    // The desktop's handler for the scheme, started without a shell.
    QDesktopServices::openUrl(url);
}

LinkHook::LinkHook() : m_previous(g_hook)
{
    g_hook = this;
}

LinkHook::~LinkHook()
{
    g_hook = m_previous;
}

} // namespace vidra::shell
