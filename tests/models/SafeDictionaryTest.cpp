#include "models/SafeDictionary.h"

#include "support/QtPrinters.h"

#include <QMap>
#include <QVariant>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

TEST(SafeDictionaryTest, PairsWithAnAbsentObjectOrKeyAreLeftOut)
{
    const std::vector<QVariant> objects{QStringLiteral("one"), QVariant(), QStringLiteral("three"), 4};
    const std::vector<QString> keys{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QString()};
    const auto map = SafeDictionary::dictionaryWithObjects<QVariantMap>(objects, keys);
    EXPECT_EQ(map.keys(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_EQ(map.value(QStringLiteral("c")).toString(), "three");

    const std::vector<std::shared_ptr<int>> pointers{std::make_shared<int>(1), nullptr};
    const std::vector<const char*> names{"x", "y"};
    EXPECT_EQ(
        (SafeDictionary::dictionaryWithObjects<std::map<std::string, std::shared_ptr<int>>>(pointers, names)).size(),
        1u);
}

TEST(SafeDictionaryTest, SettingAnAbsentObjectKeepsTheEntry)
{
    QMap<QString, QString> map{{QStringLiteral("title"), QStringLiteral("Harbour")}};
    SafeDictionary::setObjectForKey(map, QString(), QStringLiteral("title"));
    SafeDictionary::setObjectForKey(map, std::optional<QString>(), QStringLiteral("title"));
    EXPECT_EQ(map.value(QStringLiteral("title")), "Harbour");
    SafeDictionary::setObjectForKey(map, QStringLiteral(""), QStringLiteral("title"));
    EXPECT_EQ(map.value(QStringLiteral("title")), "");
}
