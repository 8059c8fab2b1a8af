#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The README's examples, run from its own text: a code block after `<!-- example file: NAME -->` is a file the
// examples use; an indented block after `<!-- example -->` is a shell session, each `$ command` followed by what
// it prints. `cat FILE` of a file no example wrote makes it from the lines shown. Times, durations and readings
// differ from run to run and are compared as such; everything else must be as the README says.
class TestReadmeExamples : public QObject
{
    Q_OBJECT

private:
    struct Step {
        QString command;
        QStringList expected;
    };
    struct Session {
        int line = 0; // in the README, for the failure message
        QList<Step> steps;
    };

    static QString comparable(QString text)
    {
        static const QRegularExpression time(
            QStringLiteral("\\d{4}-\\d\\d-\\d\\d[T ]\\d\\d:\\d\\d:\\d\\d(\\.\\d+)?([+-]\\d\\d:\\d\\d|Z)?"));
        static const QRegularExpression decimal(QStringLiteral("\\d+\\.\\d+"));
        static const QRegularExpression longNumber(QStringLiteral("(?<![\\w.])\\d{3,}(?![\\w])"));
        return text.replace(time, QStringLiteral("<time>"))
            .replace(decimal, QStringLiteral("<n>"))
            .replace(longNumber, QStringLiteral("<n>"));
    }

    // Reads the files and sessions the README marks; the files are written to `folder`.
    static QList<Session> examples(const QString &folder)
    {
        QFile readme(QStringLiteral(VANTREL_README));
        if (!readme.open(QIODevice::ReadOnly))
            return {};
        const QStringList lines = QString::fromUtf8(readme.readAll()).split(u'\n');
        static const QRegularExpression fileMarker(QStringLiteral("^<!-- example file: ([\\w.-]+) -->$"));
        QList<Session> sessions;
        for (int i = 0; i < lines.size(); ++i) {
            if (const QRegularExpressionMatch file = fileMarker.match(lines[i]); file.hasMatch()) {
                while (++i < lines.size() && !lines[i].startsWith(QLatin1String("```")))
                    ;
                QStringList body;
                while (++i < lines.size() && !lines[i].startsWith(QLatin1String("```")))
                    body.append(lines[i]);
                QFile out(folder + u'/' + file.captured(1));
                if (out.open(QIODevice::WriteOnly))
                    out.write((body.join(u'\n') + u'\n').toUtf8());
            } else if (lines[i] == u"<!-- example -->") {
                Session session;
                session.line = i + 1;
                while (++i < lines.size() && lines[i].trimmed().isEmpty())
                    ;
                for (; i < lines.size() && (lines[i].startsWith(QLatin1String("    ")) || lines[i].isEmpty()); ++i) {
                    const QString line = lines[i].mid(4);
                    if (line.startsWith(QLatin1String("$ ")))
                        session.steps.append({line.mid(2), {}});
                    else if (!session.steps.isEmpty() && !lines[i].isEmpty())
                        session.steps.last().expected.append(line);
                }
                sessions.append(session);
            }
        }
        return sessions;
    }

    // Runs a session's commands in one shell, in `folder`, with the runner on the path; what each printed.
    static QList<QStringList> run(const Session &session, const QString &folder)
    {
        static const QRegularExpression cat(QStringLiteral("^cat ([\\w.-]+)$"));
        QString script = QStringLiteral("export PATH=\"%1:$PATH\"\n").arg(QFileInfo(QStringLiteral(VANTREL_CLI)).path());
        for (const Step &step : session.steps) {
            const QRegularExpressionMatch match = cat.match(step.command);
            if (match.hasMatch() && !QFileInfo::exists(folder + u'/' + match.captured(1))) {
                QFile out(folder + u'/' + match.captured(1));
                if (out.open(QIODevice::WriteOnly))
                    out.write((step.expected.join(u'\n') + u'\n').toUtf8());
            }
            // The separator keeps $? for the next command.
            script += step.command + QStringLiteral("\nrc=$?; echo @@; (exit $rc)\n");
        }
        QProcess shell;
        shell.setWorkingDirectory(folder);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
        shell.setProcessEnvironment(environment);
        shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
        shell.waitForFinished(120'000);
        QList<QStringList> outputs{{}};
        for (const QString &line : QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n')) {
            if (line == u"@@")
                outputs.append(QStringList());
            else if (!line.isEmpty())
                outputs.last().append(comparable(line));
        }
        return outputs;
    }

private Q_SLOTS:
    void everyExampleDoesWhatTheReadmeSays()
    {
        QTemporaryDir folder;
        const QList<Session> sessions = examples(folder.path());
        QVERIFY2(sessions.size() >= 5, "the README's examples are not marked");
        for (const Session &session : sessions) {
            const QList<QStringList> outputs = run(session, folder.path());
            for (int i = 0; i < session.steps.size(); ++i) {
                const Step &step = session.steps[i];
                QStringList expected;
                for (const QString &line : step.expected)
                    expected.append(comparable(line));
                const QStringList actual = outputs.value(i);
                QVERIFY2(actual == expected, qPrintable(QStringLiteral("README line %1: $ %2\nexpected:\n%3\nprinted:\n%4")
                                                           .arg(QString::number(session.line), step.command,
                                                                expected.join(u'\n'), actual.join(u'\n'))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestReadmeExamples)
#include "tst_readme_examples.moc"
