// The archive run of the internal packer: every selected file goes into the
// project's own-format archive, in one rewrite of it.
#include <memory>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "platform/AnsiLiteral.h"
#include "project/HLObject.h"
#include "project/HLRunUtil.h"

namespace hv {

namespace {

// Why a file stayed out, as the run's output says it.
std::string SkipReasonText(const TSkippedSource& s) {
    switch (s.Reason) {
        case TSkipReason::Unreadable:
            return "нет доступа"_a + (s.Cause.empty() ? std::string() : " (" + s.Cause + ")");
        case TSkipReason::Gone:
            return "файл исчез"_a;
        case TSkipReason::Changed:
            return "файл изменялся при чтении"_a;
        case TSkipReason::TooLarge:
            return "файл больше 2 ГБ"_a;
        case TSkipReason::BadName:
            break;
    }
    return "имя не представимо в кодировке 1251"_a;
}

}  // namespace

void THL_HalvoraProject::RunInternal() {
    auto pack = std::make_unique<TPackFileObject>();
    struct PackGuard {
        THL_HalvoraProject& p;
        ~PackGuard() { p.PackFile = nullptr; }
    } packGuard{*this};
    PackFile = pack.get();

    pack->SetArchiveName(GetArcFileName());
    pack->Operation = kArcOpUpdate;
    // Members are named relative to Dir (files outside it by their full names);
    // archives of older runs hold full names, which are taken over as they come.
    pack->BaseDir = Dir();
    pack->KeepDrive = true;
    pack->MatchOldFullNames = true;
    pack->OnProgress = [this](TPackFileObject&, int32_t done, int32_t total) {
        if (OnCopyProgress) OnCopyProgress(*this, done, total);
    };
    // One rewrite for the whole run, renamed over the old archive only when it
    // is complete: a stop, a failure or a crash leave the old one as it was. A
    // rebuild starts from no members rather than from a deleted archive.
    pack->BeginUpdate(Rebuild);
    pack->SetComment("Файл проекта \"HALVORA\""_a);

    DoArchiverStart();
    {
        Restore<THL_FileEvent> onFile(OnFile);
        THL_FileEvent report = OnFile;
        TPackFileObject* packer = pack.get();
        OnFile = [this, report, packer](const std::string& name, FindData& entry, bool& stop) {
            if (report) report(name, entry, stop);
            if (!Running || stop) return;
            // The 1251 form of such a name ('?' for what it lacks) names no file.
            if (entry.Lossy()) {
                SkipFile(name, entry, "имя не представимо в кодировке 1251"_a);
                return;
            }
            packer->SetFileName(name, entry);
            packer->Execute();
        };
        CollectFiles();
    }
    if (Owner()->Stop) return;
    if (selected_ == 0) NothingSelected();
    if (pack->Commit() == kPackStopped || Owner()->Stop) return;
    for (const TSkippedSource& s : pack->Skipped()) SkipFile(s.FileName, FindData(), SkipReasonText(s));
    CollectArchiveFiles();
    DoArchiveDone();
}

}  // namespace hv
