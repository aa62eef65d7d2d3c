#pragma once
// Opening a link (a mailto: link above all) with the desktop's own handler
// for it. A test hook records the links instead of opening them.
#include <QString>
#include <QUrl>
#include <vector>

namespace vidra::shell {

// The link as the desktop receives it: the text as composed, with only what
// a URL cannot carry as it is (blanks, letters outside ASCII) percent-encoded.
QUrl linkUrl(const QString& link);

// Asks the desktop to "open" the link: a mailto: link starts a new message in
// the user's mail program. No command line is built or run. The outcome is
// not reported; a text that is no link at all is left alone.
void openLink(const QString& link);

// While an instance lives, openLink records the link and opens nothing.
// Instances nest: the newest one records.
class LinkHook
{
public:
    LinkHook();
    ~LinkHook();
    LinkHook(const LinkHook&) = delete;
    LinkHook& operator=(const LinkHook&) = delete;

    const std::vector<QString>& links() const { return m_links; }

private:
    friend void openLink(const QString&);
    LinkHook* m_previous;
    std::vector<QString> m_links;
};

} // namespace vidra::shell
