#include "app/Startup.h"

#include <QApplication>
#include <QPointer>

#include "app/FormMain.h"
#include "app/LaterForms.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormView.h"
#include "dialogs/QtMessages.h"
#include "pack/ArcForm.h"
#include "editor/SetPrj.h"
#include "platform/AnsiLiteral.h"
#include "project/HLObject.h"
#include "settings/Fonts.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/WindowPlacement.h"
#include "util/FileUtils.h"

namespace hv {

namespace {

QPointer<TFormBar> gBar;
QPointer<TFormView> gView;

void Pump() { QCoreApplication::processEvents(); }

}  // namespace

TFormBar* SharedBar() { return gBar; }
TFormView* SharedView() { return gView; }

TProgramSession::TProgramSession(std::string programDir) : programDir_(std::move(programDir)) {}

TProgramSession::~TProgramSession() {
    if (MainWindow() == main_.get()) SetMainWindow(nullptr);
    // The windows go in the reverse order of their creation.
    view_.reset();
    editor_.reset();
    browser_.reset();
    otl_.reset();
    main_.reset();
    bar_.reset();
}

bool TProgramSession::Start() {
    SetMessagePump(Pump);
    THL_HalvoraProject::RunMessagePump = Pump;
    workdirs::SetAppRunning(false);
    workdirs::SetTerminating(false);
    SetSaveEnabled(false);
    if (programDir_.empty())
        workdirs::InitWorkDirs();
    else
        workdirs::InitWorkDirs(programDir_);
    ResetConfiguration();

    PushCursor(Qt::BusyCursor);
    RestConfiguration();
    // A first start has no date of its own: the box shows today's.
    const bool dateStored = SettingsIni().ValueExists("Configuration", "LastDate");
    bar_ = std::make_unique<TFormBar>();
    gBar = bar_.get();
    LoadFonts();
    ApplyFonts(bar_.get());
    QCoreApplication::processEvents();

    main_ = std::make_unique<TFormMain>();
    SetMainWindow(main_.get());
    otl_ = std::make_unique<TFormOtl>();
    browser_ = std::make_unique<TFormArc>();
    editor_ = std::make_unique<TFormSetProject>();
    view_ = std::make_unique<TFormView>();
    gView = view_.get();
    main_->SetViewer(view_.get());
    main_->SetArchiveBrowser(browser_.get());
    main_->SetProjectEditor(editor_.get());

    bool abandon = false;
    const auto failed = [&abandon] {
        abandon = AskYesNo("Ошибка инициализации программы"_a, "Прервать выполнение ?"_a, 0);
    };
    RunCommand([&, dateStored] {
        try {
            for (QWidget* w : {static_cast<QWidget*>(view_.get()), static_cast<QWidget*>(browser_.get()),
                               static_cast<QWidget*>(editor_.get()), static_cast<QWidget*>(main_.get())}) {
                ApplyFonts(w);
                RestorePlacement(w);
            }
            TConfiguration& cfg = Configuration();
            if (!dateStored || DateText(cfg.LastDate) != DateText(Today())) {
                cfg.LastDate = Today();
                ShowInfo("Сегодня :    "_a + DateText(cfg.LastDate));
            }
        } catch (const EAbort&) {
            failed();
        } catch (const std::exception& e) {
            ShowError(e.what());
            failed();
        }
    });
    PopCursor();
    SetSaveEnabled(true);
    return !abandon;
}

int TProgramSession::Loop() {
    main_->show();
    workdirs::SetAppRunning(true);
    const int status = QApplication::exec();
    workdirs::SetAppRunning(false);
    return status;
}

void TProgramSession::Shutdown() {
    workdirs::SetTerminating(true);
    RunCommand([&] {
        TIniFile& ini = SettingsIni();
        // One write: killed at any moment, the program leaves the old file or the new one.
        ini.BeginUpdate();
        struct Bracket {
            TIniFile& ini;
            ~Bracket() {
                try {
                    ini.EndUpdate();
                } catch (const std::exception& e) {
                    ShowError(e.what());
                }
            }
        } bracket{ini};
        try {
            for (QWidget* w : {static_cast<QWidget*>(main_.get()), static_cast<QWidget*>(editor_.get()),
                               static_cast<QWidget*>(browser_.get()), static_cast<QWidget*>(view_.get())})
                if (w) SavePlacement(w);
            SaveFonts();
            if (SaveEnabled()) {
                if (main_) main_->SaveProjectList();
                if (editor_) editor_->SaveSortSettings();
                SaveConfiguration();
            }
        } catch (const EAbort&) {
            throw;
        } catch (const std::exception&) {
            ShowErrorAbort("Ошибка завершения программы"_a);
        }
    });
    CloseSettingsIni();
}

int RunApplication() {
    TQtMessageHandler messages;
    TProgramSession session;
    if (!session.Start()) return 0;
    const int status = session.Loop();
    session.Shutdown();
    return status;
}

}  // namespace hv
