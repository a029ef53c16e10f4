#pragma once

// Real camera files damaged by the test, imported as the application does,
// with what a save of them must show: refused with the user's file untouched,
// or saved and read back by exiftool.

#include "models/image/TAVImageObject.h"

#include "foundation/FileServices.h"

#include "models/image/ImageImportTest.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QJsonObject>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

namespace DamagedSamples {

// The offset of the first segment with `marker` before the scan, or -1.
inline qsizetype segmentAt(const QByteArray& jpeg, uint8_t marker)
{
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uint8_t(jpeg[at]) == 0xFF;) {
        const uint8_t found = uint8_t(jpeg[at + 1]);
        if (found == marker)
            return at;
        if (found == 0xDA)
            break;
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
    }
    return -1;
}

inline void setBig16(QByteArray& bytes, qsizetype at, uint16_t value)
{
    qToBigEndian<quint16>(value, bytes.data() + at);
}

class DamagedFilesSaveTest : public ImageImportTest<FakeUiServices> {
protected:
    void SetUp() override
    {
        ImageImportTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    // The sample as the user has it, changed by `damage`.
    QString damagedSample(const QString& sample, const std::function<void(QByteArray&)>& damage)
    {
        const QString user = ImageFixtures::copySample(sample, tempPath("user"));
        QByteArray bytes = WrittenFileProbe::bytes(user);
        damage(bytes);
        EXPECT_TRUE(FileServices::writeFileAtomically(user, bytes));
        return user;
    }

    static void edit(const TAVImageObjectPtr& image, const QString& key, const QString& value)
    {
        image->exifData()->setValue(value, key, 0, false, false, true);
    }

    // The save fails, says `why`, and the user's file keeps every byte.
    static void expectRefused(const TAVImageObjectPtr& image, const QByteArray& before, const QString& why)
    {
        EXPECT_FALSE(image->saveMetadataToImage());
        EXPECT_TRUE(image->lastSaveFailure().contains(why)) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(WrittenFileProbe::bytes(image->srcPath()), before);
        EXPECT_EQ(FileServices::contentsOfFolder(QFileInfo(image->srcPath()).absolutePath()),
            QStringList{QFileInfo(image->srcPath()).fileName()});
    }

    // An edit of the user's file is refused, saying `why`, and
    // leaves it as it was; its working copy goes, for the next import.
    void expectEditRefused(const QString& user, const QString& key, int32_t category, const QString& why,
        const QString& value = QStringLiteral("4.0"))
    {
        SCOPED_TRACE(key.toStdString());
        const QByteArray before = WrittenFileProbe::bytes(user);
        const auto image = openWorkingCopy(user);
        image->exifData()->setValue(value, key, category, false, false, true);
        expectRefused(image, before, why);
        ASSERT_TRUE(QFile::remove(tempPath("work/" + QFileInfo(user).fileName())));
    }
};

// The tags of `prefix` groups ("IPTC:") that exiftool reads.
inline QJsonObject tagsOf(const QString& path, const QString& prefix)
{
    QJsonObject result;
    const QJsonObject tags = ExifTool::read(path);
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().startsWith(prefix))
            result.insert(it.key(), it.value());
    }
    return result;
}

// The datasets of the first IPTC resource, as offsets of their length fields.
inline QList<qsizetype> iptcLengthFields(const QByteArray& jpeg)
{
    QList<qsizetype> fields;
    const qsizetype resource = jpeg.indexOf(QByteArray("8BIM\x04\x04", 6));
    if (resource < 0)
        return fields;
    const qsizetype sizeAt = resource + 6 + ((uint8_t(jpeg[resource + 6]) + 2) & ~1);
    const qsizetype end = sizeAt + 4 + qFromBigEndian<quint32>(jpeg.constData() + sizeAt);
    for (qsizetype at = sizeAt + 4; at + 5 <= end && jpeg[at] == 0x1C;) {
        fields.append(at + 3);
        at += 5 + qFromBigEndian<quint16>(jpeg.constData() + at + 3);
    }
    return fields;
}

// The offset of the IFD0 entry `tag` of a JPEG's little-endian EXIF block.
inline qsizetype ifd0Entry(const QByteArray& jpeg, uint16_t tag)
{
    const qsizetype tiff = jpeg.indexOf(QByteArray("Exif\0\0II", 8)) + 6;
    if (tiff < 6)
        return -1;
    const qsizetype directory = tiff + qFromLittleEndian<quint32>(jpeg.constData() + tiff + 4);
    const int count = qFromLittleEndian<quint16>(jpeg.constData() + directory);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = directory + 2 + 12 * i;
        if (qFromLittleEndian<quint16>(jpeg.constData() + entry) == tag)
            return entry;
    }
    return -1;
}

} // namespace DamagedSamples
