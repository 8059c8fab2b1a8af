#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// How a board served on a broker is held from another machine. Under PREFIX/BOARD/remote/ (BOARD: the board's name
// as one topic level, safeNameOf):
//   ID/open            holder -> bridge   {"client": ID, "holder": NAME, "token": N}
//   ID/close           holder -> bridge   "ID N"
//   ID/answer          bridge -> holder   "open N", "refused N REASON" or "lost N REASON" (the hold is over)
//   ID/tx, ID/rx       the board's bytes, to it and from it, as frames "N SEQ" LF BYTES
// and PREFIX/holders/ID: "alive" every kHeartbeatMs while the holder holds a board, "gone" as its last will; and
// PREFIX/BOARD/held, retained: the holder's name while the board is held, empty when it is free.
// Every topic a holder writes has its client id ID in it, so that a broker's ACL can keep each client to its own
// (`pattern write vantrel/+/remote/%c/#`). ID is a safe name (isSafeName), NAME a holder name (isHolderName).
// N (the token) tells one opening from the next; SEQ counts the frames of an opening in each direction from 1, so
// that a frame lost on the way is seen as a gap.
namespace remote {

inline constexpr int kHeartbeatMs = 2000;
// A holder unheard of for this long is gone: its board is free again.
inline constexpr int kHolderSilenceMs = 7000;
// Most bytes of the board in one frame: a frame stays well under what a receiver reads (MqttClient's 64 KiB).
inline constexpr qsizetype kMaxFrameBytes = 32 * 1024;

struct Frame {
    std::uint64_t token = 0;
    std::uint64_t sequence = 0;
    QByteArray bytes;
};

QByteArray encodeFrame(std::uint64_t token, std::uint64_t sequence, const char *bytes, qsizetype size);
// Nothing for a payload that is not a frame.
std::optional<Frame> decodeFrame(const QByteArray &payload);

struct OpenRequest {
    QString client;
    QString holder;
    std::uint64_t token = 0;
};

QByteArray encodeOpenRequest(const OpenRequest &request);
// Nothing for a payload that is not a request, or whose client is not a safe name.
std::optional<OpenRequest> decodeOpenRequest(const QByteArray &payload);

struct Answer {
    enum class Kind { Open, Refused, Lost };
    Kind kind = Kind::Open;
    std::uint64_t token = 0;
    QString reason;
};

QByteArray encodeAnswer(const Answer &answer);
std::optional<Answer> decodeAnswer(const QByteArray &payload);

// Whether `name` may name a holder: 1 to kMaxShownName letters, digits and ". _ - @ ( )" and blanks
// ("ana@desk (pid 4121)").
inline constexpr qsizetype kMaxShownName = 64;
bool isHolderName(const QString &name);
// A name as a holder may call itself: every other character becomes '_', cut at kMaxShownName.
QString holderNameOf(const QString &name);

// A name from the network as it may be shown: control characters dropped, at most kMaxShownName characters.
QString shownName(const QString &name);

} // namespace remote
