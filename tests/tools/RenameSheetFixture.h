#pragma once

// What the rename sheet's tests share: the fake services, a recording
// delegate, real JPEG files imported as image objects and a log catcher.

#include "tools/TAVRenameWindowController.h"
#include "tools/TAVRenameWindowControllerDelegate.h"

#include "commlib/VXCommonWindowController.h"
#include "models/image/TAVImageObject.h"

#include "support/FakeUiServices.h"
#include "support/FakeWorkspace.h"
#include "support/ImageFixtures.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

// Answers the sheet as the main window would and records what it was told.
class FakeRenameDelegate : public TAVRenameWindowControllerDelegate {
public:
    bool hasUnsaveModified(bool allImages) override
    {
        askedAllImages = allImages;
        return unsaved;
    }
    bool confirmWholeListChange(const QString& title, const QString& what, const QString&, const QString&) override
    {
        wholeListQuestions.append(title + QLatin1Char(' ') + what);
        return wholeListAnswer;
    }
    QList<TAVImageObjectPtr> renameWndControllerAskForImagesToApply(bool allImages) override
    {
        askedAllImages = allImages;
        ++imageRequests;
        return images;
    }
    void reloadedAllRenamedFiles(const QList<TAVImageObjectPtr>& renamedImages) override
    {
        reloaded.append(renamedImages);
        ++reloadCalls;
        if (onReload) {
            onReload();
        }
    }

    bool unsaved = false;
    bool wholeListAnswer = true;
    QStringList wholeListQuestions;
    QList<TAVImageObjectPtr> images;
    bool askedAllImages = false;
    int imageRequests = 0;
    int reloadCalls = 0;
    QList<TAVImageObjectPtr> reloaded;
    std::function<void()> onReload;
};

// Collects the log lines written while it lives.
class LogCatcher {
public:
    LogCatcher()
    {
        lines().clear();
        previous_ = qInstallMessageHandler(&LogCatcher::handle);
    }
    ~LogCatcher() { qInstallMessageHandler(previous_); }
    bool saw(const QString& text) const
    {
        return std::any_of(lines().cbegin(), lines().cend(), [&text](const QString& line) { return line == text; });
    }
    int count(const QString& text) const { return static_cast<int>(lines().count(text)); }

private:
    static QStringList& lines()
    {
        static QStringList caught;
        return caught;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) { lines().append(message); }

    QtMessageHandler previous_ = nullptr;
};

class RenameSheetTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        UiServices::setShared(&ui_);
        Workspace::setShared(&workspace_);
    }
    void TearDown() override
    {
        sheet_.reset();
        mainWindow_.reset();
        UiServices::setShared(nullptr);
        Workspace::setShared(nullptr);
    }

    // A new sheet up over a main window, with its tree expanded.
    TAVRenameWindowController& openSheet(const TAVImageObjectPtr& demoImage = nullptr)
    {
        sheet_.reset();
        if (!mainWindow_) {
            mainWindow_ = std::make_unique<VXCommonWindowController>();
            mainWindow_->window()->resize(900, 700);
            mainWindow_->showNormalWindow();
        }
        sheet_ = std::make_unique<TAVRenameWindowController>(demoImage, &delegate_);
        mainWindow_->beginSheetWindow(sheet_->window());
        QApplication::processEvents();
        return *sheet_;
    }

    // A real JPEG at `path`, imported as the photo list does: the image object
    // reads its own copy and remembers the user's file as its source.
    TAVImageObjectPtr importedImage(const QString& path, const std::vector<ImageFixtures::Tag>& tags = {})
    {
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, tags)) << path.toStdString();
        return imageOf(path);
    }
    // The picture file at `path` imported as an image object.
    TAVImageObjectPtr imageOf(const QString& path)
    {
        const QString working = tempPath(QStringLiteral("working-%1").arg(++imported_)) + QStringLiteral(".jpg");
        EXPECT_TRUE(QFile::copy(path, working));
        TAVImageObjectPtr image = TAVImageObject::create(working);
        image->setSrcPath(path);
        return image;
    }

    // The tree's field `name` under the root `category`.
    TAVRenameRuleFieldPtr field(const QString& category, const QString& name) const
    {
        for (const TAVRenameRootItemPtr& root : sheet_->rootRuleItems()) {
            for (const TAVRenameRuleFieldPtr& f : root->subRuleFields()) {
                if (root->category() == category && f->field() == name) {
                    return f;
                }
            }
        }
        ADD_FAILURE() << "no field " << name.toStdString();
        return nullptr;
    }

    // The rule list as "name" texts.
    QStringList ruleNames() const
    {
        QStringList names;
        for (const TAVRenameRuleFieldPtr& rule : sheet_->edittingRules()) {
            names << rule->field();
        }
        return names;
    }

    FakeUiServices ui_;
    FakeWorkspace workspace_;
    FakeRenameDelegate delegate_;
    std::unique_ptr<VXCommonWindowController> mainWindow_;
    std::unique_ptr<TAVRenameWindowController> sheet_;
    int imported_ = 0;
};
