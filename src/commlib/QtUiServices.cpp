#include "commlib/QtUiServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

namespace {

const char* const codeProperty = "lumettaButtonCode";

QWidget* windowOf(QObject* parent)
{
    auto* widget = qobject_cast<QWidget*>(parent);
    return widget ? widget->window() : QApplication::activeWindow();
}

QMessageBox::Icon iconOf(UiServices::AlertStyle style)
{
    switch (style) {
    case UiServices::AlertStyle::Informational:
        return QMessageBox::Information;
    case UiServices::AlertStyle::Critical:
        return QMessageBox::Critical;
    case UiServices::AlertStyle::Warning:
        break;
    }
    return QMessageBox::Warning;
}

// Upper or lower case for every letter: "jpg" becomes "[jJ][pP][gG]".
QString caseless(const QString& extension)
{
    QString pattern;
    for (const QChar c : extension) {
        if (c.isLetter()) {
            pattern += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        } else if (c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('*') || c == QLatin1Char('?')) {
            pattern += QLatin1Char('[') + c + QLatin1Char(']');
        } else {
            pattern += c;
        }
    }
    return pattern;
}

// An alert that lists files (an export of 900 photos, a save of as many
// failures) would grow taller than the screen, its buttons out of reach: a
// text taller than half the screen is shown in a scrolled area of that
// height, so the box and its buttons stay on the screen whatever it lists.
void scrollLongText(QMessageBox* box)
{
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    const QScreen* screen = box->screen();
    if (label == nullptr || grid == nullptr || screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    const int textWidth = std::min(500, available.width() / 2);
    const int mostHeight = available.height() / 2;
    label->setWordWrap(true);
    if (label->heightForWidth(textWidth) <= mostHeight) {
        return;
    }
    int row = 0;
    int column = 0;
    int rowSpan = 0;
    int columnSpan = 0;
    grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
    grid->removeWidget(label);
    auto* area = new QScrollArea(box);
    area->setObjectName(QStringLiteral("alertTextScroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(label);
    area->setFixedSize(textWidth + area->verticalScrollBar()->sizeHint().width(), mostHeight);
    grid->addWidget(area, row, column, rowSpan, columnSpan);
}

} // namespace

QMessageBox* QtUiServices::makeAlert(const AlertRequest& request, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setIcon(iconOf(request.style));
    box->setWindowTitle(request.title);
    box->setText(request.title);
    box->setInformativeText(request.message);
    QStringList buttons = request.buttons;
    if (buttons.isEmpty()) {
        buttons << QStringLiteral("OK");
    }
    for (int index = 0; index < buttons.size(); ++index) {
        // The role only decides where the style places a button; the code
        // comes from the button itself.
        const bool cancel = buttons.at(index) == QStringLiteral("Cancel");
        QPushButton* button
            = box->addButton(buttons.at(index), cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        button->setProperty(codeProperty, FirstButton + index);
        if (index == request.defaultButton) {
            box->setDefaultButton(button);
        }
        if (cancel) {
            box->setEscapeButton(button);
        }
    }
    scrollLongText(box);
    return box;
}

int QtUiServices::codeOfClicked(const QMessageBox& box)
{
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr) {
        return FirstButton;
    }
    return clicked->property(codeProperty).toInt();
}

int QtUiServices::runAlert(const AlertRequest& request)
{
    QMessageBox* box = makeAlert(request, windowOf(request.parent));
    box->exec();
    const int code = codeOfClicked(*box);
    delete box;
    return code;
}

void QtUiServices::runAlertSheet(
    const AlertRequest& request, const std::function<void(int)>& onDismiss, const std::function<void()>& onCancel)
{
    QMessageBox* box = makeAlert(request, windowOf(request.parent));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QDialog::finished, box, [box, onDismiss, onCancel] {
        const int code = codeOfClicked(*box);
        if (code == FirstButton) {
            if (onCancel) {
                onCancel();
            }
        } else if (onDismiss) {
            onDismiss(code);
        }
    });
    box->open();
}

QString QtUiServices::nameFilterFor(const QStringList& extensions)
{
    QStringList patterns;
    for (const QString& extension : extensions) {
        if (!extension.isEmpty()) {
            patterns << QStringLiteral("*.") + caseless(extension);
        }
    }
    if (patterns.isEmpty()) {
        return QString();
    }
    return QStringLiteral("Images (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QStringList QtUiServices::runOpenPanel(const OpenPanelRequest& request)
{
    QFileDialog dialog(windowOf(request.parent), request.title, request.directory);
    // Qt's own dialog on every desktop, so filters behave the same everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (request.chooseFolders && !request.chooseFiles) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        const QString filter = nameFilterFor(request.fileTypes);
        if (!filter.isEmpty()) {
            dialog.setNameFilter(filter);
        }
    }
    if (dialog.exec() != QDialog::Accepted) {
        return QStringList();
    }
    return dialog.selectedFiles();
}

void QtUiServices::beep()
{
    QApplication::beep();
}
