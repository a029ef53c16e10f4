#include "models/read/TAVXmpReader.h"

#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

#include <algorithm>

namespace {

class TAVXmpReaderTest : public TempFolderTest { };

TEST_F(TAVXmpReaderTest, LanguageAlternativesAndArraysReadAsPlainText)
{
    const QString path = tempPath("xmp.jpg");
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

    const auto rows = TAVXmpReader(path).doReadImageMeatadata();
    ASSERT_TRUE(rows);
    // Each row as "key = value", in the order of the keys after the group row.
    QStringList read;
    TAVEntityPtr title;
    for (const TAVEntityPtr& row : *rows) {
        read << row->key() + " = " + row->value();
        title = row->key() == "Xmp.dc.title" ? row : title;
    }
    std::sort(read.begin() + 1, read.end());
    EXPECT_EQ(
        read, (QStringList{"XMP = ", "Xmp.dc.subject = sea, sun", "Xmp.dc.title = Sunset", "Xmp.xmp.Rating = 4"}));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->type(), 3);
    EXPECT_EQ(title->dataType(), int32_t(Exiv2::langAlt));
}

} // namespace
