#pragma once

#include <QApplication>
#include <QListWidget>

// Finding the program's windows and widgets the way a user sees them.

// The visible top-level window of a kind, if one is open.
template <typename T> T *shown()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *t = qobject_cast<T *>(w); t && t->isVisible())
            return t;
    }
    return nullptr;
}

// A named widget of a form; a wrong name ends the test at once instead of crashing it later.
template <typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(name);
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

inline QStringList entries(const QListWidget *list)
{
    QStringList result;
    for (int r = 0; r < list->count(); ++r)
        result.append(list->item(r)->text());
    return result;
}
