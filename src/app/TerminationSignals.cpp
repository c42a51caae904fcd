#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cassert>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace oxel {

namespace {

int signalPipe[2] = {-1, -1};
constexpr std::array<int, 3> handledSignals{SIGTERM, SIGINT, SIGHUP};

extern "C" void writeSignalToPipe(int signal)
{
    const int saved = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    assert(signalPipe[0] < 0);
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = writeSignalToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : handledSignals) ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_) return;
    for (int signal : handledSignals) std::signal(signal, SIG_DFL);
    delete notifier_;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) Q_EMIT received(byte);
}

} // namespace oxel
