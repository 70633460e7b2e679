// The message seam: kinds, texts and buttons of a box, the responder and the
// printer that stand in for the windows; the rules of the value input window
// (keystroke filters and conversions beyond what typing into it shows).
#include <gtest/gtest.h>

#include <clocale>

#include "dialogs/Messages.h"
#include "dialogs/ScriptedResponder.h"
#include "dialogs/ValueInput.h"
#include "platform/AnsiLiteral.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "support/ErrorOf.h"

namespace hv {
namespace {

TEST(MessageKind, NormalisationTable) {
    struct Row {
        const char* name;
        uint16_t in, out;
    } rows[] = {
        {"no bits gives Ok", 0, 1},
        {"banner without buttons gives plain Ok", 64, 1},
        {"error Ok", 65, 65},
        {"warning Ok", 129, 129},
        {"choice YesNo", 288, 256 | kMsgYes | kMsgNo},
        {"error YesNo", 96, 64 | kMsgYes | kMsgNo},
        {"OkCancel beats YesNo", 16 | 32, kMsgOk | kMsgCancel},
        {"Yes beats No and Ok", 4 | 8 | 1, kMsgYes},
        {"No beats Ok", 8 | 1, kMsgNo},
        {"Ok beats Cancel", 1 | 2, kMsgOk},
        {"Cancel alone", 2, kMsgCancel},
        {"Yes and No bits without 32 give Yes only", 256 | kMsgYes | kMsgNo, 256 | kMsgYes},
    };
    for (const Row& r : rows) EXPECT_EQ(NormalizeKind(r.in), r.out) << r.name;
}

// A path or a project name put into a message (RawText) stays as it stands.
TEST(MessageSplit, Table) {
    struct Row {
        const char* name;
        std::string in, heading, text;
    } rows[] = {
        {"heading and text", "Head|Text", "Head", "Text"},
        {"no bar is all text", "Only text", "", "Only text"},
        {"doubled bar is literal", "a||b", "", "a|b"},
        {"doubled bar in the heading", "a||b|c", "a|b", "c"},
        {"three bars: literal then split", "a|||b", "a|", "b"},
        {"only doubled bars", "||", "", "|"},
        {"later single bar stays in the text", "a|b|c", "a", "b|c"},
        {"bar at the end leaves an empty text", "Head|", "Head", ""},
        {"line breaks in both parts", "H\\nx|T\\nY", "H\r\nx", "T\r\nY"},
        {"escaped backslash keeps \\n", "a\\\\nb", "", "a\\\\nb"},
        {"path with \\n", "Не найден каталог|"_a + RawText("D:\\notes\\new"), "Не найден каталог"_a,
         "D:\\notes\\new"},
        {"name with a bar, no heading", "Проект "_a + RawText("A|B") + " удален"_a, "",
         "Проект A|B удален"_a},
        {"bar in data before the real one", RawText("x|y") + "|text\\nmore", "x|y", "text\r\nmore"},
        {"doubled bars in data stay doubled", RawText("a||b"), "", "a||b"},
        {"marks inside data are neutralised", RawText("a\x02|b"), "", "a?|b"},
    };
    for (const Row& r : rows) {
        MessageParts p = SplitMessage(r.in);
        EXPECT_EQ(p.heading, r.heading) << r.name;
        EXPECT_EQ(p.text, r.text) << r.name;
    }
    EXPECT_EQ(ExpandMessageBreaks("a\\n" + RawText("D:\\new")), "a\r\nD:\\new");
    EXPECT_EQ(PlainText("x" + RawText("D:\\n|a")), "xD:\\n|a");
}

TEST(MessageButtons, ValuesTable) {
    struct Row {
        const char* name;
        MsgButtons buttons;
        std::vector<std::string> captions;
        int escape;  // -1: the values are refused
        bool yesNo;
        bool keyPreview;
    } rows[] = {
        {"empty list changes nothing", {}, {}, 1, false, true},
        {"one integer: Yes/No with that escape", {2}, {}, 2, true, true},
        {"one caption", {"Go"}, {"Go"}, 1, true, true},
        {"one empty caption: no caller buttons", {""}, {}, 1, true, true},
        {"single character is a caption", {'X', "Y"}, {"X", "Y"}, 1, false, false},
        {"integer first, then captions", {3, "A", "B"}, {"A", "B"}, 3, false, false},
        {"integer after a caption", {"A", 2}, {}, -1, false, false},
        {"boolean", {true}, {}, -1, false, false},
        {"floating point", {1.5}, {}, -1, false, false},
        {"pointer among captions", {"A", nullptr}, {}, -1, false, false},
    };
    for (const Row& r : rows) {
        MessageRequest req;
        req.kind = NormalizeKind(65);
        if (r.escape < 0) {
            EXPECT_EQ(test::ErrorOf([&] { ApplyButtons(req, r.buttons); }),
                      "FMsg.setButtons: Ошибка в параметрах"_a)
                << r.name;
            continue;
        }
        ApplyButtons(req, r.buttons);
        EXPECT_EQ(req.buttons, r.captions) << r.name;
        EXPECT_EQ(req.escapeResult, r.escape) << r.name;
        EXPECT_EQ((req.kind & (kMsgYes | kMsgNo)) == (kMsgYes | kMsgNo), r.yesNo) << r.name;
        EXPECT_EQ(req.keyPreview, r.keyPreview) << r.name;
    }
}

class Seam : public ::testing::Test {
  protected:
    ScriptedResponder responder;
};

// The responder answers questions in the order queued; plain messages never
// take an answer meant for a question, and an unanswered question gets its
// escape answer. What the windows show is the window tests' business.
TEST_F(Seam, QueuedAnswersGoToQuestionsOnly) {
    responder.Answer(2);
    EXPECT_TRUE(ShowError("Caption|Text"));
    EXPECT_TRUE(ShowInfo("Info"));
    EXPECT_EQ(responder.Pending(), 1u);
    EXPECT_FALSE(AskYesNo("Q", "", 1));   // the queued 2 is "no"
    EXPECT_FALSE(AskYesNo("H", "T", 0));  // nobody answers: Esc
    EXPECT_TRUE(AskYesNo("H", "T", 1));
    responder.Answer(3);
    EXPECT_EQ(ChooseButton("Pick", "one", {"A", "B", "C"}), 3);
    EXPECT_EQ(responder.Functions(),
              (std::vector<std::string>{"ShowError", "ShowInfo", "AskYesNo", "AskYesNo", "AskYesNo",
                                        "ChooseButton"}));
    const MessageRequest& err = responder.Records()[0].request;
    EXPECT_EQ(err.heading, "Caption");
    EXPECT_EQ(err.text, "Text");
    EXPECT_FALSE(responder.Records()[3].answered);
    EXPECT_TRUE(responder.Records()[5].answered);
    // ShowErrorAbort shows, then aborts silently.
    EXPECT_THROW(ShowErrorAbort("boom"), EAbort);
    EXPECT_EQ(responder.Records().back().request.function, "ShowError");
}

TEST_F(Seam, ErrorWhileTerminatingStopsSaving) {
    SetSaveEnabled(true);
    ShowError("not yet");
    EXPECT_TRUE(SaveEnabled());
    workdirs::SetTerminating(true);
    ShowError("during shut-down");
    workdirs::SetTerminating(false);
    EXPECT_FALSE(SaveEnabled());
}

// A diskette question ("check another diskette", "cancel") that nobody answers
// must not come back as button 1, or its caller asks again for ever.
TEST_F(Seam, UnansweredCallerButtonBoxIsNoButton) {
    struct Row {
        const char* name;
        MsgButtons buttons;
        int expected;
    } rows[] = {
        {"two captions", {"Проверить другую"_a, "Отменить"_a}, -1},
        {"escape value before captions", {1, "Retry", "Cancel"}, -1},
        {"one caption", {"Повторить"_a}, -1},
        {"standard Yes/No keeps its escape answer", {2}, 2},
    };
    for (const Row& r : rows) EXPECT_EQ(ChooseButton("H", "T", r.buttons), r.expected) << r.name;
}

TEST_F(Seam, PlatformBoxes) {
    EXPECT_FALSE(AskYesNoWarn("Stop?"));
    responder.AnswerYes();
    EXPECT_TRUE(AskYesNoWarn("Stop?", true));
    EXPECT_EQ(PlatformMessage("x", "c"), kIdOk);
    const auto& a = responder.Records()[0].request;
    EXPECT_TRUE(a.platformBox);
    EXPECT_EQ(a.caption, "!!!  В Н И М А Н И Е  !!!"_a);
    EXPECT_EQ(a.flags, kMbYesNo | kMbIconQuestion | kMbDefButton2);
    EXPECT_EQ(responder.Records()[1].request.flags, kMbYesNo | kMbIconQuestion);
    EXPECT_EQ(responder.Records()[1].result, kIdYes);
}

TEST(SeamDefault, StderrPrinterGivesTheEscapeAnswerInUtf8) {
    MessageHandler* previous = InstallMessageHandler(nullptr);
    testing::internal::CaptureStderr();
    bool yes = AskYesNo("Заголовок"_a, "Текст"_a, 0);
    ShowError("Сбой|подробности"_a);
    const int button = ChooseButton("H", "T", {"A", "B"});  // no button, as the responder's
    std::string err = testing::internal::GetCapturedStderr();
    InstallMessageHandler(previous);
    EXPECT_FALSE(yes);
    EXPECT_EQ(button, -1);
    EXPECT_NE(err.find("Заголовок"), std::string::npos);
    EXPECT_NE(err.find("Ошибка !!!"), std::string::npos);
    EXPECT_NE(err.find("подробности"), std::string::npos);
}

// ---- value input ---------------------------------------------------------------------

// Typed key by key through the filter: the text and the number of dropped keys.
std::pair<std::string, int> TypeThrough(int kind, const std::string& keys) {
    std::string text;
    int beeps = 0;
    for (char c : keys) {
        char put = FilterValueChar(kind, text, c);
        if (put == 0)
            ++beeps;
        else if (put == kBackspace)
            text.empty() ? void() : text.pop_back();
        else
            text += put;
    }
    return {text, beeps};
}

TEST(ValueInput, KeystrokeFilters) {
    struct Row {
        const char* name;
        int kind;
        std::string keys, text;
        int beeps;
    } rows[] = {
        {"integer takes signs", kValueInteger, "-+5", "-+5", 0},
        {"real: a second separator is dropped", kValueReal, "3,1,4.", "3.14", 2},
        {"date: month 13 refused at the separator", kValueDate, "12.13.", "12.13", 1},
        {"date: a full date", kValueDate, "1.2.2024", "1.2.2024", 0},
        {"date: a fifth year digit", kValueDate, "1.2.20245", "1.2.2024", 1},
        {"date: slash and comma become points", kValueDate, "1/2,2024", "1.2.2024", 0},
        {"date: a third digit of the day", kValueDate, "123", "12", 1},
        {"date: no separator first or doubled", kValueDate, ".1..", "1.", 2},
        {"date: backspace then retype", kValueDate, "3\b1.", "1.", 0},
        {"unknown kind is text", 42, "x/y", "x/y", 0},
    };
    for (const Row& r : rows) {
        auto [text, beeps] = TypeThrough(r.kind, r.keys);
        EXPECT_EQ(text, r.text) << r.name;
        EXPECT_EQ(beeps, r.beeps) << r.name;
    }
}

TEST(ValueInput, Conversions) {
    // A locale with a decimal comma must change nothing.
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedLocale = saved ? saved : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Row {
        const char* name;
        int kind;
        std::string text;
        bool ok;
        double number;  // integer, real, or the date as days
    } rows[] = {
        {"integer with plus", kValueInteger, "+7", true, 7},
        {"negative integer", kValueInteger, "-2147483648", true, -2147483648.0},
        {"32-bit overflow is no number", kValueInteger, "2147483648", false, 0},
        {"far overflow", kValueInteger, "99999999999999999999", false, 0},
        {"sign inside", kValueInteger, "1-2", false, 0},
        {"real with a point", kValueReal, "3.14", true, 3.14},
        {"real, pasted comma", kValueReal, "2,5", true, 2.5},
        {"real, two points", kValueReal, "1.2.3", false, 0},
        {"real, point alone", kValueReal, ".", false, 0},
        {"date day.month.year", kValueDate, "1.2.2024", true, EncodeDate(2024, 2, 1)},
        {"date, two-digit year", kValueDate, "31.12.99", true, EncodeDate(1999, 12, 31)},
        {"date that does not exist", kValueDate, "31.2.2024", false, 0},
        {"date without a year", kValueDate, "1.2.", false, 0},
    };
    for (const Row& r : rows) {
        TVarValue v;
        ASSERT_EQ(ConvertValue(r.kind, r.text, v), r.ok) << r.name;
        EXPECT_DOUBLE_EQ(r.ok ? v.AsDouble() : 0, r.number) << r.name;
    }
    std::setlocale(LC_NUMERIC, savedLocale.c_str());
    TVarValue text;
    ASSERT_TRUE(ConvertValue(kValuePassword, "s3cret", text));
    EXPECT_EQ(text.AsText(), "s3cret");
}

TEST(ValueInput, EditTextOfTheCurrentValue) {
    EXPECT_EQ(ValueText(kValueInteger, TVarValue::Int32(-5)), "-5");
    EXPECT_EQ(ValueText(kValueReal, TVarValue::Double(0.5)), "0.5");
    EXPECT_EQ(ValueText(kValueDate, TVarValue::Date(EncodeDate(2024, 2, 1))), "01.02.2024");
    EXPECT_EQ(ValueText(kValuePassword, TVarValue::Text("secret")), "");
    EXPECT_EQ(ValueText(kValueText, TVarValue()), "");
}

}  // namespace
}  // namespace hv
