#include <gtest/gtest.h>

#include "dialogs/Messages.h"
#include "dialogs/ScriptedResponder.h"
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

}  // namespace
}  // namespace hv
