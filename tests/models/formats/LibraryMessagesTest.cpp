// What the metadata library says about a file reaches our log once per file
// and message, naming the file; the user is warned once per damaged file, and
// a successful save prints nothing at all.
#include "models/image/TAVImageObject.h"

#include "models/image/ImageImportTest.h"
#include "support/FakeUiServices.h"
#include "support/QtPrinters.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <mutex>

namespace {

struct Logged {
    QtMsgType type;
    QString category;
    QString text;
};

std::mutex loggedMutex;
QList<Logged>* logged = nullptr;

void keep(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const std::lock_guard<std::mutex> lock(loggedMutex);
    if (logged)
        logged->append({type, QString::fromLatin1(context.category), text});
}

class LibraryMessagesTest : public ImageImportTest<FakeUiServices> {
protected:
    void SetUp() override
    {
        ImageImportTest::SetUp();
        QLoggingCategory::setFilterRules(QStringLiteral("lumetta.exiv2.debug=true"));
        logged = &messages_;
        previous_ = qInstallMessageHandler(keep);
    }
    void TearDown() override
    {
        qInstallMessageHandler(previous_);
        logged = nullptr;
        QLoggingCategory::setFilterRules(QString());
        ImageImportTest::TearDown();
    }

    QList<Logged> library(QtMsgType type) const
    {
        QList<Logged> found;
        for (const Logged& message : messages_) {
            if (message.category == QLatin1String("lumetta.exiv2") && message.type == type)
                found.append(message);
        }
        return found;
    }

    QList<Logged> messages_;
    QtMessageHandler previous_ = nullptr;
};

} // namespace

TEST_F(LibraryMessagesTest, ADamagedFileIsNamedOnceAndEachMessageLoggedOnce)
{
    testing::internal::CaptureStderr();
    const auto image = importSample("huge_tag_exif.jpg");
    image->readAllMetadata(16);
    // Read again, as the browser's thumbnails and a second import do.
    TAVImageObject::create(tempPath("work/huge_tag_exif.jpg"))->readAllMetadata(16);
    const std::string raw = testing::internal::GetCapturedStderr();
    EXPECT_EQ(raw.find("Error: "), std::string::npos) << raw;

    const QList<Logged> warnings = library(QtWarningMsg);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().text.contains(QLatin1String("huge_tag_exif.jpg")))
        << qPrintable(warnings.first().text);

    const QList<Logged> details = library(QtDebugMsg);
    ASSERT_GT(details.size(), 10);
    QSet<QString> seen;
    for (const Logged& detail : details) {
        EXPECT_TRUE(detail.text.contains(QLatin1String("huge_tag_exif.jpg"))) << qPrintable(detail.text);
        EXPECT_FALSE(seen.contains(detail.text)) << "repeated: " << qPrintable(detail.text);
        seen.insert(detail.text);
    }
}

// A Nikon ISO edit asks which of the tags the file holds and erases maker
// tags of other cameras: none of that is a failure to print.
TEST_F(LibraryMessagesTest, ASuccessfulSavePrintsNothing)
{
    const auto image = importSample("png-nikon-d3.png");
    image->readAllMetadata(16);
    messages_.clear();
    image->exifData()->setValue("800", "Exif.Photo.ISOSpeedRatings", 1, true, true, true);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (const Logged& message : messages_)
        EXPECT_EQ(message.type, QtDebugMsg) << qPrintable(message.category + ": " + message.text);
    EXPECT_EQ(image->getValueForKey("Exif.Photo.ISOSpeedRatings", 1), "800");
}
