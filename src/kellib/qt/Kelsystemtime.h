// Setting the computer's clock through the desktop's time service (systemd's
// timedated over the system bus), which asks the user for authorisation as
// the desktop does. The request is sent and not waited for; a refusal is not
// reported.
#pragma once

#include <QDateTime>

#include <functional>

void SetSystemTime(const QDateTime& when);
// Tests replace the service so nothing reaches the clock; nullptr restores it.
void SetSystemTimeService(std::function<void(const QDateTime&)> service);
