#include "models/record/SafeDictionary.h"

#include "support/QtPrinters.h"

#include <QMap>
#include <QVariant>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

TEST(SafeDictionaryTest, PairsWithAnAbsentObjectOrKeyAreLeftOut)
{
    const std::vector<QVariant> objects{"one", QVariant(), "three", 4};
    const std::vector<QString> keys{"a", "b", "c", QString()};
    const auto map = SafeDictionary::dictionaryWithObjects<QVariantMap>(objects, keys);
    EXPECT_EQ(map.keys(), (QStringList{"a", "c"}));
    EXPECT_EQ(map.value("c").toString(), "three");

    const std::vector<std::shared_ptr<int>> pointers{std::make_shared<int>(1), nullptr};
    const std::vector<const char*> names{"x", "y"};
    EXPECT_EQ(
        (SafeDictionary::dictionaryWithObjects<std::map<std::string, std::shared_ptr<int>>>(pointers, names)).size(),
        1u);
}

TEST(SafeDictionaryTest, SettingAnAbsentObjectKeepsTheEntry)
{
    QMap<QString, QString> map{{"title", "Harbour"}};
    SafeDictionary::setObjectForKey(map, QString(), "title");
    SafeDictionary::setObjectForKey(map, std::optional<QString>(), "title");
    EXPECT_EQ(map.value("title"), "Harbour");
    SafeDictionary::setObjectForKey(map, QStringLiteral(""), "title");
    EXPECT_EQ(map.value("title"), "");
}
