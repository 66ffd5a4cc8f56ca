#pragma once

#include "platform/ui/MessageBox.h"
#include "support/Printers.h"

#include <QString>
#include <QVector>

#include <deque>

namespace tunnel::test {

// Records every message box while it lives and answers each from a script of button ids; an
// unscripted box is answered with its first button (OK, Yes, Abort or Retry).
class MessageRecorder {
public:
    struct Message {
        QString text;
        QString caption;
        unsigned flags;
        QString details;
    };

    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void answer(int buttonId) { answers_.push_back(buttonId); }
    const QVector<Message>& messages() const { return messages_; }
    QStringList texts() const;
    void clear() { messages_.clear(); }

private:
    int present(const ui::MessageRequest& request);

    QVector<Message> messages_;
    std::deque<int> answers_;
    ui::MessagePresenter previous_;
};

}  // namespace tunnel::test
