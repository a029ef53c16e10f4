#include "support/KeyboardTyping.h"

#include <QTest>

namespace {

bool needsShift(QChar character)
{
    return character.isUpper() || QStringLiteral("~!@#$%^&*()_+{}|:\"<>?").contains(character);
}

} // namespace

void KeyboardTyping::type(QWidget* widget, const QString& text)
{
    for (const QChar character : text) {
        // With Shift among the modifiers QTest sends the Shift press first
        // and its release last, each an event of its own.
        QTest::keyClick(widget, character.toLatin1(), needsShift(character) ? Qt::ShiftModifier : Qt::NoModifier);
    }
}
