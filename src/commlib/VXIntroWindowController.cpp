#include "commlib/VXIntroWindowController.h"

#include "commlib/VXCommonWindow.h"
#include "commlib/VXQuestionsPage.h"
#include "foundation/UserDefaults.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString notShowAgainKey = QStringLiteral("next_not_show_tips_again");
const QSize pageSize(640, 420);

QLabel* pictureOf(const QImage& image, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(QPixmap::fromImage(image.scaled(pageSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    return label;
}

} // namespace

VXIntroWindowController::VXIntroWindowController(const QList<QImage>& introViews, const QString& title, QObject* parent)
    : VXCommonWindowController(parent)
    , introViews_(introViews)
    , title_(title)
{
}

bool VXIntroWindowController::checkNextTimeNotShowAgain()
{
    return UserDefaults::standard().boolForKey(notShowAgainKey);
}

QWidget* VXIntroWindowController::makeWindow()
{
    auto* window = new VXCommonWindow();
    window->setWindowTitle(title_);
    // A helper window: closing the main window still ends the application.
    window->setAttribute(Qt::WA_QuitOnClose, false);

    pageTitle_ = new QLabel(title_, window);
    QFont heading = pageTitle_->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    pageTitle_->setFont(heading);

    pages_ = new QStackedWidget(window);
    pages_->setMinimumSize(pageSize);
    for (const QImage& image : introViews_) {
        pages_->addWidget(pictureOf(image, pages_));
    }
    questions_ = new VXQuestionsPage(pages_);
    pages_->addWidget(questions_);

    notShowAgain_ = new QCheckBox(QStringLiteral("Don't show this again at start-up"), window);
    previous_ = new QPushButton(QStringLiteral("Previous"), window);
    next_ = new QPushButton(QStringLiteral("Next"), window);
    pageNumber_ = new QLabel(window);

    auto* bottom = new QHBoxLayout();
    bottom->addWidget(notShowAgain_);
    bottom->addStretch(1);
    bottom->addWidget(pageNumber_);
    bottom->addWidget(previous_);
    bottom->addWidget(next_);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(pageTitle_);
    layout->addWidget(pages_, 1);
    layout->addLayout(bottom);

    connect(previous_, &QPushButton::clicked, this, [this] { showPage(currentPage() - 1); });
    connect(next_, &QPushButton::clicked, this, [this] { showPage(currentPage() + 1); });
    connect(notShowAgain_, &QCheckBox::toggled, this,
        [](bool checked) { UserDefaults::standard().setBool(checked, notShowAgainKey); });
    connect(questions_, &VXQuestionsPage::titleChanged, this, [this] { refreshPaging(); });
    return window;
}

VXQuestionsPage* VXIntroWindowController::freqAskQuestions()
{
    window();
    return questions_;
}

void VXIntroWindowController::clickShow()
{
    window();
    notShowAgain_->setChecked(checkNextTimeNotShowAgain());
    showPage(0);
    showNormalWindow();
}

int VXIntroWindowController::currentPage()
{
    window();
    return pages_->currentIndex();
}

int VXIntroWindowController::pageCount()
{
    window();
    return pages_->count();
}

void VXIntroWindowController::showPage(int index)
{
    window();
    pages_->setCurrentIndex(std::clamp(index, 0, pages_->count() - 1));
    refreshPaging();
}

void VXIntroWindowController::refreshPaging()
{
    const int index = pages_->currentIndex();
    const bool onQuestions = pages_->currentWidget() == questions_;
    pageTitle_->setText(onQuestions && !questions_->title().isEmpty() ? questions_->title() : title_);
    pageNumber_->setText(QStringLiteral("%1 / %2").arg(index + 1).arg(pages_->count()));
    previous_->setEnabled(index > 0);
    next_->setEnabled(index < pages_->count() - 1);
}
