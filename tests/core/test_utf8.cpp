// UTF-8 validation and UTF-16 lengths: imported values are measured against
// the declared column sizes in UTF-16 units, and malformed bytes refused.
#include "platform/Utf8.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <gtest/gtest.h>
#include <optional>
#include <string>

using vidra::utf8::utf16Length;

namespace {

std::optional<size_t> lengthOf(const std::string& bytes)
{
    return utf16Length(bytes.data(), bytes.size());
}

// UTF-16 units of the text as Qt decodes it, a leading U+FEFF kept.
size_t qtUnits(const std::string& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return size_t(QString(decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())))).size());
}

TEST(Utf16Length, CountsUnitsOfWellFormedText)
{
    EXPECT_EQ(lengthOf(""), 0u);
    EXPECT_EQ(lengthOf("Telefon 011"), 11u);
    EXPECT_EQ(lengthOf(std::string("a\0b", 3)), 3u); // NUL is a character too
    EXPECT_EQ(lengthOf("\xC4\x8D"), 1u);             // č, two bytes
    EXPECT_EQ(lengthOf("\xE2\x82\xAC"), 1u);         // €, three bytes
    EXPECT_EQ(lengthOf("\xF0\x9F\x98\x80"), 2u);     // U+1F600: a surrogate pair
    EXPECT_EQ(lengthOf("\xC5\xBDivkovi\xC4\x87 \xF0\x9F\x93\x9E 1\xE2\x82\xAC"), 14u);
    // The edges of each length.
    EXPECT_EQ(lengthOf("\x7F"), 1u);
    EXPECT_EQ(lengthOf("\xC2\x80"), 1u);
    EXPECT_EQ(lengthOf("\xDF\xBF"), 1u);
    EXPECT_EQ(lengthOf("\xE0\xA0\x80"), 1u);
    EXPECT_EQ(lengthOf("\xED\x9F\xBF"), 1u); // U+D7FF, just below the surrogates
    EXPECT_EQ(lengthOf("\xEE\x80\x80"), 1u); // U+E000, just above them
    EXPECT_EQ(lengthOf("\xEF\xBF\xBF"), 1u);
    EXPECT_EQ(lengthOf("\xEF\xBF\xBD"), 1u); // U+FFFD itself is text
    EXPECT_EQ(lengthOf("\xF0\x90\x80\x80"), 2u);
    EXPECT_EQ(lengthOf("\xF4\x8F\xBF\xBF"), 2u); // U+10FFFF
}

TEST(Utf16Length, RefusesMalformedBytesWhereverTheyStand)
{
    const std::string bad[] = {
        "\x80",
        "\xBF",
        "\xC4",
        "\xE2\x82",
        "\xF0\x9F\x98", // stray or cut
        "\xC4\x41",
        "\xE2\x41\xAC",
        "\xF0\x9F\x41\x80",
        "\xE2\x82\xC4\x8D", // not continued
        "\xC0\x80",
        "\xC1\xBF",
        "\xE0\x80\x80",
        "\xE0\x9F\xBF",
        "\xF0\x80\x80\x80",
        "\xF0\x8F\xBF\xBF", // overlong
        "\xED\xA0\x80",
        "\xED\xAF\xBF",
        "\xED\xB0\x80",
        "\xED\xBF\xBF", // surrogates
        "\xF4\x90\x80\x80",
        "\xF5\x80\x80\x80",
        "\xF7\xBF\xBF\xBF", // past U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "\xFC\x84\x80\x80\x80\x80",
        "\xFE",
        "\xFF",
    };
    for (const std::string& b : bad) {
        EXPECT_EQ(lengthOf(b), std::nullopt) << QByteArray::fromStdString(b).toHex().constData();
        EXPECT_EQ(lengthOf("ab" + b), std::nullopt) << "after text";
        EXPECT_EQ(lengthOf(b + "ab"), std::nullopt) << "before text";
        EXPECT_EQ(lengthOf("\xC4\x8D" + b + "\xC4\x8D"), std::nullopt) << "between characters";
    }
}

TEST(Utf16Length, EveryCodePointEncodedCountsAsQtCountsIt)
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        std::string bytes;
        vidra::utf8::append(bytes, c);
        const std::optional<size_t> n = lengthOf(bytes);
        if (c >= 0xD800 && c <= 0xDFFF) {
            ASSERT_EQ(n, std::nullopt) << std::hex << unsigned(c);
        } else {
            ASSERT_EQ(n, c >= 0x10000 ? 2u : 1u) << std::hex << unsigned(c);
            ASSERT_EQ(*n, qtUnits(bytes));
        }
    }
}

// Well-formed exactly when Qt says so, and then as long as Qt's text;
// malformed exactly when the decoder gives a replacement it did not read.
void expectAgreement(const std::string& s)
{
    const std::optional<size_t> n = lengthOf(s);
    const QByteArray hex = QByteArray::fromStdString(s).toHex(' ');
    ASSERT_EQ(n.has_value(), QByteArrayView(s.data(), qsizetype(s.size())).isValidUtf8())
        << hex.constData();
    bool replaced = false;
    size_t units = 0;
    for (const char *p = s.data(), *end = p + s.size(); p < end;) {
        const char* start = p;
        const char32_t cp = vidra::utf8::decode(p, end);
        replaced |= cp == 0xFFFD && p - start == 1;
        units += cp >= 0x10000 ? 2 : 1;
    }
    ASSERT_EQ(n.has_value(), !replaced) << hex.constData();
    if (!n) return;
    ASSERT_EQ(*n, units) << hex.constData();
    ASSERT_EQ(*n, qtUnits(s)) << hex.constData();
}

TEST(Utf16Length, AgreesWithQtAndTheDecoder)
{
    // Every byte alone and every pair.
    for (int a = 0; a < 256; ++a) {
        ASSERT_NO_FATAL_FAILURE(expectAgreement(std::string(1, char(a))));
        for (int b = 0; b < 256; ++b)
            ASSERT_NO_FATAL_FAILURE(expectAgreement({char(a), char(b)}));
    }
    // Every lead of a longer sequence with a continuation byte, then any byte.
    for (int a = 0xE0; a <= 0xFF; ++a)
        for (int b = 0x80; b <= 0xBF; ++b)
            for (int c = 0; c < 256; ++c)
                ASSERT_NO_FATAL_FAILURE(expectAgreement({char(a), char(b), char(c)}));
}

} // namespace
