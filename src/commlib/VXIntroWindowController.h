#pragma once

#include "commlib/VXCommonWindowController.h"

#include <QImage>
#include <QList>

class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class VXQuestionsPage;

// The introduction: picture pages, then the page of frequently asked
// questions, paged with Previous and Next, and a box the user ticks to not
// see it again at start-up.
class VXIntroWindowController : public VXCommonWindowController {
    Q_OBJECT
public:
    VXIntroWindowController(const QList<QImage>& introViews, const QString& title, QObject* parent = nullptr);

    // True when the user chose not to see the introduction at start-up.
    static bool checkNextTimeNotShowAgain();

    VXQuestionsPage* freqAskQuestions();
    // Shows the window on its first page.
    void clickShow();

    int currentPage();
    int pageCount();
    void showPage(int index);

protected:
    QWidget* makeWindow() override;

private:
    void refreshPaging();

    QList<QImage> introViews_;
    QString title_;
    QStackedWidget* pages_ = nullptr;
    VXQuestionsPage* questions_ = nullptr;
    QLabel* pageTitle_ = nullptr;
    QLabel* pageNumber_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QCheckBox* notShowAgain_ = nullptr;
};
