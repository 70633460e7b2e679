// The coding engine behind TPackObject: LZ77 over a 512-byte window, an order-1
// context model with escape to order 0, and adaptive arithmetic coding with 16-bit
// registers. The engine touches nothing outside the interface record: memory, input,
// output and progress all go through it.
#pragma once

#include <cstdint>

namespace hv::codec {

// The interface record: user data and five services, in this order.
struct Io {
    void* user;
    // A block of Size bytes, or null when none can be had.
    void* (*alloc)(uint32_t size, void* user);
    // Gives back a block obtained from alloc.
    void (*free)(void* block, void* user);
    // Fills Buffer with up to Count bytes; the number read, or negative on failure.
    int32_t (*read)(int32_t count, void* buffer, void* user);
    // Writes Count bytes; the number written, or -1 on failure.
    int32_t (*write)(int32_t count, const void* buffer, void* user);
    // Reports Done of Total; sets *stop when the run is to end.
    void (*progress)(bool* stop, int32_t total, int32_t done, void* user);
};

// Packs Size bytes read through io; the packed byte count or a negative result code.
int Encode(const Io& io, int32_t size);

// Unpacks a stream of PackedSize bytes; the unpacked length or a negative result code.
// UnpackedSize is checked against the stream's length when it is 6 or more.
int Decode(const Io& io, int32_t packedSize, int32_t unpackedSize);

}  // namespace hv::codec
