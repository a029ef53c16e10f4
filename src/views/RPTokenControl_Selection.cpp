// Selection of the token field: index operations, the user action at an
// index (with paging of the shown window), mouse, keyboard and type-select.
#include "views/RPTokenControl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollArea>

#include <algorithm>
#include <limits>

namespace {

constexpr float largestDistance = std::numeric_limits<float>::max();

// The text reduced for a prefix match that ignores case and accents.
QString foldedForMatching(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_SpacingCombining
            && c.category() != QChar::Mark_Enclosing) {
            folded.append(c);
        }
    }
    return folded.toCaseFolded();
}

} // namespace

void RPTokenControl::redrawIndex(qint64 index)
{
    if (index >= 0 && index < framedTokens_.size()) {
        update(framedTokens_[index].bounds().toAlignedRect());
    }
}

void RPTokenControl::storeSelection(const IndexSet& indexes)
{
    if (indexes == selectedIndexSet_) {
        return;
    }
    selectedIndexSet_ = indexes;
    emit selectedIndexSetChanged();
}

void RPTokenControl::setSelectedIndexSet(const IndexSet& indexes)
{
    storeSelection(indexes);
    update();
}

void RPTokenControl::selectIndex(qint64 index)
{
    if (isSelectedIndex(index)) {
        return;
    }
    IndexSet indexes = selectedIndexSet_;
    indexes.insert(index);
    storeSelection(indexes);
    lastSelectedIndex_ = index;
    redrawIndex(index);
}

void RPTokenControl::deselectIndex(qint64 index)
{
    if (!isSelectedIndex(index)) {
        return;
    }
    IndexSet indexes = selectedIndexSet_;
    indexes.erase(index);
    storeSelection(indexes);
    redrawIndex(index);
}

void RPTokenControl::selectIndexesInRange(qint64 location, qint64 length)
{
    const qint64 last = location + length - 1;
    bool allSelected = true;
    for (qint64 index = location; index <= last && allSelected; ++index) {
        allSelected = isSelectedIndex(index);
    }
    if (!allSelected) {
        IndexSet indexes = selectedIndexSet_;
        for (qint64 index = location; index <= last; ++index) {
            if (indexes.insert(index).second) {
                redrawIndex(index);
            }
        }
        storeSelection(indexes);
    }
    lastSelectedIndex_ = last;
}

void RPTokenControl::deselectAllIndexes()
{
    if (!selectedIndexSet_.empty()) {
        for (const qint64 index : selectedIndexSet_) {
            redrawIndex(index);
        }
        storeSelection({});
    }
    lastSelectedIndex_ = NotFound;
}

void RPTokenControl::selectAllIndexes()
{
    const qint64 count = objectValue().count();
    if (qint64(selectedIndexSet_.size()) < count) {
        IndexSet indexes;
        for (qint64 index = 0; index < count; ++index) {
            if (!isSelectedIndex(index)) {
                redrawIndex(index);
            }
            indexes.insert(index);
        }
        storeSelection(indexes);
    }
    lastSelectedIndex_ = selectedIndexSet_.empty() ? NotFound : *selectedIndexSet_.rbegin();
}

RPTokenControl::IndexSet RPTokenControl::deselectedIndexesSet() const
{
    IndexSet indexes;
    const qint64 count = objectValue().count();
    for (qint64 index = 0; index < count; ++index) {
        if (!isSelectedIndex(index)) {
            indexes.insert(index);
        }
    }
    return indexes;
}

bool RPTokenControl::isSelectedIndex(qint64 index) const
{
    return index != NotFound && selectedIndexSet_.count(index) > 0;
}

bool RPTokenControl::isSelectedFramedToken(const FramedToken& token) const
{
    for (qsizetype index = 0; index < framedTokens_.size(); ++index) {
        if (&framedTokens_[index] == &token) {
            return isSelectedIndex(index);
        }
    }
    return false;
}

qint64 RPTokenControl::indexOfTokenAtPoint(const QPointF& point) const
{
    for (qsizetype index = 0; index < framedTokens_.size(); ++index) {
        if (framedTokens_[index].bounds().contains(point)) {
            return index;
        }
    }
    return NotFound;
}

const FramedToken* RPTokenControl::tokenAtPoint(const QPointF& point) const
{
    const qint64 index = indexOfTokenAtPoint(point);
    return index == NotFound ? nullptr : &framedTokens_[index];
}

void RPTokenControl::scrollFramedTokenToVisible(const FramedToken* token)
{
    QScrollArea* area = enclosingScrollArea();
    if (token == nullptr || area == nullptr) {
        return;
    }
    // The drawn box, which stops 3 points short of the bounds.
    const QRectF bounds = token->bounds();
    const QRectF box(bounds.topLeft(), bounds.size() - QSizeF(3.0, 3.0));
    const QPointF centre = mapTo(area->widget(), box.center());
    area->ensureVisible(qRound(centre.x()), qRound(centre.y()), qRound(box.width() / 2.0), qRound(box.height() / 2.0));
}

void RPTokenControl::scrollIndexToVisible(qint64 index)
{
    if (index >= 0 && index < framedTokens_.size() && enclosingScrollArea() != nullptr) {
        scrollFramedTokenToVisible(&framedTokens_[index]);
    }
}

bool RPTokenControl::ellipsisTokenIsDisplayed() const
{
    return !framedTokens_.isEmpty() && framedTokens_.last().token().isEllipsisToken();
}

void RPTokenControl::changeSelectionPerUserActionAtIndex(qint64 index, Qt::KeyboardModifiers modifiers)
{
    const qint64 shown = framedTokens_.size() - (ellipsisTokenIsDisplayed() ? 1 : 0);
    if (index < 0) {
        if (firstTokenToDisplay_ > 0) {
            --firstTokenToDisplay_;
            invalidateLayout();
        } else {
            beep();
        }
        return;
    }
    if (index >= shown) {
        if (truncatedTokens_.isEmpty()) {
            beep();
            return;
        }
        ++firstTokenToDisplay_;
        invalidateLayout();
        index = framedTokens_.size() - (ellipsisTokenIsDisplayed() ? 2 : 1);
    }
    if (modifiers & Qt::ControlModifier) {
        if (isSelectedIndex(index)) {
            deselectIndex(index);
        } else {
            selectIndex(index);
        }
    } else if (modifiers & Qt::ShiftModifier) {
        if (lastSelectedIndex_ == NotFound) {
            selectIndex(index);
        } else {
            const qint64 from = std::min(lastSelectedIndex_, index);
            const qint64 to = std::max(lastSelectedIndex_, index);
            selectIndexesInRange(from, to - from + 1);
        }
        lastSelectedIndex_ = index;
    } else {
        deselectAllIndexes();
        selectIndex(index);
    }
    scrollIndexToVisible(index);
}

qint64 RPTokenControl::indexOfTokenClosestToPoint(
    const QPointF& point, qint64 excludeIndex, bool excludeHigherNotLower) const
{
    if (point.x() < 0.0 || point.y() < 0.0 || point.x() > width() || point.y() > height()) {
        return NotFound;
    }
    const float sign = excludeHigherNotLower ? 1.0f : -1.0f;
    const bool hasReference = excludeIndex >= 0 && excludeIndex < framedTokens_.size();
    const float reference = hasReference ? framedTokens_[excludeIndex].midY() : 0.0f;
    qint64 best = NotFound;
    float bestDistance = largestDistance;
    for (qsizetype index = 0; index < framedTokens_.size(); ++index) {
        const FramedToken& token = framedTokens_[index];
        float distance = largestDistance;
        if (index != excludeIndex && !(hasReference && sign * token.midY() < sign * reference)) {
            distance = token.distanceFrom(point);
        }
        if (distance == 0.0f) {
            return index;
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = index;
        }
    }
    return best;
}

void RPTokenControl::navigate(int key, Qt::KeyboardModifiers modifiers)
{
    const bool backwards = key == Qt::Key_Left || key == Qt::Key_Up;
    qint64 anchor = NotFound;
    if (!selectedIndexSet_.empty()) {
        anchor = backwards ? *selectedIndexSet_.begin() : *selectedIndexSet_.rbegin();
    }
    lastSelectedIndex_ = anchor;
    qint64 currentIndex = anchor;
    if (anchor == NotFound && !framedTokens_.isEmpty()) {
        currentIndex = backwards ? framedTokens_.size() - 1 : 0;
    }
    const bool hasCurrent = currentIndex >= 0 && currentIndex < framedTokens_.size();

    qint64 index = NotFound;
    if (key == Qt::Key_Left) {
        index = anchor != NotFound ? anchor - 1 : objectValue().count() - 1;
    } else if (key == Qt::Key_Right) {
        index = anchor != NotFound ? anchor + 1 : 0;
    } else if (hasCurrent) {
        const FramedToken& current = framedTokens_[currentIndex];
        const float s = std::max(static_cast<float>(fixedFontSize()), minFontSize_);
        const float offset = s / 2.0f + 2.0f;
        const bool down = key == Qt::Key_Down;
        const QPointF probe(current.midX(), down ? current.bottomEdge() + offset : current.topEdge() - offset);
        index = indexOfTokenClosestToPoint(probe, currentIndex, down);
    }
    changeSelectionPerUserActionAtIndex(index, modifiers);
}

void RPTokenControl::typeSelect(const QString& typed)
{
    const QString prefix = foldedForMatching(typed.left(1));
    const QStringList source = selectedIndexSet_.empty() ? tokensArray() : selectedTokens();
    QStringList candidates;
    for (const QString& text : source) {
        if (!candidates.contains(text) && foldedForMatching(text).startsWith(prefix)) {
            candidates.append(text);
        }
    }
    if (candidates.isEmpty()) {
        return;
    }
    std::sort(candidates.begin(), candidates.end(),
        [](const QString& a, const QString& b) { return RPCountedToken::compareTexts(a, b) < 0; });
    for (const FramedToken& token : framedTokens_) {
        if (token.text() == candidates.first()) {
            scrollFramedTokenToVisible(&token);
            return;
        }
    }
}

void RPTokenControl::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const QString text = event->text();
    if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
        if (tokensCollection()) {
            navigate(key, event->modifiers());
        } else {
            beep();
        }
        return;
    }
    if (key == Qt::Key_Escape) {
        deselectAllIndexes();
        return;
    }
    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && editability_ >= 1) {
        if (!deleteSelectedTokens()) {
            beep();
        }
        return;
    }
    if (key == Qt::Key_Tab) {
        // Qt gives a Tab no text on some platforms.
        const QString tab(QChar(u'\t'));
        if (editability_ >= 2) {
            beginEditingNewTokenWithString(tab);
            return;
        }
        QWidget::keyPressEvent(event);
        return;
    }
    if (text.size() == 1 && editability_ >= 2) {
        beginEditingNewTokenWithString(text);
        return;
    }
    if (text.size() == 1 && enclosingScrollArea() != nullptr) {
        typeSelect(text);
        return;
    }
    if (text.size() > 1 && editability_ >= 3) {
        beginEditingNewTokenWithString(text);
        return;
    }
    QWidget::keyPressEvent(event);
}

// --- mouse -----------------------------------------------------------------

void RPTokenControl::changeSelectionPerMouseEvent(const QPointF& point, Qt::KeyboardModifiers modifiers)
{
    if (!isEnabled()) {
        return;
    }
    mouseDownPoint_ = point;
    const qint64 index = indexOfTokenAtPoint(point);
    if (index != NotFound) {
        changeSelectionPerUserActionAtIndex(index, modifiers);
    } else if (!(modifiers & Qt::ControlModifier)) {
        deselectAllIndexes();
    }
    emit action();
}

void RPTokenControl::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    // Recorded on every press, so a drag always measures from where it began.
    mouseDownPoint_ = event->position();
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A placed control sends its action when the left button goes down.
    emit action();
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) {
        changeSelectionPerMouseEvent(event->position(), event->modifiers());
    }
}

void RPTokenControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
        changeSelectionPerMouseEvent(event->position(), event->modifiers());
        return;
    }
    QWidget::mouseReleaseEvent(event);
}
