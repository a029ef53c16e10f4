#pragma once

// Saves of real camera files read back by exiftool: the import fixture,
// skipped where exiftool is missing, with an edit as the tabs make it.

#include "models/image/ImageImportTest.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"

#include <gtest/gtest.h>

class CameraFileSaveTest : public ImageImportTest<FakeUiServices> {
protected:
    void SetUp() override
    {
        ImageImportTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    static void edit(const TAVImageObjectPtr& image, const QString& key, const QString& value)
    {
        image->exifData()->setValue(value, key, 0, false, false, true);
    }
};
