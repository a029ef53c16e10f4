#pragma once

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A temporary folder that is removed with everything in it when the test ends.
class TempFolder {
public:
    TempFolder();

    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    // The absolute path of `name` inside the folder (not created).
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

// Base fixture for tests that work on files.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }
    QString tempPath(const QString& name) const { return temp_.filePath(name); }
    QString tempFolder() const { return temp_.path(); }

    TempFolder temp_;
};
