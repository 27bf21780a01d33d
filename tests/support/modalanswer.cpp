#include "support/modalanswer.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QPushButton>
#include <QTest>

namespace {
// The answers alive, oldest first; only the last one acts.
QList<ModalAnswer *> alive;
} // namespace

ModalAnswer::ModalAnswer(const QList<Reply> &replies) : replies(replies)
{
    alive.append(this);
    connect(&timer, &QTimer::timeout, this, &ModalAnswer::look);
    timer.start(5);
}

ModalAnswer::~ModalAnswer()
{
    alive.removeOne(this);
}

const ModalAnswer::Seen &ModalAnswer::box() const
{
    static const Seen none;
    return shown.isEmpty() ? none : shown.first();
}

void ModalAnswer::look()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (alive.constLast() != this || !modal || !modal->isVisible() || modal == answered)
        return;
    auto *message = qobject_cast<QMessageBox *>(modal);
    auto *input = qobject_cast<QInputDialog *>(modal);
    auto *file = qobject_cast<QFileDialog *>(modal);
    if (!message && !input && !file)
        return;
    if (done()) {
        refuse(modal);
        return;
    }

    Seen seen;
    seen.title = modal->windowTitle();
    if (QWidget *parent = modal->parentWidget()) {
        seen.parentName = parent->objectName();
        seen.parentStyleSheet = parent->styleSheet();
        seen.parentVisible = parent->isVisible();
    }
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != modal && window->isVisible())
            seen.windows.append(window->objectName());
    }
    const Reply reply = replies[shown.size()];
    answered = modal;

    if (message) {
        seen.kind = "message";
        seen.text = message->text();
        seen.informativeText = message->informativeText();
        seen.icon = message->icon();
        seen.textFormat = message->textFormat();
        seen.buttons = message->standardButtons();
        if (QPushButton *def = message->defaultButton())
            seen.defaultButton = message->standardButton(def);
        shown.append(seen);
        QAbstractButton *button = message->button(reply.button);
        if (reply.kind == Reply::Press && button)
            button->click();
        else
            message->close();
    } else if (input) {
        seen.kind = "input";
        seen.text = input->labelText();
        seen.value = input->textValue();
        shown.append(seen);
        if (reply.kind == Reply::Enter) {
            input->setTextValue(reply.value);
            input->accept();
        } else if (reply.kind == Reply::Press && reply.button == QMessageBox::Ok) {
            input->accept();
        } else {
            input->reject();
        }
    } else {
        seen.kind = "file";
        seen.value = file->selectedFiles().value(0);
        seen.filters = file->nameFilters();
        shown.append(seen);
        if (reply.kind == Reply::Enter) {
            file->selectFile(reply.value);
            // Queued: accepting may ask whether to replace the file, and that box must find
            // this timer free to answer it.
            QMetaObject::invokeMethod(
                    file, [file] { static_cast<QDialog *>(file)->accept(); },
                    Qt::QueuedConnection);
        } else {
            file->reject();
        }
    }
}

void ModalAnswer::refuse(QWidget *modal)
{
    answered = modal;
    QString text;
    if (auto *message = qobject_cast<QMessageBox *>(modal))
        text = message->text();
    else if (auto *input = qobject_cast<QInputDialog *>(modal))
        text = input->labelText();
    const QByteArray what = QString("unexpected box \"%1\": %2").arg(modal->windowTitle(), text)
                                    .toUtf8();
    QTest::qFail(what.constData(), __FILE__, __LINE__);
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}
