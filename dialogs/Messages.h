// The message functions: every message, warning, error and question of the
// core goes through them. They build one MessageRequest and hand it to the
// installed MessageHandler (the windows in the application, a scripted
// responder in tests, a stderr printer when nothing is installed).
//
// Message strings may carry a heading and a text separated by a single '|'
// ("||" is a literal bar); "\n" (two characters) is a line break. Data put
// into a message (paths, project names) goes in through RawText, so that a
// bar or a backslash in it is shown as it stands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/Exception.h"
#include "util/StrUtils.h"

namespace hv {

// The silent abort: the current command is abandoned without a further
// message; command handlers catch and swallow it.
class EAbort : public Exception {
  public:
    EAbort() : Exception("Operation aborted") {}
};

// Bits of the kind word of a message window.
enum : uint16_t {
    kMsgOk = 1,
    kMsgCancel = 2,
    kMsgYes = 4,
    kMsgNo = 8,
    kMsgOkCancel = 16,
    kMsgYesNo = 32,
    kMsgError = 64,
    kMsgWarning = 128,
    kMsgChoice = 256,
};
constexpr uint16_t kMsgButtonBits = kMsgOk | kMsgCancel | kMsgYes | kMsgNo;
// Kinds the program uses.
constexpr uint16_t kKindError = 65;       // error, Ok
constexpr uint16_t kKindInfo = 129;       // warning banner, Ok
constexpr uint16_t kKindChoice = 288;     // choice, Yes+No
constexpr uint16_t kKindErrorYesNo = 96;  // error, Yes+No

// Button bits reduced to one set (Ok+Cancel, Yes+No, Yes, No, Ok or Cancel,
// in that priority); bits 16 and 32 cleared; no button at all gives 1.
uint16_t NormalizeKind(uint16_t kind);
// Banner text of a (normalised) kind: error wins over warning over choice;
// none gives "Сообщение".
std::string KindBanner(uint16_t kind);

struct MessageParts {
    std::string heading;
    std::string text;
};
// Splits at the first single '|' (the heading before it, the text after it);
// "||" stands for one '|' and does not split; no bar means all text. In both
// parts "\n" becomes CR LF unless another backslash stands before it.
MessageParts SplitMessage(std::string_view message);
// "\n" -> CR LF as in SplitMessage, for heading and text given separately.
std::string ExpandMessageBreaks(std::string_view s);

// Marks S as data inside a message string: it is neither split at a bar nor
// given line breaks at "\n". The marks are control characters that 1251
// text never shows; control characters of S itself become '?'.
std::string RawText(std::string_view s);
// S without the marks of RawText (for places that show a message as it
// stands: the platform's box, captions, a terminal).
std::string PlainText(std::string_view s);

// Results of the platform's standard message box.
enum : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
};
// Flags of the platform's standard message box (low 16 bits).
enum : uint32_t {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbAbortRetryIgnore = 0x2,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbRetryCancel = 0x5,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
    kMbDefButton2 = 0x100,
};

// One request to the message window (or to the platform's box).
struct MessageRequest {
    std::string function;      // "ShowError", "AskYesNo", ...
    bool platformBox = false;  // the platform's standard box, not the message window
    uint16_t kind = kMsgOk;    // normalised kind word (message window only)
    uint32_t flags = 0;        // platform box flags (platform box only)
    std::string caption;       // window caption; empty keeps the default
    std::string banner;        // banner text as shown (the kind's own when not replaced)
    std::string message;       // the message string as given, when given as one string
    std::string heading;       // split and with line breaks expanded
    std::string text;
    std::vector<std::string> buttons;  // caller buttons; empty = standard buttons
    int escapeResult = 1;              // answer given by Esc
    bool keyPreview = true;            // false when two or more button values were passed

    // Whether the request offers more than one answer (a question).
    bool IsQuestion() const;
    // The answer of a box that nobody answered (closed by the window manager,
    // hidden, nothing queued): the escape result for standard buttons, -1 (no
    // button) when the caller gave buttons of its own, since their button 1 is
    // often "try again".
    int NoAnswerResult() const;
};

// The installed implementation of the message window.
class MessageHandler {
  public:
    virtual ~MessageHandler() = default;
    // Result: 1 Ok/Yes, 2 Cancel/No, k for the k-th caller button, the escape
    // result on Esc, -1 when closed without an answer; for a platform box one
    // of the kId* codes.
    virtual int Ask(const MessageRequest& request) = 0;
};

// Installs Handler (nullptr: the stderr printer); returns the one it replaces.
// The handler is not owned.
MessageHandler* InstallMessageHandler(MessageHandler* handler);
MessageHandler& CurrentMessageHandler();

// Writes each request to stderr (converted to UTF-8) and gives its NoAnswerResult.
class StderrMessagePrinter : public MessageHandler {
  public:
    int Ask(const MessageRequest& request) override;
};

// The buttons argument: a text (or a single character) adds a caller button;
// an integer, allowed only before any caller button, sets the escape result;
// any other value raises "FMsg.setButtons: Ошибка в параметрах".
using MsgButtons = std::vector<TArg>;
// Applies a buttons list to a request (exposed for the windows and for tests).
void ApplyButtons(MessageRequest& request, const MsgButtons& buttons);

// ---- the message window -------------------------------------------------------
// Kind 65; true when closed with Ok. Closing while the application is
// terminating clears SaveEnabled, so a failing shut-down saves nothing.
bool ShowError(const std::string& message);
// ShowError, then throws EAbort.
[[noreturn]] void ShowErrorAbort(const std::string& message);
// Kind 129; true when closed with Ok.
bool ShowInfo(const std::string& message);
// Kind 0 means 288; caption and banner replace the defaults when not empty.
int MessageDialog(const std::string& caption, const std::string& banner, const std::string& heading,
                  uint16_t kind, const MsgButtons& buttons, const std::string& text);
int ChooseButton(const std::string& heading, const std::string& text, const MsgButtons& buttons);
int ChooseButtonWarn(const std::string& heading, const std::string& text,
                     const MsgButtons& buttons);
// Yes/No question; EscapeAnswer 0: Esc means no, 1: Esc means yes.
bool AskYesNo(const std::string& heading, const std::string& text, int escapeAnswer = 0);
// "Are you sure" question before deleting; Esc means no.
bool ConfirmDelete(const std::string& heading, const std::string& detail);
// The text ConfirmDelete shows for a detail.
std::string ConfirmDeleteText(const std::string& detail);

// ---- the platform's standard box --------------------------------------------------
int PlatformMessage(const std::string& text, const std::string& caption);
int PlatformMessageFlags(const std::string& text, const std::string& caption, uint32_t flags);
// Yes/No with the question icon; No is the default unless DefaultYes.
bool AskYesNoWarn(const std::string& text, bool defaultYes = false);

}  // namespace hv
