#include "commlib/TAVSearchableTagTableDelegate.h"

#include "commlib/TAVSearchableTagTableModel.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QTableView>
#include <QTextLayout>

TAVSearchableTagTableDelegate::TAVSearchableTagTableDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void TAVSearchableTagTableDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const auto run = index.data(TAVSearchableTagTableModel::HighlightRole).value<TAVSearchableTagTable::Range>();
    if (run.isEmpty() || run.position + run.length > opt.text.size()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }

    // The cell without its text, then the text laid out by hand so that the
    // run can take its own colour. One line, as the plain cells show.
    QString text = opt.text;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    opt.text.clear();
    QStyle* style = opt.widget != nullptr ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    textRect.adjust(margin, 0, -margin, 0);

    QTextCharFormat red;
    red.setForeground(QColor(Qt::red));
    QTextLayout layout(text, opt.font);
    layout.setFormats({QTextLayout::FormatRange{static_cast<int>(run.position), static_cast<int>(run.length), red}});
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();

    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group = opt.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    painter->save();
    painter->setClipRect(textRect);
    painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const qreal top = textRect.top() + (textRect.height() - line.height()) / 2.0;
    layout.draw(painter, QPointF(textRect.left(), top));
    painter->restore();
}

QWidget* TAVSearchableTagTableDelegate::createEditor(
    QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        // Qt hands the delegate out as const; the signal belongs to it all the same.
        auto* self = const_cast<TAVSearchableTagTableDelegate*>(this);
        connect(line, &QLineEdit::textEdited, self,
            [self, line](const QString& text) { emit self->editorTextEdited(line, text); });
    }
    return editor;
}

void TAVSearchableTagTableDelegate::spanGroupRows(QTableView* view)
{
    view->clearSpans();
    const QAbstractItemModel* model = view->model();
    if (model == nullptr || model->columnCount() < 2) {
        return;
    }
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data(TAVSearchableTagTableModel::GroupRowRole).toBool()) {
            view->setSpan(row, 0, 1, model->columnCount());
        }
    }
}
