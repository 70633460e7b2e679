#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "UiFixture.h"
#include "dialogs/ScriptedResponder.h"
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
        add(new TLabel3D, "prgHeader");
        add(new TLabel3D, "lbHeader");
        add(new TLabel3D, "lbCaption_CF");
        add(new QLabel, "lbTitleLine");
        add(new QLabel, "lbWarning");
        auto* plain = static_cast<QLabel*>(add(new QLabel, "lbPlain"));
        plain->setFont(QFont("Serif", 30));
        add(new QLineEdit, "edName");
        auto* courier = static_cast<QPlainTextEdit*>(add(new QPlainTextEdit, "mmLog"));
        courier->setFont(QFont("Courier New", 9));
        add(new QPlainTextEdit, "mmNotes");
        splitter = static_cast<QSplitter*>(add(new QSplitter, "spMain"));
        list = new QTreeView;
        list->setObjectName("lvFiles");
        auto* model = new QStandardItemModel(0, 3, list);
        list->setModel(model);
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
    struct Row {
        const char* control;
        QString family;
        int size;
        bool bold, italic;
    } rows[] = {
        {"FormSample_1", "MS Sans Serif", 8, false, false},
        {"prgHeader", "Times New Roman", 18, true, false},   // LabelFont whole
        {"lbHeader", "Times New Roman", 18, true, false},    // face, bold, size
        {"lbCaption_CF", "Times New Roman", 8, false, false},  // the suffix's face
        {"lbTitleLine", "MS Sans Serif", 8, false, false},
        {"lbWarning", "Times New Roman", 8, true, false},    // face and bold only
        {"lbPlain", "MS Sans Serif", 8, false, false},       // the parent's font
        {"edName", "Arial", 12, false, true},
        {"mmLog", "Courier New", 9, false, false},           // CourierFont's face, own size
        {"mmNotes", "", 0, false, false},                    // excepted: untouched
    };
    for (const Row& r : rows) {
        auto* c = r.control == std::string("FormSample_1") ? &w : Find<QWidget>(&w, r.control);
        const QFont f = c->font();
        if (r.family.isEmpty()) {
            EXPECT_FALSE(c->testAttribute(Qt::WA_SetFont)) << r.control;
            continue;
        }
        EXPECT_EQ(f.family(), r.family) << r.control;
        EXPECT_EQ(f.pointSize(), r.size) << r.control;
        EXPECT_EQ(f.bold(), r.bold) << r.control;
        EXPECT_EQ(f.italic(), r.italic) << r.control;
        // Drawn with an installed family that has Cyrillic letters.
        EXPECT_TRUE(QFontMetrics(f).inFontUcs4(0x0416)) << r.control << " " << QFontInfo(f).family().toStdString();
    }
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
        QCoreApplication::processEvents();
        SavePlacement(&w);
        SaveFonts();
    }
    const std::string ini = ReadFile(SettingsFile());
    EXPECT_NE(ini.find("[EditFont]\r\nName=\"Courier New\"\r\nSize=11\r\nColor=255\r\nCharset=204\r\nStyle=12"),
              std::string::npos) << ini;
    EXPECT_NE(ini.find("[FormSamplePosition]\r\nLeft=120\r\nTop=80\r\nWidth=560\r\nHeight=480\r\n"
                       "WindowState=0\r\nBorderStyle=2\r\nVisible=1\r\n"),
              std::string::npos) << ini;
    EXPECT_NE(ini.find("lvFiles=\"007000400"), std::string::npos) << ini;

    Restart();
    EXPECT_EQ(Font(TFontId::EditFont), (TFontSpec{"Courier New", 11, 255, 204, 12}));
    Sample again("FormSample_2");  // a numbered copy shares the section
    ApplyFonts(&again);
    RestorePlacement(&again);
    again.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(again.pos(), QPoint(120, 80));
    EXPECT_EQ(again.size(), QSize(560, 480));
    EXPECT_EQ(again.list->header()->sectionSize(0), 70);
    EXPECT_EQ(again.list->header()->sectionSize(1), 40);
    EXPECT_EQ(again.splitter->sizes().value(0), 150);
    EXPECT_NE(ini.find("spMain=\"0150"), std::string::npos) << ini;
    EXPECT_EQ(again.findChild<QLineEdit*>("edName")->font().family(), "Courier New");
}

// Stored values that would hide a window or garble its controls.
TEST_F(FontsPlacementTest, MalformedSettingsLeaveDefaultsAndKeepWindowsOnScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    WritePosixFile(SettingsFile(),
                   "[MainFont]\r\nName=\r\nSize=-4\r\nStyle=x\r\nColor=\r\n"
                   "[LabelFont]\r\nSize=99999999999\r\n"
                   "[FormSamplePosition]\r\nLeft=-5000\r\nTop=-5000\r\nWidth=0\r\nHeight=-10\r\n"
                   "WindowState=7\r\nBorderStyle=2\r\nlvFiles=\"0050-0300\"\r\nspMain=\"99990100\"\r\n"
                   "[FormBigPosition]\r\nLeft=30\r\nTop=40\r\nWidth=99999\r\nHeight=99999\r\n"
                   "WindowState=0\r\nBorderStyle=2\r\n");
    Restart();
    for (int i = 0; i < kFontCount; ++i)
        EXPECT_EQ(Font(TFontId(i)), DefaultFont(TFontId(i))) << FontKey(TFontId(i));
    ScriptedResponder responder;
    Sample w;
    const QSize designed = w.size();
    const int column0 = w.list->header()->sectionSize(0);
    RestorePlacement(&w);
    EXPECT_EQ(w.pos(), screen.topLeft() + QPoint(10, 10));
    EXPECT_EQ(w.size(), designed);
    EXPECT_EQ(w.list->header()->sectionSize(0), column0);  // refused as a whole
    ASSERT_EQ(responder.RequestsOf("ShowError").size(), 1u);
    EXPECT_EQ(responder.RequestsOf("ShowError")[0].message, "Splitter Rest Error");

    Sample big("FormBig");
    RestorePlacement(&big);
    EXPECT_EQ(big.pos(), QPoint(30, 40));
    EXPECT_LE(big.width(), screen.width());
    EXPECT_LE(big.height(), screen.height());
}

TEST_F(FontsPlacementTest, FirstRunCentresWindowsAndMaximisesTheMainOne) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    Sample main("FormMain"), other("FormOther");
    SetMainWindow(&main);
    RestorePlacement(&main);
    RestorePlacement(&other);
    EXPECT_TRUE(main.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(other.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(other.geometry().center().x() / 4, screen.center().x() / 4);
    SavePlacement(&main);
    SetMainWindow(nullptr);
    EXPECT_FALSE(SettingsIni().ValueExists("FormMainPosition", "Visible"));
    EXPECT_EQ(SettingsIni().ReadInteger("FormMainPosition", "WindowState", -1), 2);

    // A window without a name is named in a message and nothing is written.
    ScriptedResponder responder;
    QWidget nameless;
    SavePlacement(&nameless);
    ASSERT_EQ(responder.RequestsOf("ShowError").size(), 1u);
    EXPECT_EQ(responder.RequestsOf("ShowError")[0].text, A("Нет имени формы:\r\n\"QWidget\""));
}

}  // namespace
}  // namespace hv::test
