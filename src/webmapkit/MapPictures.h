#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantMap>

// The pictures a map page names by URL (its pins): the compiled-in ones
// ("qrc:/map/<name>.png", drawn at half their pixel size) and local files
// ("file://" URLs or absolute paths). Read once and kept; anything else, or a
// file that is no picture or larger than 512 pixels either way, is none. The
// page asks for their display size through window.GMKPictures.
class MapPictures : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The picture with its device pixel ratio set; null when there is none.
    static QImage picture(const QString& url);
    // {"width", "height"} in display pixels; empty for no picture.
    Q_INVOKABLE QVariantMap size(const QString& url) const;
};
