// Any control message from the network: a topic, then a NUL, then the payload. What is accepted names a pin on the
// board and a command without line breaks; nothing else is ever carried out. The payload is also read as each
// message of a remote board's holding: a frame read is the frame written, a client's name is a safe name. Whatever
// the bridge makes of it to say or to name holds no control character and stays in the safe set.
#include "device/board_limits.h"
#include "network/bridge_control.h"
#include "network/remote_protocol.h"
#include "records/safe_text.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QString topic = QString::fromUtf8(split < 0 ? input : input.left(split));
    const QByteArray payload = split < 0 ? QByteArray() : input.mid(split + 1);
    if (const std::optional<remote::Frame> frame = remote::decodeFrame(payload)) {
        const QByteArray again =
            remote::encodeFrame(frame->token, frame->sequence, frame->bytes.constData(), frame->bytes.size());
        if (remote::decodeFrame(again)->bytes != frame->bytes || !payload.endsWith(frame->bytes))
            std::abort();
    }
    if (const std::optional<remote::OpenRequest> request = remote::decodeOpenRequest(payload)) {
        if (!isSafeName(request->client) || request->holder.isEmpty())
            std::abort();
    }
    const QString text = QString::fromUtf8(payload);
    const QString said = quotedText(text) + escapedControls(topic);
    if (std::any_of(said.begin(), said.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
        std::abort();
    if (!isSafeName(safeNameOf(topic.left(kMaxSafeName))) || !remote::isHolderName(remote::holderNameOf(text)))
        std::abort();
    if (const std::optional<remote::Answer> answer = remote::decodeAnswer(payload)) {
        if (remote::decodeAnswer(remote::encodeAnswer(*answer))->token != answer->token)
            std::abort();
    }
    QString why;
    const std::optional<BridgeControl> control = parseBridgeControl(u"vantrel", topic, payload, &why);
    if (!control) {
        if (why.isEmpty()) // a refusal always says why
            std::abort();
        return 0;
    }
    const bool pinOk = control->kind == BridgeControl::Kind::Send || control->kind == BridgeControl::Kind::Led ||
                       (control->pin >= kFirstPin && control->pin <= kLastPin);
    const bool textOk =
        !control->text.contains(u'\r') && !control->text.contains(u'\n') && control->text.size() <= kMaxCommand;
    if (!pinOk || !textOk || control->serial.isEmpty() || control->serial.contains(u'/'))
        std::abort();
    return 0;
}
