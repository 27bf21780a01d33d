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
    answered = modal;
    Seen seen;
    seen.kind = message ? "message" : input ? "input" : "file";
    seen.title = modal->windowTitle();
    if (message) {
        seen.text = message->text();
        seen.informativeText = message->informativeText();
        seen.icon = message->icon();
        seen.textFormat = message->textFormat();
        seen.buttons = message->standardButtons();
        if (QPushButton *def = message->defaultButton())
            seen.defaultButton = message->standardButton(def);
    } else if (input) {
        seen.text = input->labelText();
        seen.value = input->textValue();
    } else {
        seen.value = file->selectedFiles().value(0);
        seen.filters = file->nameFilters();
    }
    if (done()) {
        const QString what = QString("unexpected box \"%1\": %2").arg(seen.title, seen.text);
        QTest::qFail(what.toUtf8().constData(), __FILE__, __LINE__);
        static_cast<QDialog *>(modal)->reject();
        return;
    }
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
    shown.append(seen);

    if (message) {
        QAbstractButton *button = message->button(reply.button);
        if (reply.kind == Reply::Press && button)
            button->click();
        else
            message->close();
    } else if (input && (reply.kind == Reply::Enter || reply.button == QMessageBox::Ok)) {
        if (reply.kind == Reply::Enter)
            input->setTextValue(reply.value);
        input->accept();
    } else if (file && reply.kind == Reply::Enter) {
        file->selectFile(reply.value);
        // Queued: accepting may ask whether to replace the file, and that box must find this
        // timer free to answer it.
        QMetaObject::invokeMethod(
            file, [file] { static_cast<QDialog *>(file)->accept(); }, Qt::QueuedConnection);
    } else {
        static_cast<QDialog *>(modal)->reject();
    }
}
