#include "support/fake_window.h"

namespace splicerec::test {

bool FakeWindow::isEnabled(Button button) const
{
    const auto found = enabled_.find(button);
    return found != enabled_.end() && found->second;
}

void FakeWindow::setStatusText(const std::string& text)
{
    status_ = text;
    statusHistory_.push_back(text);
}

void FakeWindow::showMessage(const std::string& text, const std::string& detail)
{
    messages_.push_back(text);
    details_.push_back(detail);
    if (whileMessageShown)
        whileMessageShown(text);
}

void FakeWindow::pumpEvents()
{
    ++pumps_;
    clock_.advance(std::chrono::milliseconds(1));
    // Hooks may add hooks; index rather than iterate.
    for (std::size_t i = 0; i < pumpHooks_.size(); ++i)
        pumpHooks_[i]();
}

}  // namespace splicerec::test
