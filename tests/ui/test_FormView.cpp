#include <QFontInfo>
#include <QPlainTextEdit>

#include "UiFixture.h"
#include "dialogs/FormView.h"
#include "platform/CodePage.h"

namespace hv::test {
namespace {

class FormViewTest : public UiTest {};

const char* kOutput = "ARJ32 v 3.10\r\nАрхив создан: D:\\Arc\\ДОКИ.ARJ\r\nОшибок нет\r\n";

// Archiver output in the OEM code page, shown twice as the run driver does:
// readable Cyrillic both times, the second time not converted again.
TEST_F(FormViewTest, TFormViewConvertsOemTextOnce) {
    CreateFile("d/run.out", Utf8ToOem(kOutput));
    TFormView view;
    view.LoadFromFile("D:\\run.out");
    for (int round = 0; round < 2; ++round) {
        view.SetConvertFromOem(true);
        QString shown;
        OnNextModal([&](QWidget* w) {
            shown = qobject_cast<TFormView*>(w)->MemoText();
            auto* memo = Find<QPlainTextEdit>(w, "Memo");
            EXPECT_TRUE(memo->isReadOnly());
            EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
            EXPECT_EQ(memo->font().family(), "Courier New");
            EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());
            Press(memo, Qt::Key_Escape);
        });
        view.ShowModal();
        EXPECT_EQ(shown, QString::fromUtf8(kOutput).replace("\r\n", "\n")) << "round " << round;
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
        EXPECT_EQ(v->MemoText(), QString::fromUtf8("Строка 1\n"));
        WritePosixFile(posix, Utf8ToOem("Строка 1\r\nСтрока 2\r\n"));
        v->TimerTick();
        EXPECT_EQ(v->MemoText(), QString::fromUtf8("Строка 1\nСтрока 2\n"));
        std::remove(posix.c_str());
        v->TimerTick();  // gone: the text stays
        EXPECT_EQ(v->MemoText(), QString::fromUtf8("Строка 1\nСтрока 2\n"));
        w->close();
    });
    view.ShowModal();
}

}  // namespace
}  // namespace hv::test
