#pragma once

#include <QObject>

class QSocketNotifier;

namespace orvane {

// Turns SIGINT and SIGTERM into a normal end of the Qt event loop, so that
// Ctrl+C at the console or a stopping script runs the regular shutdown. A
// signal during the shutdown (a second Ctrl+C) kills the running child
// programs' process groups and ends the program at once.
class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    void onSignalReceived();

    QSocketNotifier* notifier = nullptr;
};

} // namespace orvane
