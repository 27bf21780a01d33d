#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QTimer>

// Answers the message boxes, input dialogs and file dialogs that the code under test opens
// next, in order, and records what each showed. The answer made last is the one that acts. A box
// it has no reply for fails the test at once, named, and is closed, so a surprise never blocks a
// test until its timeout; every test process keeps an answer without replies alive (testmain.h).
class ModalAnswer : public QObject
{
public:
    struct Reply {
        enum Kind { Press, Dismiss, Enter } kind;
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        QString value; // the text typed into an input dialog, or the file chosen
    };
    // Presses a message box's button; on an input dialog, accepts the text it holds.
    static Reply press(QMessageBox::StandardButton button) { return { Reply::Press, button, {} }; }
    // Closes the box as the window frame or Escape would; input and file dialogs are cancelled.
    static Reply dismiss() { return { Reply::Dismiss, QMessageBox::NoButton, {} }; }
    // Types a text into an input dialog, or picks a file in a file dialog, and accepts.
    static Reply enter(const QString &value) { return { Reply::Enter, {}, value }; }

    struct Seen {
        QString title, text, informativeText; // text: the message, or an input dialog's label
        QString value; // an input dialog's preset text, or the file a file dialog proposes
        QStringList filters; // a file dialog's name filters
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QString parentStyleSheet;
        bool parentVisible = false;
    };

    explicit ModalAnswer(const QList<Reply> &replies = {}); // none: expects no box at all
    explicit ModalAnswer(QMessageBox::StandardButton button) : ModalAnswer({ press(button) }) { }
    ~ModalAnswer() override;

    const QList<Seen> &seen() const { return shown; }
    const Seen &box() const // the first box seen
    {
        static const Seen none;
        return shown.isEmpty() ? none : shown.first();
    }
    bool done() const { return shown.size() == replies.size(); }

private:
    void look();

    QList<Reply> replies;
    QList<Seen> shown;
    QPointer<QWidget> answered;
    QTimer timer;
};

Q_DECLARE_METATYPE(ModalAnswer::Reply)
