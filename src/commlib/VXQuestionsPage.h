#pragma once

#include <QTextBrowser>

// The introduction's page of frequently asked questions: a local HTML file
// with a title.
class VXQuestionsPage : public QTextBrowser {
    Q_OBJECT
public:
    explicit VXQuestionsPage(QWidget* parent = nullptr);

    void setUrl(const QUrl& url, const QString& title);
    QString title() const { return title_; }

signals:
    void titleChanged(const QString& title);

private:
    QString title_;
};
