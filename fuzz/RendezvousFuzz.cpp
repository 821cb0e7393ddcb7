// The command socket's reader: any bytes as what one connection has sent so far. An answer
// is final: whatever more arrives after a whole request does not change it, and a request
// is never awaited beyond the longest one allowed.
#include "app/TitleRendezvous.h"
#include "fuzz/FuzzSupport.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray pending(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const RendezvousRequest request = ReadRendezvousRequest(pending);
    switch (request.kind) {
    case RendezvousRequest::Incomplete:
        if (pending.size() > CTitleRendezvous::kMaxFilesRequestBytes || pending.contains('\n'))
            std::abort();
        return 0;
    case RendezvousRequest::Invalid:
        break;
    case RendezvousRequest::Show:
        if (!pending.startsWith(CTitleRendezvous::kShowRequest))
            std::abort();
        break;
    case RendezvousRequest::Play:
    case RendezvousRequest::Enqueue:
        if (request.paths.empty())
            std::abort();
        break;
    }
    const RendezvousRequest more = ReadRendezvousRequest(pending + pending);
    if (more.kind != request.kind || more.paths != request.paths)
        std::abort();
    return 0;
}
