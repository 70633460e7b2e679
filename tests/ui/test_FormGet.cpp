#include <QLabel>
#include <QLineEdit>

#include "UiFixture.h"
#include "dialogs/FormGet.h"
#include "dialogs/ScriptedResponder.h"
#include "dialogs/ValueInput.h"
#include "ui/Command.h"
#include "ui/Label3D.h"

namespace hv::test {
namespace {

class FormGetTest : public UiTest {};

// Typing into the window: what each kind refuses, how the answer converts and
// how a password is shown.
TEST_F(FormGetTest, KindsFilterTypingAndConvertTheAnswer) {
    struct Row {
        const char* name;
        int kind;
        const char* keys;  // UTF-8
        QString shown;     // what the edit displays
        int beeps;
        bool ok;           // closes with Ok on the first press
        TVarValue value;
    } rows[] = {
        {"integer", kValueInteger, "12a3", "123", 1, true, TVarValue::Int32(123)},
        {"integer refuses Cyrillic", kValueInteger, "1ж2", "12", 1, true, TVarValue::Int32(12)},
        {"a plus sign alone", kValueInteger, "+", "+", 0, false, {}},
        {"real", kValueReal, "3,1,4", "3.14", 1, true, TVarValue::Double(3.14)},
        {"date", kValueDate, "1/2.2024", "1.2.2024", 0, true,
         TVarValue::Date(EncodeDate(2024, 2, 1))},
        {"date refused at the separator", kValueDate, "32.", "32", 1, false, {}},
        {"password as stars", kValuePassword, "тайна", "*****", 0, true, TVarValue::Text(A("тайна"))},
        {"text", kValueText, "Архив 2", QString::fromUtf8("Архив 2"), 0, true,
         TVarValue::Text(A("Архив 2"))},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedResponder responder;
        TVarValue value = TVarValue::Int32(7);
        QString shown;
        int beeps = 0;
        bool stayedOpen = false;
        OnNextModal([&](QWidget* w) {
            auto* ed = Find<QLineEdit>(w, "ed");
            ed->clear();
            const int before = BeepCount();
            Type(ed, r.keys);
            beeps = BeepCount() - before;
            shown = ed->displayText();
            Click(w, "btOk");
            stayedOpen = w->isVisible();
            if (stayedOpen) Press(ed, Qt::Key_Escape);
        });
        const bool ok = InputValue(A("Значение"), r.kind, value);
        EXPECT_EQ(shown, r.shown);
        EXPECT_EQ(beeps, r.beeps);
        EXPECT_EQ(ok, r.ok);
        EXPECT_EQ(stayedOpen, !r.ok);
        if (r.ok) {
            EXPECT_EQ(value.Type(), r.value.Type());
            EXPECT_EQ(ValueText(kValueText, value), ValueText(kValueText, r.value));
        } else {
            EXPECT_EQ(value.AsInteger(), 7);  // unchanged
        }
        const bool refusedShown = !responder.RequestsOf("ShowError").empty() &&
                                  responder.RequestsOf("ShowError")[0].message == A("Неверное значение !!!");
        EXPECT_EQ(refusedShown, !r.ok) << "conversion error box";
    }
}

// A 32-bit overflow is refused as soon as the text is long enough, and the
// window keeps the edit focused.
TEST_F(FormGetTest, IntegerOverflowIsRefusedNotWrapped) {
    ScriptedResponder responder;
    TVarValue value = TVarValue::Int32(1);
    OnNextModal([&](QWidget* w) {
        auto* ed = Find<QLineEdit>(w, "ed");
        ed->clear();
        Type(ed, "2147483648");
        EXPECT_EQ(responder.RequestsOf("ShowError").size(), 1u);  // checked at once
        EXPECT_TRUE(ed->hasFocus());
        Click(w, "btOk");
        EXPECT_TRUE(w->isVisible());
        Press(ed, Qt::Key_Backspace);
        Click(w, "btOk");
    });
    ASSERT_TRUE(InputValue("N", kValueInteger, value));
    EXPECT_EQ(value.AsInteger(), 214748364);
    EXPECT_EQ(responder.RequestsOf("ShowError").size(), 2u);
}

TEST_F(FormGetTest, PromptInTheBannerOrBelowIt) {
    struct Row {
        const char* name;
        const char* prompt;
        QString banner, label;
    } rows[] = {
        {"short prompt", "Имя архива", QString::fromUtf8("Имя архива"), ""},
        {"long prompt",
         "Введите имя каталога, в котором будут храниться копии архивов этого проекта",
         QString::fromUtf8("Введите значение"),
         QString::fromUtf8(
             "Введите имя каталога, в котором будут храниться копии архивов этого проекта")},
    };
    for (const Row& r : rows) {
        std::string text = A("старое");
        QString banner, label;
        OnNextModal([&](QWidget* w) {
            banner = Find<TLabel3D>(w, "lbHeader")->text();
            label = Find<QLabel>(w, "lb")->text();
            EXPECT_EQ(Find<QLineEdit>(w, "ed")->text(), QString::fromUtf8("старое"));
            Press(Find<QLineEdit>(w, "ed"), Qt::Key_Escape);
        });
        EXPECT_FALSE(InputString(A(r.prompt), text)) << r.name;
        EXPECT_EQ(text, A("старое")) << r.name;
        EXPECT_EQ(banner, r.banner) << r.name;
        EXPECT_EQ(label, r.label) << r.name;
    }
}

}  // namespace
}  // namespace hv::test
