#include "app/Startup.h"

#include <QApplication>
#include <QPointer>

#include "app/FormMain.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormView.h"
#include "dialogs/QtMessages.h"
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

int RunApplication() {
    TQtMessageHandler messages;
    SetMessagePump(Pump);
    THL_HalvoraProject::RunMessagePump = Pump;

    workdirs::InitWorkDirs();
    ResetConfiguration();
    PushCursor(Qt::BusyCursor);
    RestConfiguration();

    TFormBar bar;
    gBar = &bar;
    QCoreApplication::processEvents();
    TFormMain main;
    SetMainWindow(&main);
    TFormView view;
    gView = &view;

    bool abandon = false;
    try {
        LoadFonts();
        ApplyFonts(&main);
        RestorePlacement(&view);
        RestorePlacement(&main);
        TConfiguration& cfg = Configuration();
        if (DateText(cfg.LastDate) != DateText(Today())) {
            cfg.LastDate = Today();
            ShowInfo("Сегодня :    "_a + DateText(cfg.LastDate));
        }
    } catch (const EAbort&) {
        abandon = AskYesNo("Ошибка инициализации программы"_a, "Прервать выполнение ?"_a, 0);
    } catch (const std::exception& e) {
        ShowError(e.what());
        abandon = AskYesNo("Ошибка инициализации программы"_a, "Прервать выполнение ?"_a, 0);
    }
    PopCursor();
    SetSaveEnabled(true);
    if (abandon) return 1;

    main.show();
    workdirs::SetAppRunning(true);
    const int status = QApplication::exec();
    workdirs::SetAppRunning(false);
    workdirs::SetTerminating(true);

    RunCommand([&] {
        try {
            SavePlacement(&main);
            SavePlacement(&view);
            SaveFonts();
            if (SaveEnabled()) SaveConfiguration();
        } catch (const EAbort&) {
            throw;
        } catch (const std::exception&) {
            ShowErrorAbort("Ошибка завершения программы"_a);
        }
    });
    CloseSettingsIni();
    SetMainWindow(nullptr);
    return status;
}

}  // namespace hv
