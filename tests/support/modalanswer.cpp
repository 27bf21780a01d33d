#include "support/modalanswer.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QPushButton>
#include <QTest>

namespace {
QList<ModalAnswer *> alive; // oldest first; only the last one acts
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

void ModalAnswer::look()
{
    QWidget *modal = QApplication::activeModalWidget();
    auto *message = qobject_cast<QMessageBox *>(modal);
    auto *input = qobject_cast<QInputDialog *>(modal);
    auto *file = qobject_cast<QFileDialog *>(modal);
    if (alive.constLast() != this || !(message || input || file) || !modal->isVisible()
        || modal == answered)
        return;
    answered = modal;
    auto *dialog = static_cast<QDialog *>(modal);
    Seen seen;
    seen.title = modal->windowTitle();
    if (message) {
        seen.text = message->text();
        seen.informativeText = message->informativeText();
        seen.icon = message->icon();
        seen.buttons = message->standardButtons();
        seen.defaultButton = message->standardButton(message->defaultButton());
    } else if (input) {
        seen.text = input->labelText();
        seen.value = input->textValue();
    } else {
        seen.value = file->selectedFiles().value(0);
        seen.filters = file->nameFilters();
    }
    if (done()) {
        QTest::qFail(
            qPrintable("unexpected box \"" + seen.title + "\": " + seen.text), __FILE__, __LINE__);
        dialog->reject();
        return;
    }
    if (QWidget *parent = modal->parentWidget()) {
        seen.parentStyleSheet = parent->styleSheet();
        seen.parentVisible = parent->isVisible();
    }
    const Reply reply = replies[shown.size()];
    shown.append(seen);

    if (message && reply.kind == Reply::Press && message->button(reply.button)) {
        message->button(reply.button)->click();
    } else if (message) {
        message->close();
    } else if (reply.kind == Reply::Dismiss) {
        dialog->reject();
    } else if (input) {
        if (reply.kind == Reply::Enter)
            input->setTextValue(reply.value);
        input->accept();
    } else {
        file->selectFile(reply.value);
        // Queued: accepting may ask whether to replace the file, and that box must find this
        // timer free to answer it.
        QMetaObject::invokeMethod(
            file, [dialog] { dialog->accept(); }, Qt::QueuedConnection);
    }
}
