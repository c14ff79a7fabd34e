// frmComSocket. The server side with a handler of the test's own, the outgoing client against
// scripted servers on loopback, the timed callback contexts with an injected clock.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/LateBound.h"
#include "server/TurnoExclusivo.h"
#include "server/frmComSocket.h"
#include "testsupport/RecordingMainWindow.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

using namespace servertest;

namespace {

class frmComSocketTest : public ::testing::Test {
protected:
    std::unique_ptr<frmComSocket> ventana;
    quint16 puerto = 0;
    std::function<void(const QString&, QString&)> manejador;

    void SetUp() override {
        resetBasGeneralForTests();
        ventana = std::make_unique<frmComSocket>();
        QObject::connect(ventana.get(), &frmComSocket::Request, [this](const QString& d, QString& r) {
            if (manejador)
                manejador(d, r);
        });
        qint32 p = 0;
        ASSERT_TRUE(ventana->IniciaEscucha(p));
        puerto = quint16(p);
        ASSERT_EQ(puerto, ventana->puertoEscucha());
    }
    void TearDown() override {
        ventana.reset();
        resetBasGeneralForTests();
    }
    void esperaConexiones(int n) {
        program::waitWhile([&] { return ventana->conexionesAbiertas() != n; }, kEsperaMaximaMs);
        ASSERT_EQ(ventana->conexionesAbiertas(), n);
    }
};

// One request at a time per connection, exclusive requests one at a time across connections, and
// the others go on meanwhile: `a` sends an exclusive request that waits until `c`'s free one is
// done, then a second one behind it; `b`'s exclusive request waits its turn.
TEST_F(frmComSocketTest, OneRequestAtATimePerConnectionAndExclusiveOnesAcrossConnections) {
    ventana->setPeticionExclusiva([](const QString& d) { return d.contains(QLatin1String("excl")); });
    QStringList orden;
    manejador = [&](const QString& d, QString& r) {
        orden << QStringLiteral("inicio ") + d;
        if (d.contains(QLatin1String("excl\":1"))) // other events run meanwhile
            program::waitWhile([&] { return !orden.contains(R"(fin {"libre":3})"); }, kEsperaMaximaMs);
        orden << QStringLiteral("fin ") + d;
        r = d;
    };
    Hito primeraEmpezada([&] { return !orden.isEmpty(); });
    Hito segundaEnEspera([] { return TurnoExclusivo::instancia().enEspera() == 1; });
    const auto r = enHilo(
        [&] {
            ClienteTcp a(puerto), b(puerto), c(puerto);
            a.envia(R"(conexion_persistente{"excl":1})");
            primeraEmpezada.espera();
            a.envia(R"(conexion_persistente{"n":2})");
            b.envia(R"({"excl":2})");
            segundaEnEspera.espera();
            c.envia(R"({"libre":3})");
            return QByteArrayList{c.leeHastaCierre(), a.leeRespuesta(), a.leeRespuesta(), b.leeHastaCierre()};
        },
        {&primeraEmpezada, &segundaEnEspera});
    EXPECT_EQ(r, (QByteArrayList{"200 OK\r{\"libre\":3}", "200 OK\r{\"excl\":1}", "200 OK\r{\"n\":2}",
                                 "200 OK\r{\"excl\":2}"}));
    // Nothing else starts before the first exclusive one ends.
    EXPECT_EQ(orden.mid(0, 4), (QStringList{R"(inicio {"excl":1})", R"(inicio {"libre":3})", R"(fin {"libre":3})",
                                            R"(fin {"excl":1})"}));
    EXPECT_EQ(orden.size(), 8);
    EXPECT_FALSE(TurnoExclusivo::instancia().ocupado());
}

TEST_F(frmComSocketTest, PingBetweenQueuedPrintsThatHoldTheLoop) {
    // Prints that hold the thread without running events (as a CUPS call does): a ping that came
    // in while the first ran is answered before the last of those queued behind it.
    ventana->setPeticionExclusiva([](const QString& d) { return d.contains(QLatin1String("excl")); });
    std::promise<void> suelta;
    const std::shared_future<void> soltada = suelta.get_future().share();
    QStringList orden;
    Hito primeraEmpezada([&] { return !orden.isEmpty(); });
    manejador = [&](const QString& d, QString& r) {
        orden << d;
        if (d.contains(QLatin1String("excl\":1"))) {
            primeraEmpezada.comprueba(); // the loop is held from here on
            soltada.wait_for(std::chrono::milliseconds(kEsperaMaximaMs));
        }
        r = d;
    };
    enHilo(
        [&] {
            ClienteTcp a(puerto);
            a.envia(R"({"excl":1})");
            primeraEmpezada.espera();
            ClienteTcp b(puerto), c(puerto), d(puerto);
            b.envia(R"({"excl":2})");
            c.envia(R"({"excl":3})");
            d.envia(R"({"ping":1})");
            suelta.set_value();
            return QByteArrayList{a.leeHastaCierre(), b.leeHastaCierre(), c.leeHastaCierre(), d.leeHastaCierre()};
        },
        {&primeraEmpezada});
    ASSERT_EQ(orden.size(), 4);
    EXPECT_EQ(orden.first(), R"({"excl":1})");
    EXPECT_LT(orden.indexOf(R"({"ping":1})"), orden.indexOf(R"({"excl":3})")) << orden.join(' ').toStdString();
}

TEST_F(frmComSocketTest, ConnectionsTakeTheLowestFreeIndexAndTheLimitIsWhatIsOpen) {
    ClienteTcp a(puerto), b(puerto);
    esperaConexiones(2);
    EXPECT_EQ(ventana->intConexiones(), 2);
    a.cierra();
    esperaConexiones(1);
    EXPECT_EQ(ventana->intConexiones(), 1);
    EXPECT_EQ(ventana->EstadoSocket(1), "closed");
    ClienteTcp c(puerto);
    esperaConexiones(2);
    EXPECT_EQ(ventana->EstadoSocket(1), "creado");
    EXPECT_EQ(ventana->EstadoSocket(3), "");

    // Full: one more is closed and traced, and nothing goes to the error handler.
    ventana->setMaxConexiones(2);
    EXPECT_EQ(intercambio(puerto, R"({"n":1})"), "");
    EXPECT_EQ(ventana->conexionesAbiertas(), 2);
    const QString grid = recordingMainWindow().grid.join('\n');
    EXPECT_TRUE(grid.contains("Conexión rechazada: 2 conexiones abiertas")) << grid.toStdString();
    EXPECT_FALSE(grid.contains("ERROR")) << grid.toStdString();
    b.cierra();
    esperaConexiones(1);
    EXPECT_EQ(intercambio(puerto, R"({"n":2})"), "200 OK\r");
}

// What a peer does on one connection, and every byte it gets back until the server closes. The
// handler echoes in brackets, answers nothing to "vacia" and fails on "falla".
TEST_F(frmComSocketTest, EveryPeerGetsItsRepliesFramed) {
    size_t maxEnCola = 0;
    manejador = [&](const QString& d, QString& r) {
        maxEnCola = std::max(maxEnCola, ventana->peticionesEnCola());
        if (d.contains(QLatin1String("falla")))
            vb::Raise(5, QStringLiteral("fallo de prueba"));
        r = d.contains(QLatin1String("vacia")) ? QString() : QStringLiteral("[") + d + QStringLiteral("]");
    };
    const QByteArray p = "conexion_persistente", pf = "conexion_persistente_end";
    const QByteArray marca = '\0' + trama::kMarcaFin.toLatin1() + '\0';
    QByteArray todas, esperado; // more than a connection's queue holds
    for (int i = 0; i < 3 * frmComSocket::kMaxPendientes; ++i) {
        todas += p + "{\"n\":" + QByteArray::number(i) + "}";
        esperado += "200 OK\r[{\"n\":" + QByteArray::number(i) + "}]";
    }
    const struct {
        const char* caso;
        QByteArray envia;
        bool cierraEnvio;
        QByteArray recibe;
        bool cerrada;
    } casos[] = {
        {"empty reply to JSON: the ok line alone", R"({"vacia":1})", false, "200 OK\r", true},
        {"empty reply to a text: null", "vacia", true, "null", true},
        {"Windows-1252 both ways", "ca\xF1\x61 \x80", true, "[ca\xF1\x61 \x80]", true},
        // Instead of leaving the peer waiting.
        {"a failing handler closes the connection", p + "{\"falla\":1}", false, "", true},
        {"two requests back to back, the prefix in any case", p + R"({"a":1})" + "Conexion_Persistente" + R"({"b":2})",
         false, "200 OK\r[{\"a\":1}]200 OK\r[{\"b\":2}]", false},
        {"requests queued on one connection are bounded and none is lost", todas, false, esperado, false},
        // The short prefix right behind the long one is taken off too.
        {"end marker after each reply", "CONEXION_PERSISTENTE_END{}conexion_persistente_end" + p + "{}" + pf + "hola",
         false, "200 OK\r[{}]" + marca + "200 OK\r[{}]" + marca + "[hola]" + marca, false},
        {"silent, then gone", "", true, "", true},
        {"over a mebibyte", R"({"a":")" + QByteArray(trama::kMaxPeticion, 'x'), false, "", true},
        {"blanks after a request are no request", p + "{\"a\":1}\r\n", true, "200 OK\r[{\"a\":1}]", true},
        {"the last without prefix closes", p + R"({"a":1}{"b":2}{"c":3})", false,
         "200 OK\r[{\"a\":1}]200 OK\r[{\"b\":2}]", true},
        {"half-closed", R"({"a":1})", true, "200 OK\r[{\"a\":1}]", true},
        {"half-closed after two kept", p + R"({"a":1})" + p + R"({"b":2})", true,
         "200 OK\r[{\"a\":1}]200 OK\r[{\"b\":2}]", true},
        {"half-closed text without brace", "hola", true, "[hola]", true},
        {"half-closed in the middle of an object", R"({"a":)", true, "", true},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.caso);
        const auto [datos, cerrada] = enHilo([&] {
            ClienteTcp c(puerto);
            c.envia(k.envia);
            if (k.cierraEnvio)
                c.cierraEnvio();
            // A kept connection is read until the replies expected have come.
            QByteArray r = k.cerrada
                               ? c.leeHastaCierre()
                               : c.lee([&](const QByteArray& d) { return d.startsWith(k.recibe) ? d.size() : 0; });
            return std::pair{r, c.cerrado()};
        });
        EXPECT_EQ(datos, k.recibe);
        EXPECT_EQ(cerrada, k.cerrada);
    }
    esperaConexiones(0);
    EXPECT_LE(maxEnCola, size_t(frmComSocket::kMaxPendientes));
    const QStringList& grid = recordingMainWindow().grid;
    EXPECT_FALSE(grid.filter("ERROR: frmComSocket.socket_DataArrival: fallo de prueba").isEmpty());
    EXPECT_EQ(grid.filter("Petición incompleta descartada (5 bytes)").size(), 1);
    EXPECT_EQ(grid.filter("Petición de más de 1048576 bytes").size(), 1);
}

TEST_F(frmComSocketTest, IdleConnectionIsClosedUnlessItsPeerAskedToKeepIt) {
    ventana->setLimiteInactividadMs(200);
    manejador = [](const QString& d, QString& r) { r = d; };
    const auto r = enHilo([this] {
        ClienteTcp guardada(puerto);
        guardada.envia(R"(conexion_persistente{"a":1})");
        QByteArrayList r{guardada.leeRespuesta()};
        r << pide(puerto, {}); // closed unasked
        // Idle for longer than the one just closed, and still served.
        guardada.envia(R"({"b":2})");
        r << guardada.leeHastaCierre();
        return r;
    });
    EXPECT_EQ(r, (QByteArrayList{"200 OK\r{\"a\":1}", "", "200 OK\r{\"b\":2}"}));
    EXPECT_EQ(recordingMainWindow().grid.filter(" inactiva desde 127.0.0.1: se cierra").size(), 1);
}

// The server accepts nothing while the burst connects and sends (its thread waits here without
// events): every connection must still complete, so the queue holds far more than the old 50. Then
// each gets its own reply, and every element is unloaded.
TEST_F(frmComSocketTest, BurstOfConnectionsFitsTheAcceptQueueAndEachGetsItsOwnReply) {
    manejador = [](const QString& d, QString& r) { r = d; };
    const auto peticion = [](size_t i) { return "{\"n\":" + QByteArray::number(qulonglong(i)) + "}"; };
    std::vector<std::unique_ptr<ClienteTcp>> c;
    auto futuro = std::async(std::launch::async, [&] {
        for (size_t i = 0; i < 300; ++i)
            c.push_back(std::make_unique<ClienteTcp>(puerto)), c.back()->envia(peticion(i));
    });
    ASSERT_EQ(futuro.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(enHilo([&] {
                  size_t bien = 0;
                  for (size_t i = 0; i < c.size(); ++i)
                      bien += c[i]->conectado() && c[i]->leeHastaCierre() == "200 OK\r" + peticion(i);
                  return bien;
              }),
              300u);
    esperaConexiones(0);
    EXPECT_EQ(ventana->intConexiones(), 0);
}

// Answers each request with `piezas`, one write every 30 ms, then closes when asked.
struct ServidorGuion : QObject {
    QTcpServer srv;
    QByteArrayList piezas;
    bool cierra = false;
    QByteArray recibido;
    ServidorGuion() {
        srv.listen(QHostAddress::LocalHost, 0);
        connect(&srv, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = srv.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, this, [this, s] { recibido += s->readAll(), escribe(s, 0); });
        });
    }
    void escribe(QTcpSocket* s, int i) {
        if (i < piezas.size()) {
            s->write(piezas.at(i));
            QTimer::singleShot(30, s, [this, s, i] { escribe(s, i + 1); });
        } else if (cierra) {
            s->disconnectFromHost();
        }
    }
    QString puerto() const { return QString::number(srv.serverPort()); }
};

TEST(frmComSocket, ClienteRepliesArriveWholeWhateverTheirPieces) {
    resetBasGeneralForTests();
    const QByteArray marca("\0--QUELLMARDEN-END-CONNECTION--\0", 32);
    const struct {
        QByteArrayList piezas;
        bool cierra, persistente, ok;
        QString respuesta, error;
    } casos[] = {
        {{"200 OK\r{\"a\":", "\"}\"}"}, false, false, true, "200 OK\r{\"a\":\"}\"}", ""},
        {{"200 OK\r{}" + marca.left(10), marca.mid(10) + "fin"}, false, true, true, "200 OK\r{}fin", ""},
        {{"200 OK\r{\"a\":1}"}, true, false, true, "200 OK\r{\"a\":1}", ""},
        {{"null"}, true, true, true, "null", ""},
        {{}, false, false, false, "#ERROR#", "Error de timeout"},
    };
    clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 14), QTime(23, 59, 59, 800)); });
    for (const auto& c : casos) {
        SCOPED_TRACE(c.respuesta.toStdString());
        ServidorGuion servidor;
        servidor.piezas = c.piezas;
        servidor.cierra = c.cierra;
        frmComSocket ventana;
        ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", servidor.puerto()));
        vb::EntidadPtr r;
        EXPECT_EQ(ventana.SocketClienteEnviarDatos(QStringLiteral("{\"t\":\"\u00f1\u20ac\"}"), r, c.ok ? 5 : 1,
                                                   c.persistente),
                  c.ok);
        ASSERT_EQ(r, ventana.socketClienteCmd());
        EXPECT_EQ(r->Valor("respuesta").toString(), c.respuesta);
        EXPECT_EQ(r->Valor("respuesta_recibida").toString(), c.ok ? "S" : "N");
        EXPECT_EQ(r->Valor("ok").toBool(), c.ok);
        EXPECT_EQ(r->Valor("error").toString(), c.error);
        program::waitWhile([&] { return !servidor.recibido.endsWith('}'); }, kEsperaMaximaMs);
        EXPECT_EQ(servidor.recibido, "{\"t\":\"\xF1\x80\"}");
    }
    clock_seam::setNowSource(nullptr);
}

// The callbacks' object: "Cuenta" counts (and runs `dentro` meanwhile), "Falla" raises.
struct Llamadas : vb::LateBound {
    int cuenta = 0;
    std::function<void()> dentro = [] {};
    vb::CallableMembers callableMembers() override {
        return {{"Cuenta", 0, 0, [this](const vb::Arguments&) { return dentro(), Variant(++cuenta); }},
                {"Falla", 0, 0, [](const vb::Arguments&) -> Variant { vb::Raise(5); }}};
    }
};

TEST(frmComSocket, TimerAsyncRunsWhenDueNotOnADaysFirstVisitNorPausedNorTwiceAtOnceNorStuckAfterAFailure) {
    resetBasGeneralForTests();
    gblnProgramaInicializado = true;
    frmComSocket ventana;
    EXPECT_FALSE(ventana.timerComprobacionesActivo());
    Llamadas llamadas;
    ventana.setObjetoCallbacks(&llamadas);
    const auto ctx = std::make_shared<vb::entidadGenerica>();
    ctx->Propiedad("segundos_intervalo", 10);
    ventana.subcriptoresTimerCentinela()->Add(ctx);
    QDateTime ahora;
    clock_seam::setNowSource([&] { return ahora; });
    // One sentinel tick at that time; its one-shot fires and is unloaded.
    const auto tick = [&](QTime hora, int dia) {
        ahora = QDateTime(QDate(2026, 3, 14 + dia), hora);
        const int antes = ventana.timersAsyncCargados(); // a running callback keeps its own
        ventana.TimerComprobaciones_Timer();
        EXPECT_EQ(ventana.timersAsyncCargados(), antes + 1);
        program::waitWhile([&] { return ventana.timersAsyncCargados() > antes; }, kEsperaMaximaMs);
    };
    const struct {
        QTime hora;
        int dia;
        const char* funcion;
        bool pausa;
        int cuenta;
        double lanzado;
    } pasos[] = {
        {QTime(10, 0, 0), 0, "cuenta", false, 0, 36000}, // first visit: stamped only
        {QTime(10, 0, 9), 0, "cuenta", false, 0, 36000},  {QTime(10, 0, 10), 0, "cuenta", false, 1, 36010},
        {QTime(10, 0, 40), 0, "cuenta", true, 1, 36010},  {QTime(10, 0, 40), 0, "Falla", false, 1, 36040},
        {QTime(10, 0, 50), 0, "cuenta", false, 2, 36050}, {QTime(0, 0, 5), 1, "cuenta", false, 2, 5}, // midnight
        {QTime(0, 0, 15), 1, "cuenta", false, 3, 15},
    };
    for (const auto& p : pasos) {
        SCOPED_TRACE(p.hora.toString().toStdString());
        ctx->Propiedad("pausa", p.pausa);
        ctx->Propiedad("funcion_callback", p.funcion);
        tick(p.hora, p.dia);
        EXPECT_EQ(llamadas.cuenta, p.cuenta);
        EXPECT_EQ(vb::CDbl(ctx->Valor("evento_timer_lanzado")), p.lanzado);
        EXPECT_EQ(vb::CDate(ctx->Valor("fecha")).date(), QDate(2026, 3, 14 + p.dia));
        EXPECT_NE(ctx->Valor("ejecutando"), Variant(true)); // also after the failure
    }
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains(
        "ERROR: frmComSocket.TimerAsync_Timer (Lanzar función de callback (Falla))"));
    // A callback that runs events meanwhile is not started again by the ticks inside it.
    bool anidar = true;
    llamadas.dentro = [&] {
        if (std::exchange(anidar, false))
            tick(QTime(0, 1, 0), 1);
    };
    tick(QTime(0, 0, 30), 1);
    EXPECT_EQ(llamadas.cuenta, 4);
    EXPECT_EQ(vb::CDbl(ctx->Valor("evento_timer_lanzado")), 30);
    EXPECT_EQ(ventana.timersAsyncCargados(), 0);
    clock_seam::setNowSource(nullptr);
}

} // namespace
