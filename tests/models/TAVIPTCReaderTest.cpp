#include "models/TAVIPTCReader.h"

#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QJsonArray>
#include <QStringList>

namespace {

QStringList keysOf(const QList<TAVEntityPtr>& rows)
{
    QStringList keys;
    for (const TAVEntityPtr& row : rows) {
        keys << row->key();
    }
    return keys;
}

class TAVIPTCReaderTest : public TempFolderTest { };

TEST_F(TAVIPTCReaderTest, RepeatedKeywordsMakeOneRowInPlaceOfTheFirst)
{
    const QString path = tempPath(QStringLiteral("keywords.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(path,
        {{QStringLiteral("Iptc.Application2.ObjectName"), QStringLiteral("Harbour"), {}},
            {QStringLiteral("Iptc.Application2.Keywords"), QStringLiteral("sea"), {}},
            {QStringLiteral("Iptc.Application2.Keywords"), QStringLiteral("sun"), {}},
            {QStringLiteral("Iptc.Application2.Keywords"), QStringLiteral("sand"), {}},
            {QStringLiteral("Iptc.Application2.Caption"), QStringLiteral("Evening"), {}}}));
    if (ExifTool::available()) {
        // The file really holds three datasets; joining them is the reader's work.
        EXPECT_EQ(ExifTool::read(path).value(QStringLiteral("IPTC:Keywords")).toArray().size(), 3);
    }

    TAVIPTCReader reader(path);
    const auto rows = reader.doReadImageMeatadata();
    ASSERT_TRUE(rows);
    const QStringList keys = keysOf(*rows);
    EXPECT_EQ(keys.count(QStringLiteral("Iptc.Application2.Keywords")), 1);
    EXPECT_EQ(keys.first(), QStringLiteral("IPTC"));
    EXPECT_LT(keys.indexOf(QStringLiteral("Iptc.Application2.ObjectName")),
        keys.indexOf(QStringLiteral("Iptc.Application2.Keywords")));
    EXPECT_LT(keys.indexOf(QStringLiteral("Iptc.Application2.Keywords")),
        keys.indexOf(QStringLiteral("Iptc.Application2.Caption")));

    const TAVEntityPtr keywords = rows->at(keys.indexOf(QStringLiteral("Iptc.Application2.Keywords")));
    EXPECT_EQ(keywords->value(), QStringLiteral("sea, sun, sand"));
    EXPECT_EQ(keywords->type(), 2);
    EXPECT_EQ(keywords->dispKey(), QStringLiteral("Keywords - Application2 (Iptc)"));
}

TEST_F(TAVIPTCReaderTest, EachReadSeesTheFileAsItIsNow)
{
    const QString path = tempPath(QStringLiteral("changing.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(
        path, {{QStringLiteral("Iptc.Application2.Keywords"), QStringLiteral("sea"), {}}}));
    TAVIPTCReader reader(path);
    ASSERT_EQ(reader.doReadImageMeatadata()->size(), 2);

    ASSERT_TRUE(ImageFixtures::writeKeywords(path, {QStringLiteral("sun")}));
    const auto rows = reader.doReadImageMeatadata();
    ASSERT_EQ(rows->size(), 2); // joined again from scratch, not appended twice
    EXPECT_EQ(rows->at(1)->value(), QStringLiteral("sea, sun"));
}

} // namespace
