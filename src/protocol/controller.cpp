#include "protocol/controller.h"

#include "protocol/waits.h"

namespace splicerec {
namespace {

// The status line has room for the cause only: "Cannot open /dev/ttyUSB0: permission denied".
std::string firstSentence(const std::string& text)
{
    const auto end = text.find(". ");
    return text.substr(0, end == std::string::npos ? text.size() : end);
}

}  // namespace

Controller::Controller(WindowOps& window, SerialPort& port, const Clock& clock, RecordSink& log)
    : context_{window, port, state_, clock, log}
{
}

Controller::~Controller()
{
    context_.port.setReceiveHandler({});
}

void Controller::startUp()
{
    context_.port.setSettings(kLineSettings);
    context_.port.setReceiveHandler([this] { receive(); });
    context_.window.setRecordCaption("");
    state_.pageFirstLine = 1;
    disableLowerButtons(context_.window);
    state_.downloadDone = 0;
    state_.stopRequested = 0;
}

template <typename Handler>
void Controller::guarded(Handler handler)
{
    try {
        handler();
    } catch (const QuitRequested&) {
        context_.endQuietly();
    } catch (const HandlerSuperseded&) {
        // The record handler or a newer link test has already told the technician.
    } catch (const DeviceSilent& error) {
        reportLinkLost(LinkTest::kFailureText, error.what(), "No answer on " + context_.port.deviceName() + ".");
    } catch (const PortError& error) {
        reportLinkLost(firstSentence(error.what()), error.what(), error.detail());
    } catch (const std::exception& error) {
        reportLinkLost("Unexpected error: " + std::string(error.what()), "Unexpected error !", error.what());
    } catch (...) {
        reportLinkLost("Unexpected error !", "Unexpected error !");
    }
}

void Controller::reportLinkLost(const std::string& status, const std::string& message, const std::string& detail)
{
    // Closing also forgets the port's own failure, so that waits further up the
    // call chain end quietly instead of reporting it a second time.
    context_.port.close();
    context_.window.setStatusText(status);
    context_.announceEnd(message, detail);
    disableLowerButtons(context_.window);
}

void Controller::comTest() { guarded([this] { linkTest_.run(); }); }
void Controller::start() { guarded([this] { reader_.start(); }); }
void Controller::nextPage() { guarded([this] { reader_.nextPage(); }); }
void Controller::readAll() { guarded([this] { reader_.readAll(); }); }
void Controller::stopRead() { guarded([this] { reader_.stopRead(); }); }
void Controller::receive() { guarded([this] { recordHandler_.onReceive(); }); }

}  // namespace splicerec
