// SIGINT and SIGTERM turned into a Qt signal, so a stop is handled on the event loop like a click on STOP.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace app {

class StopSignals : public QObject
{
    Q_OBJECT

public:
    // Catches both signals for as long as it lives; the earlier handlers come back afterwards.
    // One instance at a time.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // False where the platform has no such signals (nothing is caught there).
    static bool available();

signals:
    void stopRequested();

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace app
