#pragma once

#include <QImage>
#include <QString>

// The map pictures compiled into the program (resources/map, under ":/map").
class MapResources {
public:
    // Registers the compiled-in files; the library is static, so nothing else
    // would pull them in. Safe to call any number of times.
    static void ensureLoaded();
    // "qrc:/map/<name>.png".
    static QString pictureUrl(const QString& name);
    // The picture at its display size (the files are drawn at twice the size).
    static QImage picture(const QString& name);
};
