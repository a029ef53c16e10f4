// Saves of a camera PNG given text chunks by the test: PNG keywords are free
// text, and a save keeps every chunk but the EXIF, IPTC and XMP it writes,
// byte for byte and in its place, whatever its keyword; an IPTC block held
// among Photoshop resources is never doubled. exiftool reads back the saves.

#include "models/write/DamagedSamples.h"
#include "models/write/PngChunkMaker.h"

#include <QCryptographicHash>

using namespace DamagedSamples;
using namespace PngChunkMaker;

namespace {

QByteArray titlePacket(const QByteArray& title)
{
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
           "rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
           "xml:lang='x-default'>"
        + title + "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

// Every keyword that begins like one the metadata library reads or writes,
// or with which one of those begins, as a file may hold them: each
// beginning of the library's own, and longer ones.
QByteArrayList lookalikeKeywords()
{
    QByteArrayList keywords;
    for (const QByteArray own : {"Raw profile type exif", "Raw profile type APP1", "Raw profile type iptc",
             "Raw profile type xmp", "XML:com.adobe.xmp", "Description"}) {
        for (qsizetype length = 1; length < own.size(); ++length) {
            if (!keywords.contains(own.first(length)))
                keywords << own.first(length);
        }
    }
    return keywords
        + QByteArrayList{"Description", "XML:com.adobe.xmp.bak", "Raw profile type exif2", "Raw profile type APP12",
            "Raw profile type iptc ", "Raw profile type xmpp", "Descriptions", "Description of scene",
            "Raw profile type 8bim", "icc", "ICC Profile"};
}

// Each of `added` is among `saved` byte for byte, in their order.
void expectKeptInOrder(const QByteArrayList& saved, const QByteArrayList& added)
{
    qsizetype after = 0;
    for (const QByteArray& chunk : added) {
        const qsizetype at = saved.indexOf(chunk, after);
        EXPECT_GT(at, 0) << chunk.mid(4, 40).toStdString();
        after = std::max(after, at + 1);
    }
}

} // namespace

class PngChunkSavesTest : public DamagedFilesSaveTest { };

// Every look-alike keyword in tEXt, zTXt and iTXt, together in one file: an
// EXIF and an IPTC edit write those, and the 195 chunks come back byte for
// byte and in their order, none renamed, as exiftool reads them.
TEST_F(PngChunkSavesTest, TextChunksWhoseKeywordsBeginLikeTheLibrarysOwnAreKept)
{
    QByteArrayList added;
    for (const QByteArray type : {"tEXt", "zTXt", "iTXt"}) {
        for (const QByteArray& keyword : lookalikeKeywords())
            added << textChunk(type, keyword, "kept text of " + keyword);
    }
    const QString user
        = damagedSample("png-nikon-d3.png", [&](QByteArray& bytes) { insertBeforeEnd(bytes, added.join()); });
    const QJsonObject textsBefore = tagsOf(user, "PNG:");
    ASSERT_GE(textsBefore.size(), 60);
    const QStringList warningsBefore = ExifTool::warnings(user);

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    edit(image, "Iptc.Application2.ObjectName", "Harbour");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());

    const QByteArrayList saved = chunksOf(WrittenFileProbe::bytes(user));
    expectKeptInOrder(saved, added);
    EXPECT_EQ(std::count_if(saved.begin(), saved.end(),
                  [](const QByteArray& chunk) { return chunk.mid(8).startsWith(QByteArray("Description\0", 12)); }),
        3);
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(tagsOf(user, "PNG:"), textsBefore);
    EXPECT_EQ(ExifTool::warnings(user), warningsBefore);
}

// A backup of an older packet ("XML:com.adobe.xmp.bak") before the file's
// XMP is no XMP of the file's, as exiftool reads it: an EXIF edit keeps the
// file's own title, and the backup byte for byte.
TEST_F(PngChunkSavesTest, TheXmpIsReadFromItsOwnChunkOnly)
{
    const QByteArray backup = textChunk("iTXt", "XML:com.adobe.xmp.bak", titlePacket("Old title"));
    const QString user = damagedSample("png-sony-gps.png", [&](QByteArray& bytes) {
        insertBeforeEnd(bytes, backup + textChunk("iTXt", "XML:com.adobe.xmp", titlePacket("Harbour at dawn")));
    });
    ASSERT_EQ(ExifTool::read(user).value("XMP-dc:Title").toString(), QString("Harbour at dawn"));

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), QString("Harbour at dawn"));
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_TRUE(chunksOf(WrittenFileProbe::bytes(user)).contains(backup));
}

// An XMP chunk whose keyword lost its end to one damaged byte
// ("XML:com.adobe.xmp" runs on into the compression flag) is another text
// to the library: an EXIF edit keeps it byte for byte, and the file's other
// chunks with it.
TEST_F(PngChunkSavesTest, AnXmpChunkWithADamagedKeywordIsKept)
{
    const QByteArray packet = titlePacket("Harbour at dawn");
    QByteArray xmp = textChunk("iTXt", "XML:com.adobe.xmp", packet);
    xmp[8 + 17] = 'X';
    xmp.chop(4);
    xmp = chunk("iTXt", xmp.mid(8));
    const QString user = damagedSample("png-sony-gps.png", [&](QByteArray& bytes) { insertBeforeEnd(bytes, xmp); });
    const QByteArrayList before = chunksOf(WrittenFileProbe::bytes(user));

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    QByteArrayList saved = chunksOf(WrittenFileProbe::bytes(user));
    EXPECT_TRUE(saved.contains(xmp));
    // Only the EXIF chunk moved (before the picture) and changed.
    const auto isExif = [](const QByteArray& chunk) { return chunk.mid(4, 4) == "eXIf"; };
    QByteArrayList kept = before;
    kept.removeIf(isExif);
    saved.removeIf(isExif);
    EXPECT_EQ(saved, kept);
    EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
}

// IPTC held among a PNG's Photoshop resources alone, which exiftool reads
// and the library does not: an IPTC edit is refused with the reason and the
// file keeps every byte; an EXIF edit saves, and the file still holds the one
// IPTC block. Resources without IPTC refuse nothing.
TEST_F(PngChunkSavesTest, IptcHeldAmongPhotoshopResourcesIsNeverDoubled)
{
    const QByteArray iptc = dataset(5, "BUSH") + dataset(80, "Eric Draper") + dataset(120, "The president speaks");
    const QByteArray resolution = resource(0x03ED, QByteArray::fromHex("00480000000100010048000000010001"));
    const QString user = damagedSample("png-nikon-d3.png",
        [&](QByteArray& bytes) { insertBeforeEnd(bytes, photoshopChunk(resolution + resource(0x0404, iptc))); });
    const QJsonObject iptcBefore = tagsOf(user, "IPTC:");
    ASSERT_EQ(iptcBefore.value("IPTC:ObjectName").toString(), QString("BUSH"));
    const QByteArray before = WrittenFileProbe::bytes(user);

    const char* const why = "IPTC is held among its Photoshop resources";
    auto image = openWorkingCopy(user);
    edit(image, "Iptc.Application2.ObjectName", "T");
    expectRefused(image, before, why);

    ASSERT_TRUE(QFile::remove(tempPath("work/png-nikon-d3.png")));
    image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(tagsOf(user, "IPTC:"), iptcBefore);
    EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));

    const QString plain = damagedSample(
        "png-sony-gps.png", [&](QByteArray& bytes) { insertBeforeEnd(bytes, photoshopChunk(resolution)); });
    const auto other = openWorkingCopy(plain);
    edit(other, "Iptc.Application2.ObjectName", "Harbour");
    ASSERT_TRUE(other->saveMetadataToImage()) << qPrintable(other->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(plain).value("IPTC:ObjectName").toString(), QString("Harbour"));
}

namespace {

QByteArray typeOf(const QByteArray& chunk)
{
    return chunk.mid(4, 4);
}

QByteArray keywordOf(const QByteArray& chunk)
{
    const QByteArray type = typeOf(chunk);
    return type == "tEXt" || type == "zTXt" || type == "iTXt" ? chunk.mid(8).split('\0').first() : QByteArray();
}

// The PNG tags exiftool reads in a file of `chunks`.
QJsonObject pngTagsOfChunks(const QString& path, const QByteArrayList& chunks)
{
    EXPECT_TRUE(FileServices::writeFileAtomically(path, QByteArray("\x89PNG\r\n\x1a\n", 8) + chunks.join()));
    return tagsOf(path, "PNG:");
}

} // namespace

// Clear All of a converter's PNG, which copies the EXIF tags, its dates and
// its colour profile's names into some 60 text chunks and keeps a
// modification time, given an XMP packet, a comment and plain text under
// the library's EXIF keyword by the test: the saved file holds the
// picture's chunks alone, byte for byte and in their order, and exiftool
// reads no more of it than of those chunks. Clear > EXIF takes the EXIF
// chunk and the "exif:" copies and keeps every other chunk byte for byte.
TEST_F(PngChunkSavesTest, ClearAllTakesEveryTextChunkAndClearExifTheExifCopies)
{
    const QByteArrayList added = {textChunk("iTXt", "XML:com.adobe.xmp", titlePacket("Harbour at dawn")),
        textChunk("zTXt", "Comment", "Taken from the pier"),
        textChunk("iTXt", "Raw profile type exif", "my notes about exif, not hex", true)};
    const QString user
        = damagedSample("png-sony-gps.png", [&](QByteArray& bytes) { insertBeforeEnd(bytes, added.join()); });
    const QByteArrayList before = chunksOf(WrittenFileProbe::bytes(user));
    ASSERT_EQ(before.size(), 68);

    auto image = openWorkingCopy(user);
    image->clear(TAVExifData::ClearExif);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const auto isXmp = [](const QByteArray& chunk) { return keywordOf(chunk) == "XML:com.adobe.xmp"; };
    QByteArrayList withoutExif = before;
    withoutExif.removeIf([&](const QByteArray& chunk) {
        return typeOf(chunk) == "eXIf" || keywordOf(chunk).startsWith("exif:")
            || keywordOf(chunk) == "Raw profile type exif" || isXmp(chunk);
    });
    ASSERT_EQ(before.size() - withoutExif.size(), 51);
    QByteArrayList saved = chunksOf(WrittenFileProbe::bytes(user));
    saved.removeIf(isXmp);
    EXPECT_EQ(saved, withoutExif);
    const QJsonObject pngTags = tagsOf(user, "PNG:");
    EXPECT_EQ(pngTags.value("PNG:Datecreate").toString(), QString("2023-01-26T08:38:40-00:00"));
    EXPECT_EQ(pngTags.value("PNG:ModifyDate").toString(), QString("2023:01:26 08:38:40"));
    EXPECT_FALSE(pngTags.contains("PNG:ExifArtist"));
    EXPECT_TRUE(tagsOf(user, "IFD0:").isEmpty());

    ASSERT_TRUE(QFile::remove(tempPath("work/png-sony-gps.png")));
    ASSERT_TRUE(FileServices::writeFileAtomically(user, QByteArray("\x89PNG\r\n\x1a\n", 8) + before.join()));
    image = openWorkingCopy(user);
    image->clear(TAVExifData::ClearAll);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    QByteArrayList picture = before;
    picture.removeIf([](const QByteArray& chunk) {
        return QByteArrayList{"tEXt", "zTXt", "iTXt", "eXIf", "tIME"}.contains(typeOf(chunk));
    });
    ASSERT_EQ(picture.size(), 8);
    EXPECT_EQ(chunksOf(WrittenFileProbe::bytes(user)), picture);
    const QJsonObject tags = ExifTool::read(user);
    for (auto tag = tags.begin(); tag != tags.end(); ++tag) {
        const QString group = tag.key().section(':', 0, 0);
        EXPECT_TRUE(QStringList({"SourceFile", "ExifTool", "System", "File", "Composite"}).contains(group)
            || group.startsWith("PNG") || group.startsWith("ICC"))
            << qPrintable(tag.key());
    }
    EXPECT_EQ(tagsOf(user, "PNG:"), pngTagsOfChunks(tempPath("picture.png"), picture));
}

// Clear > GPS of a converter's PNG, which copies the GPS tags into text
// chunks ("exif:GPSInfo", "exif:GPSMapDatum"; the test adds a position in
// tEXt, zTXt and iTXt): the saved file holds every chunk as it was but the
// EXIF chunk and those copies, and exiftool reads no GPS tag and no copy of
// one, the other EXIF copies staying. So too where the PNG holds the copies
// alone, without an EXIF chunk.
TEST_F(PngChunkSavesTest, ClearGpsTakesTheGpsCopiesAlone)
{
    const QByteArrayList position = {textChunk("tEXt", "exif:GPSLatitude", "40/1, 0/1, 1471/100"),
        textChunk("zTXt", "exif:GPSLongitude", "3/1, 42/1, 1234/100"),
        textChunk("iTXt", "exif:GPSAltitude", "650/10", true)};
    for (const bool withExif : {true, false}) {
        SCOPED_TRACE(withExif ? "with its EXIF chunk" : "without an EXIF chunk");
        const QString user = damagedSample("png-sony-gps.png", [&](QByteArray& bytes) {
            insertBeforeEnd(bytes, position.join());
            if (!withExif) {
                const qsizetype exif = bytes.indexOf("eXIf") - 4;
                bytes.remove(exif, 12 + qFromBigEndian<quint32>(bytes.constData() + exif));
            }
        });
        const QByteArrayList before = chunksOf(WrittenFileProbe::bytes(user));
        ASSERT_EQ(tagsOf(user, "GPS:").isEmpty(), !withExif);

        const auto image = openWorkingCopy(user);
        image->clear(TAVExifData::ClearGps);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        const auto isExif = [](const QByteArray& chunk) { return typeOf(chunk) == "eXIf"; };
        QByteArrayList withoutGps = before;
        withoutGps.removeIf([&](const QByteArray& chunk) { return keywordOf(chunk).startsWith("exif:GPS"); });
        ASSERT_EQ(before.size() - withoutGps.size(), 7);
        withoutGps.removeIf(isExif);
        QByteArrayList saved = chunksOf(WrittenFileProbe::bytes(user));
        EXPECT_EQ(saved.count() - saved.removeIf(isExif), withoutGps.size());
        EXPECT_EQ(saved, withoutGps);
        const QJsonObject tags = ExifTool::read(user);
        for (auto tag = tags.begin(); tag != tags.end(); ++tag)
            EXPECT_FALSE(tag.key().startsWith("GPS") || tag.key().startsWith("PNG:ExifGPS")) << qPrintable(tag.key());
        EXPECT_EQ(tags.value("PNG:ExifArtist").toString(), QString("Nick Kitzmiller"));
        EXPECT_EQ(tags.value("IFD0:Artist").toString(), withExif ? QString("Nick Kitzmiller") : QString());
        ASSERT_TRUE(QFile::remove(tempPath("work/png-sony-gps.png")));
        ASSERT_TRUE(QFile::remove(user));
    }
}

// Plain text under a keyword the library reads its EXIF, IPTC or XMP from,
// in tEXt, zTXt and iTXt, is the file's own: a title and an EXIF edit keep
// each chunk byte for byte and in its place, and exiftool reads the edits.
TEST_F(PngChunkSavesTest, PlainTextUnderTheLibrarysKeywordsIsKept)
{
    QByteArrayList added;
    for (const QByteArray type : {"tEXt", "zTXt", "iTXt"}) {
        for (const QByteArray keyword : {"Raw profile type exif", "Raw profile type iptc", "Raw profile type xmp",
                 "Raw profile type APP1", "XML:com.adobe.xmp"})
            added << textChunk(type, keyword, "my notes about " + keyword + ", not hex");
    }
    const QString user
        = damagedSample("png-sony-gps.png", [&](QByteArray& bytes) { insertBeforeEnd(bytes, added.join()); });

    const auto image = openWorkingCopy(user);
    edit(image, "Iptc.Application2.ObjectName", "Harbour");
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    expectKeptInOrder(chunksOf(WrittenFileProbe::bytes(user)), added);
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
}

namespace {

// The text chunks among `chunks` whose keywords begin with `start`.
QByteArrayList withKeyword(QByteArrayList chunks, const QByteArray& start)
{
    chunks.removeIf([&](const QByteArray& chunk) { return !keywordOf(chunk).startsWith(start); });
    return chunks;
}

} // namespace

// A converter's PNG holds its IPTC twice, among its Photoshop resources and
// in an IPTC chunk: an Artist edit (By-line is its twin) and a title edit
// write both copies alike, the resolution beside the block kept and the
// block's digest made its own; Clear > IPTC takes both, the resolution
// staying. exiftool reads both copies. Where the copies differ, an IPTC
// edit is refused with the reason and the file kept, while an EXIF edit
// keeps both as they are.
TEST_F(PngChunkSavesTest, AConvertersTwoIptcCopiesAreKeptInStep)
{
    const QByteArray iptc = iptcBlock("The president speaks");
    const QString user = damagedSample("png-nikon-d3.png",
        [&](QByteArray& bytes) { insertBeforePicture(bytes, convertersProfiles(photoshopResources(iptc), iptc)); });
    const QJsonObject photoshop = tagsOf(user, "Photoshop:");
    ASSERT_EQ(photoshop.value("Photoshop:XResolution").toInt(), 72);
    ASSERT_EQ(iptcCopiesOf(user).first.value("By-line").toString(), QString("Patrick Shanahan"));
    ASSERT_EQ(iptcCopiesOf(user).first, iptcCopiesOf(user).second);

    const QString work = tempPath("work/png-nikon-d3.png");
    auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    ASSERT_TRUE(QFile::remove(work));
    image = openWorkingCopy(user);
    edit(image, "Iptc.Application2.ObjectName", "Harbour");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    auto [first, second] = iptcCopiesOf(user);
    EXPECT_EQ(first.value("By-line").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(first.value("ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(first.value("Caption-Abstract").toString(), QString("The president speaks"));
    EXPECT_EQ(second, first);
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(tags.value("Photoshop:XResolution").toInt(), 72);
    EXPECT_EQ(tags.value("Photoshop:IPTCDigest").toString(),
        QCryptographicHash::hash(ExifTool::binary(user, "IPTC"), QCryptographicHash::Md5).toHex());

    ASSERT_TRUE(QFile::remove(work));
    image = openWorkingCopy(user);
    image->clear(TAVExifData::ClearIptc);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    std::tie(first, second) = iptcCopiesOf(user);
    EXPECT_TRUE(first.isEmpty() && second.isEmpty()) << qPrintable(first.keys().join(", "));
    EXPECT_EQ(ExifTool::read(user).value("Photoshop:XResolution").toInt(), 72);
    ASSERT_TRUE(QFile::remove(user));

    const QString differing = damagedSample("png-sony-gps.png", [&](QByteArray& bytes) {
        insertBeforePicture(bytes, convertersProfiles(photoshopResources(iptc), iptcBlock("Another caption")));
    });
    const QByteArray before = WrittenFileProbe::bytes(differing);
    const QByteArrayList profiles = withKeyword(chunksOf(before), "Raw profile type");
    ASSERT_EQ(profiles.size(), 2);
    image = openWorkingCopy(differing);
    edit(image, "Iptc.Application2.ObjectName", "Harbour");
    expectRefused(image, before, "the two differ");
    ASSERT_TRUE(QFile::remove(tempPath("work/png-sony-gps.png")));
    image = openWorkingCopy(differing);
    edit(image, "Exif.Photo.UserComment", "Taken from the pier");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(withKeyword(chunksOf(WrittenFileProbe::bytes(differing)), "Raw profile type"), profiles);
}

// Clear All and Clear > IPTC of a PNG whose IPTC sits among its Photoshop
// resources, alone or with a converter's second copy, or with differing
// copies: exiftool reads no IPTC after either. The resources keep their
// resolution, as a JPEG's Photoshop segment does; resources of nothing but
// the IPTC block go whole.
TEST_F(PngChunkSavesTest, ClearsLeaveNoIptcAmongPhotoshopResources)
{
    const QByteArray iptc = iptcBlock("The president speaks");
    const struct {
        const char* name;
        QByteArray chunks;
        bool resourcesStay;
    } files[] = {
        {"resources alone", photoshopChunk(photoshopResources(iptc)), true},
        {"resources of the IPTC alone", photoshopChunk(resource(0x0404, iptc)), false},
        {"a converter's copies", convertersProfiles(photoshopResources(iptc), iptc), true},
        {"differing copies", convertersProfiles(photoshopResources(iptc), iptcBlock("Another caption")), true},
    };
    for (const int32_t kind : {TAVExifData::ClearAll, TAVExifData::ClearIptc}) {
        for (const auto& file : files) {
            SCOPED_TRACE(std::string(file.name) + (kind == TAVExifData::ClearAll ? ", Clear All" : ", Clear > IPTC"));
            const QString user = damagedSample(
                "png-sony-gps.png", [&](QByteArray& bytes) { insertBeforePicture(bytes, file.chunks); });
            ASSERT_FALSE(tagsOf(user, "IPTC:").isEmpty());
            const auto image = openWorkingCopy(user);
            image->clear(kind);
            ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
            const QJsonObject tags = ExifTool::read(user, {"-a"});
            for (auto tag = tags.begin(); tag != tags.end(); ++tag)
                EXPECT_FALSE(tag.key().startsWith("IPTC")) << qPrintable(tag.key());
            EXPECT_EQ(tags.value("Photoshop:XResolution").toInt(), file.resourcesStay ? 72 : 0);
            const QByteArrayList saved = chunksOf(WrittenFileProbe::bytes(user));
            EXPECT_EQ(withKeyword(saved, "Raw profile type 8bim").size(), file.resourcesStay ? 1 : 0);
            EXPECT_TRUE(withKeyword(saved, "Raw profile type iptc").isEmpty());
            ASSERT_TRUE(QFile::remove(tempPath("work/png-sony-gps.png")));
            ASSERT_TRUE(QFile::remove(user));
        }
    }
}
