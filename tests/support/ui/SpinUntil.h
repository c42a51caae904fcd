#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace oxel::testing {

// Runs the Qt event loop until `done` holds or `limitMs` of real time pass; whether it held.
inline bool spinUntil(const std::function<bool()>& done, qint64 limitMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace oxel::testing
