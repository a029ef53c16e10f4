#pragma once

// Readable gtest output for Qt values: include in tests that compare them.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    if (text.isNull()) {
        *out << "(null QString)";
    } else {
        *out << '"' << text.toStdString() << '"';
    }
}

inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *out << (i ? ", " : "") << '"' << list.at(i).toStdString() << '"';
    }
    *out << ']';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << "QByteArray(\"" << bytes.toStdString() << "\")";
}

inline void PrintTo(const QMap<QString, QString>& map, std::ostream* out)
{
    *out << '{';
    for (auto it = map.begin(); it != map.end(); ++it) {
        *out << (it == map.begin() ? "" : ", ") << it.key().toStdString() << '=' << '"' << it.value().toStdString()
             << '"';
    }
    *out << '}';
}
