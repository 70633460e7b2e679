#include "run/RunLock.h"

#include <chrono>
#include <thread>

#include "platform/AnsiLiteral.h"
#include "project/HLObject.h"
#include "settings/WorkDirs.h"
#include "util/Exception.h"

namespace hv {

namespace {

// False when someone else holds it; any other failure is an error of its own.
bool Take(ExclusiveLock& lock, const std::string& file) {
    if (lock.TryLock(file)) return true;
    if (LastError() == kErrLockViolation) return false;
    throw Exception("Не удалось открыть файл блокировки "_a + file + "\r\n" + LastErrorText());
}

}  // namespace

bool TRunLock::TryAcquire() {
    if (Held()) return true;
    if (!Take(program_, workdirs::ProgramDir() + workdirs::ProgramStem() + ".lck")) return false;
    try {
        if (Take(runFiles_, THL_HalvoraProject::RunTempBase() + ".LCK")) return true;
    } catch (...) {
        program_.Unlock();
        throw;
    }
    program_.Unlock();
    return false;
}

bool TRunLock::Acquire(const std::function<bool()>& keepWaiting) {
    while (!TryAcquire()) {
        if (keepWaiting && !keepWaiting()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

void TRunLock::Release() {
    runFiles_.Unlock();
    program_.Unlock();
}

std::string TRunLock::BusyText() {
    return "Проекты уже выполняются|Другой запуск Halvora (окно программы или halvora-run) "
           "работает с тем же каталогом программы. Дождитесь его окончания."_a;
}

}  // namespace hv
