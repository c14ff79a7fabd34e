// Stop and restart through the protocol, on the service running as a process of its own: the reply
// still arrives, the process ends, and a restart leaves a new copy (started with the delay switch)
// listening on the same port.
#include "ClienteTcp.h"
#include "EntornoServidor.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <csignal>
#include <sys/types.h>
#include <thread>

using namespace servertest;

namespace {

bool vivo(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

class ServicioExterno : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString db;
    quint16 puerto = 0;
    QProcess servicio;
    QList<qint64> pids;

    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        ASSERT_TRUE(dir.isValid());
        db = testenv::createDatabase(QStringLiteral("srvproc"));
        escribeRegistro();
        QTcpServer libre;
        ASSERT_TRUE(libre.listen(QHostAddress::Any, 0));
        puerto = libre.serverPort();
        libre.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        env.insert("TARVOLIN_PORT", QString::number(puerto));
        env.insert("TARVOLIN_APP_DIR", dir.path() + "/app");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QDir().mkpath(dir.path() + "/run");
        QFile(dir.path() + "/run").setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("XDG_RUNTIME_DIR", dir.path() + "/run");
        servicio.setProcessEnvironment(env);
        servicio.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    void TearDown() override {
        if (servicio.state() != QProcess::NotRunning) {
            servicio.kill();
            servicio.waitForFinished(10000);
        }
        for (qint64 pid : pids)
            if (vivo(pid))
                ::kill(pid_t(pid), SIGKILL);
        if (!db.isEmpty())
            testenv::dropDatabase(db);
    }

    // The till's parameters in the service's own registry files.
    void escribeRegistro() {
        QDir().mkpath(dir.path() + "/Vesk/registry");
        QFile f(dir.path() + "/Vesk/registry/HKEY_CURRENT_USER.ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QString ini = "[HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin]\n";
        for (const auto& p : coretest::parametrosBase(db) + tickettest::parametrosTicket() + parametrosBalanza())
            ini += p.first + "=sz:" + p.second + "\n";
        f.write(ini.toUtf8());
    }

    // Starts the service and waits until it says it listens.
    bool arranca(const QStringList& args) {
        servicio.start(QStringLiteral(TARVOLIN_SERVIDOR_PRUEBAS), args);
        if (!servicio.waitForStarted(30000))
            return false;
        pids << servicio.processId();
        QByteArray salida;
        for (auto t = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEsperaMaximaMs);
             !salida.contains("ESCUCHANDO") && std::chrono::steady_clock::now() < t;)
            if (servicio.waitForReadyRead(200))
                salida += servicio.readAllStandardOutput();
            else if (servicio.state() == QProcess::NotRunning)
                break;
        return salida.contains("ESCUCHANDO " + QByteArray::number(puerto));
    }

    QByteArray pide(const QByteArray& peticion) {
        ClienteTcp c(puerto);
        if (!c.conectado())
            return {};
        c.envia(peticion);
        return c.leeHastaCierre();
    }
    QString fichero(const QString& nombre) const {
        QFile f(dir.path() + "/app/" + nombre);
        return f.open(QIODevice::ReadOnly) ? cp1252::decode(f.readAll()) : QString();
    }
};

TEST_F(ServicioExterno, ShutdownIsAnsweredThenTheProcessEnds) {
    ASSERT_TRUE(arranca({"/log"}));
    EXPECT_EQ(pide(R"({"accion":"Ping"})"), "200 OK\r{\"respuesta\":\"S\",\"ok\":true}");
    EXPECT_EQ(pide(R"({"accion":"shutdown"})"), "200 OK\r{\"ok\":true}");
    ASSERT_TRUE(servicio.waitForFinished(kEsperaMaximaMs));
    EXPECT_EQ(servicio.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(servicio.exitCode(), 0);
    const QString log = fichero("log.txt");
    EXPECT_TRUE(log.contains("Received: {\"accion\":\"shutdown\"} from 127.0.0.1")) << log.toStdString();
    EXPECT_TRUE(log.contains("Envio completo index:1")) << log.toStdString();
    EXPECT_TRUE(log.contains("Fin del programa")) << log.toStdString();
    EXPECT_TRUE(pide(R"({"accion":"Ping"})").isEmpty()); // nobody listens any more
}

TEST_F(ServicioExterno, RestartLeavesANewCopyListeningWithTheDelaySwitch) {
    const QStringList args{"/log", "/escala_retraso=0.1", "/reintento_ms=200"};
    ASSERT_TRUE(arranca(args));
    const qint64 primero = servicio.processId();
    EXPECT_EQ(pide("conexion_persistente_end{\"accion\":\"reiniciar_programa\"}"),
              "200 OK\r{\"ok\":true}" + QByteArray("\0--QUELLMARDEN-END-CONNECTION--\0", 32))
        << "the persistent connection stays open until the process ends";
    ASSERT_TRUE(servicio.waitForFinished(kEsperaMaximaMs));
    EXPECT_EQ(servicio.exitCode(), 0);

    // The new copy writes its pid and switches, waits its delay, and listens on the same port.
    qint64 segundo = 0;
    QByteArray ping;
    for (auto t = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEsperaMaximaMs);
         std::chrono::steady_clock::now() < t; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
        segundo = fichero("servidor.pid").toLongLong();
        if (segundo != primero && segundo != 0 && !pids.contains(segundo))
            pids << segundo;
        if (segundo != primero && (ping = pide(R"({"accion":"Ping"})")).size() > 0)
            break;
    }
    ASSERT_NE(segundo, primero);
    EXPECT_EQ(ping, "200 OK\r{\"respuesta\":\"S\",\"ok\":true}");
    EXPECT_EQ(fichero("argumentos.txt"), (args + QStringList{"/retraso=5"}).join('\n'));

    EXPECT_EQ(pide(R"({"accion":"cerrar_programa"})"), "200 OK\r{\"ok\":true}");
    for (auto t = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEsperaMaximaMs);
         vivo(segundo) && std::chrono::steady_clock::now() < t;)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(vivo(segundo));
}

} // namespace
