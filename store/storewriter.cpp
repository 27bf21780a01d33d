#include "store/storewriter.h"

StoreWriter::~StoreWriter()
{
    if (thread)
        thread->wait();
}

void StoreWriter::save(Store::Snapshot snapshot)
{
    waiting = std::move(snapshot);
    if (!thread)
        start();
}

void StoreWriter::start()
{
    writing = std::move(*waiting);
    waiting.reset();
    done = false;
    thread.reset(QThread::create([this] {
        writeOk = Store::save(writing);
        done = true;
    }));
    connect(thread.get(), &QThread::finished, this, &StoreWriter::finish);
    thread->start();
}

// A finished signal may arrive after saveNow() already collected its write, or early for the
// next one; only a write that is done is collected.
void StoreWriter::finish()
{
    if (!thread || !done)
        return;
    thread->wait();
    thread.reset();
    // Shared with the records, it would make their next change copy them.
    writing = {};
    settle(writeOk);
    if (waiting)
        start();
}

bool StoreWriter::saveNow(const Store::Snapshot &latest)
{
    const bool inFlight = thread && !waiting && writing == latest;
    waiting.reset();
    if (thread) {
        thread->wait();
        thread.reset();
        writing = {};
    }
    const bool ok = inFlight ? writeOk : Store::save(latest);
    failing = !ok;
    return ok;
}

void StoreWriter::settle(bool ok)
{
    const bool said = failing;
    failing = !ok;
    if (failing && !said)
        emit failed(UserStore().fileName());
    emit written(ok);
}
