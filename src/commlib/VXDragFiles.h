#pragma once

#include <QStringList>

class QMimeData;

// What a drag carries as file names: only local-file URLs count, so text and
// web links never reach code that expects paths on disk.
class VXDragFiles {
public:
    // The local paths in the order of the drag; empty when there are none.
    static QStringList localPaths(const QMimeData* data);
    static bool carriesFiles(const QMimeData* data) { return !localPaths(data).isEmpty(); }
};
