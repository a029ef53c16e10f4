// The window's loops with the process on one CPU: a child process keeps itself
// to one CPU and Qt's global thread pool to one thread, imports real camera
// files into the shown main window and saves an edit of each. A worker that
// waited for the GUI thread on the global pool would hang it for good (the
// GUI thread's paint waits for that pool), so the test bounds the child's time.
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

class MainWindowOneCpuTest : public TempFolderTest { };

TEST_F(MainWindowOneCpuTest, ImportAndSaveFinishOnOneCpuWithOneGlobalPoolThread)
{
    const QStringList samples = {"npm-canon-s40.jpg", "gowebp-pentax.jpg", "npm-lumia.jpg", "png-nikon-d3.png",
        "goexif.tif", "npm-nikon-d90-photometric.jpg", "npm-windows-xmp.jpg", "1x1_exif_xmp.jpg"};
    constexpr int kPhotos = 80;
    const QString photos = tempPath(QStringLiteral("photos"));
    const QString working = tempPath(QStringLiteral("src_temp"));
    ASSERT_TRUE(QDir().mkpath(photos));
    ASSERT_TRUE(QDir().mkpath(working));
    for (int i = 0; i < kPhotos; ++i) {
        const QString name = samples.at(i % samples.size());
        ASSERT_FALSE(
            ImageFixtures::copySample(name, photos, QStringLiteral("%1-%2").arg(i, 3, 10, QLatin1Char('0')).arg(name))
                .isEmpty());
    }

    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    child.start(QStringLiteral(ONE_CPU_IMPORT_AND_SAVE), {photos, working, QStringLiteral("One Core")});
    // A few seconds on a busy machine; a hang never ends.
    const bool finished = child.waitForFinished(90000);
    if (!finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    ASSERT_TRUE(finished) << "still running after " << timer.elapsed() << " ms; it printed: " << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    EXPECT_EQ(output, QStringLiteral("imported %1\nsaved %1\n").arg(kPhotos));
    for (const QString& name : {QStringLiteral("001-gowebp-pentax.jpg"), QStringLiteral("004-goexif.tif")})
        EXPECT_EQ(ExifTool::read(photos + QLatin1Char('/') + name).value("IFD0:Artist").toString(), "One Core")
            << qPrintable(name);
}
