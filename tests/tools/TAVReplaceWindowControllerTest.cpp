#include "tools/TAVReplaceWindowController.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/VXCommonWindowController.h"
#include "foundation/NotificationHub.h"
#include "models/image/TAVImageObject.h"
#include "views/GSGroupedTableView.h"

#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Tag = ImageFixtures::Tag;

const QString kModel = QStringLiteral("Exif.Image.Model");
const QString kMake = QStringLiteral("Exif.Image.Make");
const QString kArtist = QStringLiteral("Exif.Image.Artist");
const QString kDateTime = QStringLiteral("Exif.Image.DateTime");
const QString kCreateDate = QStringLiteral("Exif.Image.CreateDate");

class ReplaceSheetTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        UiServices::setShared(&ui_);
        TAVBaseTabViewCltr::setPendingEdits(false);
        NotificationHub::defaultHub().addObserver(this, TAVBaseTabViewCltr::kNotiFileMetadataHasChanged,
            [this](const Notification& note) { posted_.append(note); });
        mainWindow_.window()->resize(900, 640);
        mainWindow_.showNormalWindow();
    }
    void TearDown() override
    {
        NotificationHub::defaultHub().removeObserver(this);
        sheet_.reset();
        UiServices::setShared(nullptr);
        TAVBaseTabViewCltr::setPendingEdits(false);
    }

    // A real JPEG imported as the photo list does: its record is the one the
    // main window would hand to the sheet.
    TAVImageObjectPtr importCamera()
    {
        source_ = tempPath(QStringLiteral("camera.jpg"));
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(source_,
            {{kMake, QStringLiteral("Canon"), std::nullopt}, {kModel, QStringLiteral("Canon EOS CANON"), std::nullopt},
                {kArtist, QStringLiteral("a canon fan"), std::nullopt},
                {kDateTime, QStringLiteral("2020:01:02 03:04:05"), std::nullopt},
                {QStringLiteral("Exif.Photo.FNumber"), QStringLiteral("28/10"), std::nullopt},
                {QStringLiteral("Exif.Photo.ISOSpeedRatings"), QStringLiteral("100"), std::nullopt},
                {QStringLiteral("Exif.Image.Orientation"), QStringLiteral("1"), std::nullopt},
                {QStringLiteral("Xmp.dc.creator"), QStringLiteral("Canon"), std::nullopt}}));
        const QString working = tempPath(QStringLiteral("working.jpg"));
        EXPECT_TRUE(QFile::copy(source_, working));
        TAVImageObjectPtr image = TAVImageObject::create(working);
        image->setSrcPath(source_);
        return image;
    }

    TAVReplaceWindowController& openSheet(const TAVExifDataPtr& record)
    {
        sheet_ = std::make_unique<TAVReplaceWindowController>(record);
        sheet_->setImgExifData(record);
        mainWindow_.beginSheetWindow(sheet_->window());
        QApplication::processEvents();
        return *sheet_;
    }

    void search(const QString& text, bool ignoreCase)
    {
        sheet_->caseIgnor()->setChecked(ignoreCase);
        sheet_->searchTextField()->setText(text);
    }

    QStringList shownKeys() const
    {
        QStringList keys;
        for (const auto& row : sheet_->model()->table().shownRows()) {
            keys << row.entity->key();
        }
        return keys;
    }

    TAVEntityPtr hitFor(const QString& key) const
    {
        for (const auto& row : sheet_->model()->table().searchRows()) {
            if (row.entity->key() == key) {
                return row.entity;
            }
        }
        return nullptr;
    }

    int selectedRow() const
    {
        const QModelIndexList rows = sheet_->tableView()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    }

    static QString valueOf(const TAVExifData& record, const QString& key)
    {
        return record.getValueForKey(key, TAVExifData::getLocalShowKeyType(key));
    }

    FakeUiServices ui_;
    VXCommonWindowController mainWindow_;
    std::unique_ptr<TAVReplaceWindowController> sheet_;
    QList<Notification> posted_;
    QString source_;
};

} // namespace

TEST_F(ReplaceSheetTest, ListsOnlyNonEmptyTextValuesAndNothingForSeveralImages)
{
    const TAVImageObjectPtr image = importCamera();
    TAVReplaceWindowController& sheet = openSheet(image->exifData());

    const QStringList keys = shownKeys();
    EXPECT_TRUE(keys.contains(kModel) && keys.contains(kMake) && keys.contains(kArtist))
        << keys.join(u' ').toStdString();
    QStringList sorted = keys;
    sorted.sort();
    EXPECT_EQ(keys, sorted);
    for (const auto& row : sheet.model()->table().shownRows()) {
        EXPECT_FALSE(row.entity->value().isEmpty()) << row.entity->key().toStdString();
        EXPECT_TRUE(row.entity->key().startsWith(u"Exif.") || row.entity->key().startsWith(u"Iptc."));
    }
    // Rational, Short and Byte tags and XMP never show, though they hold values.
    for (const char* key : {"Exif.Photo.FNumber", "Exif.Photo.ISOSpeedRatings", "Exif.Image.Orientation",
             "Exif.GPSInfo.GPSVersionID", "Xmp.dc.creator"}) {
        EXPECT_FALSE(keys.contains(QLatin1String(key))) << key;
    }
    // The sheet shows the record's own entities, and "Tag" the plain key.
    EXPECT_EQ(sheet.model()->table().shownRows().first().entity.get(),
        image->exifData()->userSetEntity(keys.first(), TAVExifData::getLocalShowKeyType(keys.first())).get());
    const int tagColumn = sheet.model()->columnOf(TAVSearchableTagTableModel::kTagColumn);
    EXPECT_EQ(sheet.model()->index(0, tagColumn).data().toString(), keys.first());

    // Several images selected: the record has no path, so nothing to replace
    // and Apply changes nothing.
    const TAVExifDataPtr common = image->exifData()->copy();
    common->setStrImagePath(QString());
    openSheet(common);
    EXPECT_EQ(sheet_->model()->rowCount(), 0);
    search(QStringLiteral("Canon"), false);
    sheet_->clickApply();
    EXPECT_EQ(valueOf(*common, kModel), QStringLiteral("Canon EOS CANON"));
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits());
}

TEST_F(ReplaceSheetTest, ReplaceAllIgnoringCaseIsAppliedAnnouncedAndSaved)
{
    const TAVImageObjectPtr image = importCamera();
    TAVReplaceWindowController& sheet = openSheet(image->exifData());
    search(QStringLiteral("canon"), true);
    EXPECT_EQ(shownKeys(), (QStringList{kArtist, kMake, kModel}));
    EXPECT_TRUE(sheet.replaceOneBtn()->isEnabled() && sheet.replaceAllBtn()->isEnabled());
    EXPECT_EQ(selectedRow(), 0);

    sheet.replaceTextField()->setText(QStringLiteral("Nikon"));
    sheet.clickReplaceAll();
    EXPECT_EQ(hitFor(kModel)->replaceAfterValue(), QStringLiteral("Nikon EOS Nikon"));
    EXPECT_EQ(hitFor(kArtist)->replaceAfterValue(), QStringLiteral("a Nikon fan"));
    const int after = sheet.model()->columnOf(TAVSearchableTagTableModel::kAfterColumn);
    EXPECT_EQ(sheet.model()->index(2, after).data().toString(), QStringLiteral("Nikon EOS Nikon"));
    // Nothing reaches the record before Apply.
    EXPECT_EQ(valueOf(*image->exifData(), kModel), QStringLiteral("Canon EOS CANON"));
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits());
    EXPECT_TRUE(Gallery::capture(sheet.window(), QStringLiteral("replace-sheet-hits")));

    posted_.clear();
    sheet.clickApply();
    EXPECT_EQ(valueOf(*image->exifData(), kModel), QStringLiteral("Nikon EOS Nikon"));
    EXPECT_EQ(valueOf(*image->exifData(), kMake), QStringLiteral("Nikon"));
    EXPECT_TRUE(image->exifData()->isModifiedForKey(kModel, TAVExifData::getLocalShowKeyType(kModel)));
    ASSERT_EQ(posted_.size(), 1);
    EXPECT_EQ(posted_.first().sender, static_cast<const void*>(&sheet));
    EXPECT_EQ(posted_.first().userInfo.value(QStringLiteral("hasModify")), QVariant(true));
    EXPECT_EQ(posted_.first().userInfo.value(QStringLiteral("needRefresh")), QVariant(true));
    // Without the flag the main window would ignore the announcement.
    EXPECT_TRUE(TAVBaseTabViewCltr::isPendingEdits());
    EXPECT_FALSE(sheet.isSheetUp());
    EXPECT_TRUE(hitFor(kModel)->replaceAfterValue().isNull());

    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(source_);
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Model")).toString(), QStringLiteral("Nikon EOS Nikon"));
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Nikon"));
}

TEST_F(ReplaceSheetTest, ReplaceOneWrapsBeepsWithoutHitsAndKeepsActingOnTheLastHits)
{
    const TAVImageObjectPtr image = importCamera();
    TAVReplaceWindowController& sheet = openSheet(image->exifData());
    const qsizetype allRows = sheet.model()->rowCount();
    search(QStringLiteral("Canon"), false);
    ASSERT_EQ(shownKeys(), (QStringList{kMake, kModel}));
    sheet.replaceTextField()->setText(QStringLiteral("Leica"));

    sheet.clickReplaceOne();
    EXPECT_EQ(sheet.replaceIndex(), 1);
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_EQ(hitFor(kMake)->replaceAfterValue(), QStringLiteral("Leica"));
    EXPECT_TRUE(hitFor(kModel)->replaceAfterValue().isNull());
    sheet.clickReplaceOne();
    EXPECT_EQ(hitFor(kModel)->replaceAfterValue(), QStringLiteral("Leica EOS CANON")) << "case kept";
    EXPECT_EQ(sheet.replaceIndex(), 0) << "wraps past the last hit";
    EXPECT_EQ(selectedRow(), 0);

    // Search cleared: every row shows, the buttons still act on the hits, and
    // an empty search text replaces nothing inside them.
    search(QString(), false);
    EXPECT_EQ(sheet.model()->rowCount(), allRows);
    EXPECT_TRUE(sheet.replaceAllBtn()->isEnabled());
    sheet.clickReplaceAll();
    EXPECT_EQ(hitFor(kModel)->replaceAfterValue(), QStringLiteral("Canon EOS CANON"));

    search(QStringLiteral("no such text"), false);
    EXPECT_FALSE(sheet.replaceOneBtn()->isEnabled());
    sheet.clickReplaceOne();
    sheet.clickReplaceAll();
    EXPECT_EQ(ui_.beeps(), 2);

    // A replacement that empties the value gives the empty text, which Apply writes.
    search(QStringLiteral("Canon"), false);
    sheet.replaceTextField()->setText(QString());
    sheet.clickReplaceOne();
    ASSERT_FALSE(hitFor(kMake)->replaceAfterValue().isNull());
    EXPECT_TRUE(hitFor(kMake)->replaceAfterValue().isEmpty());
    sheet.clickApply();
    const QString make = valueOf(*image->exifData(), kMake);
    EXPECT_TRUE(!make.isNull() && make.isEmpty());
    EXPECT_EQ(valueOf(*image->exifData(), kModel), QStringLiteral("Canon EOS CANON")) << "no after-value, untouched";
}

TEST_F(ReplaceSheetTest, TypedAfterValuesAreCheckedAndCancelLeavesTheRecord)
{
    const TAVImageObjectPtr image = importCamera();
    TAVReplaceWindowController& sheet = openSheet(image->exifData());
    const int afterColumn = sheet.model()->columnOf(TAVSearchableTagTableModel::kAfterColumn);
    // The record keeps the creation date under its own key, which takes no
    // text but the empty one.
    search(QStringLiteral("2020"), false);
    ASSERT_EQ(shownKeys(), QStringList{kCreateDate});
    const QModelIndex dateCell = sheet.model()->index(0, afterColumn);
    ASSERT_TRUE(sheet.model()->flags(dateCell) & Qt::ItemIsEditable);
    EXPECT_FALSE(sheet.model()->flags(sheet.model()->index(0, 2)) & Qt::ItemIsEditable) << "Original is read-only";

    posted_.clear();
    EXPECT_FALSE(sheet.model()->setData(dateCell, QStringLiteral("yesterday")));
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().title, QStringLiteral("Error"));
    EXPECT_EQ(ui_.alerts().first().message,
        QStringLiteral("Please set a valid value for \"Exif.Image.CreateDate\" \n Tips: park your mouse hovering over "
                       "the cell to get help"));
    EXPECT_EQ(ui_.alerts().first().buttons, QStringList{QStringLiteral("OK")});
    EXPECT_TRUE(hitFor(kCreateDate)->replaceAfterValue().isNull());
    EXPECT_TRUE(posted_.isEmpty());

    // Replace-one refuses the same way and stays on the hit; replace-all
    // passes over it and names what it left.
    sheet.replaceTextField()->setText(QStringLiteral("yesterday"));
    sheet.clickReplaceOne();
    EXPECT_EQ(ui_.alerts().size(), 2);
    EXPECT_EQ(sheet.replaceIndex(), 0);
    sheet.clickReplaceAll();
    ASSERT_EQ(ui_.alerts().size(), 3);
    EXPECT_TRUE(ui_.alerts().last().message.endsWith(QStringLiteral("\nExif.Image.CreateDate")));
    EXPECT_TRUE(hitFor(kCreateDate)->replaceAfterValue().isNull());

    search(QStringLiteral("fan"), false);
    ASSERT_EQ(shownKeys(), QStringList{kArtist});
    EXPECT_TRUE(sheet.model()->setData(sheet.model()->index(0, afterColumn), QStringLiteral("a Leica fan")));
    EXPECT_EQ(hitFor(kArtist)->replaceAfterValue(), QStringLiteral("a Leica fan"));
    EXPECT_EQ(posted_.size(), 2);

    // Without a search the rows are the record's own: a typed value there
    // could never be applied, so it is refused.
    search(QString(), false);
    const int artistRow = static_cast<int>(shownKeys().indexOf(kArtist));
    EXPECT_FALSE(sheet.model()->setData(sheet.model()->index(artistRow, afterColumn), QStringLiteral("nobody")));
    EXPECT_EQ(ui_.beeps(), 1);
    EXPECT_TRUE(sheet.model()->table().shownRows().at(artistRow).entity->replaceAfterValue().isNull());

    sheet.clickCancel();
    EXPECT_TRUE(hitFor(kArtist)->replaceAfterValue().isNull());
    EXPECT_EQ(valueOf(*image->exifData(), kArtist), QStringLiteral("a canon fan"));
    EXPECT_FALSE(image->exifData()->isModifiedForKey(kArtist, TAVExifData::getLocalShowKeyType(kArtist)));
    EXPECT_FALSE(sheet.isSheetUp());
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits());
}

// A photo from a Czech Windows program: its IPTC caption in Windows-1250,
// undeclared, and no EXIF description, so the Summary tab's description shows
// the caption. Replacing "Praha" changes the caption alone, in its own bytes:
// the description's row stood for the caption, and no description is made of
// its Western reading.
TEST_F(ReplaceSheetTest, AValueShownThroughAnotherTagIsReplacedOnlyInThatTag)
{
    source_ = tempPath(QStringLiteral("praha.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(source_, {{kMake, QStringLiteral("Canon"), std::nullopt}}));
    const std::string caption("P\xf8\xed\x62\xec\x68 \x96 Karl\xf9v most, Praha\x92s best");
    {
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(source_).toStdString());
        file->readMetadata();
        Exiv2::StringValue value(caption);
        file->iptcData().add(Exiv2::IptcKey("Iptc.Application2.Caption"), &value);
        file->writeMetadata();
    }
    const QString working = tempPath(QStringLiteral("working.jpg"));
    ASSERT_TRUE(QFile::copy(source_, working));
    const TAVImageObjectPtr image = TAVImageObject::create(working);
    image->setSrcPath(source_);
    ASSERT_FALSE(valueOf(*image->exifData(), QStringLiteral("Exif.Image.ImageDescription")).isEmpty());

    TAVReplaceWindowController& sheet = openSheet(image->exifData());
    search(QStringLiteral("Praha"), false);
    EXPECT_EQ(shownKeys(), QStringList{QStringLiteral("Iptc.Application2.Caption")});
    sheet.replaceTextField()->setText(QString::fromUtf8("Prága"));
    sheet.clickReplaceAll();
    sheet.clickApply();
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());

    EXPECT_FALSE(ExifTool::read(source_).contains(QStringLiteral("IFD0:ImageDescription")));
    auto file = Exiv2::ImageFactory::open(QFile::encodeName(source_).toStdString());
    file->readMetadata();
    const auto found = file->iptcData().findKey(Exiv2::IptcKey("Iptc.Application2.Caption"));
    ASSERT_NE(found, file->iptcData().end());
    EXPECT_EQ(found->toString(), std::string("P\xf8\xed\x62\xec\x68 \x96 Karl\xf9v most, Pr\xe1ga\x92s best"));
}
