#include "commlib/VXQuestionsPage.h"

VXQuestionsPage::VXQuestionsPage(QWidget* parent)
    : QTextBrowser(parent)
{
    // Links to the web leave the page for the desktop's browser.
    setOpenExternalLinks(true);
}

void VXQuestionsPage::setUrl(const QUrl& url, const QString& title)
{
    title_ = title;
    setSource(url);
    emit titleChanged(title);
}
