#include "pty_instrument.h"

#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace splicerec::sim {

PtyInstrument::PtyInstrument(Behaviour behaviour, QObject* parent)
    : QObject(parent), instrument_(behaviour)
{
    // Raw from birth: a cooked pty would echo what we write before the program opens it.
    termios raw{};
    ::cfmakeraw(&raw);
    char name[PATH_MAX] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    devicePath_ = QString::fromLocal8Bit(name);
    ::ioctl(master_, FIOCLEX);
    ::ioctl(slave_, FIOCLEX);
    // A stopped terminal takes no output, so the program's writes stay pending as on a
    // stuck adapter.
    if (behaviour.stalled)
        ::tcflow(slave_, TCOOFF);
    // slave_ stays open for our whole life, so the master never sees a hang-up when the
    // program closes and reopens the port.
    startServing();
}

PtyInstrument::PtyInstrument(Behaviour behaviour, const QString& path, QObject* parent)
    : QObject(parent), instrument_(behaviour), devicePath_(path)
{
    const auto name = path.toLocal8Bit();
    master_ = ::open(name.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        throw std::runtime_error("cannot open " + name.toStdString() + ": " + std::strerror(errno));
    // Raw, or the terminal's line discipline would echo and translate the protocol's bytes.
    termios raw{};
    if (::tcgetattr(master_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B2400);
        ::tcsetattr(master_, TCSANOW, &raw);
    }
    ::tcflush(master_, TCIOFLUSH);
    startServing();
}

void PtyInstrument::startServing()
{
    int nonBlocking = 1;
    ::ioctl(master_, FIONBIO, &nonBlocking);

    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyInstrument::onReadable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyInstrument::onWritable);

    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PtyInstrument::releaseDue);
}

PtyInstrument::~PtyInstrument()
{
    hangUp();
    if (slave_ >= 0)
        ::close(slave_);
}

void PtyInstrument::hangUp()
{
    timer_.stop();
    due_.clear();
    output_.clear();
    // Notifiers must go before their descriptor does; later, since we may be inside
    // one of their signals right now.
    for (auto** notifier : {&readNotifier_, &writeNotifier_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PtyInstrument::onReadable()
{
    char buffer[256];
    while (master_ >= 0) {
        const auto count = ::read(master_, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            // A dead master, or the far end of a served terminal gone (read gives 0 after
            // a hang-up), would wake us for ever.
            if ((count == 0 || errno != EAGAIN) && readNotifier_)
                readNotifier_->setEnabled(false);
            break;
        }
        auto receivedAt = Clock::now();
        if (replySentAt_) {
            turnaroundsMs_.push_back(std::chrono::duration<double, std::milli>(receivedAt - *replySentAt_).count());
            replySentAt_.reset();
        }
        received_.append(buffer, count);
        for (long i = 0; i < count; ++i) {
            // A terminal delivers at once what a 2400-baud line takes 4.17 ms a byte for;
            // bytes written together queue behind each other on the wire.
            if (instrument_.behaviour().paced) {
                receivedAt = std::max(receivedAt, inputLineFreeAt_) + Instrument::kByteTimeAt2400;
                inputLineFreeAt_ = receivedAt;
            }
            for (auto& emission : instrument_.receive(static_cast<std::uint8_t>(buffer[i]))) {
                auto at = receivedAt + emission.after;
                // Replies that overlap still leave one byte after another.
                if (instrument_.behaviour().paced && !emission.bytes.empty()) {
                    at = std::max(at, outputLineFreeAt_ + Instrument::kByteTimeAt2400);
                    outputLineFreeAt_ = at;
                }
                due_.emplace(at, Pending{std::move(emission.bytes), emission.hangUp});
            }
        }
    }
    releaseDue();
}

void PtyInstrument::releaseDue()
{
    const auto now = Clock::now();
    while (!due_.empty() && due_.begin()->first <= now) {
        auto pending = std::move(due_.begin()->second);
        due_.erase(due_.begin());
        if (pending.hangUp) {
            hangUp();
            return;
        }
        output_.append(reinterpret_cast<const char*>(pending.bytes.data()),
                       static_cast<qsizetype>(pending.bytes.size()));
    }
    flushOutput();
    scheduleNext();
}

void PtyInstrument::scheduleNext()
{
    if (due_.empty()) {
        timer_.stop();
        return;
    }
    const auto due = due_.begin()->first;
    if (!instrument_.behaviour().paced) {
        // Rounded up, so a reply never leaves before its time.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
        timer_.start(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
        return;
    }
    // Paced, a millisecond timer would make each byte up to 1 ms late, a quarter of its
    // time on the wire: wake a little early and sleep the rest exactly. Nothing arrives
    // meanwhile, since the program waits for this reply.
    const auto early = std::chrono::floor<std::chrono::milliseconds>(due - Clock::now()) - std::chrono::milliseconds(1);
    if (early.count() > 0) {
        timer_.start(early);
        return;
    }
    timer_.stop();
    std::this_thread::sleep_until(due);
    QTimer::singleShot(0, this, &PtyInstrument::releaseDue);
}

void PtyInstrument::flushOutput()
{
    while (master_ >= 0 && !output_.isEmpty()) {
        const auto count = ::write(master_, output_.constData(), static_cast<size_t>(output_.size()));
        if (count > 0) {
            output_.remove(0, count);
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else if (count < 0 && errno == EAGAIN) {
            break;  // the program has not read enough yet; resume when there is room
        } else {
            output_.clear();
        }
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(!output_.isEmpty());
    if (output_.isEmpty() && due_.empty() && instrument_.behaviour().paced && !replySentAt_)
        replySentAt_ = Clock::now();
}

void PtyInstrument::onWritable()
{
    flushOutput();
}

}  // namespace splicerec::sim
