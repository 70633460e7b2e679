// The archive run of the internal packer: every selected file goes into the
// project's own-format archive.
#include <memory>

#include "pack/PackFile.h"
#include "platform/AnsiLiteral.h"
#include "project/HLObject.h"
#include "project/HLRunUtil.h"

namespace hv {

void THL_HalvoraProject::RunInternal() {
    auto pack = std::make_unique<TPackFileObject>();
    struct PackGuard {
        THL_HalvoraProject& p;
        ~PackGuard() { p.PackFile = nullptr; }
    } packGuard{*this};
    PackFile = pack.get();
    if (Rebuild) DeleteOldArchiveFiles();

    pack->SetArchiveName(GetArcFileName());
    pack->Operation = kArcOpUpdate;
    pack->SetComment("Файл проекта \"HALVORA\""_a);
    pack->OnProgress = [this](TPackFileObject&, int32_t done, int32_t total) {
        if (OnCopyProgress) OnCopyProgress(*this, done, total);
    };
    pack->KeepDrive = true;

    DoArchiverStart();
    {
        Restore<THL_FileEvent> onFile(OnFile);
        THL_FileEvent report = OnFile;
        TPackFileObject* packer = pack.get();
        OnFile = [this, report, packer](const std::string& name, FindData& entry, bool& stop) {
            if (report) report(name, entry, stop);
            if (!Running || stop) return;
            packer->SetFileName(name);
            packer->Execute();
        };
        CollectFiles();
    }
    if (selected_ == 0 && !Owner()->Stop) NothingSelected();
    CollectArchiveFiles();
    DoArchiveDone();
}

}  // namespace hv
