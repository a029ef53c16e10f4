#pragma once

#include <QString>

#include <optional>

class QMimeData;
class RPTokenControl;

// What a token field asks of its owner. Every operation is optional: the
// default bodies answer "not implemented" (nullopt or false from the responds
// query), and the control then uses its own behaviour.
class RPTokenControlDelegate {
public:
    virtual ~RPTokenControlDelegate() = default;

    // Renaming is offered in the context menu only when this answers true.
    virtual bool respondsToRenameToken() const { return false; }
    virtual void tokenControlRenameToken(RPTokenControl* /*control*/, const QString& /*token*/) { }

    // The title of the context menu's delete item.
    virtual std::optional<QString> menuItemTitleToDeleteTokenControl(
        RPTokenControl* /*control*/, qint64 /*count*/, const QString& /*tokenName*/)
    {
        return std::nullopt;
    }

    // Drags of the link drag type: whether a copy is offered (nullopt: the
    // control offers a copy), and whether the drop was taken.
    virtual std::optional<bool> draggingEntered(const QMimeData* /*data*/) { return std::nullopt; }
    virtual std::optional<bool> draggingUpdated(const QMimeData* /*data*/) { return std::nullopt; }
    virtual std::optional<bool> performDragOperation(const QMimeData* /*data*/) { return std::nullopt; }
    virtual void draggingExited() { }
};
