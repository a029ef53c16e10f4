#include "models/read/MakerNoteIdentifier.h"

#include "support/ImageFixtures.h"
#include "support/TempFolder.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

namespace {

class MakerNoteIdentifierTest : public TempFolderTest {
protected:
    // Writes Make plus one maker tag, lets the library build a real maker note,
    // and reads the file back as the engine would.
    int32_t identifierOfFileWith(const QString& make, const QString& makerKey, const QString& value)
    {
        const QString path = tempPath("maker.jpg");
        QFile::remove(path);
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(
            path, {{"Exif.Image.Make", make, std::nullopt}, {makerKey, value, std::nullopt}}));
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        return MakerNoteIdentifier::fromExifData(image->exifData());
    }
};

TEST_F(MakerNoteIdentifierTest, NamesTheMakerOfRealMakerNotes)
{
    EXPECT_EQ(identifierOfFileWith("Canon", "Exif.CanonCs.Macro", "1"), MakerNoteIdentifier::CanonCs);
    EXPECT_EQ(identifierOfFileWith("Canon", "Exif.Canon.OwnerName", "me"), MakerNoteIdentifier::Canon);
    EXPECT_EQ(identifierOfFileWith("FUJIFILM", "Exif.Fujifilm.Quality", "NORMAL"), MakerNoteIdentifier::Fujifilm);
    EXPECT_EQ(identifierOfFileWith("NIKON", "Exif.Nikon1.Quality", "FINE"), MakerNoteIdentifier::Nikon1);
    EXPECT_EQ(identifierOfFileWith("NIKON CORPORATION", "Exif.Nikon3.Quality", "FINE"), MakerNoteIdentifier::Nikon3);
    EXPECT_EQ(identifierOfFileWith("SIGMA", "Exif.Sigma.SerialNumber", "1234"), MakerNoteIdentifier::Sigma);
}

TEST_F(MakerNoteIdentifierTest, OtherMakersAndPlainFilesMatchNoNumber)
{
    const int32_t olympus = identifierOfFileWith("OLYMPUS", "Exif.Olympus.Quality", "2");
    EXPECT_EQ(olympus, MakerNoteIdentifier::Other);
    EXPECT_FALSE(MakerNoteIdentifier::isCanon(olympus));

    EXPECT_EQ(identifierOfFileWith("Acme", "Exif.Image.Artist", "me"), MakerNoteIdentifier::None);
    EXPECT_EQ(MakerNoteIdentifier::fromExifData(Exiv2::ExifData()), MakerNoteIdentifier::None);
}

} // namespace
