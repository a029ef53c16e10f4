#pragma once

// A test fixture that imports photos as the application does: the user's
// file in "user/", the image object on its working copy in "work/", with the
// fake user `Ui` answering alerts.

#include "models/image/TAVImageObject.h"

#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"

#include "support/ImageFixtures.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFileInfo>

template <typename Ui> class ImageImportTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        QDir().mkpath(tempPath("user"));
        QDir().mkpath(tempPath("work"));
        UserDefaults::standard().setBool(false, "save_continue_after_error");
        UserDefaults::standard().setBool(false, "update_file_origine_open_create_modify_date");
        UiServices::setShared(&ui_);
    }
    void TearDown() override { UiServices::setShared(nullptr); }

    // A photo as the user has it, and the image object on its working copy.
    TAVImageObjectPtr import(const QString& name, const std::vector<std::pair<QString, QString>>& keyValues)
    {
        std::vector<ImageFixtures::Tag> tags;
        for (const auto& [key, value] : keyValues)
            tags.push_back(ImageFixtures::Tag{key, value, std::nullopt});
        const QString user = tempPath("user/" + name);
        EXPECT_TRUE(tags.empty() ? ImageFixtures::makeImage(user) : ImageFixtures::makeImageWithTags(user, tags));
        return openWorkingCopy(user);
    }

    TAVImageObjectPtr importSample(const QString& sample)
    {
        return openWorkingCopy(ImageFixtures::copySample(sample, tempPath("user")));
    }

    TAVImageObjectPtr openWorkingCopy(const QString& user)
    {
        const QString work = tempPath("work/" + QFileInfo(user).fileName());
        EXPECT_TRUE(FileServices::copyItem(user, work));
        auto image = TAVImageObject::create(work);
        image->setSrcPath(user);
        return image;
    }

    Ui ui_;
};
