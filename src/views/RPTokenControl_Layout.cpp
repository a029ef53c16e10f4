// Layout of the token field: counted tokens, font sizes by count rank, and
// the flow into full-justified lines.
#include "views/RPTokenControl.h"

#include "views/TokenFieldLog.h"

#include <QLineEdit>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

struct RPTokenControl::Line {
    QList<FramedToken> tokens;
    double width = 0.0;
    double y = 0.0;
    double height = 0.0;
};

namespace {

// The gap that makes a finished line fill the width; a line of one token has
// nothing to spread, so it keeps the plain gap.
float justifiedGap(float width, const QList<FramedToken>& tokens, double lineWidth)
{
    if (tokens.size() < 2) {
        return 2.0f;
    }
    return static_cast<float>(2.0 + (width - lineWidth) / double(tokens.size() - 1));
}

} // namespace

void RPTokenControl::invalidateLayout()
{
    laidOut_ = false;
    framedTokens_.clear();
    doLayout();
    update();
}

void RPTokenControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!isDoingLayout_) {
        invalidateLayout();
    }
}

QSizeF RPTokenControl::boxSize(const RPCountedToken& token, float fontSize) const
{
    constexpr qsizetype cacheLimit = 8192;
    if (measured_.size() > cacheLimit) {
        measured_.clear();
    }
    const TokenTextMeasure cached = [this](const QString& text, float size) {
        const QPair<QString, float> key(text, size);
        const auto found = measured_.constFind(key);
        if (found != measured_.cend()) {
            return found.value();
        }
        const QSizeF measured = measure_ ? measure_(text, size) : FramedToken::defaultMeasure(text, size);
        measured_.insert(key, measured);
        return measured;
    };
    return FramedToken::boxSizeForToken(
        token, fontSize, cornerRadiusFactor_, widthPaddingMultiplier_, appendCountsToStrings_, cached);
}

QHash<qint64, float> RPTokenControl::fontSizesForWindow(const QList<RPCountedToken>& window) const
{
    // Rank of each distinct count, largest first (the window is in count order).
    QHash<qint64, int> ranks;
    bool first = true;
    qint64 previous = 0;
    for (const RPCountedToken& token : window) {
        if (token.count() == 0) {
            break;
        }
        if (first || token.count() != previous) {
            ranks.insert(token.count(), static_cast<int>(ranks.size()));
            previous = token.count();
            first = false;
        }
    }
    int rankCount = static_cast<int>(ranks.size());
    if (rankCount > 1) {
        --rankCount;
    }
    const double fixed = fixedFontSize();
    QHash<qint64, float> sizes;
    for (auto it = ranks.cbegin(); it != ranks.cend(); ++it) {
        if (fixed > 0.0) {
            sizes.insert(it.key(), static_cast<float>(fixed));
            continue;
        }
        float f = static_cast<float>(((rankCount - it.value()) * 1.0) / rankCount);
        f = f * f;
        sizes.insert(it.key(), minFontSize_ + f * (maxFontSize_ - minFontSize_));
    }
    return sizes;
}

void RPTokenControl::layoutLine(QList<FramedToken>& line, double y, double h, float gap, bool focusRingFirst)
{
    double x = focusRingFirst ? 5.0 : 1.0;
    const double top = y + 1.0;
    for (FramedToken& token : line) {
        const QSizeF size = token.bounds().size();
        token.setBounds(QRectF(QPointF(x, top + (h - size.height()) / 2.0), size));
        x += size.width() + gap;
    }
    framedTokens_.append(line);
}

void RPTokenControl::truncateLine(
    Line& current, double& x, const QList<RPCountedToken>& window, qsizetype from, const QHash<qint64, float>& sizes)
{
    const RPCountedToken ellipsis = RPCountedToken::ellipsisToken();
    const float size = fontSizeForToken(ellipsis, sizes);
    const QSizeF box = boxSize(ellipsis, size);
    const float width = static_cast<float>(this->width());
    // Tokens taken off the line for the ellipsis stay listed, ahead of the
    // rest, so the ellipsis tooltip names every hidden token.
    QList<RPCountedToken> removed;
    while (2.0 + x + box.width() > width) {
        if (current.tokens.isEmpty()) {
            qCWarning(lcTokenField) << "Internal Error 638-4882";
            break;
        }
        const FramedToken last = current.tokens.takeLast();
        removed.prepend(last.token());
        x = static_cast<float>(x - (last.bounds().width() + 2.0));
    }
    truncatedTokens_.append(removed);
    current.tokens.append(FramedToken(ellipsis, size, QRectF(QPointF(0.0, 0.0), box)));
    current.height = std::max(current.height, box.height());
    for (qsizetype i = from; i < window.size(); ++i) {
        truncatedTokens_.append(window[i]);
    }
}

void RPTokenControl::doLayout()
{
    if (laidOut_) {
        return;
    }
    laidOut_ = true;
    framedTokens_.clear();
    truncatedTokens_.clear();
    indexOfFramedTokenBeingEdited_ = NotFound;
    const RPTokenValue value = objectValue();
    if (!value.isCollection()) {
        return;
    }

    // Counted tokens; the one being typed is the last element with its text.
    QList<RPCountedToken> tokens = value.countedTokens();
    qsizetype editedElement = -1;
    if (!tokenBeingEdited_.isNull()) {
        for (qsizetype i = tokens.size() - 1; i >= 0; --i) {
            if (tokens[i].text() == tokenBeingEdited_) {
                editedElement = i;
                break;
            }
        }
    }
    // Sort keys made once: sorting compares each text many times.
    struct Entry {
        RPCountedToken token;
        bool edited;
        QCollatorSortKey key;
    };
    const QCollator& collator = RPCountedToken::textCollator();
    QList<Entry> ordered;
    ordered.reserve(tokens.size());
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        ordered.append({tokens[i], i == editedElement, collator.sortKey(tokens[i].text())});
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const Entry& a, const Entry& b) {
        if (a.token.count() != b.token.count()) {
            return a.token.count() > b.token.count();
        }
        return a.key.compare(b.key) < 0;
    });

    // The window of shown tokens, by rank of count. A start past the end shows nothing.
    const qint64 n = ordered.size();
    const qint64 end = std::min(n, maxTokensToDisplay_);
    const qint64 start = std::max<qint64>(0, firstTokenToDisplay_);
    if (start < end) {
        ordered = ordered.mid(start, end - start);
    } else {
        ordered.clear();
    }
    QList<RPCountedToken> window;
    window.reserve(ordered.size());
    for (const Entry& entry : ordered) {
        window.append(entry.token);
    }
    const QHash<qint64, float> sizes = fontSizesForWindow(window);

    std::stable_sort(
        ordered.begin(), ordered.end(), [](const Entry& a, const Entry& b) { return a.key.compare(b.key) < 0; });
    window.clear();
    for (const Entry& entry : ordered) {
        window.append(entry.token);
    }

    const float width = static_cast<float>(this->width());
    const double height = this->height();
    const bool scrolls = enclosingScrollArea() != nullptr;
    double x = 0.0;
    Line current;
    current.y = 2.0;
    std::optional<Line> previous;
    bool focusRingFirst = false;
    qsizetype index = 0;
    for (; index < window.size(); ++index) {
        const RPCountedToken& token = window[index];
        const bool edited = ordered[index].edited;
        const float size = fontSizeForToken(token, sizes);
        const QSizeF box = boxSize(token, size);
        if (index == 0 && edited) {
            focusRingFirst = true;
        }
        if (2.0 + x + box.width() > width && x > 0.0) {
            if (previous) {
                layoutLine(previous->tokens, previous->y, previous->height,
                    justifiedGap(width, previous->tokens, previous->width), focusRingFirst);
                focusRingFirst = false;
                previous.reset();
            }
            if (!scrolls && current.y + current.height > height) {
                truncateLine(current, x, window, index, sizes);
                break;
            }
            current.width = x;
            previous = current;
            current = Line();
            current.y = previous->y + (previous->height + 2.0);
            x = 0.0;
        }
        current.tokens.append(FramedToken(token, size, QRectF(QPointF(0.0, 0.0), box)));
        if (x > 0.0) {
            x += 2.0;
        }
        x += box.width();
        current.height = std::max(current.height, box.height());
        if (edited) {
            indexOfFramedTokenBeingEdited_ = index;
        }
    }
    if (previous) {
        layoutLine(previous->tokens, previous->y, previous->height,
            justifiedGap(width, previous->tokens, previous->width), focusRingFirst);
        focusRingFirst = false;
    }
    layoutLine(current.tokens, current.y, current.height, 2.0f, focusRingFirst);
    sizeToContent(static_cast<float>(current.y + current.height));
}

void RPTokenControl::sizeToContent(double contentHeight)
{
    QScrollArea* area = enclosingScrollArea();
    if (area == nullptr) {
        return;
    }
    // The viewport without scroll bars, whatever they show now.
    const QSize viewport = area->contentsRect().size();
    const bool scroller = contentHeight > viewport.height();
    area->setVerticalScrollBarPolicy(scroller ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const int newHeight = scroller ? static_cast<int>(std::ceil(contentHeight)) : viewport.height();
    const int newWidth = viewport.width() - (scroller ? area->verticalScrollBar()->sizeHint().width() : 0);
    const bool widthChanged = newWidth != width();
    isDoingLayout_ = true;
    resize(newWidth, newHeight);
    isDoingLayout_ = false;
    // The lines were flowed for the old width; flow them again for the width
    // the scroll area leaves. A narrower width only adds height, so this
    // settles; the depth bound is a guard, not the rule.
    thread_local int reflows = 0;
    if (widthChanged && reflows < 3) {
        ++reflows;
        laidOut_ = false;
        doLayout();
        --reflows;
    }
}
