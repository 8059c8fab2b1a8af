#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// How a board served on a broker is held from another machine. Under PREFIX/SERIAL/remote/:
//   open               holder -> bridge   {"client": ID, "holder": NAME, "token": N}
//   close              holder -> bridge   "ID N"
//   ID/answer          bridge -> holder   "open N", "refused N REASON" or "lost N REASON" (the hold is over)
//   ID/tx, ID/rx       the board's bytes, to it and from it, as frames "N SEQ" LF BYTES
// and PREFIX/holders/ID: "alive" every kHeartbeatMs while the holder holds a board, "gone" as its last will; and
// PREFIX/SERIAL/held, retained: the holder's name while the board is held, empty when it is free.
// N (the token) tells one opening from the next; SEQ counts the frames of an opening in each direction from 1, so
// that a frame lost on the way is seen as a gap.
namespace remote {

inline constexpr int kHeartbeatMs = 2000;
// A holder unheard of for this long is gone: its board is free again.
inline constexpr int kHolderSilenceMs = 7000;

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
// Nothing for a payload that is not a request, or whose client could not be a topic level.
std::optional<OpenRequest> decodeOpenRequest(const QByteArray &payload);

struct Answer {
    enum class Kind { Open, Refused, Lost };
    Kind kind = Kind::Open;
    std::uint64_t token = 0;
    QString reason;
};

QByteArray encodeAnswer(const Answer &answer);
std::optional<Answer> decodeAnswer(const QByteArray &payload);

// Whether `text` can stand as one topic level: not empty, no '/', '+', '#' or NUL.
bool isTopicLevel(const QString &text);

// A name from the network as it may be shown: control characters dropped, at most kMaxShownName characters.
inline constexpr qsizetype kMaxShownName = 64;
QString shownName(const QString &name);

} // namespace remote
