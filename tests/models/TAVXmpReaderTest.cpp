#include "models/TAVXmpReader.h"

#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

namespace {

class TAVXmpReaderTest : public TempFolderTest { };

TEST_F(TAVXmpReaderTest, LanguageAlternativesAndArraysReadAsPlainText)
{
    const QString path = tempPath(QStringLiteral("xmp.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImage(path));
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::XmpData& xmp = image->xmpData();
        Exiv2::LangAltValue title;
        title.read("lang=\"de-DE\" Sonnenuntergang");
        title.read("lang=\"x-default\" Sunset");
        xmp.add(Exiv2::XmpKey("Xmp.dc.title"), &title);
        Exiv2::XmpArrayValue subject(Exiv2::xmpBag);
        subject.read("sea");
        subject.read("sun");
        xmp.add(Exiv2::XmpKey("Xmp.dc.subject"), &subject);
        xmp["Xmp.xmp.Rating"] = "4";
        xmp["Xmp.xmp.Label"] = "";
        image->writeMetadata();
    }

    TAVXmpReader reader(path);
    const auto rows = reader.doReadImageMeatadata();
    ASSERT_TRUE(rows);
    ASSERT_FALSE(rows->isEmpty());
    EXPECT_EQ(rows->first()->key(), QStringLiteral("XMP"));
    QMap<QString, TAVEntityPtr> byKey;
    for (const TAVEntityPtr& row : *rows) {
        byKey.insert(row->key(), row);
    }
    ASSERT_TRUE(byKey.contains(QStringLiteral("Xmp.dc.title")));
    EXPECT_EQ(byKey[QStringLiteral("Xmp.dc.title")]->value(), QStringLiteral("Sunset"));
    EXPECT_EQ(byKey[QStringLiteral("Xmp.dc.title")]->type(), 3);
    EXPECT_EQ(byKey[QStringLiteral("Xmp.dc.title")]->dataType(), int32_t(Exiv2::langAlt));
    ASSERT_TRUE(byKey.contains(QStringLiteral("Xmp.dc.subject")));
    EXPECT_EQ(byKey[QStringLiteral("Xmp.dc.subject")]->value(), QStringLiteral("sea, sun"));
    ASSERT_TRUE(byKey.contains(QStringLiteral("Xmp.xmp.Rating")));
    EXPECT_EQ(byKey[QStringLiteral("Xmp.xmp.Rating")]->value(), QStringLiteral("4"));
    EXPECT_FALSE(byKey.contains(QStringLiteral("Xmp.xmp.Label")));
}

} // namespace
