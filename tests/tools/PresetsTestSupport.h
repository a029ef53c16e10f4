#pragma once

#include "tools/TAVPrestManager.h"

#include "foundation/FileServices.h"
#include "foundation/VXFileLocalManager.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace PresetsTest {

// The presets folder of this test process (a private one under Qt's test mode).
inline QString folder()
{
    return QDir(VXFileLocalManager::appSupportDirectory()).filePath(QStringLiteral("Presets"));
}

inline QString file(const QString& name)
{
    return QDir(folder()).filePath(name);
}

inline QByteArray contents(const QString& path)
{
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<unreadable>");
}

inline bool put(const QString& path, const QByteArray& data)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(data) == data.size();
}

// A named record holding the given keys and values, each in its own category.
inline TAVExifDataPtr record(const QString& name, const std::vector<std::pair<QString, QString>>& entries)
{
    QMap<int, TAVEntityMap> maps;
    for (const auto& [key, value] : entries) {
        maps[TAVExifData::getLocalShowKeyType(key)].insert(key, TAVEntity::entityWithValue(value, key));
    }
    auto result = TAVExifData::create();
    for (auto it = maps.cbegin(); it != maps.cend(); ++it) {
        result->initImageExifData(it.value(), it.key());
    }
    result->setStrName(name);
    return result;
}

// Names of the stored presets in listing order; empty for none.
inline QStringList storedNames()
{
    QStringList names;
    for (const TAVExifDataPtr& preset :
        TAVPrestManager::sharedInstance()->loadPresets().value_or(QList<TAVExifDataPtr>())) {
        names.append(preset->strName());
    }
    return names;
}

// Every test starts and ends without a presets folder.
class PresetsFolderTest : public ::testing::Test {
protected:
    void SetUp() override { FileServices::removeItem(folder()); }
    void TearDown() override { FileServices::removeItem(folder()); }

    TAVPrestManager& store() { return *TAVPrestManager::sharedInstance(); }
    // Stores a preset and checks that it went in.
    void addPreset(const QString& name, const std::vector<std::pair<QString, QString>>& entries)
    {
        ASSERT_TRUE(store().addPreset(record(name, entries))) << name.toStdString();
    }
};

} // namespace PresetsTest
