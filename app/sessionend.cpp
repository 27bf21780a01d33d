#include "app/sessionend.h"

#include "system/endsignals.h"

#include <QGuiApplication>

SessionEnd::SessionEnd(std::function<void()> save, std::function<void()> commit)
    : save(std::move(save)), commit(std::move(commit))
{
    connect(new EndSignals(this), &EndSignals::caught, this, &SessionEnd::end);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] { this->commit(); });
}

void SessionEnd::end()
{
    save();
    QCoreApplication::exit(0);
}
