// The XMP toolkit is not safe on several threads: a write registers every
// namespace the library learnt anew while a decode beside it looks them up,
// and the decode then loses the photo's XMP. Every entry to the toolkit (a
// packet's decode or encode) must be made under the XMP lock, an encode
// holding it alone. The test watches the entries themselves.
#include "models/formats/ExivRuntime.h"
#include "models/image/FDMetadataContainer.h"
#include "models/image/TAVImageObject.h"
#include "models/read/SidecarExporter.h"
#include "models/read/TAVMetadataReaderMgr.h"
#include "models/record/TAVEntity.h"
#include "models/write/TAVExifWriter.h"

#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace {

// What the watch saw: the entries, and those made without the lock they need.
struct Entries {
    int decodes = 0;
    int sharedDecodes = 0;
    int encodes = 0;
    QStringList unlocked;
    // The road of each decode, and whether it held the lock alone.
    QList<std::pair<QString, bool>> decodesAlone;
};

std::atomic<bool> watching{false};
std::mutex entriesMutex;
Entries seen;
// The road the test is on, named in what it reports.
std::atomic<const char*> road{""};

void noteEntry(bool encode)
{
    if (!watching) {
        return;
    }
    const ExivRuntime::XmpHold hold = ExivRuntime::xmpHold();
    const std::lock_guard<std::mutex> lock(entriesMutex);
    if (encode) {
        ++seen.encodes;
    } else {
        ++seen.decodes;
        seen.sharedDecodes += hold == ExivRuntime::XmpHold::Shared ? 1 : 0;
        seen.decodesAlone.append({QLatin1String(road), hold == ExivRuntime::XmpHold::Alone});
    }
    const bool locked = encode ? hold == ExivRuntime::XmpHold::Alone : hold != ExivRuntime::XmpHold::None;
    if (!locked) {
        seen.unlocked.append(
            QStringLiteral("%1: %2 %3")
                .arg(QLatin1String(road), QLatin1String(encode ? "an encode" : "a decode"),
                    QLatin1String(hold == ExivRuntime::XmpHold::None ? "without the lock" : "sharing the lock")));
    }
}

template <typename Function> Function libraryOwn(const char* symbol)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
}

// Watches the toolkit's entries while it lives.
class EntryWatch {
public:
    EntryWatch()
    {
        const std::lock_guard<std::mutex> lock(entriesMutex);
        seen = {};
        watching = true;
    }
    ~EntryWatch() { watching = false; }
    EntryWatch(const EntryWatch&) = delete;
    EntryWatch& operator=(const EntryWatch&) = delete;

    Entries entries() const
    {
        const std::lock_guard<std::mutex> lock(entriesMutex);
        return seen;
    }
};

} // namespace

// The library's entries to the toolkit, seen on their way in. The program's
// own definitions come before the library's, for the library's own calls
// too (it calls them through its procedure linkage table, which the program
// was checked to take precedence in); each then goes on to the library's.
int Exiv2::XmpParser::decode(Exiv2::XmpData& xmpData, const std::string& xmpPacket)
{
    noteEntry(false);
    using Decode = int (*)(Exiv2::XmpData&, const std::string&);
    static const Decode library = libraryOwn<Decode>(
        "_ZN5Exiv29XmpParser6decodeERNS_7XmpDataERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE");
    return library(xmpData, xmpPacket);
}

int Exiv2::XmpParser::encode(
    std::string& xmpPacket, const Exiv2::XmpData& xmpData, uint16_t formatFlags, uint32_t padding)
{
    noteEntry(true);
    using Encode = int (*)(std::string&, const Exiv2::XmpData&, uint16_t, uint32_t);
    static const Encode library = libraryOwn<Encode>(
        "_ZN5Exiv29XmpParser6encodeERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERKNS_7XmpDataEtj");
    return library(xmpPacket, xmpData, formatFlags, padding);
}

namespace {

class XmpLockTest : public TempFolderTest {
protected:
    static constexpr int kNamespacesPerPhoto = 2;

    // A copy of the Canon S40 whose packet declares namespaces no photo
    // read before declared, so that its first read registers them.
    QString photoWithNewNamespaces(const QString& name)
    {
        const QString path = ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder(), name);
        const QString own = QUuid::createUuid().toString(QUuid::Id128);
        QString declarations;
        QString properties;
        for (int i = 0; i < kNamespacesPerPhoto; ++i) {
            declarations += QStringLiteral(" xmlns:own%1='http://example.org/%2/%1/'").arg(i).arg(own);
            properties += QStringLiteral("<own%1:Tag>value %1</own%1:Tag>").arg(i);
        }
        const std::string packet
            = QStringLiteral("<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                             "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                             "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'%1>"
                             "%2<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour"
                             "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>")
                  .arg(declarations, properties)
                  .toStdString();
        EXPECT_TRUE(ImageFixtures::writeXmpPacket(path, packet));
        return path;
    }
};

} // namespace

// Every road into the toolkit, on one thread: an import reading a packet
// with new namespaces (alone) and again (shared), a writer opening files
// (one with a packet it cannot decode), a save that edits XMP and its check,
// a sidecar's export and a clone of metadata. Each entry holds the lock.
TEST_F(XmpLockTest, TheToolkitIsEnteredOnlyUnderTheLock)
{
    const QString photo = photoWithNewNamespaces("new.jpg");
    const QString undecodable = tempPath("undecodable.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(undecodable, {{"Exif.Image.Artist", "Ann", std::nullopt}}));
    ASSERT_TRUE(ImageFixtures::giveUndecodableXmpPacket(undecodable));
    const QString target = ImageFixtures::copySample("npm-lumia.jpg", tempFolder());
    ASSERT_TRUE(QDir().mkpath(tempPath("sidecars")));

    const EntryWatch watch;
    road = "an import";
    ASSERT_EQ(TAVImageObject::create(photo)->getValueForKey("Xmp.dc.title", 3), QString("Harbour"));
    TAVImageObject::create(photo);
    TAVImageObject::create(undecodable);
    road = "a writer";
    TAVExifWriter undecodableWriter(undecodable);
    EXPECT_TRUE(undecodableWriter.isXmpUndecodable());
    TAVExifWriter writer(photo);
    road = "a save";
    ASSERT_TRUE(writer.doWriteMetadata({TAVEntity::entityWithValue("Ships", "Xmp.dc.title")}).isEmpty());
    ASSERT_TRUE(writer.saveModifiedMetadata()) << qPrintable(writer.lastError());
    road = "a sidecar";
    QString error;
    ASSERT_TRUE(SidecarExporter::exportXmpSidecar(photo, tempPath("sidecars"), &error)) << qPrintable(error);
    road = "a clone";
    const FDMetadataContainerPtr clone = FDMetadataContainer::metadataForImageAtPath(photo);
    ASSERT_TRUE(clone && clone->saveMetadataToFileAtPath(target));

    const Entries entries = watch.entries();
    EXPECT_EQ(entries.unlocked, QStringList());
    EXPECT_GT(entries.decodes, entries.sharedDecodes);
    EXPECT_GT(entries.sharedDecodes, 0);
    EXPECT_GE(entries.encodes, 3);
}

// A decode writes every declaration of its packet into the toolkit's table:
// the first read of a packet declaring namespaces no read met, and the read
// of a packet whose URI the last read gave another prefix (a Pentax packet
// after a copy that misspells a namespace as photoshop's), must hold the lock
// alone. A packet whose declarations the table holds shares it.
TEST_F(XmpLockTest, AReadThatMayChangeTheNamespaceTableHoldsTheLockAlone)
{
    const QString fresh = photoWithNewNamespaces("fresh.jpg");
    const QString pentax = ImageFixtures::copySample("gowebp-pentax.jpg", tempFolder());
    const QString misspelt = ImageFixtures::copyOfWindowsSampleWithMisspeltNamespace(tempFolder(), "misspelt.jpg");
    ASSERT_FALSE(misspelt.isEmpty());
    // The Pentax file's packet and the table as its read leaves it.
    TAVImageObject::create(pentax);

    const EntryWatch watch;
    const struct {
        const char* name;
        QString path;
        bool alone;
    } reads[] = {
        {"new namespaces", fresh, true},
        {"new namespaces again", fresh, false},
        {"Pentax again", pentax, false},
        {"misspelt namespace", misspelt, true},
        {"Pentax after the misspelt namespace", pentax, true},
        {"Pentax once more", pentax, false},
    };
    for (const auto& read : reads) {
        road = read.name;
        EXPECT_FALSE(TAVImageObject::create(read.path)->readerMgr()->xmpUndecodable()) << read.name;
    }

    const Entries entries = watch.entries();
    EXPECT_EQ(entries.unlocked, QStringList());
    for (const auto& read : reads) {
        const auto first = std::find_if(entries.decodesAlone.begin(), entries.decodesAlone.end(),
            [&read](const auto& decode) { return decode.first == QLatin1String(read.name); });
        ASSERT_NE(first, entries.decodesAlone.end()) << read.name;
        EXPECT_EQ(first->second, read.alone) << read.name;
    }
}
