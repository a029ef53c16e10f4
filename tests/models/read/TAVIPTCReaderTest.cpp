#include "models/read/TAVIPTCReader.h"

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

class TAVIPTCReaderTest : public TempFolderTest {
protected:
    QString fileWithKeywords(const QStringList& keywords)
    {
        const QString path = tempPath("keywords.jpg");
        std::vector<ImageFixtures::Tag> tags = {{"Iptc.Application2.ObjectName", "Harbour", {}}};
        for (const QString& keyword : keywords) {
            tags.push_back({"Iptc.Application2.Keywords", keyword, {}});
        }
        tags.push_back({"Iptc.Application2.Caption", "Evening", {}});
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, tags));
        return path;
    }
};

TEST_F(TAVIPTCReaderTest, RepeatedKeywordsMakeOneRowInPlaceOfTheFirst)
{
    const QString path = fileWithKeywords({"sea", "sun", "sand"});
    // The file really holds three datasets; joining them is the reader's work.
    EXPECT_EQ(ExifTool::read(path).value("IPTC:Keywords").toArray().size(), 3);

    TAVIPTCReader reader(path);
    const auto rows = reader.doReadImageMeatadata();
    ASSERT_TRUE(rows);
    EXPECT_EQ(keysOf(*rows),
        (QStringList{
            "IPTC", "Iptc.Application2.ObjectName", "Iptc.Application2.Keywords", "Iptc.Application2.Caption"}));
    const TAVEntityPtr keywords = rows->at(2);
    EXPECT_EQ(keywords->value(), "sea, sun, sand");
    EXPECT_EQ(keywords->type(), 2);
    EXPECT_EQ(keywords->dispKey(), "Keywords - Application2 (Iptc)");

    // A second read joins the file's datasets afresh instead of appending them again.
    ASSERT_TRUE(ImageFixtures::writeKeywords(path, {"dune"}));
    EXPECT_EQ(reader.doReadImageMeatadata()->at(2)->value(), "sea, sun, sand, dune");
}

} // namespace
