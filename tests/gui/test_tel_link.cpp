// The tel: link that a call request opens: what a handler that does not
// decode the link sees, and that nothing in a number escapes its place.
#include "platform/telephony/Telephony.h"

#include <QUrl>
#include <gtest/gtest.h>
#include <vector>

namespace {

using vidra::telephony::telLinkFor;

// The link as a handler that does not decode it gets it.
QString encoded(const QUrl& link)
{
    return QString::fromLatin1(link.toEncoded());
}

// Opens the call through the link, as the program does, and returns the
// links the opener was given.
std::vector<QUrl> linksOpenedFor(const QString& number)
{
    std::vector<QUrl> links;
    vidra::telephony::setLinkOpener([&links](const QUrl& link) {
        links.push_back(link);
        return true;
    });
    vidra::telephony::RequestMakeCall(number, QString(), QStringLiteral("Ana"), QString());
    vidra::telephony::setLinkOpener({});
    return links;
}

TEST(TelLink, GlobalNumbersSeparatorsAndStarStayLiteral)
{
    struct Case
    {
        QString number;
        QByteArray link;
    };
    const std::vector<Case> cases{
        {QStringLiteral("+381113334455"), "tel:+381113334455"},
        {QStringLiteral("+381-11-333.44.55"), "tel:+381-11-333.44.55"},
        {QStringLiteral("+381(11)3334455"), "tel:+381(11)3334455"},
        {QStringLiteral("*21*0113334455"), "tel:*21*0113334455"},
        {QStringLiteral("011/333-44-55"), "tel:011%2F333-44-55"},
        {QStringLiteral("+381 (11) 333 44 55"), "tel:+381%20(11)%20333%2044%2055"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(telLinkFor(c.number), QString::fromLatin1(c.link)) << c.number.toStdString();
        const std::vector<QUrl> links = linksOpenedFor(c.number);
        ASSERT_EQ(links.size(), 1u) << c.number.toStdString();
        // What a handler that takes the link as it is receives.
        EXPECT_EQ(encoded(links[0]), QString::fromLatin1(c.link)) << c.number.toStdString();
        EXPECT_EQ(links[0].toString(QUrl::FullyEncoded), QString::fromLatin1(c.link));
        EXPECT_EQ(links[0].scheme(), "tel");
        EXPECT_EQ(QUrl::fromPercentEncoding(links[0].path(QUrl::FullyEncoded).toLatin1()),
                  c.number);
    }
}

TEST(TelLink, WhatTheSyntaxDoesNotAllowIsEncoded)
{
    // "#" would start a fragment, ";" a parameter, "?" a query; "%" must not
    // turn what follows it into an escape.
    const QString number = QStringLiteral("+381 11#22;ext=3?x=4/5,6&7 %41\"8'9\\0`$!@:");
    const QString link = telLinkFor(number);
    EXPECT_EQ(link, "tel:+381%2011%2322%3Bext%3D3%3Fx%3D4%2F5%2C6%267%20%2541%228%279%5C0%60%24%21"
                    "%40%3A");
    const std::vector<QUrl> links = linksOpenedFor(number);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(encoded(links[0]), link);
    EXPECT_TRUE(links[0].fragment().isEmpty());
    EXPECT_TRUE(links[0].query().isEmpty());
    for (QChar c : QStringLiteral(" #;?=/,&\"'\\`$!@:"))
        EXPECT_FALSE(encoded(links[0]).mid(4).contains(c)) << QString(c).toStdString();
    EXPECT_EQ(QUrl::fromPercentEncoding(links[0].path(QUrl::FullyEncoded).toLatin1()), number);
}

TEST(TelLink, LettersStayReadableAndOtherCharactersAreEncodedAsUtf8)
{
    // Letters of the basic Latin alphabet cannot end the path; a handler gets
    // them as they are, and so does QUrl, which never keeps them encoded.
    EXPECT_EQ(telLinkFor(QStringLiteral("0800-VIDRA")), "tel:0800-VIDRA");
    EXPECT_EQ(encoded(linksOpenedFor(QStringLiteral("0800-VIDRA")).at(0)), "tel:0800-VIDRA");

    const QString number = QStringLiteral("Čačak 032 žŠ\u00a0😀");
    const QString link = telLinkFor(number);
    EXPECT_EQ(link, "tel:%C4%8Ca%C4%8Dak%20032%20%C5%BE%C5%A0%C2%A0%F0%9F%98%80");
    const std::vector<QUrl> links = linksOpenedFor(number);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(encoded(links[0]), link);
    EXPECT_EQ(QUrl::fromPercentEncoding(links[0].path(QUrl::FullyEncoded).toLatin1()), number);
}

} // namespace
