#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acts on the modal widget once it is up: the timer runs inside the modal
// loop of exec(), or on later turns of the test's own loop for sheets.
inline void whenModalUp(const std::function<void(QWidget*)>& act)
{
    auto* timer = new QTimer();
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

// The button of `widget` showing `text`, null when there is none.
inline QAbstractButton* buttonNamed(QWidget* widget, const QString& text)
{
    for (QAbstractButton* button : widget->findChildren<QAbstractButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}
