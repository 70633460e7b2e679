// The value input window, the text viewer and the progress window.
#include <QMainWindow>
#include <QProgressBar>

#include "UiFixture.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormGet.h"
#include "dialogs/FormView.h"
#include "dialogs/ValueInput.h"
#include "ui/Command.h"

namespace hv::test {
namespace {

class FormGetTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        responder_ = std::make_unique<ScriptedResponder>();
    }
};

// Typing into the window: what each kind refuses, how the answer converts and
// how a password is shown.
TEST_F(FormGetTest, KindsFilterTypingAndConvertTheAnswer) {
    struct Row {
        int kind;
        const char* keys;   // UTF-8
        const char* shown;  // what the edit displays
        int beeps;
        bool ok;  // closes with Ok on the first press
        TVarValue value;
    } rows[] = {
        {kValueInteger, "12a3", "123", 1, true, TVarValue::Int32(123)},
        {kValueInteger, "1ж2", "12", 1, true, TVarValue::Int32(12)},
        {kValueInteger, "+", "+", 0, false, {}},
        {kValueReal, "3,1,4", "3.14", 1, true, TVarValue::Double(3.14)},
        {kValueDate, "1/2.2024", "1.2.2024", 0, true, TVarValue::Date(EncodeDate(2024, 2, 1))},
        {kValueDate, "32.", "32", 1, false, {}},
        {kValuePassword, "тайна", "*****", 0, true, TVarValue::Text(A("тайна"))},
        {kValueText, "Архив 2", "Архив 2", 0, true, TVarValue::Text(A("Архив 2"))},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.keys);
        responder_->Clear();
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
        EXPECT_EQ(InputValue(A("Значение"), r.kind, value), r.ok);
        EXPECT_EQ(shown, QString::fromUtf8(r.shown));
        EXPECT_EQ(beeps, r.beeps);
        EXPECT_EQ(stayedOpen, !r.ok);
        // A value that does not convert is refused with a message and left as it was.
        EXPECT_EQ(Said("ShowError"), r.ok ? Lines{} : Lines{"Неверное значение !!!"});
        EXPECT_EQ(ValueText(kValueText, value),
                  ValueText(kValueText, r.ok ? r.value : TVarValue::Int32(7)));
        EXPECT_EQ(value.Type(), r.ok ? r.value.Type() : TVarValue::Int32(7).Type());
    }
}

// A 32-bit overflow is refused as soon as the text is long enough, and the
// window keeps the edit focused.
TEST_F(FormGetTest, IntegerOverflowIsRefusedNotWrapped) {
    TVarValue value = TVarValue::Int32(1);
    OnNextModal([&](QWidget* w) {
        auto* ed = Find<QLineEdit>(w, "ed");
        ed->clear();
        Type(ed, "2147483648");
        EXPECT_EQ(Said("ShowError").size(), 1u);  // checked at once
        EXPECT_TRUE(ed->hasFocus());
        Click(w, "btOk");
        EXPECT_TRUE(w->isVisible());
        Press(ed, Qt::Key_Backspace);
        Click(w, "btOk");
    });
    ASSERT_TRUE(InputValue("N", kValueInteger, value));
    EXPECT_EQ(value.AsInteger(), 214748364);
    EXPECT_EQ(Said("ShowError").size(), 2u);
}

// A short prompt goes into the banner, a long one below it; Esc keeps the text.
TEST_F(FormGetTest, PromptInTheBannerOrBelowIt) {
    const std::string longPrompt =
        "Введите имя каталога, в котором будут храниться копии архивов этого проекта";
    const std::pair<std::string, std::string> rows[] = {
        {"Имя архива", "Имя архива / старое"},
        {longPrompt, "Введите значение / " + longPrompt + "старое"}};
    for (const auto& [prompt, shown] : rows) {
        std::string text = A("старое");
        QString seen;
        OnNextModal([&](QWidget* w) {
            seen = Shown(w, "lbHeader") + " / " + Shown(w, "lb") + Shown(w, "ed");
            Press(Find<QLineEdit>(w, "ed"), Qt::Key_Escape);
        });
        EXPECT_FALSE(InputString(A(prompt.c_str()), text));
        EXPECT_EQ(text, A("старое"));
        EXPECT_EQ(seen.toStdString(), shown);
    }
}

class FormViewTest : public UiTest {};

// Archiver output in the OEM code page, shown twice as the run driver does:
// readable Cyrillic both times, the second time not converted again.
TEST_F(FormViewTest, TFormViewConvertsOemTextOnce) {
    const char* output = "ARJ32 v 3.10\r\nАрхив создан: D:\\Arc\\ДОКИ.ARJ\r\nОшибок нет\r\n";
    CreateFile("d/run.out", Utf8ToOem(output));
    TFormView view;
    view.LoadFromFile("D:\\run.out");
    for (int round = 0; round < 2; ++round) {
        view.SetConvertFromOem(true);
        OnNextModal([&](QWidget* w) {
            EXPECT_EQ(qobject_cast<TFormView*>(w)->MemoText(),
                      QString::fromUtf8(output).replace("\r\n", "\n"))
                << "round " << round;
            EXPECT_TRUE(Find<QPlainTextEdit>(w, "Memo")->isReadOnly());
            Press(Find<QPlainTextEdit>(w, "Memo"), Qt::Key_Escape);
        });
        view.ShowModal();
        EXPECT_FALSE(view.ConvertFromOem());  // cleared on close
    }
}

TEST_F(FormViewTest, FollowsAGrowingFile) {
    const std::string posix = CreateFile("d/grow.out", Utf8ToOem("Строка 1\r\n"));
    TFormView view;
    view.SetConvertFromOem(true);
    view.SetFollowFile("D:\\grow.out");
    OnNextModal([&](QWidget* w) {
        auto* v = qobject_cast<TFormView*>(w);
        v->TimerTick();
        EXPECT_EQ(v->MemoText(), "Строка 1\n");
        WritePosixFile(posix, Utf8ToOem("Строка 1\r\nСтрока 2\r\n"));
        v->TimerTick();
        EXPECT_EQ(v->MemoText(), "Строка 1\nСтрока 2\n");
        std::remove(posix.c_str());
        v->TimerTick();  // gone: the text stays
        EXPECT_EQ(v->MemoText(), "Строка 1\nСтрока 2\n");
        w->close();
    });
    view.ShowModal();
}

class FormBarTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        owner_.setObjectName("FormOwner");
        owner_.show();
    }
    static QProgressBar* Bar(TFormBar& f, const char* name) { return Find<QProgressBar>(&f, name); }

    QMainWindow owner_;
};

// Two bars, the owner disabled while shown; the bars move in about 29 steps.
TEST_F(FormBarTest, BarsMoveInAbout29StepsAndWrongNumbersChangeNothing) {
    TFormBar f;
    f.InitBars(0, 0, 1000, 0, 50, &owner_);
    EXPECT_TRUE(f.TwoBars() && Find<QWidget>(&f, "Bar2")->isVisible() && !owner_.isEnabled());
    f.Mess(0, A("Копирование"));
    f.Mess(2, A("Вторая"));
    EXPECT_EQ(f.windowTitle() + "/" + Shown(&f, "M2"), "Копирование/Вторая");
    EXPECT_THROW(f.InitBars(0, 0, 10), Exception) << "shown twice";
    // Bar, value, and what the two bars show; moving bar 1 resets bar 2; beyond
    // the maximum is drawn full.
    const int steps[][4] = {{1, 0, 0, 0},   {2, 20, 0, 20}, {1, 1, 0, 0},   {1, 34, 0, 0},
                            {1, 35, 35, 0}, {1, 69, 35, 0}, {1, 70, 70, 0}, {1, 2000, 1000, 0}};
    for (auto [bar, value, shown1, shown2] : steps) {
        f.PosBar(bar, value);
        EXPECT_EQ(std::pair(Bar(f, "Bar1")->value(), Bar(f, "Bar2")->value()),
                  std::pair(shown1, shown2))
            << bar << ":" << value;
    }
    f.InitBars(1, 10, 5, 0, 0, nullptr);  // max raised to min
    EXPECT_EQ(f.GetMax1(), 10);
    f.InitBars(1, 0, 100, 0, 0, nullptr);
    f.Complete();
    EXPECT_EQ(Bar(f, "Bar1")->value(), 100);

    // Wrong bar or message numbers are shown and change nothing.
    responder_ = std::make_unique<ScriptedResponder>();
    f.PosBar(1, 50);
    f.PosBar(3, 10);
    f.Mess(7, "x");
    f.InitBars(9, 0, 1);
    EXPECT_EQ(Bar(f, "Bar1")->value(), 50);
    EXPECT_EQ(Said("ShowError"),
              (Lines{"Bars: (PosBar)???", "Bars: (Mess) ???", "Bars: (Init) ???"}));
    f.SetInterrupted(true);
    f.Close();
    EXPECT_FALSE(f.Interrupted() || f.isVisible());
    EXPECT_TRUE(owner_.isEnabled());
}

// One bar; a large archive copy counts bytes beyond the range of int, through
// the plain sink interface as the run driver uses it.
TEST_F(FormBarTest, ProgressTotalsOf2GiBUseTheScale) {
    const int64_t gib = int64_t(1) << 30;
    TFormBar f;
    f.InitBars(0, 0, 100, 0, 0, &owner_);
    EXPECT_FALSE(f.TwoBars() || Find<QWidget>(&f, "Bar2")->isVisible());
    ProgressSink& sink = f;
    sink.InitBarsLarge(1, 0, 5 * gib);
    EXPECT_GT(Bar(f, "Bar1")->maximum(), 0);
    sink.PosBarLarge(1, 4 * gib);
    EXPECT_NEAR(double(Bar(f, "Bar1")->value()) / Bar(f, "Bar1")->maximum(), 0.8, 0.05);
    sink.PosBarLarge(1, 5 * gib);
    EXPECT_EQ(Bar(f, "Bar1")->value(), Bar(f, "Bar1")->maximum());
    f.Close();
}

}  // namespace
}  // namespace hv::test
