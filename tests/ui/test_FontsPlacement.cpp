#include <QFontInfo>
#include <QScreen>
#include <QSplitter>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "UiFixture.h"
#include "settings/Fonts.h"
#include "settings/IniSections.h"
#include "ui/ApplyFonts.h"
#include "ui/Label3D.h"
#include "ui/WindowPlacement.h"

namespace hv::test {
namespace {

// A window with one control of every kind the fonts and the placement know.
class Sample : public QWidget {
  public:
    explicit Sample(const char* name = "FormSample_1") {
        setObjectName(name);
        auto* lay = new QVBoxLayout(this);
        auto add = [&](QWidget* w, const char* n) {
            w->setObjectName(n);
            lay->addWidget(w);
            return w;
        };
        for (const char* n : {"prgHeader", "lbHeader", "lbCaption_CF"}) add(new TLabel3D, n);
        for (const char* n : {"lbTitleLine", "lbWarning"}) add(new QLabel, n);
        add(new QLabel, "lbPlain")->setFont(QFont("Serif", 30));
        add(new QLineEdit, "edName");
        add(new QPlainTextEdit, "mmLog")->setFont(QFont("Courier New", 9));
        add(new QPlainTextEdit, "mmNotes");
        splitter = static_cast<QSplitter*>(add(new QSplitter, "spMain"));
        list = new QTreeView;
        list->setObjectName("lvFiles");
        list->setModel(new QStandardItemModel(0, 3, list));
        splitter->addWidget(list);
        splitter->addWidget(new QLabel("right"));
        resize(600, 500);
    }
    QSplitter* splitter;
    QTreeView* list;
};

class FontsPlacementTest : public UiTest {};

TEST_F(FontsPlacementTest, FontsGoToControlsByKindAndName) {
    Font(TFontId::EditFont) = {"Arial", 12, 0, 204, kFontItalic};
    Font(TFontId::ColumnFont).Name = "Times New Roman";
    Sample w;
    ApplyFonts(&w, {w.findChild<QWidget*>("mmNotes")});
    // prgHeader takes LabelFont whole, lbHeader its face, bold and size,
    // lbCaption_CF the suffix's face, lbWarning face and bold only, lbPlain the
    // parent's font, mmLog CourierFont's face at its own size.
    QStringList seen;
    for (const char* name : {"", "prgHeader", "lbHeader", "lbCaption_CF", "lbTitleLine",
                             "lbWarning", "lbPlain", "edName", "mmLog"}) {
        const QFont f = *name ? Find<QWidget>(&w, name)->font() : w.font();
        seen << QString("%1 %2%3%4")
                    .arg(f.family())
                    .arg(f.pointSize())
                    .arg(f.bold() ? " b" : "")
                    .arg(f.italic() ? " i" : "");
        // Drawn with an installed family that has Cyrillic letters.
        EXPECT_TRUE(QFontMetrics(f).inFontUcs4(0x0416)) << QFontInfo(f).family().toStdString();
    }
    EXPECT_EQ(seen.join(" / "),
              "MS Sans Serif 8 / Times New Roman 18 b / Times New Roman 18 b / "
              "Times New Roman 8 / MS Sans Serif 8 / Times New Roman 8 b / "
              "MS Sans Serif 8 / Arial 12 i / Courier New 9");
    EXPECT_FALSE(Find<QWidget>(&w, "mmNotes")->testAttribute(Qt::WA_SetFont)) << "excepted";
    EXPECT_EQ(w.findChild<TLabel3D*>("prgHeader")->TextColor(), QColor(0, 255, 255));
    EXPECT_NE(DrawnFamily("MS Sans Serif"), "MS Sans Serif");
}

// Fonts and a window's placement written at the end of one run are what the
// next run starts with.
TEST_F(FontsPlacementTest, FontsAndPlacementSurviveARestart) {
    {
        Font(TFontId::EditFont) = {"Courier New", 11, 255, 204, kFontBold | kFontItalic};
        Sample w;
        w.show();
        w.move(120, 80);
        w.resize(560, 480);
        QCoreApplication::processEvents();
        w.splitter->setSizes({150, w.splitter->width() - 150 - w.splitter->handleWidth()});
        w.list->header()->resizeSection(0, 70);
        w.list->header()->resizeSection(1, 40);
        w.list->header()->resizeSection(2, 300);  // the stretched column of a wider window
        QCoreApplication::processEvents();
        SavePlacement(&w);
        SaveFonts();
    }
    ExpectSettingsHold(
        {"[EditFont]\r\nName=\"Courier New\"\r\nSize=11\r\nColor=255\r\n"
         "Charset=204\r\nStyle=12",
         "[FormSamplePosition]\r\nLeft=120\r\nTop=80\r\nWidth=560\r\nHeight=480\r\n"
         "WindowState=0\r\nBorderStyle=2\r\nVisible=1\r\n",
         "lvFiles=\"007000400", "spMain=\"0150"});
    Restart();
    EXPECT_EQ(Font(TFontId::EditFont), (TFontSpec{"Courier New", 11, 255, 204, 12}));
    Sample again("FormSample_2");  // a numbered copy shares the section
    ApplyFonts(&again);
    RestorePlacement(&again);
    again.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(QRect(again.pos(), again.size()), QRect(120, 80, 560, 480));
    EXPECT_EQ(std::tuple(again.list->header()->sectionSize(0), again.list->header()->sectionSize(1),
                         again.splitter->sizes().value(0)),
              std::tuple(70, 40, 150));
    EXPECT_LT(again.list->header()->sectionSize(2), 300);  // stretched to this window, not the old one
    EXPECT_EQ(again.findChild<QLineEdit*>("edName")->font().family(), "Courier New");
}

// Stored values that would hide a window or garble its controls.
TEST_F(FontsPlacementTest, MalformedSettingsLeaveDefaultsAndKeepWindowsOnScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    WritePosixFile(
        SettingsFile(),
        "[MainFont]\r\nName=\r\nSize=-4\r\nStyle=x\r\nColor=\r\n"
        "[LabelFont]\r\nSize=99999999999\r\n"
        "[FormSamplePosition]\r\nLeft=-5000\r\nTop=-5000\r\nWidth=0\r\nHeight=-10\r\n"
        "WindowState=7\r\nBorderStyle=2\r\nlvFiles=\"0050-0300\"\r\nspMain=\"99990100\"\r\n");
    Restart();
    for (int i = 0; i < kFontCount; ++i)
        EXPECT_EQ(Font(TFontId(i)), DefaultFont(TFontId(i))) << FontKey(TFontId(i));
    responder_ = std::make_unique<ScriptedResponder>();
    Sample w;
    const QSize designed = w.size();
    const int column0 = w.list->header()->sectionSize(0);
    RestorePlacement(&w);
    EXPECT_EQ(w.pos(), screen.topLeft() + QPoint(10, 10));
    EXPECT_EQ(w.size(), designed);
    EXPECT_EQ(w.list->header()->sectionSize(0), column0);  // refused as a whole
    EXPECT_EQ(Said("ShowError"), Lines{"Splitter Rest Error"});
}

// The main window starts maximised; a window without a name is named in a
// message and nothing is written.
TEST_F(FontsPlacementTest, FirstRunMaximisesTheMainWindow) {
    Sample main("FormMain");
    SetMainWindow(&main);
    RestorePlacement(&main);
    EXPECT_TRUE(main.windowState() & Qt::WindowMaximized);
    SavePlacement(&main);
    SetMainWindow(nullptr);
    EXPECT_FALSE(SettingsIni().ValueExists("FormMainPosition", "Visible"));
    EXPECT_EQ(SettingsIni().ReadInteger("FormMainPosition", "WindowState", -1), 2);
    responder_ = std::make_unique<ScriptedResponder>();
    QWidget nameless;
    SavePlacement(&nameless);
    EXPECT_EQ(Said("ShowError"), Lines{"Нет имени формы:\r\n\"QWidget\""});
}

}  // namespace
}  // namespace hv::test
