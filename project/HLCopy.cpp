// Distribution of the finished archive: the archive and its volumes are found
// again by name in the first storage place and copied to the other places.
#include <algorithm>
#include <vector>

#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "project/HLObject.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"
#include "util/TypeList.h"

namespace hv {

namespace {

// A place on drive A: or B: (either case).
bool IsDisketteDrive(const std::string& place) {
    if (place.size() < 2 || place[1] != ':') return false;
    const char c = static_cast<char>(place[0] & ~0x20);
    return c == 'A' || c == 'B';
}

// The target is a copy of the source as it is now: same date stamp and size,
// and the source not newer by the file system's own, finer time (a second run
// within one two-second step is copied again).
bool IsCurrentCopy(const std::string& source, const std::string& target) {
    const int32_t age = FileAge(target);
    if (age == -1 || age != FileAge(source)) return false;
    auto s = GetFileStamp(source), t = GetFileStamp(target);
    return s && t && s->size == t->size && s->mtimeNs <= t->mtimeNs;
}

// What the loop does once a file has been served (or has failed).
enum class Then { NextFile, Repeat, End };

}  // namespace

std::string THL_HalvoraProject::CompleteSavePlace(const std::string& place) const {
    std::string p = Trim(place);
    if (ExtractFileDrive(p).empty()) {
        if (!p.empty() && (p[0] == '\\' || p[0] == '/'))
            p = ExtractFileDrive(dir_) + p;  // from the root of Dir's drive
        else if (!dir_.empty())
            p = AddBackslash(dir_) + p;
    }
    return AddBackslash(p);
}

void THL_HalvoraProject::CopyProgress(int64_t value, bool& flag) {
    if (!OnCopyProgress) return;
    if (flag) {
        CopyTotal = value;
        OnCopyProgress(*this, 0, value);
    } else {
        OnCopyProgress(*this, value, CopyTotal);
    }
    flag = IsStopped();
}

void THL_HalvoraProject::CopyToSavePlaces(bool toNetwork) {
    CopyArchive(true, MakeSaveDirectories, false, toNetwork);
}

void THL_HalvoraProject::CopyToDiskettes() {
    CopyArchive(false, true, true, false);
}

void THL_HalvoraProject::CopyArchive(bool skipUnchanged, bool makeDirs, bool diskettes,
                                     bool network) {
    CheckSavePlaces();
    std::string log;
    const std::string stem = BaseName(ExtractFileName(GetArcFileName()));
    T_zqFileList files;
    files.AddFiles(CompleteSavePlace(SavePlaces()[0]), stem + ".*");

    // The archive is built in the first place; the others are the targets.
    std::vector<std::string> places;
    for (int i = 1; i < SavePlaces().Count(); ++i)
        places.push_back(CompleteSavePlace(SavePlaces()[i]));
    if (diskettes && std::none_of(places.begin(), places.end(), IsDisketteDrive))
        throw Exception("Проектом не определены пути копирования на дискеты"_a);

    const int count = files.Count();
    uint8_t code = 1;
    // Set by the copier's callback when it was told to stop (not on the
    // first call, whose answer the copier ignores).
    bool stopped = false;
    const TCopyProgress progress = [this, &stopped](int64_t value, bool& flag) {
        const bool first = flag;
        CopyProgress(value, flag);
        if (!first && flag) stopped = true;
    };

    // Steps of one file from its copy pass on; errors are left to the caller.
    auto serve = [&](const std::string& source, const std::string& target, int index,
                     bool net) -> Then {
        code = 1;
        DoBeforeCopy(source, target, count, index, code);
        if (code == 0) return Then::NextFile;
        if (code == 2) {
            SetStop(true);
            return Then::End;
        }
        const std::string dir = ExtractFileDir(target);
        if (!DirectoryExists(dir)) {
            if (makeDirs) ForceDir(dir);
            if (!DirectoryExists(dir)) {
                if (net) {
                    Warning("Не достепен сетевой путь: "_a + target);
                    return Then::NextFile;
                }
                throw Exception("Директорий отсутствует: "_a + dir);
            }
        }
        if (IsStopped()) return Then::End;
        stopped = false;
        CopyFileEx(source, target, progress);
        // A stopped copy left no target: there is nothing to report or verify.
        if (stopped) return Then::End;
        code = 1;
        DoAfterCopy(source, target, count, index, code);
        if (code == 2) {
            SetStop(true);
            return Then::End;
        }
        if (code == 3) return Then::Repeat;
        if (code != 4) return Then::NextFile;

        code = 4;
        DoBeforeCopy(source, target, count, index, code);
        if (code == 0) return Then::NextFile;
        if (code == 2) {
            SetStop(true);
            return Then::End;
        }
        stopped = false;
        const bool same = VerifyCopy(source, target, progress);
        if (stopped) return Then::End;
        if (!same) throw Exception("Копия отличается от оригинала"_a);
        code = 4;
        DoAfterCopy(source, target, count, index, code);
        if (code == 2) {
            SetStop(true);
            return Then::End;
        }
        return code == 3 ? Then::Repeat : Then::NextFile;
    };

    bool ended = false;
    for (size_t p = 0; p < places.size() && !ended; ++p) {
        const std::string& place = places[p];
        const bool net = IsNetworkPath(place);
        if (net && !network) continue;
        if (IsDisketteDrive(place) != diskettes) continue;
        for (int j = 0; j < count && !ended; ++j) {
            const std::string source = files[j];
            const std::string target = place + ExtractFileName(source);
            if (IsStopped()) {
                ended = true;
                break;
            }
            if (skipUnchanged && IsCurrentCopy(source, target)) continue;
            Then then = Then::Repeat;
            while (then == Then::Repeat) {
                try {
                    then = serve(source, target, j, net);
                } catch (const EAbort&) {
                    throw;
                } catch (const std::exception& e) {
                    const std::string text = "Ошибка копирования \""_a + source + "\" --> \"" +
                                             target + "\"\r\n" + e.what();
                    Warning(text);
                    log += text + "\r\n";
                    then = Then::NextFile;
                    if (OnCopyError) {
                        OnCopyError(*this, e, source, target, count, j, code);
                        if (code == 2) then = Then::End;
                        if (code == 3) then = Then::Repeat;
                    }
                }
            }
            if (then == Then::End) ended = true;
        }
    }
    // Errors collected before a stop are raised all the same.
    if (!OnCopyError && !log.empty()) throw Exception(log + "\r\n" + LastErrorText());
}

}  // namespace hv
