#pragma once
// The assisted-telephony request: the program hands a number and a name to
// whatever call handler the desktop has registered, and does not follow the
// call. Here the request opens a "tel:" link through the desktop services.
#include <QString>
#include <functional>

class QUrl;

namespace vidra::telephony {

// Each text of a request holds at most this many characters.
inline constexpr int kMaxRequestText = 255;

// The text cut at kMaxRequestText characters (never inside a surrogate pair).
QString RequestText(const QString& text);

// "tel:" and the number. What a telephone number is written with stays as
// it is ("+" of an international number, digits, letters, the separators
// "-", ".", "(" and ")", and "*"), since a handler need not decode the link;
// everything else is percent-encoded (UTF-8): blanks, "/", "#", ";", "?",
// "%" and the like, so nothing in the number can end the path or add a
// parameter. Decoded, the link gives the number unchanged.
QString telLinkFor(const QString& number);

// Hands the call to the desktop and returns at once. True when a handler
// took the link; false when the destination is empty or no handler took it.
// Each text is cut at kMaxRequestText characters first.
bool RequestMakeCall(const QString& destination, const QString& appName, const QString& calledParty,
                     const QString& comment);

// While set, RequestMakeCall gives its four (cut) texts to the hook instead
// of opening a link, and returns what the hook returns. Returns the hook set
// before. Meant for tests.
using RequestHook = std::function<bool(const QString& destination, const QString& appName,
                                       const QString& calledParty, const QString& comment)>;
RequestHook setRequestHook(RequestHook hook);

// What opens the link; empty means the desktop services. Returns the opener
// set before. Meant for tests, which must not start a real call handler.
using LinkOpener = std::function<bool(const QUrl& link)>;
LinkOpener setLinkOpener(LinkOpener opener);

} // namespace vidra::telephony
