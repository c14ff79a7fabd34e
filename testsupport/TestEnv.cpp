#include "TestEnv.h"
#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <unistd.h>

namespace testenv {
namespace {
QString env(const char* name) {
    return qEnvironmentVariable(name);
}

QStringList clientArgs(const QString& db) {
    QStringList a{"--no-defaults",
                  "-S",
                  env("TARVOLIN_DB_SOCKET"),
                  "-u",
                  env("TARVOLIN_DB_USER").isEmpty() ? "root" : env("TARVOLIN_DB_USER"),
                  "--batch",
                  "--skip-column-names",
                  "--default-character-set=utf8mb4"};
    const QString pw = env("TARVOLIN_DB_PASSWORD");
    if (!pw.isEmpty())
        a << ("-p" + pw);
    if (!db.isEmpty())
        a << db;
    return a;
}

bool runClient(const QString& db, const QByteArray& input, QString* output, QString* error) {
    QProcess p;
    p.start("mariadb", clientArgs(db));
    if (!p.waitForStarted(10000)) {
        if (error)
            *error = "cannot start the mariadb client";
        return false;
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(1000);
        if (error)
            *error = "the mariadb client did not finish within 30 s";
        return false;
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError());
    if (error)
        *error = err;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
} // namespace

QString sourceDir() {
    return QStringLiteral(TARVOLIN_SOURCE_DIR);
}
QString binaryDir() {
    return QStringLiteral(TARVOLIN_BINARY_DIR);
}

bool servicesRequired() {
    return env("TARVOLIN_REQUIRE_SERVICES") == "1";
}

bool haveDatabase() {
    static int cached = -1;
    if (cached < 0) {
        cached = 0;
        if (!env("TARVOLIN_DB_SOCKET").isEmpty()) {
            QString out;
            cached = runClient({}, "select 1;", &out, nullptr) && out.trimmed() == "1" ? 1 : 0;
        }
    }
    return cached == 1;
}

bool haveCups() {
    static int cached = -1;
    if (cached < 0) {
        cached = 0;
        if (!env("CUPS_SERVER").isEmpty()) {
            QProcess p;
            p.start("lpstat", {"-r"});
            p.waitForFinished(10000);
            cached = QString::fromUtf8(p.readAllStandardOutput()).contains("is running") ? 1 : 0;
        }
    }
    return cached == 1;
}

QString createDatabase(const QString& prefix, bool loadSchema) {
    static QAtomicInt counter;
    const QString name = QStringLiteral("%1_%2_%3").arg(prefix).arg(::getpid()).arg(counter.fetchAndAddRelaxed(1));
    QString err;
    if (!runSql({},
                QStringLiteral("drop database if exists `%1`; create database `%1` character set utf8mb4;").arg(name),
                nullptr, &err))
        ADD_FAILURE() << "create database " << name.toStdString() << ": " << err.toStdString();
    if (loadSchema && !runSqlFile(name, sourceDir() + "/db/schema.sql", &err))
        ADD_FAILURE() << "load schema: " << err.toStdString();
    return name;
}

void dropDatabase(const QString& name) {
    runSql({}, QStringLiteral("drop database if exists `%1`;").arg(name));
}

bool runSql(const QString& db, const QString& sql, QString* output, QString* error) {
    return runClient(db, sql.toUtf8(), output, error);
}

bool runSqlFile(const QString& db, const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    return runClient(db, f.readAll(), nullptr, error);
}

QString odbcDriverName() {
    const QString d = env("TARVOLIN_ODBC_DRIVER");
    return d.isEmpty() ? QStringLiteral("MariaDB Unicode") : d;
}

int dbPort() {
    return env("TARVOLIN_DB_PORT").toInt();
}

QString connectionString(const QString& db) {
    return QStringLiteral("DRIVER={%1};SERVER=127.0.0.1;PORT=%2;DATABASE=%3;UID=%4;PASSWORD=%5;OPTION=3")
        .arg(odbcDriverName())
        .arg(dbPort())
        .arg(db, env("TARVOLIN_DB_USER").isEmpty() ? "root" : env("TARVOLIN_DB_USER"), env("TARVOLIN_DB_PASSWORD"));
}

void killConnections(const QString& db) {
    QString out;
    runSql(
        {},
        QStringLiteral("select id from information_schema.processlist where db='%1' and id<>connection_id();").arg(db),
        &out);
    for (const QString& id : out.split('\n', Qt::SkipEmptyParts))
        runSql({}, "kill " + id.trimmed() + ";");
}
} // namespace testenv
