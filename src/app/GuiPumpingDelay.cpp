#include "app/GuiPumpingDelay.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

#include "web/PumpingDelay.h"

namespace ovx {

void GuiPumpingWait(long long milliseconds) {
    if (QCoreApplication::instance() == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0LL, milliseconds)));
        return;
    }
    if (QCoreApplication::closingDown()) return;
    // QTimer counts in int milliseconds; a longer wait is cut to about 24 days.
    const int ms = static_cast<int>(std::clamp<long long>(milliseconds, 0, INT_MAX));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The application quitting ends every local loop of this thread too.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop,
                     &QEventLoop::quit);
    timer.start(ms);
    loop.exec();
}

void InstallGuiPumpingDelay() {
    PumpingHandler handler;
    handler.thread = std::this_thread::get_id();
    handler.wait = [](std::chrono::milliseconds ms) { GuiPumpingWait(ms.count()); };
    handler.pump = [] { QCoreApplication::processEvents(); };
    SetPumpingDelayHandler(std::move(handler));
}

}  // namespace ovx
