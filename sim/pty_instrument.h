#pragma once

#include "instrument.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <map>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace splicerec::sim {

// The simulated splicer on the master side of a pseudo-terminal: the program opens
// devicePath() like any serial port. Replies keep the instrument's timing relative to
// the byte that asked for them. Paced, a received byte counts only once its own 4.17 ms
// on the wire have passed, as a real splicer hears it.
class PtyInstrument : public QObject {
    Q_OBJECT

public:
    explicit PtyInstrument(Behaviour behaviour = {}, QObject* parent = nullptr);  // throws std::runtime_error

    // Serves an existing terminal instead, such as the host end of an emulated machine's
    // serial port; devicePath() is `path`. Throws std::runtime_error if it cannot be opened.
    PtyInstrument(Behaviour behaviour, const QString& path, QObject* parent = nullptr);
    ~PtyInstrument() override;

    PtyInstrument(const PtyInstrument&) = delete;
    PtyInstrument& operator=(const PtyInstrument&) = delete;

    QString devicePath() const { return devicePath_; }

    // Drops the line now, as an unplugged cable would.
    void hangUp();

    // Every byte the program has sent so far.
    QByteArray received() const { return received_; }
    const Instrument& instrument() const { return instrument_; }

    // Paced: for each request that came after a complete reply, the time from the
    // reply's last byte leaving here to the request arriving, in milliseconds.
    const std::vector<double>& turnarounds() const { return turnaroundsMs_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        std::vector<std::uint8_t> bytes;
        bool hangUp = false;
    };

    void onReadable();
    void onWritable();
    void releaseDue();
    void scheduleNext();
    void flushOutput();
    void startServing();

    Instrument instrument_;
    int master_ = -1;
    int slave_ = -1;
    QString devicePath_;
    QByteArray received_;
    QByteArray output_;
    Clock::time_point inputLineFreeAt_{};   // paced: when the last byte received has fully arrived
    Clock::time_point outputLineFreeAt_{};  // paced: when the last byte sent is off the wire
    std::optional<Clock::time_point> replySentAt_;  // the last reply is all out, since then
    std::vector<double> turnaroundsMs_;
    std::multimap<Clock::time_point, Pending> due_;  // equal times keep their order
    QTimer timer_;
    QSocketNotifier* readNotifier_ = nullptr;   // children; null once the line is down
    QSocketNotifier* writeNotifier_ = nullptr;
};

}  // namespace splicerec::sim
