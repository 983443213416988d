// SIGTERM and SIGHUP (what a logout or a closed terminal sends) turned into a
// call on the window's thread: the handler only writes a byte into a pipe,
// and a socket notifier on the other end runs the reaction with the event
// loop, where closing windows and writing the store are safe.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class KELTermSignal : public QObject {
    Q_OBJECT
public:
    // One watcher at a time; while it lives the signals no longer end the process.
    explicit KELTermSignal(std::function<void()> onSignal, QObject* parent = nullptr);
    ~KELTermSignal() override;   // the previous handlers come back

    bool Active() const { return notifier_ != nullptr; }

private:
    void Received();

    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};
