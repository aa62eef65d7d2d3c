#include "platform/telephony/Telephony.h"

#include <QDesktopServices>
#include <QUrl>

namespace vidra::telephony {

namespace {

RequestHook& requestHook()
{
    static RequestHook hook;
    return hook;
}

LinkOpener& linkOpener()
{
    static LinkOpener opener;
    return opener;
}

} // namespace

QString RequestText(const QString& text)
{
    if (text.size() <= kMaxRequestText) return text;
    qsizetype n = kMaxRequestText;
    // Half a character would reach the handler as garbage.
    if (text.at(n - 1).isHighSurrogate()) --n;
    return text.left(n);
}

QString telLinkFor(const QString& number)
{
    // Besides the unreserved characters, the tel: syntax takes "+" (a global
    // number), "(" and ")" (visual separators) and "*" as they are. "#" would
    // start a fragment and ";" a parameter, so they are encoded with the rest.
    return QStringLiteral("tel:") +
           QString::fromLatin1(QUrl::toPercentEncoding(number, QByteArrayLiteral("+()*")));
}

bool RequestMakeCall(const QString& destination, const QString& appName, const QString& calledParty,
                     const QString& comment)
{
    const QString dest = RequestText(destination);
    if (const RequestHook& hook = requestHook())
        return hook(dest, RequestText(appName), RequestText(calledParty), RequestText(comment));
    // The application name, called party and comment have no place in a
    // "tel:" link; the desktop's call handler learns only the number.
    if (dest.isEmpty()) return false;
    const QUrl link = QUrl::fromEncoded(telLinkFor(dest).toLatin1(), QUrl::StrictMode);
    if (!link.isValid()) return false;
    if (const LinkOpener& open = linkOpener()) return open(link);
    return QDesktopServices::openUrl(link);
}

RequestHook setRequestHook(RequestHook hook)
{
    RequestHook previous = std::move(requestHook());
    requestHook() = std::move(hook);
    return previous;
}

LinkOpener setLinkOpener(LinkOpener opener)
{
    LinkOpener previous = std::move(linkOpener());
    linkOpener() = std::move(opener);
    return previous;
}

} // namespace vidra::telephony
