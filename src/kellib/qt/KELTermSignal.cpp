#include "kellib/qt/KELTermSignal.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

int pipeFds[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGHUP};
struct sigaction previous[2];

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(pipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

KELTermSignal::KELTermSignal(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    if (pipeFds[0] >= 0 || pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = ::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &action, &previous[i]);
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &KELTermSignal::Received);
}

KELTermSignal::~KELTermSignal()
{
    if (!notifier_)
        return;
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
    delete notifier_;
    close(pipeFds[0]);
    close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void KELTermSignal::Received()
{
    char bytes[16];
    while (read(pipeFds[0], bytes, sizeof bytes) > 0) {
    }
    if (onSignal_)
        onSignal_();
}
