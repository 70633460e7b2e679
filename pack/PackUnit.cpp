#include "pack/PackUnit.h"

#include <algorithm>
#include <cstdlib>

#include "pack/Codec.h"
#include "platform/AnsiLiteral.h"

namespace hv {

TPackObject::TPackObject() = default;

TPackObject::~TPackObject() {
    ReleaseBlocks();
}

size_t TPackObject::BlockCount() const {
    return static_cast<size_t>(
        std::count_if(blocks_.begin(), blocks_.end(), [](void* p) { return p != nullptr; }));
}

void TPackObject::ReleaseBlocks() {
    for (void* p : blocks_) std::free(p);
    blocks_.clear();
}

void* TPackObject::AllocBlock(uint32_t size, void* user) {
    auto* self = static_cast<TPackObject*>(user);
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p) {
        try {
            self->blocks_.push_back(p);
            return p;
        } catch (const std::bad_alloc&) {
            std::free(p);
        }
    }
    self->stopRequested_ = true;
    return nullptr;
}

void TPackObject::FreeBlock(void* block, void* user) {
    auto* self = static_cast<TPackObject*>(user);
    auto it =
        block ? std::find(self->blocks_.begin(), self->blocks_.end(), block) : self->blocks_.end();
    if (it == self->blocks_.end()) throw EPackObjectError("Cannot free unallocated block");
    std::free(*it);
    *it = nullptr;
}

int32_t TPackObject::ReadBlock(int32_t count, void* buffer, void* user) {
    auto* self = static_cast<TPackObject*>(user);
    if (!self->OnRead || self->stopRequested_) return -1;
    return self->OnRead(buffer, count);
}

int32_t TPackObject::WriteBlock(int32_t count, const void* buffer, void* user) {
    auto* self = static_cast<TPackObject*>(user);
    if (!self->OnWrite || self->stopRequested_) return -1;
    return self->OnWrite(buffer, count);
}

void TPackObject::ReportProgress(bool* stop, int32_t total, int32_t done, void* user) {
    auto* self = static_cast<TPackObject*>(user);
    if (self->OnProgress) self->OnProgress(done, total);
    *stop = self->stopRequested_;
}

template <class Run>
int TPackObject::RunEngine(Run&& run) {
    if (busy_) throw EPackObjectError("Process already run");
    busy_ = true;
    stopRequested_ = false;
    int result = kPackNoIo;
    if (OnRead && OnWrite) {
        const codec::Io io{this, &AllocBlock, &FreeBlock, &ReadBlock, &WriteBlock, &ReportProgress};
        try {
            result = run(io);
        } catch (...) {
            result = kPackRunError;
        }
    }
    ReleaseBlocks();
    busy_ = false;
    return result;
}

int TPackObject::Pack(int32_t size) {
    return RunEngine([size](const codec::Io& io) { return codec::Encode(io, size); });
}

int TPackObject::Unpack(int32_t packedSize, int32_t unpackedSize) {
    return RunEngine([packedSize, unpackedSize](const codec::Io& io) {
        return codec::Decode(io, packedSize, unpackedSize);
    });
}

void TPackObject::Stop(bool flag) {
    if (flag) stopRequested_ = true;
}

std::string TPackObject::ErrorText(int code, bool russian) {
    struct Row {
        int code;
        const char* russian;
        const char* english;
    };
    static const Row kRows[] = {
        {kPackOk, "Завершено без ошибок"_a, "No errors ocсured"_a},
        {kPackStopped, "Процесс остановлен пользователем"_a, "Process stop by user"},
        {kPackNoMemory, "Недостаточно памяти"_a, "Out of memory"},
        {kPackIoError, "Ошибка ввода/вывода"_a, "Read/write error"},
        {kPackBadData, "Ошибка в упакованных данных"_a, "Bad packed data"},
        {kPackBadLength, "Ошибка контрольной суммы"_a, "Checksum error"},
        {kPackNoIo, "Функции ввода/вывода не определены"_a, "Read/write not defined"},
        {kPackRunError, "Неопределенная ошибка выполнения"_a, "Due execute error"},
    };
    for (const Row& row : kRows)
        if (row.code == code) return russian ? row.russian : row.english;
    return {};
}

}  // namespace hv
