#include "commlib/VXDragFiles.h"

#include <QMimeData>
#include <QUrl>

QStringList VXDragFiles::localPaths(const QMimeData* data)
{
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            paths << url.toLocalFile();
        }
    }
    return paths;
}
