// The message functions shown in real windows: TFormMessage for the message
// window, QMessageBox for the platform's standard box. The application
// installs one for its lifetime.
#pragma once

#include "dialogs/Messages.h"

class QMessageBox;

namespace hv {

class TQtMessageHandler : public MessageHandler {
  public:
    // Installs itself; the previous handler comes back when it is destroyed.
    TQtMessageHandler();
    ~TQtMessageHandler() override;
    TQtMessageHandler(const TQtMessageHandler&) = delete;
    TQtMessageHandler& operator=(const TQtMessageHandler&) = delete;

    int Ask(const MessageRequest& request) override;

  private:
    MessageHandler* previous_;
};

// The platform box of a request (buttons, default button, icon from the
// flags), not yet shown; its buttons carry their result codes.
void SetupPlatformBox(QMessageBox& box, const MessageRequest& request);
// Shows it modally: the result code of the pressed button, the request's
// escape answer when it was closed without one.
int RunPlatformBox(const MessageRequest& request);

}  // namespace hv
