// Memory for whole images. A buffer of a few megabytes or more is asked to
// be backed by transparent huge pages where the system offers them on
// request, before anything is written into it: a 26 MB page buffer is then
// mapped with a dozen page faults instead of several thousand. A block
// whose pages are mapped already (memory the heap hands out again) is not
// asked for again. The contents are not affected; without the system's
// support nothing changes.
#pragma once

#include <cstddef>

namespace largebuf {

// Buffers from this size on are worth the request.
inline constexpr std::size_t kMinBytes = std::size_t{4} << 20;

// Asks for huge pages over the whole 2 MB blocks inside [p, p + bytes),
// when bytes >= kMinBytes and the first page of one of those blocks is not
// mapped yet. Call it before the first write.
void Advise(void* p, std::size_t bytes);

}  // namespace largebuf
