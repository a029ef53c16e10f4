#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <mutex>

class QSettings;

// The user's defaults: persistent values by key over QSettings, in front of an
// in-memory registration domain.
//
// Callers rely on:
// - Reading gives the stored value, else the registered one, else NO / 0 /
//   0.0 / an absent (null) text / an invalid QVariant.
// - registerDefaults only fills the registration domain; it is never written.
// - Writing persists; an explicitly stored NO or 0 overrides a registered YES.
//   Storing an invalid QVariant (or a null text) removes the stored value.
// - Every operation is thread-safe (the save loop reads from a worker).
class UserDefaults {
public:
    // The application's defaults, in QSettings' standard place for the
    // organisation and application names, which must be set before first use.
    static UserDefaults& standard();
    // The file standard() keeps them in. An application without an
    // organisation keeps "<config>/<app>/<app>.conf", inside its own config
    // folder, rather than under a made-up organisation.
    static QString standardFilePath();

    // Defaults kept in the given INI file (tests, tools).
    explicit UserDefaults(const QString& iniFilePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    void registerDefaults(const QVariantMap& defaults);

    QVariant objectForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    int64_t integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    // True when a value is stored (not only registered) under the key.
    bool hasStoredValueForKey(const QString& key) const;

    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key);
    void setInteger(int64_t value, const QString& key);
    void setDouble(double value, const QString& key);
    void setString(const QString& value, const QString& key);
    void removeObjectForKey(const QString& key);

    // Writes pending changes to disk now. True when the store is in a good state.
    bool synchronize();

private:
    UserDefaults();
    void saveThroughGuiThread();

    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
    QVariantMap registered_;
};
