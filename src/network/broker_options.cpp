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
    const auto refuse = [error](const QString &text) -> std::optional<Choice> {
        *error = text;
        return std::nullopt;
    };
    if (!parser.isSet(m_broker))
        return refuse(QStringLiteral("%1 needs --broker mqtt://HOST:PORT").arg(who));
    // Said in errors with its password hidden.
    const QString url = parser.value(m_broker);
    const std::optional<BrokerAddress> address = parseBrokerUrl(url);
    if (!address)
        return refuse(QStringLiteral("--broker: \"%1\" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
                          .arg(shownBrokerUrl(url)));
    Choice choice{*address, parser.value(m_prefix)};
    const QString &prefix = choice.prefix;
    if (prefix.isEmpty() || prefix.contains(u'+') || prefix.contains(u'#') || prefix.startsWith(u'/') ||
        prefix.endsWith(u'/'))
        return refuse(QStringLiteral("--topic-prefix: \"%1\" is not a topic level").arg(prefix));
    BrokerAddress &broker = choice.broker;
    // TLS files on a plain connection would leave it plain while looking secured.
    for (const QCommandLineOption *tlsFile : {&m_caFile, &m_certFile, &m_keyFile}) {
        if (parser.isSet(*tlsFile) && !broker.tls)
            return refuse(QStringLiteral("--%1 needs an mqtts:// broker (TLS); --broker %2 is plain")
                              .arg(tlsFile->names().first(), shownBrokerUrl(url)));
    }
    // Credentials come once: in the URL or in the options, never half from each.
    if (!broker.username.isEmpty() && parser.isSet(m_username))
        return refuse(QStringLiteral("--username: the --broker URL names a user already"));
    if (!broker.password.isEmpty() && parser.isSet(m_passwordFile))
        return refuse(QStringLiteral("--password-file: the --broker URL holds a password already"));
    if (!broker.password.isEmpty() && broker.username.isEmpty())
        return refuse(QStringLiteral("--broker: a password in the URL needs a user name before it"));
    if (broker.username.isEmpty())
        broker.username = parser.value(m_username);
    if (broker.password.isEmpty())
        broker.password = qEnvironmentVariable("VANTREL_MQTT_PASSWORD");
    if (parser.isSet(m_passwordFile)) {
        QFile file(parser.value(m_passwordFile));
        if (!file.open(QIODevice::ReadOnly))
            return refuse(QStringLiteral("--password-file: \"%1\" could not be read: %2")
                              .arg(parser.value(m_passwordFile), file.errorString()));
        broker.password = QString::fromUtf8(file.readLine(4096)).trimmed();
    }
    broker.caFile = parser.value(m_caFile);
    broker.certFile = parser.value(m_certFile);
    broker.keyFile = parser.value(m_keyFile);
    return choice;
}
