#include "ServicioPrivado.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <chrono>
#include <csignal>
#include <thread>

namespace testenv {
namespace {

// Runs a function of scripts/lib/services.sh with the arguments; its output when it fails.
bool servicios(const QString& funcion, const QStringList& argumentos, QString* error) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"),
            QStringList{QStringLiteral("-c"), QStringLiteral("source \"$0\" && %1 \"$@\"").arg(funcion),
                        sourceDir() + QStringLiteral("/scripts/lib/services.sh")} +
                argumentos);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        *error = funcion + QStringLiteral(" did not end within 60 s");
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = funcion + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

qint64 leePid(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

} // namespace

ServicioPrivado::ServicioPrivado(Tipo tipo, const QStringList& opciones) : m_tipo(tipo), m_opciones(opciones) {
    if (tipo == Tipo::MariaDB) {
        m_puerto = m_reserva.puerto();
        arranca();
    } else if (servicios(QStringLiteral("cups_start"), {carpeta()}, &m_error)) {
        m_pid = leePid(carpeta() + QStringLiteral("/cups/cupsd.pid"));
    }
    if (m_pid <= 0 && m_error.isEmpty())
        m_error = QStringLiteral("no pid file");
}

ServicioPrivado::~ServicioPrivado() {
    apaga();
}

void ServicioPrivado::apaga() {
    if (m_pid <= 0)
        return;
    sigue();
    ::kill(pid_t(m_pid), SIGTERM);
    // Both servers write their state on the way out: the folder goes once they have left.
    for (int i = 0; i < 200 && ::kill(pid_t(m_pid), 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_pid = 0;
}

bool ServicioPrivado::arranca() {
    if (m_tipo != Tipo::MariaDB || m_pid > 0)
        return m_pid > 0;
    m_error.clear();
    if (servicios(QStringLiteral("mariadb_start"), QStringList{carpeta(), QString::number(m_puerto)} + m_opciones,
                  &m_error))
        m_pid = leePid(carpeta() + QStringLiteral("/mariadb/mariadb.pid"));
    return m_pid > 0;
}

QString ServicioPrivado::cadena(const QString& baseDatos) const {
    return QStringLiteral("DRIVER={%1};SERVER=127.0.0.1;PORT=%2;UID=root;PASSWORD=;DATABASE=%3")
        .arg(odbcDriverName())
        .arg(m_puerto)
        .arg(baseDatos);
}

QString ServicioPrivado::socket() const {
    return carpeta() +
           (m_tipo == Tipo::MariaDB ? QStringLiteral("/mariadb/mysql.sock") : QStringLiteral("/cups/cups.sock"));
}

// True when every thread of the process is stopped (state T in /proc).
static bool detenido(qint64 pid) {
    const QDir tareas(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList hilos = tareas.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& h : hilos) {
        QFile f(tareas.filePath(h) + QStringLiteral("/stat"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const qsizetype fin = stat.lastIndexOf(')');
        if (fin < 0 || fin + 2 >= stat.size() || stat[fin + 2] != 'T')
            return false;
    }
    return !hilos.isEmpty();
}

void ServicioPrivado::para() {
    if (m_pid <= 0)
        return;
    ::kill(pid_t(m_pid), SIGSTOP);
    // The signal is taken by each thread in its own time: the server has stopped once all have.
    for (int i = 0; i < 500 && !detenido(m_pid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void ServicioPrivado::sigue() {
    if (m_pid > 0)
        ::kill(pid_t(m_pid), SIGCONT);
}

} // namespace testenv
