#include "foundation/UserDefaults.h"

#include "foundation/TextNumbers.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

bool isText(const QVariant& value)
{
    return value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray;
}

std::unique_ptr<QSettings> standardSettings()
{
    const QString application = QCoreApplication::applicationName();
    const QString organization = QCoreApplication::organizationName();
    return std::make_unique<QSettings>(
        QSettings::UserScope, organization.isEmpty() ? application : organization, application);
}

} // namespace

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults;
    return defaults;
}

QString UserDefaults::standardFilePath()
{
    return standardSettings()->fileName();
}

UserDefaults::UserDefaults()
    : settings_(standardSettings())
{
    saveThroughGuiThread();
}

UserDefaults::UserDefaults(const QString& iniFilePath)
    : settings_(std::make_unique<QSettings>(iniFilePath, QSettings::IniFormat))
{
    saveThroughGuiThread();
}

void UserDefaults::saveThroughGuiThread()
{
    // QSettings writes its changes out from an event it posts to itself. Made on
    // a worker thread, which runs no event loop, it would keep them in memory
    // until the end of the process, so it always lives on the GUI thread.
    if (const QCoreApplication* application = QCoreApplication::instance()) {
        settings_->moveToThread(application->thread());
    }
}

UserDefaults::~UserDefaults() = default;

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    std::lock_guard lock(mutex_);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        registered_.insert(it.key(), it.value());
    }
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    std::lock_guard lock(mutex_);
    const QVariant stored = settings_->value(key);
    return stored.isValid() ? stored : registered_.value(key);
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    // Stored texts ("true", "false" from the INI file, or "YES"/"1" written by
    // hand) read with the leading-character rule.
    return isText(value) ? TextNumbers::boolValue(value.toString()) : value.toBool();
}

int64_t UserDefaults::integerForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        // Cut, as the number's text reads after a restart; the conversion of
        // the variant would round, and wrap where the value is too large.
        return TextNumbers::integerPart(value.toDouble());
    }
    if (isText(value)) {
        const QString text = value.toString();
        if (text == QLatin1String("true")) {
            return 1;
        }
        return TextNumbers::longLongValue(text);
    }
    return value.toLongLong();
}

double UserDefaults::doubleForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    if (isText(value)) {
        const QString text = value.toString();
        if (text == QLatin1String("true")) {
            return 1;
        }
        return TextNumbers::doubleValue(text);
    }
    return value.toDouble();
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    if (!value.isValid()) {
        return QString();
    }
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        return TextNumbers::stringFromDouble(value.toDouble());
    }
    if (!value.canConvert<QString>()) {
        return QString();
    }
    const QString text = value.toString();
    return text.isNull() ? QStringLiteral("") : text;
}

bool UserDefaults::hasStoredValueForKey(const QString& key) const
{
    std::lock_guard lock(mutex_);
    return settings_->contains(key);
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    std::lock_guard lock(mutex_);
    if (!value.isValid() || (value.typeId() == QMetaType::QString && value.toString().isNull())) {
        settings_->remove(key);
    } else {
        settings_->setValue(key, value);
    }
}

void UserDefaults::setBool(bool value, const QString& key)
{
    setObject(value, key);
}

void UserDefaults::setInteger(int64_t value, const QString& key)
{
    setObject(QVariant::fromValue(qint64(value)), key);
}

void UserDefaults::setDouble(double value, const QString& key)
{
    setObject(value, key);
}

void UserDefaults::setString(const QString& value, const QString& key)
{
    setObject(value.isNull() ? QVariant() : QVariant(value), key);
}

void UserDefaults::removeObjectForKey(const QString& key)
{
    setObject(QVariant(), key);
}

bool UserDefaults::synchronize()
{
    std::lock_guard lock(mutex_);
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}
