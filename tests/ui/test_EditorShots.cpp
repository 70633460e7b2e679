// The project editor rendered for review: each data page, the disk browser
// with all three verdict images, the drive list, the found files, to
// <build>/shots/FormSetProject-<state>.png.
#include <QImage>
#include <QSet>

#include "EditorFixture.h"

namespace hv::test {
namespace {

class EditorShots : public EditorTest {
  protected:
    void Take(QWidget* w, const std::string& name) {
        QImage img(QString::fromStdString(Shot(w, name)));
        ASSERT_FALSE(img.isNull()) << name;
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 3)
            for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
        EXPECT_GT(colours.size(), 3) << name << ": nothing drawn";
        // Every letter of the visible texts has a glyph in its font.
        for (QWidget* c : w->findChildren<QWidget*>()) {
            auto* label = qobject_cast<QLabel*>(c);
            if (!label || !label->isVisible()) continue;
            const QFontMetrics fm(label->font());
            for (QChar ch : label->text())
                if (!ch.isSpace())
                    EXPECT_TRUE(fm.inFontUcs4(ch.unicode()))
                        << name << ": " << label->objectName().toStdString();
        }
    }
};

TEST_F(EditorShots, EveryPageTheVerdictsTheDrivesAndTheFoundFiles) {
    Edit([&](TFormSetProject& ed) {
        ed.resize(960, 620);
        auto* data = C<QTabWidget>("pcData");
        auto* browser = C<QTabWidget>("pcBrowser");
        DoubleClick("Sub");
        EXPECT_EQ(Images().size(), 4u);
        Take(&ed, "FormSetProject-general");
        data->setCurrentWidget(C("tabPrjFiles"));
        Take(&ed, "FormSetProject-files-verdicts");
        data->setCurrentWidget(C("tabDirList"));
        Take(&ed, "FormSetProject-dirlist");
        data->setCurrentWidget(C("tabDir"));
        C<QCheckBox>("cbPrjProperty")->click();
        C<QLineEdit>("edValue")->setText("D:\\Work\\Deep\\old.log");
        Drop("lvDFilesExcl", From("edValue"));
        Take(&ed, "FormSetProject-dir");
        data->setCurrentWidget(C("tabExtra"));
        Click(&ed, "sbDiskName");
        Take(&ed, "FormSetProject-extra-drives");
        data->setCurrentWidget(C("tabGeneral"));
        ed.ShowDir("D:\\Work");
        editor_->findChild<QAction*>("mnAList")->trigger();
        Take(&ed, "FormSetProject-list");
        browser->setCurrentWidget(C("tabFiles"));
        Take(&ed, "FormSetProject-found");
        Click(&ed, "sbCancel");
    });
}

}  // namespace
}  // namespace hv::test
