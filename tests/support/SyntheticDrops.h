#pragma once

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

// Drags `data` onto `widget` with synthetic events, as a drag from another
// application would arrive. An event nobody accepts counts as refused.
struct SyntheticDrop {
    bool entered = false;
    bool dropped = false;

    static SyntheticDrop onto(QWidget* widget, const QMimeData& data, Qt::DropActions actions = Qt::CopyAction)
    {
        SyntheticDrop result;
        const QPoint point(widget->width() / 2, widget->height() / 2);
        QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QApplication::sendEvent(widget, &enter);
        result.entered = enter.isAccepted();
        if (!result.entered) {
            return result;
        }
        QDropEvent drop(QPointF(point), actions, &data, Qt::LeftButton, Qt::NoModifier);
        drop.ignore();
        QApplication::sendEvent(widget, &drop);
        result.dropped = drop.isAccepted();
        return result;
    }

    static QMimeData* files(const QStringList& paths)
    {
        auto* data = new QMimeData();
        QList<QUrl> urls;
        for (const QString& path : paths) {
            urls << QUrl::fromLocalFile(path);
        }
        data->setUrls(urls);
        return data;
    }
};
