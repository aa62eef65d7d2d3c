// The record rules on their own: no window, no file.
#include "data/RecordRules.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

namespace {

using namespace vidra::rules;

QString refusalOf(const std::function<void()>& save)
{
    try {
        save();
    } catch (const vidra::Error& e) {
        return e.message();
    }
    return QStringLiteral("<saved>");
}

TEST(RecordRules, RequiredFieldsAreTestedOneAtATimeInTheEditorsOrder)
{
    const QString none;
    const auto required = [](const QString& t, const QString& v, const QString& a) {
        return refusalOf([&] { checkRequiredFields({t, v, a}); });
    };
    EXPECT_EQ(required(none, none, none), "Broj telefona mora imati neku vrednost!");
    EXPECT_EQ(required("", "Ana", "Trg 1"), "Broj telefona mora imati neku vrednost!");
    // Owner and address both empty: only the owner is named.
    EXPECT_EQ(required("011/1", none, ""), "Unesi ime i prezime pretplatnika!");
    EXPECT_EQ(required("011/1", "Ana", none), "Unesi adresu pretplatnika!");
    EXPECT_EQ(required("011/1", "Ana", "Trg 1"), "<saved>");
    // Blanks are characters: a text of blanks is not empty.
    EXPECT_EQ(required("   ", " ", "\t"), "<saved>");
}

TEST(RecordRules, BytesOfAFileAreJudgedAsTheEditorJudgesItsBoxes)
{
    // vidra-db hands the rules UTF-8 straight from the file it reads.
    const QUtf8StringView none;
    EXPECT_EQ(firstMissingField({none, u8"Ana", u8"Trg"}), Refusal::NoNumber);
    EXPECT_EQ(firstMissingField({QUtf8StringView(""), u8"Ana", u8"Trg"}), Refusal::NoNumber);
    EXPECT_EQ(firstMissingField({u8"011", QUtf8StringView(""), none}), Refusal::NoOwner);
    EXPECT_EQ(firstMissingField({u8"011", u8"Žika", none}), Refusal::NoAddress);
    EXPECT_EQ(firstMissingField({u8"  ", u8"Žika", u8"\r\n"}), std::nullopt);
}

TEST(RecordRules, TheDuplicateCountRunsOnlyForANewRowOrANewNumber)
{
    std::vector<QVariant> asked;
    int holders = 0;
    const NumberCount count = [&](const QVariant& number) -> qint64 {
        asked.push_back(number);
        return holders;
    };
    const auto save = [&](bool inserting, const QVariant& now, const QVariant& before) {
        return refusalOf([&] { checkUniqueNumber(inserting, now, before, count); });
    };

    // An edit of the address: the number is as read, nothing is counted.
    holders = 1;
    EXPECT_EQ(save(false, "011/1", "011/1"), "<saved>");
    EXPECT_TRUE(asked.empty());

    // A new row is counted even when its number equals the buffer's old one.
    EXPECT_EQ(save(true, "011/1", "011/1"), "Broj telefona: 011/1 vec postoji!");
    // Letter case makes a different number, so the count runs.
    EXPECT_EQ(save(false, "011/ab", "011/AB"), "Broj telefona: 011/ab vec postoji!");
    // A number that had no value before counts as changed.
    holders = 0;
    EXPECT_EQ(save(false, "011/2", QVariant()), "<saved>");
    EXPECT_EQ(asked, (std::vector<QVariant>{"011/1", "011/ab", "011/2"}));
}

TEST(RecordRules, AnEngineErrorDuringTheCountStopsTheSaveWithItsOwnWords)
{
    const NumberCount lost = [](const QVariant&) -> qint64 {
        throw vidra::Error(QStringLiteral("disk I/O error"));
    };
    EXPECT_EQ(refusalOf([&] { checkUniqueNumber(true, "011/1", QVariant(), lost); }),
              "disk I/O error");
}

TEST(RecordRules, TheDeleteQuestionNamesTheRowInThreeReadableLines)
{
    EXPECT_EQ(
        deleteQuestion("PERIĆ ANA", "011/333"),
        "Brisanje podataka za:\r\nVlasnik: \"PERIĆ ANA\"\r\nTel: 011/333. Da li ste sigurni?");
    EXPECT_EQ(deleteQuestion(QString(), "011/222"),
              "Brisanje podataka za:\r\nVlasnik: \"\"\r\nTel: 011/222. Da li ste sigurni?");

    // A megabyte-long name is cut with an ellipsis, never inside a
    // surrogate pair.
    QString name(253, u'M');
    name += QString::fromUcs4(U"𝐀𝐀𝐀");
    name += QString(1'000'000, u'N');
    const QString q = deleteQuestion(name, "011/1");
    const QString line = q.split(QStringLiteral("\r\n")).at(1);
    EXPECT_EQ(line, "Vlasnik: \"" + QString(253, u'M') + QChar(0x2026) + "\"");
}

} // namespace
