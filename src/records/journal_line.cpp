#include "records/journal_line.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstring>

namespace {

constexpr double kTimes = 9007199254740992.0; // 2^53: exact as a double

// Whether a number field, when there is one, is a whole number within [low, high].
bool numberWithin(const QJsonObject &fields, const char *name, double low, double high)
{
    const QJsonValue value = fields.value(QLatin1String(name));
    if (value.isUndefined())
        return true;
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return number >= low && number <= high && number == double(qint64(number));
}

// The longest step a moment's ["at",N] or ["at",N,W] may make (a day, W back or on), and the furthest all of them
// may take its events.
constexpr qint64 kLongestStepMs = 86'400'000;
constexpr qint64 kLongestLaterMs = 1'000'000'000'000'000;

// How much later than its moment's time an event came: on the clock that never jumps (t_ms and mono_ms), and on the
// wall clock (time).
struct Later {
    qint64 mono = 0;
    qint64 wall = 0;

    // Takes a step; false when it goes too far.
    bool step(qint64 monoStep, qint64 wallStep)
    {
        mono += monoStep;
        wall += wallStep;
        return mono <= kLongestLaterMs && wall <= kLongestLaterMs && wall >= -kLongestLaterMs;
    }
};

// The words of the line that said a reading or level: "adc C V", "pin P L".
QString reportWords(const JournalLine &said)
{
    const bool reading = said.kind == JournalLine::Kind::Adc;
    return (reading ? QStringLiteral("adc ") : QStringLiteral("pin ")) +
           QString::number(reading ? said.channel : said.pin) + u' ' +
           QString::number(reading ? said.value : said.level);
}

// The first moment the direct reader leaves to the parser: a time in the year 9999 or after may not be written back
// in every offset, and the parser refuses what it cannot write.
constexpr qint64 kYear9999Ms = 253'370'764'800'000;

// A moment's time, t_ms and mono_ms (and board), `later` ms on; nothing when that time cannot be written.
std::optional<QJsonObject> shiftedStamp(QJsonObject stamp, Later later)
{
    for (const char *key : {"t_ms", "mono_ms"}) {
        if (const QJsonValue value = stamp.value(QLatin1String(key)); value.isDouble())
            stamp.insert(QLatin1String(key), value.toDouble() + double(later.mono));
    }
    // A time that is not one stays as it is, and its records are refused for it.
    const QDateTime time = QDateTime::fromString(stamp.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    if (time.isValid()) {
        const QString text = journalTimeText(time.addMSecs(later.wall));
        if (text.isEmpty())
            return std::nullopt;
        stamp.insert(QStringLiteral("time"), text);
    }
    return stamp;
}

qint64 daysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return qint64(era) * 146097 + dayOfEra - 719468;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// The writer's own form, 2026-12-07T10:15:02.125+01:00 (or Z), read directly; -1 for any other (the caller asks Qt).
qint64 fastTime(const char *p, qsizetype size)
{
    if (size != 24 && size != 29)
        return -1;
    const auto digits = [p](int at, int count, int *into) {
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const char c = p[at + i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        *into = value;
        return true;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    if (p[4] != '-' || p[7] != '-' || p[10] != 'T' || p[13] != ':' || p[16] != ':' || p[19] != '.')
        return -1;
    if (!digits(0, 4, &year) || !digits(5, 2, &month) || !digits(8, 2, &day) || !digits(11, 2, &hour) ||
        !digits(14, 2, &minute) || !digits(17, 2, &second) || !digits(20, 3, &ms))
        return -1;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return -1;
    int offsetMinutes = 0;
    if (size == 24) {
        if (p[23] != 'Z')
            return -1;
    } else {
        int offsetHours = 0;
        int offsetMins = 0;
        if ((p[23] != '+' && p[23] != '-') || p[26] != ':' || !digits(24, 2, &offsetHours) ||
            !digits(27, 2, &offsetMins))
            return -1;
        if (offsetMins > 59 || offsetHours > 14 || (offsetHours == 14 && offsetMins > 0))
            return -1;
        offsetMinutes = (offsetHours * 60 + offsetMins) * (p[23] == '-' ? -1 : 1);
    }
    const qint64 days = daysFromCivil(year, month, day);
    return ((days * 24 + hour) * 60 + minute - offsetMinutes) * 60'000 + qint64(second) * 1000 + ms;
}

// The direct road: the flat objects the journal writes, in any key order, with spaces and escapes. Any form it does
// not read plainly (a non-ASCII byte, a fraction, a nested value, a key twice, a value of the wrong type or out of
// range) gives up, and the JSON parser decides.
class FastReader
{
public:
    explicit FastReader(QByteArrayView line)
        : m_p(line.data())
        , m_end(line.data() + line.size())
    {}

    enum class Outcome { Read, GiveUp };

    Outcome read(JournalLine &out)
    {
        space();
        if (!take('{'))
            return Outcome::GiveUp;
        unsigned seen = 0;
        bool haveKind = false;
        bool haveTime = false;
        const char *timeAt = nullptr;
        qsizetype timeSize = 0;
        space();
        if (peek('}'))
            return Outcome::GiveUp; // no kind: the parser says no
        for (;;) {
            space();
            const char *key = nullptr;
            qsizetype keySize = 0;
            if (!plainKey(&key, &keySize))
                return Outcome::GiveUp;
            space();
            if (!take(':'))
                return Outcome::GiveUp;
            space();
            const int field = fieldOf(key, keySize);
            if (field >= 0) {
                if (seen & (1u << field))
                    return Outcome::GiveUp;
                seen |= 1u << field;
            }
            switch (field) {
            case kTime: {
                if (!plainString(&timeAt, &timeSize))
                    return Outcome::GiveUp;
                haveTime = true;
                break;
            }
            case kKind: {
                const char *name = nullptr;
                qsizetype size = 0;
                if (!plainString(&name, &size))
                    return Outcome::GiveUp;
                out.kind = journalKind(QLatin1StringView(name, size));
                haveKind = true;
                break;
            }
            case kBoard:
            case kTyped:
                if (!skipString())
                    return Outcome::GiveUp;
                break;
            case kText:
                if (!string(out.text))
                    return Outcome::GiveUp;
                break;
            case kTMs: {
                qint64 value = 0;
                if (!integer(&value))
                    return Outcome::GiveUp;
                break;
            }
            case kMonoMs:
                if (!integer(&out.monoMs))
                    return Outcome::GiveUp;
                out.hasMono = true;
                break;
            case kChannel:
                if (!small(&out.channel, 1, 8))
                    return Outcome::GiveUp;
                break;
            case kPin:
                if (!small(&out.pin, 1, 18))
                    return Outcome::GiveUp;
                break;
            case kValue:
                if (!count(&out.value))
                    return Outcome::GiveUp;
                out.hasValue = true;
                break;
            case kLevel:
                if (!small(&out.level, 0, 1))
                    return Outcome::GiveUp;
                break;
            case kPeriod:
                if (!small(&out.periodMs, 1, 86'400'000))
                    return Outcome::GiveUp;
                break;
            case kChannels:
                if (!channelList(&out.channels))
                    return Outcome::GiveUp;
                break;
            case kEvents:
                if (!eventList(out.events))
                    return Outcome::GiveUp;
                break;
            default:
                if (!skipPlainValue())
                    return Outcome::GiveUp;
                break;
            }
            space();
            if (take('}'))
                break;
            if (!take(','))
                return Outcome::GiveUp;
        }
        space();
        // Events belong to a moment, and a moment has them.
        if (m_p != m_end || !haveKind || !haveTime || (out.kind == JournalLine::Kind::Moment) == out.events.empty())
            return Outcome::GiveUp;
        out.wallMs = fastTime(timeAt, timeSize);
        if (out.wallMs < 0)
            return Outcome::GiveUp;
        for (JournalLine &event : out.events) {
            // See eventList.
            event.wallMs += out.wallMs;
            if (event.wallMs >= kYear9999Ms)
                return Outcome::GiveUp;
            event.monoMs = out.hasMono ? out.monoMs + event.monoMs : out.monoMs;
            event.hasMono = out.hasMono;
        }
        return Outcome::Read;
    }

private:
    enum Field {
        kTime,
        kKind,
        kBoard,
        kText,
        kTyped,
        kTMs,
        kMonoMs,
        kChannel,
        kPin,
        kValue,
        kLevel,
        kPeriod,
        kChannels,
        kEvents
    };

    static int fieldOf(const char *key, qsizetype size)
    {
        static constexpr struct {
            const char *name;
            int field;
        } kFields[] = {{"time", kTime},         {"kind", kKind},    {"board", kBoard},    {"text", kText},
                       {"typed", kTyped},       {"t_ms", kTMs},     {"mono_ms", kMonoMs}, {"channel", kChannel},
                       {"pin", kPin},           {"value", kValue},  {"level", kLevel},    {"period_ms", kPeriod},
                       {"channels", kChannels}, {"events", kEvents}};
        for (const auto &known : kFields) {
            if (qsizetype(std::strlen(known.name)) == size && std::memcmp(known.name, key, size_t(size)) == 0)
                return known.field;
        }
        return -1;
    }

    void space()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }
    bool peek(char c) const { return m_p < m_end && *m_p == c; }
    bool take(char c)
    {
        if (!peek(c))
            return false;
        ++m_p;
        return true;
    }

    // A string of printable ASCII without escapes; its bytes.
    bool plainString(const char **at, qsizetype *size)
    {
        if (!take('"'))
            return false;
        const char *start = m_p;
        while (m_p < m_end && *m_p != '"') {
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c < 0x20 || c >= 0x80 || c == '\\')
                return false;
            ++m_p;
        }
        if (m_p == m_end)
            return false;
        *at = start;
        *size = m_p - start;
        ++m_p;
        return true;
    }
    bool plainKey(const char **at, qsizetype *size) { return plainString(at, size); }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // A string of ASCII with JSON's escapes (no half of a UTF-16 pair), decoded.
    bool string(QString &into)
    {
        into.resize(0);
        if (!take('"'))
            return false;
        for (;;) {
            const char *run = m_p;
            while (m_p < m_end && *m_p != '"' && *m_p != '\\') {
                const unsigned char c = static_cast<unsigned char>(*m_p);
                if (c < 0x20 || c >= 0x80)
                    return false;
                ++m_p;
            }
            if (m_p > run)
                into.append(QLatin1StringView(run, m_p - run));
            if (m_p == m_end)
                return false;
            if (*m_p == '"') {
                ++m_p;
                return true;
            }
            ++m_p; // the backslash
            if (m_p == m_end)
                return false;
            const char escape = *m_p++;
            switch (escape) {
            case '"':
            case '\\':
            case '/':
                into.append(QChar(escape));
                break;
            case 'b':
                into.append(QChar(u'\b'));
                break;
            case 'f':
                into.append(QChar(u'\f'));
                break;
            case 'n':
                into.append(QChar(u'\n'));
                break;
            case 'r':
                into.append(QChar(u'\r'));
                break;
            case 't':
                into.append(QChar(u'\t'));
                break;
            case 'u': {
                if (m_end - m_p < 4)
                    return false;
                int code = 0;
                for (int i = 0; i < 4; ++i) {
                    const int digit = hexDigit(m_p[i]);
                    if (digit < 0)
                        return false;
                    code = code * 16 + digit;
                }
                m_p += 4;
                if (code >= 0xD800 && code <= 0xDFFF)
                    return false;
                into.append(QChar(char16_t(code)));
                break;
            }
            default:
                return false;
            }
        }
    }

    bool skipString()
    {
        if (!take('"'))
            return false;
        while (m_p < m_end && *m_p != '"') {
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c < 0x20 || c >= 0x80)
                return false;
            if (c == '\\') {
                // Validated as the parser would: an escape it refuses makes the line no record.
                if (m_end - m_p < 2)
                    return false;
                const char escape = m_p[1];
                if (escape == 'u') {
                    if (m_end - m_p < 6)
                        return false;
                    int code = 0;
                    for (int i = 2; i < 6; ++i) {
                        const int digit = hexDigit(m_p[i]);
                        if (digit < 0)
                            return false;
                        code = code * 16 + digit;
                    }
                    if (code >= 0xD800 && code <= 0xDFFF)
                        return false;
                    m_p += 6;
                    continue;
                }
                if (!std::strchr("\"\\/bfnrt", escape) || escape == 0)
                    return false;
                m_p += 2;
                continue;
            }
            ++m_p;
        }
        if (m_p == m_end)
            return false;
        ++m_p;
        return true;
    }

    // A whole number in JSON's plain form, at most 15 digits (well within 2^53).
    bool integer(qint64 *into)
    {
        const bool negative = take('-');
        const char *start = m_p;
        qint64 value = 0;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9') {
            // Past 15 digits the number is the parser's: nothing is added that could overflow.
            if (m_p - start < 15)
                value = value * 10 + (*m_p - '0');
            ++m_p;
        }
        const qsizetype count = m_p - start;
        if (count == 0 || count > 15 || (count > 1 && *start == '0'))
            return false;
        // A fraction or an exponent: the parser's.
        if (m_p < m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E'))
            return false;
        *into = negative ? -value : value;
        return true;
    }

    bool small(int *into, qint64 low, qint64 high)
    {
        qint64 value = 0;
        if (!integer(&value) || value < low || value > high)
            return false;
        *into = int(value);
        return true;
    }

    // A moment's events in the writer's form: ["adc",C,V], ["adc",[C,...],[V,...]], ["pin",P,L], ["line","TEXT"],
    // ["at",N], ["at",N,W]; any other (a reading in units among them) is left to the parser. Each event's wallMs and
    // monoMs hold, for now, how much later than the moment it came.
    bool eventList(std::vector<JournalLine> &into)
    {
        space();
        if (!take('['))
            return false;
        Later later;
        for (;;) {
            space();
            if (!take('['))
                return false;
            space();
            const char *name = nullptr;
            qsizetype size = 0;
            if (!plainString(&name, &size))
                return false;
            if (!comma())
                return false;
            const QLatin1StringView kind(name, size);
            if (kind == QLatin1StringView("at")) {
                qint64 step = 0;
                if (!integer(&step) || step < 0 || step > kLongestStepMs)
                    return false;
                // The wall clock's own step, when it differs.
                qint64 wallStep = step;
                space();
                if (take(',')) {
                    space();
                    if (!integer(&wallStep) || wallStep < -kLongestStepMs || wallStep > kLongestStepMs)
                        return false;
                }
                if (!later.step(step, wallStep))
                    return false;
            } else if (kind == QLatin1StringView("adc") && peek('[')) {
                if (!readingGroup(into, later))
                    return false;
            } else {
                JournalLine &event = into.emplace_back();
                event.wallMs = later.wall;
                event.monoMs = later.mono;
                if (kind == QLatin1StringView("adc")) {
                    event.kind = JournalLine::Kind::Adc;
                    if (!small(&event.channel, 1, 8) || !comma() || !count(&event.value))
                        return false;
                    event.hasValue = true;
                    if (!saidInItsOwnWords(into))
                        return false;
                } else if (kind == QLatin1StringView("pin")) {
                    event.kind = JournalLine::Kind::Pin;
                    if (!small(&event.pin, 1, 18) || !comma() || !small(&event.level, 0, 1))
                        return false;
                    if (!saidInItsOwnWords(into))
                        return false;
                } else if (kind == QLatin1StringView("line")) {
                    event.kind = JournalLine::Kind::Line;
                    if (!string(event.text))
                        return false;
                } else {
                    return false;
                }
            }
            space();
            if (!take(']'))
                return false;
            space();
            if (take(']'))
                return true;
            if (!take(','))
                return false;
        }
    }

    // After a reading or level: nothing, or ",1" for the line that said it in just these words, which follows it.
    bool saidInItsOwnWords(std::vector<JournalLine> &into)
    {
        space();
        if (!take(','))
            return true;
        space();
        qint64 mark = 0;
        if (!integer(&mark) || mark != 1)
            return false;
        JournalLine &line = into.emplace_back();
        const JournalLine &said = into[into.size() - 2];
        line.kind = JournalLine::Kind::Line;
        line.wallMs = said.wallMs;
        line.monoMs = said.monoMs;
        line.text = reportWords(said);
        return true;
    }

    // Readings of one stamp: [C,...],[V,...], as many values as channels.
    bool readingGroup(std::vector<JournalLine> &into, Later later)
    {
        const std::size_t first = into.size();
        if (!take('['))
            return false;
        for (;;) {
            space();
            JournalLine &event = into.emplace_back();
            event.kind = JournalLine::Kind::Adc;
            event.wallMs = later.wall;
            event.monoMs = later.mono;
            event.hasValue = true;
            if (!small(&event.channel, 1, 8))
                return false;
            space();
            if (take(']'))
                break;
            if (!take(','))
                return false;
        }
        if (!comma() || !take('['))
            return false;
        for (std::size_t at = first;; ++at) {
            space();
            if (at == into.size() || !count(&into[at].value))
                return false;
            space();
            if (take(']'))
                return at + 1 == into.size();
            if (!take(','))
                return false;
        }
    }

    // A reading's count: any 32-bit number.
    bool count(std::int32_t *into)
    {
        qint64 value = 0;
        if (!integer(&value) || value < -2147483648LL || value > 2147483647LL)
            return false;
        *into = std::int32_t(value);
        return true;
    }

    bool comma()
    {
        space();
        const bool taken = take(',');
        space();
        return taken;
    }

    bool channelList(std::int32_t *into)
    {
        if (!take('['))
            return false;
        std::int32_t bits = 0;
        space();
        if (take(']')) {
            *into = 0;
            return true;
        }
        for (;;) {
            space();
            int channel = 0;
            if (!small(&channel, 1, 8))
                return false;
            bits |= 1 << channel;
            space();
            if (take(']'))
                break;
            if (!take(','))
                return false;
        }
        *into = bits;
        return true;
    }

    // A value of a field this program does not know: a plain string, a plain number, true, false or null.
    bool skipPlainValue()
    {
        if (peek('"'))
            return skipString();
        if (peek('-') || (m_p < m_end && *m_p >= '0' && *m_p <= '9')) {
            qint64 ignored = 0;
            return integer(&ignored);
        }
        for (const char *word : {"true", "false", "null"}) {
            const qsizetype size = qsizetype(std::strlen(word));
            if (m_end - m_p >= size && std::memcmp(m_p, word, size_t(size)) == 0) {
                m_p += size;
                return true;
            }
        }
        return false;
    }

    const char *m_p;
    const char *m_end;
};

void reset(JournalLine &out)
{
    out.kind = JournalLine::Kind::Other;
    out.wallMs = 0;
    out.monoMs = 0;
    out.hasMono = false;
    out.channel = 0;
    out.pin = 0;
    out.value = 0;
    out.hasValue = false;
    out.level = -1;
    out.text.resize(0);
    out.channels = 0;
    out.periodMs = 0;
    out.events.clear();
}

} // namespace

JournalLine::Kind journalKind(QAnyStringView name)
{
    using Kind = JournalLine::Kind;
    static const struct {
        const char *name;
        Kind kind;
    } kKinds[] = {{"adc", Kind::Adc},
                  {"pin", Kind::Pin},
                  {"line", Kind::Line},
                  {"match", Kind::Match},
                  {"command", Kind::Command},
                  {"selected", Kind::Selected},
                  {"open_failed", Kind::OpenFailed},
                  {"lost", Kind::Lost},
                  {"back", Kind::Back},
                  {"closed", Kind::Closed},
                  {"status", Kind::Status},
                  {"gap", Kind::Gap},
                  {"poll", Kind::Poll},
                  {"moment", Kind::Moment}};
    for (const auto &known : kKinds) {
        if (QAnyStringView::equal(name, QLatin1StringView(known.name)))
            return known.kind;
    }
    return Kind::Other;
}

bool wellFormedJournalFields(const QJsonObject &fields, QList<QJsonObject> *momentRecords)
{
    if (!fields.value(QStringLiteral("kind")).isString())
        return false;
    for (const char *text : {"board", "text", "typed"}) {
        const QJsonValue value = fields.value(QLatin1String(text));
        if (!value.isUndefined() && !value.isString())
            return false;
    }
    if (const QJsonValue channels = fields.value(QStringLiteral("channels")); !channels.isUndefined()) {
        if (!channels.isArray())
            return false;
        const QJsonArray list = channels.toArray();
        if (!std::all_of(list.begin(), list.end(), [](const QJsonValue &channel) {
                return channel.isDouble() && channel.toDouble() >= 1 && channel.toDouble() <= 8 &&
                       channel.toDouble() == double(int(channel.toDouble()));
            }))
            return false;
    }
    if (!(numberWithin(fields, "t_ms", -kTimes, kTimes) && numberWithin(fields, "mono_ms", -kTimes, kTimes) &&
          numberWithin(fields, "period_ms", 1, 86'400'000) && numberWithin(fields, "channel", 1, 8) &&
          numberWithin(fields, "pin", 1, 18) && numberWithin(fields, "value", -2147483648.0, 2147483647.0) &&
          numberWithin(fields, "level", 0, 1)))
        return false;
    if (fields.value(QStringLiteral("kind")).toString() != QLatin1String("moment"))
        return true;
    std::optional<QList<QJsonObject>> records = journalMomentRecords(fields);
    if (records && momentRecords)
        *momentRecords = std::move(*records);
    return records.has_value();
}

std::optional<QList<QJsonObject>> journalMomentRecords(const QJsonObject &moment)
{
    const QJsonValue events = moment.value(QStringLiteral("events"));
    if (!events.isArray() || events.toArray().isEmpty())
        return std::nullopt;
    QJsonObject common;
    for (const char *key : {"time", "t_ms", "mono_ms", "board"}) {
        if (const QJsonValue value = moment.value(QLatin1String(key)); !value.isUndefined())
            common.insert(QLatin1String(key), value);
    }
    const QJsonObject first = common;
    Later later; // after the moment's time, from the ["at",N] and ["at",N,W] before
    QList<QJsonObject> records;
    // Each number within its range, as a record of its own must have it.
    const auto add = [&records](const QJsonObject &record) {
        records.append(record);
        return wellFormedJournalFields(record);
    };
    for (const QJsonValue value : events.toArray()) {
        const QJsonArray event = value.toArray();
        const QString kind = event.at(0).toString();
        QJsonObject record = common;
        record.insert(QStringLiteral("kind"), kind);
        if (kind == QLatin1String("at") && (event.size() == 2 || event.size() == 3)) {
            const QJsonObject step{{QStringLiteral("mono"), event.at(1)}, {QStringLiteral("wall"), event.last()}};
            if (!numberWithin(step, "mono", 0, kLongestStepMs) ||
                !numberWithin(step, "wall", -kLongestStepMs, kLongestStepMs) ||
                !later.step(qint64(event.at(1).toDouble()), qint64(event.last().toDouble())))
                return std::nullopt;
            const std::optional<QJsonObject> shifted = shiftedStamp(first, later);
            if (!shifted)
                return std::nullopt;
            common = *shifted;
            continue;
        }
        if (kind == QLatin1String("adc") && event.size() == 3 && event.at(1).isArray()) {
            // Readings of one stamp: their channels, then their values.
            const QJsonArray channels = event.at(1).toArray();
            const QJsonArray values = event.at(2).toArray();
            if (channels.isEmpty() || !event.at(2).isArray() || values.size() != channels.size())
                return std::nullopt;
            for (qsizetype i = 0; i < channels.size(); ++i) {
                record.insert(QStringLiteral("channel"), channels.at(i));
                record.insert(QStringLiteral("value"), values.at(i));
                if (!add(record))
                    return std::nullopt;
            }
            continue;
        }
        if (kind == QLatin1String("adc") && (event.size() == 3 || event.size() == 5)) {
            record.insert(QStringLiteral("channel"), event.at(1));
            record.insert(QStringLiteral("value"), event.at(2));
            if (event.size() == 5) {
                if (!event.at(3).isDouble() || !event.at(4).isString())
                    return std::nullopt;
                record.insert(QStringLiteral("scaled"), event.at(3));
                record.insert(QStringLiteral("unit"), event.at(4));
            }
        } else if (kind == QLatin1String("pin") && event.size() == 3) {
            record.insert(QStringLiteral("pin"), event.at(1));
            record.insert(QStringLiteral("level"), event.at(2));
        } else if ((kind == QLatin1String("adc") || kind == QLatin1String("pin")) && event.size() == 4) {
            // A reading or level, and the line that said it in just these words.
            const bool reading = kind == QLatin1String("adc");
            record.insert(QLatin1String(reading ? "channel" : "pin"), event.at(1));
            record.insert(QLatin1String(reading ? "value" : "level"), event.at(2));
            const QJsonObject mark{{QStringLiteral("mark"), event.at(3)}};
            if (!numberWithin(mark, "mark", 1, 1) || !add(record))
                return std::nullopt;
            record.remove(QLatin1String(reading ? "channel" : "pin"));
            record.remove(QLatin1String(reading ? "value" : "level"));
            record.insert(QStringLiteral("kind"), QStringLiteral("line"));
            record.insert(QStringLiteral("text"), kind + u' ' + QString::number(qint64(event.at(1).toDouble())) + u' ' +
                                                      QString::number(qint64(event.at(2).toDouble())));
        } else if (kind == QLatin1String("line") && event.size() == 2 && event.at(1).isString()) {
            record.insert(QStringLiteral("text"), event.at(1));
        } else {
            return std::nullopt;
        }
        if (!add(record))
            return std::nullopt;
    }
    if (records.isEmpty())
        return std::nullopt;
    return records;
}

QString journalTimeText(const QDateTime &time)
{
    QString text = time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
    if (text.endsWith(u'Z'))
        text.replace(text.size() - 1, 1, QStringLiteral("+00:00"));
    return text;
}

qint64 journalRecordTime(QStringView text)
{
    if (text.size() == 24 || text.size() == 29) {
        char bytes[29];
        bool ascii = true;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            ascii = ascii && c < 0x80;
            bytes[i] = char(c);
        }
        if (ascii) {
            if (const qint64 ms = fastTime(bytes, text.size()); ms >= 0)
                return ms;
        }
    }
    const QDateTime time = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toMSecsSinceEpoch() : -1;
}

namespace {

// A record's fields, once they are known to be well formed.
void takeFields(const QJsonObject &fields, JournalLine &out)
{
    out.kind = journalKind(fields.value(QStringLiteral("kind")).toString());
    const auto number = [&fields](const char *name) {
        return fields.value(QLatin1String(name));
    };
    if (const QJsonValue mono = number("mono_ms"); mono.isDouble()) {
        out.monoMs = qint64(mono.toDouble());
        out.hasMono = true;
    }
    if (const QJsonValue channel = number("channel"); channel.isDouble())
        out.channel = int(channel.toDouble());
    if (const QJsonValue pin = number("pin"); pin.isDouble())
        out.pin = int(pin.toDouble());
    if (const QJsonValue value = number("value"); value.isDouble()) {
        out.value = std::int32_t(value.toDouble());
        out.hasValue = true;
    }
    if (const QJsonValue level = number("level"); level.isDouble())
        out.level = int(level.toDouble());
    if (const QJsonValue period = number("period_ms"); period.isDouble())
        out.periodMs = int(period.toDouble());
    for (const QJsonValue channel : fields.value(QStringLiteral("channels")).toArray())
        out.channels |= 1 << int(channel.toDouble());
    out.text = fields.value(QStringLiteral("text")).toString();
}

} // namespace

bool decodeJournalLineSlowly(QByteArrayView line, JournalLine &out)
{
    reset(out);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject fields = document.object();
    QList<QJsonObject> records;
    if (!wellFormedJournalFields(fields, &records))
        return false;
    const QDateTime time = QDateTime::fromString(fields.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    if (!time.isValid())
        return false;
    out.wallMs = time.toMSecsSinceEpoch();
    takeFields(fields, out);
    if (out.kind == JournalLine::Kind::Moment) {
        for (const QJsonObject &record : records) {
            JournalLine &event = out.events.emplace_back();
            takeFields(record, event);
            event.wallMs = journalRecordTime(record.value(QStringLiteral("time")).toString());
        }
    }
    return true;
}

bool decodeJournalLine(QByteArrayView line, JournalLine &out)
{
    reset(out);
    if (FastReader(line).read(out) == FastReader::Outcome::Read)
        return true;
    return decodeJournalLineSlowly(line, out);
}
