// The diskette commands of the page "Архивы": a project's archive files copied
// onto removable media in A: or B:, with the questions a change of media
// needs, and the refresh of the archives found on the medium in A:.
#include <QCoreApplication>
#include <QPushButton>

#include "app/FormMain.h"
#include "dialogs/FormBar.h"
#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "project/HLObject.h"
#include "settings/WorkDirs.h"
#include "ui/Command.h"
#include "ui_FormMain.h"
#include "util/FileUtils.h"
#include "util/TypeList.h"

namespace hv {

namespace {

// The per-file code of the copy loop.
enum : uint8_t { kCodeSkip = 0, kCodeCopy = 1, kCodeStop = 2, kCodeRetry = 3, kCodeVerify = 4 };

// The handlers of one diskette copy, connected to the project while it lives.
class TDisketteCopy {
  public:
    TDisketteCopy(THL_HalvoraProject& project, TFormBar& bar) : p_(project), bar_(bar) {
        p_.OnBeforeCopy = [this](THL_HalvoraProject&, const std::string& source,
                                 const std::string& target, int count, int index,
                                 uint8_t& code) { BeforeCopy(source, target, count, index, code); };
        p_.OnAfterCopy = [this](THL_HalvoraProject&, const std::string&, const std::string&, int,
                                int, uint8_t& code) { AfterCopy(code); };
        p_.OnCopyProgress = [this](THL_HalvoraProject&, int64_t done, int64_t total) {
            Progress(done, total);
        };
        p_.OnCopyError = [this](THL_HalvoraProject&, const std::exception& e, const std::string&,
                                const std::string& target, int, int,
                                uint8_t& code) { CopyError(e, target, code); };
    }
    ~TDisketteCopy() {
        p_.OnBeforeCopy = nullptr;
        p_.OnAfterCopy = nullptr;
        p_.OnCopyProgress = nullptr;
        p_.OnCopyError = nullptr;
    }
    TDisketteCopy(const TDisketteCopy&) = delete;
    TDisketteCopy& operator=(const TDisketteCopy&) = delete;

  private:
    void BeforeCopy(const std::string& source, const std::string& target, int count, int index,
                    uint8_t& code);
    void AfterCopy(uint8_t& code) {
        Pump();
        if (bar_.Interrupted())
            code = kCodeStop;
        else if (code == kCodeCopy)
            code = kCodeVerify;
    }
    void Progress(int64_t done, int64_t total) {
        if (total == -1) return;
        if (total != bar_.GetMax1Large()) bar_.InitBarsLarge(1, 0, total);
        bar_.PosBarLarge(1, done);
        Pump();
        p_.SetStop(bar_.Interrupted());
    }
    void CopyError(const std::exception& e, const std::string& target, uint8_t& code) {
        const int answer =
            ChooseButton(std::string("Ошибка копирования"_a) + "\r\n" + RawText(e.what()),
                         RawText(target), {"Повторить"_a, "Прервать копирование"_a});
        if (answer == 1) {
            code = kCodeRetry;
        } else if (answer == 2) {
            // The loop does not stop the project for this answer; the refresh
            // behind this copy must stop all the same.
            StopAll(code);
        }
    }
    void StopAll(uint8_t& code) {
        bar_.SetInterrupted(true);
        p_.SetStop(true);
        code = kCodeStop;
    }
    // Whether the medium of Target has room for Source (the copy it replaces
    // counted as free); asks for another medium when not and Prompt is set.
    bool EnoughSpace(const std::string& source, const std::string& target, int k, bool prompt);
    // The first names of the medium's root for the question, one a line.
    static std::string RootNames(const std::string& target, int* count);
    static bool TargetThere(const std::string& target) {
        return MediumReady(target) && FileExists(target);
    }
    static void Pump() { QCoreApplication::processEvents(); }

    THL_HalvoraProject& p_;
    TFormBar& bar_;
};

bool TDisketteCopy::EnoughSpace(const std::string& source, const std::string& target, int k,
                                bool prompt) {
    const int64_t taken = TargetThere(target) ? FileSizeOf(target) : 0;
    // Without a medium there is no room at all.
    const int64_t free = DiskFreeBytes(target.substr(0, 2) + "\\").value_or(-1);
    const bool enough = free >= 0 && taken + free >= FileSizeOf(source);
    if (!enough && prompt)
        ShowInfo(std::string("Недостаточно свободного места\r\nВставьте "_a) +
                 (k == 1 ? "другую "_a : "следующую "_a) + "дискету"_a);
    return enough;
}

std::string TDisketteCopy::RootNames(const std::string& target, int* count) {
    T_zqFileList list;
    if (MediumReady(target)) list.ReadDirsAndFiles(target.substr(0, 2) + "\\", "*.*", true);
    *count = list.Count();
    std::string text;
    const int shown = list.Count() <= 5 ? list.Count() : 4;
    for (int i = 0; i < shown; ++i) text += RawText(list[i]) + "\r\n";
    if (list.Count() > 5) text += "...\r\n";
    return text;
}

void TDisketteCopy::BeforeCopy(const std::string& source, const std::string& target, int count,
                               int index, uint8_t& code) {
    const int k = index + 1;
    const std::string of = "[" + std::to_string(k) + " из "_a + std::to_string(count) + "] ";
    bar_.SetMessage1(source + " -->>\r\n" + target);
    if (code == kCodeVerify) {
        bar_.SetTitle("Проверка архива "_a + of);
    } else {
        bar_.SetTitle("Копирование архива "_a + of);
        const MsgButtons another = {"Проверить другую дискету"_a, "Копировать на текущую"_a};
        for (bool again = true; again;) {
            again = false;
            if (!TargetThere(target)) EnoughSpace(source, target, k, true);
            if (!TargetThere(target)) {
                EnoughSpace(source, target, k, true);
                MsgButtons buttons = another;
                buttons.push_back("Прервать копирование"_a);
                const int answer =
                    ChooseButton("Файл на дискете отсутствует"_a, RawText(target), buttons);
                if (answer == 1) {
                    again = true;
                    continue;
                }
                if (answer == 3) {
                    bar_.SetInterrupted(true);
                    code = kCodeStop;
                    return;
                }
            }
            if (TargetThere(target) && FileAge(target) == FileAge(source) &&
                FileSizeOf(target) == FileSizeOf(source)) {
                code = kCodeSkip;
                return;
            }
            for (;;) {
                if (EnoughSpace(source, target, k, true)) break;
                int entries = 0;
                const std::string names = RootNames(target, &entries);
                if (entries == 0) break;
                MsgButtons buttons = another;
                buttons.push_back("Удалить все файлы с дискеты"_a);
                buttons.push_back("Прервать копирование"_a);
                const int answer = ChooseButton("Дискета содержит данные"_a, names, buttons);
                if (answer == 1) continue;
                if (answer == 3) {
                    if (!ConfirmDelete("", "")) {
                        again = true;
                        break;
                    }
                    if (!ClearMedium(target))
                        ShowError(RawText(target.substr(0, 2) + "\\") + "|" + LastErrorText());
                    break;
                }
                if (answer == 4) {
                    bar_.SetInterrupted(true);
                    code = kCodeStop;
                    return;
                }
                break;
            }
        }
    }
    Pump();
    if (bar_.Interrupted()) code = kCodeStop;
}

}  // namespace

void TFormMain::ConnectDisketteCommands() {
    connect(ui_->btToDiskette, &QPushButton::clicked, this, Command([this] { CopyToDiskettes(); }));
    connect(ui_->btFreshDiskette, &QPushButton::clicked, this,
            Command([this] { FreshDiskettes(); }));
}

void TFormMain::CopyToDiskettes(const std::string& fileName) {
    if (running_) return;
    if (fileName.empty()) {
        SelectCurrentProject();
    } else {
        CurrentDirGuard cwd;
        SetCurrentDir(workdirs::ProjectsDir());
        LoadCurrentProject(fileName);
    }
    THL_HalvoraProject& p = *current_;
    TBusyBar busy(*this, disketteBar_);
    TFormBar* bar = &busy.Bar();
    bar->InitBars(0, 0, 100, 0, 0, this);
    bar->SetTitle("Копирование архива "_a + p.GetArcFileName());
    TDisketteCopy handlers(p, *bar);
    // A stop of an earlier copy of the same project does not end this one.
    p.Stop = false;
    for (;;) {
        try {
            p.CopyToDiskettes();
            lastCopyStopped_ = p.IsStopped();
            return;
        } catch (const EAbort&) {
            lastCopyStopped_ = true;
            throw;
        } catch (const std::exception& e) {
            lastCopyStopped_ = p.IsStopped();
            const int answer =
                ChooseButtonWarn("Ошибка при копировании файлов на дискеты"_a, RawText(e.what()),
                                 {"Повторить копирование"_a, "Завершить"_a});
            if (answer != 1) return;
        }
    }
}

void TFormMain::FreshDiskettes() {
    if (running_) return;
    if (!MediumReady("A:")) ShowErrorAbort(RawText("A:\\") + "|" + LastErrorText());
    T_zqFileList files;
    files.AddFiles("A:\\", "*.*");
    for (int i = 0; i < list_.GetCount(); ++i) list_.Items(i)->MarkedForRefresh = false;
    for (int j = files.Count() - 1; j >= 0; --j) {
        const std::string name = ExtractFileName(files[j]);
        T_Prj* found = nullptr;
        for (int i = 0; i < list_.GetCount() && !found; ++i) {
            T_Prj* e = list_.Items(i);
            if (!e->MarkedForRefresh && SameText(ExtractFileName(e->ArchiveName), name)) found = e;
        }
        if (found)
            found->MarkedForRefresh = true;
        else
            files.Delete(j);
    }
    // A run that failed or was stopped leaves nothing new to copy.
    if (!RunProjects({}, true, false)) return;
    for (int i = 0; i < list_.GetCount(); ++i) {
        if (!list_.Items(i)->MarkedForRefresh) continue;
        CopyToDiskettes(list_.Items(i)->FileName);
        if (lastCopyStopped_) return;
    }
}

}  // namespace hv
