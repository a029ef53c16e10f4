// Reading many photos at once must give each exactly the record a reading of
// that photo alone gives: the import reads on every core.
#include "foundation/OrderedParallelLoop.h"
#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageObject.h"
#include "models/read/SidecarExporter.h"
#include "models/read/TAVMetadataReaderMgr.h"
#include "models/record/TAVEntity.h"

#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <exiv2/exiv2.hpp>

namespace {

// Every row of the record, and the values the tabs show, as one text.
QString recordText(const TAVImageObjectPtr& image)
{
    QString text;
    for (const TAVEntityPtr& row : image->exifData()->maryOrgExifData()) {
        text += row->key() + QLatin1Char('=') + row->value() + QLatin1Char('\n');
    }
    for (const QString& key : {QStringLiteral("Summary.CreateTime"), QStringLiteral("Exif.Image.Make"),
             QStringLiteral("Iptc.Application2.Keywords")}) {
        text += key + QLatin1Char('=') + image->exifData()->getValueForKey(key, 0) + QLatin1Char('\n');
    }
    return text;
}

// A photo whose XMP uses namespaces no other photo uses, so that reading it
// registers them with the XMP toolkit while other photos are being read.
QString photoWithOwnNamespaces(const QString& folder, int number)
{
    const QString path = ImageFixtures::copySample(
        QStringLiteral("npm-canon-s40.jpg"), folder, QStringLiteral("ns%1.jpg").arg(number, 3, 10, QLatin1Char('0')));
    const std::string packet = QStringLiteral(
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'"
        " xmlns:own%1='http://example.org/own/%1/' xmlns:more%1='http://example.org/more/%1/'>"
        "<own%1:Tag>value %1</own%1:Tag><more%1:Other>other %1</more%1:Other>"
        "<dc:subject><rdf:Bag><rdf:li>word%1</rdf:li><rdf:li>shared</rdf:li></rdf:Bag></dc:subject>"
        "</rdf:Description></rdf:RDF></x:xmpmeta>")
                                   .arg(number)
                                   .toStdString();
    EXPECT_TRUE(ImageFixtures::writeXmpPacket(path, packet));
    return path;
}

} // namespace

class ParallelReadTest : public TempFolderTest { };

TEST_F(ParallelReadTest, PhotosReadOnEightThreadsGiveTheRecordsOfASerialRead)
{
    const QStringList samples = {"1x1_exif_xmp.jpg", "goexif.tif", "npm-arbitro.tiff", "npm-canon-s40.jpg",
        "npm-evil1.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg", "png-nikon-d3.png", "png-sony-gps.png"};
    const QString folder = tempPath("photos");
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < 160; ++i) {
        if (i % 2 == 0) {
            paths.append(photoWithOwnNamespaces(folder, i));
        } else {
            const QString name = samples.at((i / 2) % samples.size());
            paths.append(ImageFixtures::copySample(name, folder, QStringLiteral("%1-%2").arg(i).arg(name)));
        }
    }

    // The parallel read comes first, while the toolkit still meets each
    // namespace for the first time.
    std::atomic<bool> cancel{false};
    QStringList parallel;
    OrderedParallelLoop<QString>(int(paths.size()), 8, cancel)
        .run([&](int index) { return recordText(TAVImageObject::create(paths.at(index))); },
            [&](int, QString& text) { parallel.append(text); });

    ASSERT_EQ(parallel.size(), paths.size());
    for (int i = 0; i < paths.size(); ++i) {
        const QString serial = recordText(TAVImageObject::create(paths.at(i)));
        EXPECT_EQ(parallel.at(i), serial) << qPrintable(paths.at(i));
        if (i % 2 == 0) {
            EXPECT_TRUE(serial.contains(QStringLiteral("Xmp.own%1.Tag=value %1").arg(i))) << qPrintable(serial);
        }
    }
}

// Working copies of real camera files read on eight threads, round after
// round, while XMP sidecars are written beside them: every read must give the
// rows a serial read gives, XMP included. The XMP toolkit is not safe on
// several threads (a write registers namespaces anew while a decode looks
// them up), and a decode that failed would leave a photo looking as if it
// had no XMP at all.
TEST_F(ParallelReadTest, CameraFilesReadOnEightThreadsBesideXmpWritesKeepEveryXmpRow)
{
    // The Pentax file's packet is large (over 400 properties), so other
    // threads' work overlaps its decode; the small one declares a namespace
    // the library does not know, which every write registers anew.
    const QString ownNamespace = QStringLiteral("1x1_exif_xmp.jpg");
    const QStringList others = {"gowebp-pentax.jpg", "npm-nikon-d90-photometric.jpg", "npm-windows-xmp.jpg",
        "goexif.tif", "npm-arbitro.tiff", "npm-canon-s40.jpg", "png-nikon-d3.png"};
    QStringList samples;
    for (const QString& other : others)
        samples << other << ownNamespace;
    // Without the serialised decode these numbers lost the XMP of some copies
    // in each of ten runs on a loaded eight-core machine.
    constexpr int kCopies = 400;
    constexpr int kRounds = 4;
    // After this many reads an item writes a sidecar.
    constexpr int kWriteEvery = 2;
    const QString folder = tempPath("copies");
    const QString sidecars = tempPath("sidecars");
    QDir().mkpath(folder);
    QDir().mkpath(sidecars);
    QStringList paths;
    for (int i = 0; i < kCopies; ++i) {
        const QString name = samples.at(i % samples.size());
        paths.append(ImageFixtures::copySample(name, folder, QStringLiteral("%1-%2").arg(i).arg(name)));
    }
    const QString written = ImageFixtures::copySample(ownNamespace, folder, QStringLiteral("sidecar-source.jpg"));
    const auto xmpRows = [](const QString& text) { return text.count(QStringLiteral("\nXmp.")); };
    const auto read = [](const QString& path, bool* undecodable) {
        const TAVImageObjectPtr image = TAVImageObject::create(path);
        *undecodable = image->readerMgr()->xmpUndecodable();
        return recordText(image);
    };

    // The parallel rounds come first, while the toolkit still meets each
    // namespace for the first time.
    std::vector<QStringList> rounds;
    std::atomic<int> undecodable{0};
    std::atomic<int> unwritten{0};
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<bool> cancel{false};
        QStringList texts;
        const int items = int(paths.size()) + int(paths.size()) / kWriteEvery;
        OrderedParallelLoop<QString>(items, 8, cancel)
            .run(
                [&](int item) {
                    if (item % (kWriteEvery + 1) == kWriteEvery) {
                        QString error;
                        const QString into = QStringLiteral("%1/%2-%3").arg(sidecars).arg(round).arg(item);
                        QDir().mkpath(into);
                        unwritten += SidecarExporter::exportXmpSidecar(written, into, &error) ? 0 : 1;
                        return QString();
                    }
                    bool failed = false;
                    QString text = read(paths.at(item - item / (kWriteEvery + 1)), &failed);
                    undecodable += failed ? 1 : 0;
                    return text;
                },
                [&](int item, QString& text) {
                    if (item % (kWriteEvery + 1) != kWriteEvery) {
                        texts.append(text);
                    }
                });
        rounds.push_back(texts);
    }
    EXPECT_EQ(unwritten, 0);
    EXPECT_EQ(undecodable, 0) << "photos whose XMP a parallel read could not decode";

    int lost = 0;
    for (int i = 0; i < paths.size(); ++i) {
        bool failed = false;
        const QString serial = read(paths.at(i), &failed);
        ASSERT_FALSE(failed) << qPrintable(paths.at(i));
        if (i == 0) {
            EXPECT_GT(xmpRows(serial), 400) << "the Pentax file's XMP, read on its own";
        }
        for (int round = 0; round < kRounds; ++round) {
            const QString& parallel = rounds.at(size_t(round)).at(i);
            if (parallel != serial && ++lost <= 10) {
                ADD_FAILURE() << qPrintable(paths.at(i)) << " in round " << round << ": " << xmpRows(parallel)
                              << " XMP rows instead of " << xmpRows(serial);
            }
        }
    }
    EXPECT_EQ(lost, 0);
}

// Imports of the same camera files in two orders, on one thread and on
// eight, read every packet the same. Among them are copies whose packet
// gives the photoshop URI another prefix: each such decode rewrites the
// toolkit's table, and a decode beside it lost its packet ("Schema namespace
// URI and prefix mismatch") or not, as the threads met the files.
TEST_F(ParallelReadTest, CameraFilesReadTheSameInAnyOrderOnAnyNumberOfThreads)
{
    const QString folder = tempPath("session");
    QDir().mkpath(folder);
    QStringList paths;
    for (int round = 0; round < 60; ++round) {
        for (const QString sample : {"gowebp-pentax.jpg", "npm-nikon-d90-photometric.jpg", "1x1_exif_xmp.jpg"})
            paths.append(ImageFixtures::copySample(sample, folder, QStringLiteral("%1-%2").arg(round).arg(sample)));
        paths.append(ImageFixtures::copyOfWindowsSampleWithMisspeltNamespace(
            folder, QStringLiteral("%1-windows.jpg").arg(round)));
    }
    const auto readSession = [](const QStringList& order, int threads) {
        std::atomic<bool> cancel{false};
        QMap<QString, QString> texts;
        OrderedParallelLoop<QString>(int(order.size()), threads, cancel)
            .run([&](int index) { return recordText(TAVImageObject::create(order.at(index))); },
                [&](int index, QString& text) { texts.insert(order.at(index), text); });
        return texts;
    };
    const QStringList reversed(paths.rbegin(), paths.rend());
    const QMap<QString, QString> first = readSession(paths, 1);
    for (const auto& [order, threads] : {std::pair{&reversed, 8}, {&paths, 8}, {&reversed, 1}}) {
        const QMap<QString, QString> session = readSession(*order, threads);
        QStringList differing;
        for (const QString& path : paths) {
            if (session.value(path) != first.value(path))
                differing.append(QFileInfo(path).fileName());
        }
        EXPECT_EQ(differing, QStringList()) << (order == &paths ? "in order" : "reversed") << " on " << threads;
    }

    // What another reader reads in the Pentax packet.
    const QString pentax = folder + QStringLiteral("/0-gowebp-pentax.jpg");
    const QString city = ExifTool::read(pentax).value("XMP-photoshop:City").toString();
    ASSERT_FALSE(city.isEmpty());
    EXPECT_TRUE(first.value(pentax).contains(QStringLiteral("\nXmp.photoshop.City=") + city + '\n'));
}

// A read shares the XMP lock only when the toolkit's table holds every
// declaration its bytes make: one the scan misses would let a decode write
// into the table beside others. What it cannot read whole sends the read to the
// lock held alone.
TEST(XmpNamespaceScanTest, FindsEveryDeclarationOrSaysItCannot)
{
    using namespace std::string_view_literals;
    const auto found = ExivRuntime::declaredXmpNamespaces(
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf = \"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description xmlns\n=\n'http://example.org/default/' xmlns:a\t='http://example.org/a/'/>"sv);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found,
        (std::vector<XmpNamespaceTable::Declaration>{{"x", "adobe:ns:meta/"},
            {"rdf", "http://www.w3.org/1999/02/22-rdf-syntax-ns#"}, {"", "http://example.org/default/"},
            {"a", "http://example.org/a/"}}));
    const auto none = ExivRuntime::declaredXmpNamespaces("\xff\xd8\xff\xe1 no packet"sv);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());

    const std::string_view unreadable[] = {
        // UTF-16, either byte order.
        "<\0x\0:\0x\0m\0p\0m\0e\0t\0a\0 \0x\0m\0l\0n\0s\0:\0x\0=\0'\0a\0'\0"sv,
        "\0<\0r\0d\0f\0 \0x\0m\0l\0n\0s\0=\0'\0a\0'"sv,
        // UTF-32.
        "x\0\0\0m\0\0\0l\0\0\0n\0\0\0s\0\0\0"sv,
        // A reference in the name, the word alone, a declaration cut short.
        "<a xmlns:p='http://example.org/&amp;/'/>"sv,
        "<a>xmlns</a>"sv,
        "<a xmlns:p='http://example.org/"sv,
        "<a xmlns:p=''/>"sv,
        "<a xmlns:='http://example.org/'/>"sv,
    };
    for (const std::string_view bytes : unreadable) {
        EXPECT_FALSE(ExivRuntime::declaredXmpNamespaces(bytes).has_value()) << std::string(bytes);
    }
}
