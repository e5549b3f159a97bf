// Any bytes as what a new copy sends to the first copy, arriving in pieces
// of the size the first byte chooses, each at most what the reader asks for
// (as the first copy reads them): the reader must end whole, refused or still
// waiting, never ask for bytes past the announced message, and a whole
// message must be exactly what the sender writes for its key and block. The
// block, read as a command line, unpacks or is refused with an error.
#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "desktop/SingleInstance.h"
#include "platform/InstanceChannel.h"

using namespace lotfinch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] + 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

    platform::InstanceMessageReader reader;
    qsizetype taken = 0;
    for (qsizetype n; taken < bytes.size() && (n = std::min({piece, reader.missing(), bytes.size() - taken})) > 0;
         taken += n) {
        if (reader.missing() > platform::InstanceMessageReader::HeaderBytes + platform::MaxMessageBytes)
            std::abort();
        reader.take(bytes.constData() + taken, n);
    }
    if (reader.refused()) {
        if (taken != platform::InstanceMessageReader::HeaderBytes || reader.missing() != 0)
            std::abort();
        return 0;
    }
    if (!reader.whole()) {
        if (taken != bytes.size() || reader.missing() == 0)
            std::abort();
        return 0;
    }
    if (reader.missing() != 0 || platform::EncodeInstanceMessage(reader.key(), reader.block()) != bytes.left(taken))
        std::abort();
    try {
        desktop::CommandLineArgCount(desktop::UnpackCommandLine(reader.block()));
    } catch (const std::runtime_error &) {
    }
    return 0;
}
