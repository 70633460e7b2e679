#include <QPlainTextEdit>

#include "UiFixture.h"
#include "dialogs/FormView.h"
#include "platform/CodePage.h"

namespace hv::test {
namespace {

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

}  // namespace
}  // namespace hv::test
