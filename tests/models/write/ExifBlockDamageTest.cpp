// What the metadata library says while it reads a file counts as damage of
// the file's EXIF block when it read part of the block in part or not at all,
// named as the walk of the block's bytes names it. Reads run on several
// threads at once and the library's handler is one per process: each read
// hears only what was said of its own file.

#include "models/write/ExifBlockDamage.h"
#include "models/formats/ExivRuntime.h"

#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

QByteArray sampleBytes(const QString& name)
{
    QFile file(ImageFixtures::sample(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the library reports as damage of the EXIF block while reading `bytes`.
QString reported(const QByteArray& bytes)
{
    const auto image
        = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
    const ExivRuntime::MessageCapture messages;
    ExivRuntime::readMetadata(*image);
    return ExifBlockDamage::fromLibraryMessages(messages.messages());
}

// The Canon S40 with its maker note's ShotInfo (the fourth entry, 27 shorts)
// declaring 32,768 values, past the end of the block.
QByteArray canonWithShotInfoPastTheBlock()
{
    QByteArray bytes = sampleBytes("npm-canon-s40.jpg");
    const qsizetype tiff = bytes.indexOf(QByteArray("Exif\0\0", 6)) + 6;
    const qsizetype shotInfo = tiff + 646 + 2 + 3 * 12;
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + shotInfo), 0x0004);
    qToLittleEndian<quint32>(0x8000, bytes.data() + shotInfo + 4);
    return bytes;
}

std::atomic<int> heardElsewhere{0};
void hearElsewhere(int, const char*)
{
    ++heardElsewhere;
}

} // namespace

TEST(ExifBlockDamageTest, WhatTheLibraryReadInPartIsNamedAndNothingElseCounts)
{
    EXPECT_EQ(reported(canonWithShotInfoPastTheBlock()), QString("EXIF entry Exif.Canon.ShotInfo"));
    // The camera PNGs hold a leftover entry of no TIFF type, which the
    // library reports and no reader misses.
    const QStringList samples = QDir(QFileInfo(ImageFixtures::sample("npm-lumia.jpg")).absolutePath())
                                    .entryList({"*.jpg", "*.png", "*.tif", "*.tiff"}, QDir::Files);
    ASSERT_GE(samples.size(), 12);
    for (const QString& sample : samples) {
        if (sample == "huge_tag_exif.jpg" || sample == "infinite_loop_exif.jpg")
            continue;
        EXPECT_EQ(reported(sampleBytes(sample)), QString()) << qPrintable(sample);
    }
    EXPECT_EQ(reported(sampleBytes("infinite_loop_exif.jpg")), QString("EXIF entry Exif.Thumbnail.0x0000"));
}

TEST(ExifBlockDamageTest, EachReadingThreadHearsItsOwnFileAndTheHandlerSetStillHearsAll)
{
    ExivRuntime::initialize();
    const Exiv2::LogMsg::Handler before = Exiv2::LogMsg::handler();
    // A handler set over ours keeps hearing every message.
    Exiv2::LogMsg::setHandler(hearElsewhere);
    const QByteArray damaged = canonWithShotInfoPastTheBlock();
    const QByteArray sound = sampleBytes("npm-canon-s40.jpg");
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int thread = 0; thread < 4; ++thread) {
        readers.emplace_back([&, thread] {
            for (int read = 0; read < 10; ++read) {
                const bool damage = (thread + read) % 2 == 0;
                if (reported(damage ? damaged : sound).isEmpty() == damage)
                    ++wrong;
            }
        });
    }
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GE(heardElsewhere.load(), 20);
    Exiv2::LogMsg::setHandler(before);
}
