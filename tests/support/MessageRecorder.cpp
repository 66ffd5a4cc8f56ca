#include "support/MessageRecorder.h"

namespace tunnel::test {
namespace {

int firstButton(unsigned flags) {
    switch (flags & 0x0FU) {
        case ui::mb::AbortRetryIgnore:
            return ui::IdAbort;
        case ui::mb::YesNoCancel:
        case ui::mb::YesNo:
            return ui::IdYes;
        case ui::mb::RetryCancel:
            return ui::IdRetry;
        default:
            return ui::IdOk;
    }
}

}  // namespace

MessageRecorder::MessageRecorder()
    : previous_(ui::setMessagePresenter(
          [this](const ui::MessageRequest& request) { return present(request); })) {}

MessageRecorder::~MessageRecorder() {
    ui::setMessagePresenter(std::move(previous_));
}

int MessageRecorder::present(const ui::MessageRequest& request) {
    messages_.append({request.text, request.caption, request.flags, request.details});
    if (answers_.empty()) {
        return firstButton(request.flags);
    }
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

QStringList MessageRecorder::texts() const {
    QStringList all;
    for (const Message& message : messages_) {
        all.append(message.text);
    }
    return all;
}

}  // namespace tunnel::test
