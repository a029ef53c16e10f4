// Deleting tokens, the context menu, dragging tokens out and dropping text in.
#include "views/RPTokenControl.h"

#include "foundation/NotificationHub.h"
#include "views/RPTokenControlDelegate.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPixmap>

#include <cmath>

bool RPTokenControl::deleteSelectedTokens()
{
    if (selectedIndexSet_.empty()) {
        return false;
    }
    const QStringList selected = selectedTokens();
    const std::optional<QSet<QString>> present = tokensSet().extractStrings();
    QStringList deleted;
    for (const QString& text : selected) {
        if (present && present->contains(text) && !deleted.contains(text)) {
            deleted.append(text);
        }
    }
    if (std::optional<RPTokenValue> collection = tokensCollection()) {
        for (const QString& text : deleted) {
            collection->removeAll(text);
        }
        deleted.sort();
        NotificationHub::defaultHub().post(userDeletedTokensNotification(), this, {{userDeletedTokensKey(), deleted}});
        setObjectValue(*collection);
        deselectAllIndexes();
        invalidateLayout();
        setFocus(Qt::OtherFocusReason);
    }
    return !deleted.isEmpty();
}

QString RPTokenControl::menuItemTitleToDeleteTokenControl(qint64 count, const QString& tokenName) const
{
    const QString subject = count < 2 ? QStringLiteral("'%1'").arg(tokenName) : QStringLiteral("%1 tokens").arg(count);
    return QStringLiteral("Delete %1").arg(subject);
}

void RPTokenControl::updateSelectionForEvent(const QPointF& point)
{
    mouseDownPoint_ = point;
    const qint64 index = indexOfTokenAtPoint(point);
    if (index == NotFound) {
        deselectAllIndexes();
        return;
    }
    if (!selectedTokens().contains(framedTokens_[index].text())) {
        deselectAllIndexes();
        selectIndex(index);
    }
}

std::unique_ptr<QMenu> RPTokenControl::menuForEvent(const QPointF& point)
{
    updateSelectionForEvent(point);
    const FramedToken* under = tokenAtPoint(point);
    // Without a token under the pointer there is nothing to name in the titles.
    if (!isEnabled() || under == nullptr) {
        return nullptr;
    }
    const RPCountedToken token = under->token();
    const qint64 count = std::max<qint64>(1, qint64(selectedTokens().size()));
    std::optional<QString> title;
    if (delegate_ != nullptr) {
        title = delegate_->menuItemTitleToDeleteTokenControl(this, count, token.text());
    }
    auto menu = std::make_unique<QMenu>(this);
    QAction* deleteItem = menu->addAction(title.value_or(menuItemTitleToDeleteTokenControl(count, token.text())));
    connect(deleteItem, &QAction::triggered, this, [this] { deleteSelectedTokens(); });
    if (delegate_ != nullptr && delegate_->respondsToRenameToken()) {
        QAction* renameItem = menu->addAction(QStringLiteral("Rename '%1'").arg(token.text()));
        connect(renameItem, &QAction::triggered, this, [this, token] {
            if (delegate_ != nullptr) {
                delegate_->tokenControlRenameToken(this, token.text());
            }
        });
    }
    return menu;
}

void RPTokenControl::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu = menuForEvent(event->pos());
    if (!menu) {
        QWidget::contextMenuEvent(event);
        return;
    }
    menu->exec(event->globalPos());
}

// --- drag source ------------------------------------------------------------

bool RPTokenControl::pointHasOvercomeHysteresis(const QPointF& point) const
{
    const double limit = defaultFontSize() / 2.0;
    return std::abs(point.x() - mouseDownPoint_.x()) > limit || std::abs(point.y() - mouseDownPoint_.y()) > limit;
}

std::unique_ptr<QMimeData> RPTokenControl::mimeDataForSelection() const
{
    const QStringList selected = selectedTokens();
    if (selected.isEmpty()) {
        return nullptr;
    }
    const QByteArray first = selected.first().toUtf8();
    const QByteArray joined = selected.join(QChar(u'\t')).toUtf8();
    auto data = std::make_unique<QMimeData>();
    data->setData(tokenPasteboardType(), first);
    data->setData(tabularTokenPasteboardType(), joined);
    data->setData(stringPasteboardType(), first);
    data->setData(tabularTextPasteboardType(), joined);
    return data;
}

void RPTokenControl::mouseMoveEvent(QMouseEvent* event)
{
    if (dragImage_.isNull() || !(event->buttons() & Qt::LeftButton) || !pointHasOvercomeHysteresis(event->position())) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    std::unique_ptr<QMimeData> data = mimeDataForSelection();
    if (!data) {
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    drag->setPixmap(QPixmap::fromImage(dragImage_));
    drag->setHotSpot(QPoint(0, 0));
    drag->exec(Qt::CopyAction);
}

// --- drop destination --------------------------------------------------------

void RPTokenControl::registerTypes(const QStringList& types)
{
    for (const QString& type : types) {
        if (!registeredTypes_.contains(type)) {
            registeredTypes_.append(type);
        }
    }
    setAcceptDrops(!registeredTypes_.isEmpty());
}

void RPTokenControl::unregisterDraggedTypes()
{
    registeredTypes_.clear();
    setAcceptDrops(false);
}

void RPTokenControl::registerForDefaultDraggedTypes()
{
    registerTypes({stringPasteboardType(), tabularTextPasteboardType()});
}

void RPTokenControl::setEditability(int32_t level)
{
    editability_ = level;
    if (level < 2) {
        unregisterDraggedTypes();
        const QString link = linkDragType();
        if (!link.isEmpty()) {
            registerTypes({link});
        }
    } else {
        registerForDefaultDraggedTypes();
    }
}

QString RPTokenControl::linkDragType() const
{
    QMutexLocker locker(&lock_);
    return linkDragType_;
}

void RPTokenControl::setLinkDragType(const QString& type)
{
    QMutexLocker locker(&lock_);
    linkDragType_ = type;
    if (!type.isEmpty()) {
        registerTypes({type});
    } else {
        unregisterDraggedTypes();
        registerForDefaultDraggedTypes();
    }
}

bool RPTokenControl::acceptsDrag(const QMimeData* data, bool updating)
{
    const QString link = linkDragType();
    if (!link.isEmpty() && data->hasFormat(link)) {
        std::optional<bool> answer;
        if (delegate_ != nullptr) {
            answer = updating ? delegate_->draggingUpdated(data) : delegate_->draggingEntered(data);
        }
        return answer.value_or(true);
    }
    for (const QString& type : registeredTypes_) {
        if (data->hasFormat(type)) {
            return true;
        }
    }
    return false;
}

void RPTokenControl::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptsDrag(event->mimeData(), false)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void RPTokenControl::dragMoveEvent(QDragMoveEvent* event)
{
    const qint64 index = indexOfTokenAtPoint(event->position());
    if (index != NotFound) {
        changeSelectionPerUserActionAtIndex(index, event->modifiers());
    }
    bool accepted = true;
    if (selectedIndexSet_.empty()) {
        accepted = acceptsDrag(event->mimeData(), true);
    } else if (delegate_ != nullptr) {
        accepted = delegate_->draggingUpdated(event->mimeData()).value_or(true);
    }
    if (accepted) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void RPTokenControl::dragLeaveEvent(QDragLeaveEvent* event)
{
    if (delegate_ != nullptr) {
        delegate_->draggingExited();
    }
    event->accept();
}

bool RPTokenControl::performDragOperation(const QMimeData* data)
{
    const QString link = linkDragType();
    if (!link.isEmpty() && data->hasFormat(link)) {
        return delegate_ != nullptr && delegate_->performDragOperation(data).value_or(false);
    }
    QStringList texts;
    if (data->hasFormat(tabularTextPasteboardType())) {
        texts = QString::fromUtf8(data->data(tabularTextPasteboardType())).split(QChar(u'\t'));
    } else if (data->hasText()) {
        texts.append(data->text());
    } else {
        return false;
    }
    RPTokenValue set = tokensSet();
    for (const QString& text : texts) {
        set.add(text);
    }
    setObjectValue(set);
    return true;
}

void RPTokenControl::dropEvent(QDropEvent* event)
{
    if (performDragOperation(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}
