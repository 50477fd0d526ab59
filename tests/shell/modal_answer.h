#pragma once
// Answers the next modal dialog or message box a test provokes: the callback
// gets it once it is shown (looked for every 10 ms, at most for 10 s).
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

namespace velk::test {

inline void answerNextModal(std::function<void(QWidget*)> answer) {
    auto tries = std::make_shared<int>(0);
    auto timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Presses the message box's button and reports its text.
inline void answerMessageBox(QMessageBox::StandardButton button, QString* text = nullptr) {
    answerNextModal([button, text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        if (text) *text = box->text();
        if (QAbstractButton* b = box->button(button)) b->click();
    });
}

}  // namespace velk::test
