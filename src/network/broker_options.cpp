#include "network/broker_options.h"

#include <QCommandLineParser>
#include <QFile>

#include <algorithm>

BrokerOptions::BrokerOptions(const QString &usedBy)
{
    for (QCommandLineOption *option :
         {&m_broker, &m_prefix, &m_username, &m_passwordFile, &m_caFile, &m_certFile, &m_keyFile})
        option->setDescription(usedBy + QStringLiteral(": ") + option->description());
}

void BrokerOptions::addTo(QCommandLineParser &parser) const
{
    for (const QCommandLineOption *option : all())
        parser.addOption(*option);
}

QList<const QCommandLineOption *> BrokerOptions::all() const
{
    return {&m_broker, &m_prefix, &m_username, &m_passwordFile, &m_caFile, &m_certFile, &m_keyFile};
}

bool BrokerOptions::anySet(const QCommandLineParser &parser) const
{
    const QList<const QCommandLineOption *> options = all();
    return std::any_of(options.begin(), options.end(),
                       [&parser](const QCommandLineOption *option) { return parser.isSet(*option); });
}

std::optional<BrokerOptions::Choice> BrokerOptions::read(const QCommandLineParser &parser, const QString &who,
                                                         QString *error) const
{
    if (!parser.isSet(m_broker)) {
        *error = QStringLiteral("%1 needs --broker mqtt://HOST:PORT").arg(who);
        return std::nullopt;
    }
    const QString url = parser.value(m_broker);
    const std::optional<BrokerAddress> address = parseBrokerUrl(url);
    if (!address) {
        *error = QStringLiteral("--broker: \"%1\" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]").arg(url);
        return std::nullopt;
    }
    Choice choice{*address, parser.value(m_prefix)};
    const QString &prefix = choice.prefix;
    if (prefix.isEmpty() || prefix.contains(u'+') || prefix.contains(u'#') || prefix.startsWith(u'/') ||
        prefix.endsWith(u'/')) {
        *error = QStringLiteral("--topic-prefix: \"%1\" is not a topic level").arg(prefix);
        return std::nullopt;
    }
    BrokerAddress &broker = choice.broker;
    broker.username = parser.value(m_username);
    broker.password = qEnvironmentVariable("VANTREL_MQTT_PASSWORD");
    if (parser.isSet(m_passwordFile)) {
        QFile file(parser.value(m_passwordFile));
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("--password-file: \"%1\" could not be read: %2")
                         .arg(parser.value(m_passwordFile), file.errorString());
            return std::nullopt;
        }
        broker.password = QString::fromUtf8(file.readLine(4096)).trimmed();
    }
    broker.caFile = parser.value(m_caFile);
    broker.certFile = parser.value(m_certFile);
    broker.keyFile = parser.value(m_keyFile);
    return choice;
}
