#include "commlib/VXAboutWindowController.h"
#include "commlib/VXIntroWindowController.h"
#include "commlib/VXQuestionsPage.h"

#include "foundation/UserDefaults.h"
#include "support/Gallery.h"
#include "support/TempFolder.h"

#include <QCheckBox>
#include <QFile>
#include <QPainter>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

QImage introPicture(const QColor& colour, const QString& caption)
{
    QImage image(640, 400, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPointSize(28);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, caption);
    return image;
}

} // namespace

TEST(VXIntroWindowController, PagesAndTheDontShowAgainBox)
{
    UserDefaults::standard().removeObjectForKey(QStringLiteral("next_not_show_tips_again"));
    VXIntroWindowController intro(
        {introPicture(Qt::darkCyan, QStringLiteral("Import")), introPicture(Qt::darkBlue, QStringLiteral("Edit"))},
        QStringLiteral("Tips"));
    TempFolder folder;
    QFile faq(folder.filePath(QStringLiteral("faq.html")));
    ASSERT_TRUE(faq.open(QIODevice::WriteOnly));
    faq.write("<h2>Where are my tags saved?</h2><p>In the image file itself.</p>");
    faq.close();
    intro.freqAskQuestions()->setUrl(QUrl::fromLocalFile(faq.fileName()), QStringLiteral("Frequently Asked Questions"));
    intro.clickShow();
    EXPECT_EQ(intro.currentPage(), 0);
    EXPECT_EQ(intro.pageCount(), 3);
    intro.showPage(7);
    EXPECT_EQ(intro.currentPage(), 2);
    EXPECT_TRUE(intro.freqAskQuestions()->toPlainText().contains(QStringLiteral("In the image file itself.")));
    EXPECT_TRUE(Gallery::capture(intro.window(), QStringLiteral("intro-questions")));

    EXPECT_FALSE(VXIntroWindowController::checkNextTimeNotShowAgain());
    intro.window()->findChild<QCheckBox*>()->click();
    EXPECT_TRUE(VXIntroWindowController::checkNextTimeNotShowAgain());
    intro.showPage(0);
    EXPECT_TRUE(Gallery::capture(intro.window(), QStringLiteral("intro")));
    UserDefaults::standard().removeObjectForKey(QStringLiteral("next_not_show_tips_again"));
}

TEST(VXAboutWindowController, ShowsTheIconNameAndVersion)
{
    const QImage icon = VXAboutWindowController::applicationIcon();
    ASSERT_FALSE(icon.isNull()) << "the icon resource is read by its content";
    EXPECT_GE(icon.width(), 256);
    VXAboutWindowController about;
    about.showWindow();
    EXPECT_TRUE(about.window()->isVisible());
    EXPECT_TRUE(Gallery::capture(about.window(), QStringLiteral("about")));
}
