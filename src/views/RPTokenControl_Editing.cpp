// Typing a new token into the token field through an in-place line edit.
#include "views/RPTokenControl.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Ends typing on Return or Enter and keeps the key from reaching the control,
// which would otherwise start a token with it.
class ReturnEndsEditing : public QObject {
public:
    ReturnEndsEditing(QObject* parent, std::function<void()> end)
        : QObject(parent)
        , end_(std::move(end))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                end_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> end_;
};

} // namespace

QLineEdit* RPTokenControl::textField()
{
    if (textField_ == nullptr) {
        auto* field = new QLineEdit(this);
        field->setGeometry(rect());
        field->setEnabled(true);
        field->setReadOnly(false);
        field->setFrame(false);
        field->setFont(FramedToken::fontOfSize(defaultFontSize()));
        field->hide();
        connect(field, &QLineEdit::textEdited, this, &RPTokenControl::controlTextDidChange);
        connect(field, &QLineEdit::editingFinished, this, &RPTokenControl::controlTextDidEndEditing);
        field->installEventFilter(new ReturnEndsEditing(field, [this] { controlTextDidEndEditing(); }));
        textField_ = field;
    }
    return textField_;
}

void RPTokenControl::setEditedText(const QString& text)
{
    // The value holds what it held before typing began plus the text typed so
    // far, so a text that equals an existing token never takes that token away.
    RPTokenValue collection = valueBeforeEditing_.collectionOrEmptyArray();
    collection.add(text);
    tokenBeingEdited_ = text;
    {
        QMutexLocker locker(&lock_);
        objectValue_ = collection;
    }
    invalidateLayout();
}

void RPTokenControl::beginEditingNewTokenWithString(const QString& text)
{
    // A key the text field passes on (a Tab) must not start a token over the
    // one being typed: that one is finished first.
    controlTextDidEndEditing();
    valueBeforeEditing_ = objectValue();
    deselectAllIndexes();
    setEditedText(text);
    QLineEdit* field = textField();
    field->setText(text);
    field->setFocus(Qt::OtherFocusReason);
    field->setCursorPosition(1);
    field->show();
    updateTextFieldFrame();
}

void RPTokenControl::updateTextFieldFrame()
{
    if (indexOfFramedTokenBeingEdited_ == NotFound || textField_ == nullptr
        || indexOfFramedTokenBeingEdited_ >= framedTokens_.size()) {
        return;
    }
    const QRectF box = framedTokens_[indexOfFramedTokenBeingEdited_].bounds();
    textField_->setGeometry(QRectF(box.x() - 4.0, box.y() + 1.0, box.width(), box.height() - 4.0).toAlignedRect());
}

void RPTokenControl::controlTextDidChange(const QString& typed)
{
    QLineEdit* field = textField();
    QString text = typed;
    const QString tokenizing = tokenizingCharacterSet();
    if (!text.isEmpty() && !tokenizing.isEmpty() && tokenizing.contains(text.back())) {
        text.chop(1);
        field->setText(text);
        if (!tokenBeingEdited_.isNull()) {
            setEditedText(text);
        }
        controlTextDidEndEditing();
        return;
    }
    if (!disallowedCharacterSet_.isEmpty()) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (disallowedCharacterSet_.contains(text.at(i))) {
                const int caret = field->cursorPosition();
                text.replace(i, 1, replacementString_);
                field->setText(text);
                field->setCursorPosition(std::min<int>(caret + int(replacementString_.size()) - 1, int(text.size())));
                beep();
                break;
            }
        }
    }
    if (!tokenBeingEdited_.isNull()) {
        setEditedText(text);
        updateTextFieldFrame();
    }
}

void RPTokenControl::hideTextField()
{
    if (textField_ != nullptr && textField_->isVisible()) {
        endingEdit_ = true;
        textField_->hide();
        endingEdit_ = false;
    }
}

void RPTokenControl::controlTextDidEndEditing()
{
    if (endingEdit_ || tokenBeingEdited_.isNull()) {
        return;
    }
    const QString text = tokenBeingEdited_;
    hideTextField();
    if (text.isEmpty()) {
        // Nothing was typed: the value goes back to what it was, with no blank token.
        tokenBeingEdited_.clear();
        indexOfFramedTokenBeingEdited_ = NotFound;
        {
            QMutexLocker locker(&lock_);
            objectValue_ = valueBeforeEditing_;
        }
        invalidateLayout();
        setFocus(Qt::OtherFocusReason);
        return;
    }
    RPTokenValue collection = objectValue();
    if (collection.isCollection()) {
        collection.removeOne(text);
        collection.add(text);
        {
            // Emptied first, so setting the collection is always seen as a change.
            QMutexLocker locker(&lock_);
            objectValue_ = RPTokenValue::marker(RPTokenValue::Kind::NoTokensMarker);
        }
        setObjectValue(collection);
    }
    setFocus(Qt::OtherFocusReason);
}
