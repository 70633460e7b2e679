#include "dialogs/Messages.h"

#include <cstdio>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"

namespace hv {

namespace {

// Never destroyed: a document written back at exit may still have to report.
StderrMessagePrinter& Printer() {
    static auto* printer = new StderrMessagePrinter;
    return *printer;
}
MessageHandler* gHandler = nullptr;

int Dispatch(const MessageRequest& request) {
    return CurrentMessageHandler().Ask(request);
}

MessageRequest WindowRequest(const char* function, uint16_t kind) {
    MessageRequest r;
    r.function = function;
    r.kind = NormalizeKind(kind);
    r.banner = KindBanner(r.kind);
    return r;
}

void SetMessage(MessageRequest& r, const std::string& message) {
    r.message = message;
    MessageParts parts = SplitMessage(message);
    r.heading = std::move(parts.heading);
    r.text = std::move(parts.text);
}

void SetHeadingAndText(MessageRequest& r, const std::string& heading, const std::string& text) {
    r.heading = ExpandMessageBreaks(heading);
    r.text = ExpandMessageBreaks(text);
}

[[noreturn]] void BadButtons() {
    throw Exception("FMsg.setButtons: Ошибка в параметрах"_a);
}

// A button value: a caption (Text set) or an escape result (Number set).
struct ButtonValue {
    bool isText = false;
    std::string text;
    int number = 0;
};

ButtonValue Classify(const TArg& arg) {
    ButtonValue out;
    const TArg::Value& v = arg.Get();
    if (const auto* s = std::get_if<std::string>(&v)) {
        out.isText = true;
        out.text = *s;
    } else if (const auto* c = std::get_if<char>(&v)) {
        out.isText = true;
        out.text = std::string(1, *c);
    } else if (const auto* i = std::get_if<int64_t>(&v)) {
        out.number = static_cast<int>(*i);
    } else if (const auto* tv = std::get_if<TVarValue>(&v)) {
        if (tv->Type() == TVarType::Text) {
            out.isText = true;
            out.text = tv->AsText();
        } else if (tv->IsInteger()) {
            out.number = tv->AsInteger();
        } else {
            BadButtons();
        }
    } else {
        BadButtons();
    }
    return out;
}

int PlatformEscape(uint32_t flags) {
    switch (flags & 0xF) {
        case kMbOk:
            return kIdOk;
        case kMbYesNo:
            return kIdNo;
        case kMbAbortRetryIgnore:
            return kIdAbort;
        default:
            return kIdCancel;  // every other set has a Cancel button
    }
}

}  // namespace

uint16_t NormalizeKind(uint16_t kind) {
    uint16_t buttons;
    if (kind & kMsgOkCancel)
        buttons = kMsgOk | kMsgCancel;
    else if (kind & kMsgYesNo)
        buttons = kMsgYes | kMsgNo;
    else if (kind & kMsgYes)
        buttons = kMsgYes;
    else if (kind & kMsgNo)
        buttons = kMsgNo;
    else if (kind & kMsgOk)
        buttons = kMsgOk;
    else if (kind & kMsgCancel)
        buttons = kMsgCancel;
    else
        return kMsgOk;
    return static_cast<uint16_t>((kind & ~(kMsgButtonBits | kMsgOkCancel | kMsgYesNo)) | buttons);
}

std::string KindBanner(uint16_t kind) {
    if (kind & kMsgError) return "Ошибка !!!"_a;
    if (kind & kMsgWarning) return "Внимание !!!"_a;
    if (kind & kMsgChoice) return "Выбор пункта"_a;
    return "Сообщение"_a;
}

namespace {

constexpr char kRawBegin = '\x01';
constexpr char kRawEnd = '\x02';

// A message part built from plain pieces (line breaks expanded) and raw
// pieces (kept as they stand).
class PartBuilder {
  public:
    void Plain(char c) { plain_ += c; }
    void Raw(std::string_view s) {
        Flush();
        out_ += s;
    }
    std::string Take() {
        Flush();
        return std::move(out_);
    }

  private:
    void Flush() {
        out_ += ExpandLineBreaks(plain_);
        plain_.clear();
    }
    std::string plain_, out_;
};

// Length of the raw piece starting at S[I] (a kRawBegin), marks included.
size_t RawPieceLength(std::string_view s, size_t i) {
    size_t end = s.find(kRawEnd, i + 1);
    return (end == std::string_view::npos ? s.size() : end + 1) - i;
}

std::string_view RawPieceText(std::string_view s, size_t i, size_t len) {
    size_t inner = len - 1;
    if (i + len <= s.size() && s[i + len - 1] == kRawEnd) --inner;
    return s.substr(i + 1, inner);
}

}  // namespace

std::string RawText(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += kRawBegin;
    for (char c : s) out += (c == kRawBegin || c == kRawEnd) ? '?' : c;
    out += kRawEnd;
    return out;
}

std::string PlainText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != kRawBegin && c != kRawEnd) out += c;
    return out;
}

std::string ExpandMessageBreaks(std::string_view s) {
    PartBuilder b;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == kRawBegin) {
            size_t len = RawPieceLength(s, i);
            b.Raw(RawPieceText(s, i, len));
            i += len - 1;
        } else {
            b.Plain(s[i]);
        }
    }
    return b.Take();
}

MessageParts SplitMessage(std::string_view message) {
    // Undouble the bars while looking for the first single one.
    PartBuilder head, rest;
    bool split = false;
    PartBuilder* cur = &head;
    for (size_t i = 0; i < message.size(); ++i) {
        char c = message[i];
        if (c == kRawBegin) {
            size_t len = RawPieceLength(message, i);
            cur->Raw(RawPieceText(message, i, len));
            i += len - 1;
            continue;
        }
        if (c == '|') {
            if (i + 1 < message.size() && message[i + 1] == '|') {
                cur->Plain('|');
                ++i;
                continue;
            }
            if (!split) {
                split = true;
                cur = &rest;
                continue;
            }
        }
        cur->Plain(c);
    }
    MessageParts out;
    if (split) {
        out.heading = head.Take();
        out.text = rest.Take();
    } else {
        out.text = head.Take();
    }
    return out;
}

bool MessageRequest::IsQuestion() const {
    if (platformBox) return (flags & 0xF) != kMbOk;
    if (!buttons.empty()) return buttons.size() >= 2;
    return (kind & (kMsgOk | kMsgYes)) && (kind & (kMsgCancel | kMsgNo));
}

int MessageRequest::NoAnswerResult() const {
    return !platformBox && !buttons.empty() ? -1 : escapeResult;
}

MessageHandler* InstallMessageHandler(MessageHandler* handler) {
    MessageHandler* old = gHandler;
    gHandler = handler;
    return old;
}

MessageHandler& CurrentMessageHandler() {
    return gHandler ? *gHandler : Printer();
}

int StderrMessagePrinter::Ask(const MessageRequest& r) {
    std::string out = "[" + AnsiToUtf8(r.banner.empty() ? r.caption : r.banner) + "]";
    if (!r.caption.empty() && !r.banner.empty() && r.caption != " ")
        out += " " + AnsiToUtf8(r.caption);
    out += "\n";
    if (!r.heading.empty()) out += AnsiToUtf8(r.heading) + "\n";
    if (!r.text.empty()) out += AnsiToUtf8(r.text) + "\n";
    if (!r.buttons.empty()) {
        out += "(";
        for (size_t i = 0; i < r.buttons.size(); ++i)
            out += (i ? " | " : "") + AnsiToUtf8(r.buttons[i]);
        out += ")\n";
    }
    std::fputs(out.c_str(), stderr);
    return r.NoAnswerResult();
}

void ApplyButtons(MessageRequest& r, const MsgButtons& buttons) {
    if (buttons.empty()) return;
    if (buttons.size() == 1) {
        ButtonValue v = Classify(buttons[0]);
        r.kind = static_cast<uint16_t>((r.kind & ~kMsgButtonBits) | kMsgYes | kMsgNo);
        if (!v.isText)
            r.escapeResult = v.number;
        else if (!v.text.empty())
            r.buttons.push_back(PlainText(v.text));
        return;
    }
    r.keyPreview = false;
    for (const TArg& arg : buttons) {
        ButtonValue v = Classify(arg);
        if (v.isText) {
            r.buttons.push_back(PlainText(v.text));
        } else {
            if (!r.buttons.empty()) BadButtons();
            r.escapeResult = v.number;
        }
    }
}

bool ShowError(const std::string& message) {
    MessageRequest r = WindowRequest("ShowError", kKindError);
    SetMessage(r, message);
    int result = Dispatch(r);
    if (workdirs::Terminating()) SetSaveEnabled(false);
    return result == 1;
}

void ShowErrorAbort(const std::string& message) {
    ShowError(message);
    throw EAbort();
}

bool ShowInfo(const std::string& message) {
    MessageRequest r = WindowRequest("ShowInfo", kKindInfo);
    SetMessage(r, message);
    return Dispatch(r) == 1;
}

int MessageDialog(const std::string& caption, const std::string& banner, const std::string& heading,
                  uint16_t kind, const MsgButtons& buttons, const std::string& text) {
    MessageRequest r = WindowRequest("MessageDialog", kind == 0 ? kKindChoice : kind);
    ApplyButtons(r, buttons);
    SetHeadingAndText(r, heading, text);
    if (!caption.empty()) r.caption = PlainText(caption);
    if (!banner.empty()) r.banner = PlainText(banner);
    return Dispatch(r);
}

int ChooseButton(const std::string& heading, const std::string& text, const MsgButtons& buttons) {
    MessageRequest r = WindowRequest("ChooseButton", kKindChoice);
    ApplyButtons(r, buttons);
    SetHeadingAndText(r, heading, text);
    return Dispatch(r);
}

int ChooseButtonWarn(const std::string& heading, const std::string& text,
                     const MsgButtons& buttons) {
    MessageRequest r = WindowRequest("ChooseButtonWarn", kKindErrorYesNo);
    ApplyButtons(r, buttons);
    SetHeadingAndText(r, heading, text);
    return Dispatch(r);
}

bool AskYesNo(const std::string& heading, const std::string& text, int escapeAnswer) {
    MessageRequest r = WindowRequest("AskYesNo", kKindChoice);
    ApplyButtons(r, {escapeAnswer == 0 ? 2 : 1});
    SetHeadingAndText(r, heading, text);
    r.caption = " ";
    r.banner = "Выберите \"ДА\" или \"НЕТ\""_a;
    return Dispatch(r) == 1;
}

std::string ConfirmDeleteText(const std::string& detail) {
    const std::string sentence =
        "Вы уверены в необходимости удаления ?\r\n\r\nВНИМАНИЕ:  Удаленные данные восстановлению не подлежат !!!"_a;
    if (detail.empty()) return "\r\n" + sentence + "\r\n";
    return detail + "\r\n\r\n" + sentence;
}

bool ConfirmDelete(const std::string& heading, const std::string& detail) {
    MessageRequest r = WindowRequest("ConfirmDelete", kKindChoice);
    ApplyButtons(r, {2});
    SetHeadingAndText(r, heading, ConfirmDeleteText(detail));
    r.caption = "ВНИМАНИЕ !!!"_a;
    r.banner = "Удаление данных"_a;
    return Dispatch(r) == 1;
}

int PlatformMessageFlags(const std::string& text, const std::string& caption, uint32_t flags) {
    MessageRequest r;
    r.function = "PlatformMessageFlags";
    r.platformBox = true;
    r.flags = flags & 0xFFFF;
    r.caption = PlainText(caption);
    r.message = text;
    r.text = PlainText(text);
    r.escapeResult = PlatformEscape(r.flags);
    return Dispatch(r);
}

int PlatformMessage(const std::string& text, const std::string& caption) {
    MessageRequest r;
    r.function = "PlatformMessage";
    r.platformBox = true;
    r.flags = kMbOk;
    r.caption = PlainText(caption);
    r.message = text;
    r.text = PlainText(text);
    r.escapeResult = kIdOk;
    return Dispatch(r);
}

bool AskYesNoWarn(const std::string& text, bool defaultYes) {
    MessageRequest r;
    r.function = "AskYesNoWarn";
    r.platformBox = true;
    r.flags = kMbYesNo | kMbIconQuestion | (defaultYes ? 0u : static_cast<unsigned>(kMbDefButton2));
    r.caption = "!!!  В Н И М А Н И Е  !!!"_a;
    r.message = text;
    r.text = PlainText(text);
    r.escapeResult = kIdNo;
    return Dispatch(r) == kIdYes;
}

}  // namespace hv
