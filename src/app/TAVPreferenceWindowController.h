#pragma once

#include "commlib/VXCommonWindowController.h"

#include <QList>

class QCheckBox;
class QPushButton;

// The preferences window: five check boxes, each showing and setting one
// boolean user default. A checked box means the key reads YES.
class TAVPreferenceWindowController : public VXCommonWindowController {
    Q_OBJECT
public:
    explicit TAVPreferenceWindowController(QObject* parent = nullptr);

    // The outlet names of the boxes, each with its key, in window order.
    static const QList<QPair<QString, QString>>& outletKeys();

    QCheckBox* notMdfDateChk() { return checkBox(QStringLiteral("notMdfDateChk")); }
    QCheckBox* rememberPhotolistSize() { return checkBox(QStringLiteral("rememberPhotolistSize")); }
    QCheckBox* continuSaveChk() { return checkBox(QStringLiteral("continuSaveChk")); }
    QCheckBox* alwaysShowIntro() { return checkBox(QStringLiteral("alwaysShowIntro")); }
    QCheckBox* replayIntro() { return checkBox(QStringLiteral("replayIntro")); }
    // The box of that outlet name (the window is made on first use).
    QCheckBox* checkBox(const QString& outlet);

    // Each box on when its key reads YES (stored, else registered), else off.
    void updateCheckButtonState();
    // Stores the clicked box's state as an explicit YES or NO.
    void clickCheckbox(QCheckBox* box);
    void clickOk();
    void clickFeedback();

protected:
    QWidget* makeWindow() override;
    void windowDidLoad() override;
};
