// frmComSocket. The server side with the test's own handler; timed callbacks on an injected clock.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/LateBound.h"
#include "server/SocketWindowPort.h"
#include "server/TurnoExclusivo.h"
#include "server/frmComSocket.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ReiniciaTodo.h"
#include "testsupport/Waits.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>

using namespace servertest;

namespace {

class frmComSocketTest : public ::testing::Test {
protected:
    std::unique_ptr<frmComSocket> ventana;
    quint16 puerto = 0;
    std::function<void(const QString&, QString&)> manejador;

    void SetUp() override {
        testenv::reiniciaTodo();
        abreVentana();
    }
    // A new socket window listening on a free port, its requests handed to `manejador`.
    void abreVentana() {
        ventana.reset();
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
        testenv::reiniciaTodo();
    }
    // Records each request's first `n` characters and answers `respuesta` (null: the request); one
    // holding `clave` holds the loop without events, as CUPS does, until the client sets `suelta`.
    struct Retenida {
        std::promise<void> suelta;
        std::shared_future<void> soltada = suelta.get_future().share();
        QStringList orden;
        Hito primeraEmpezada{"the first request to start", [this] { return !orden.isEmpty(); }};
    };
    void retiene(Retenida& k, const char* clave, qsizetype n = -1, const QString& respuesta = {}) {
        manejador = [&k, clave, n, respuesta](const QString& d, QString& r) {
            k.orden << d.left(n);
            if (d.contains(QLatin1String(clave))) {
                k.primeraEmpezada.comprueba(); // the loop is held from here on
                EXPECT_EQ(k.soltada.wait_for(std::chrono::milliseconds(kEsperaMaximaMs)), std::future_status::ready)
                    << "waited " << kEsperaMaximaMs << " ms for the client to send the requests behind the first";
            }
            r = respuesta.isNull() ? d : respuesta;
        };
    }
    void esperaConexiones(int n) {
        ASSERT_TRUE(waits::until([&] { return ventana->conexionesAbiertas() == n; },
                                 QStringLiteral("%1 open connections").arg(n), kEsperaMaximaMs))
            << ventana->conexionesAbiertas() << " open";
    }
};

// A window without widgets: under /instal its trace lines run events, as the real trace list does.
class VentanaDeTrazas final : public SocketWindowPort {
public:
    QWidget* widget() override { return nullptr; }
    void showTrace() override {}
    void addTraceLine(const QString&) override {}
    void setHostText(const QString&) override {}
    void setAddressText(const QString&) override {}
    void setConnectionsText(const QString&) override {}
    void openInformative() override {}
    void hideWindow() override {}
    void setText(const QString&) override {}
    void setStatusText(const QString&) override {}
    bool cancelled() const override { return false; }
};

// Kept connections without and with /instal, whose window's trace lines run events.
class frmComSocketKeptTest : public frmComSocketTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        frmComSocketTest::SetUp();
        if (!GetParam())
            return;
        gblnInstal = true;
        setSocketWindowFactory([] { return std::make_unique<VentanaDeTrazas>(); });
        abreVentana();
    }
    void TearDown() override {
        ventana.reset();
        setSocketWindowFactory(nullptr);
        frmComSocketTest::TearDown();
    }
};
INSTANTIATE_TEST_SUITE_P(Instal, frmComSocketKeptTest, ::testing::Bool(),
                         [](const auto& i) { return i.param ? "conInstal" : "sinInstal"; });

// Kept requests one by one and pipelined: each is answered, whatever a trace line lets run.
TEST_P(frmComSocketKeptTest, EveryKeptRequestIsServedOneByOneAndPipelined) {
    manejador = [](const QString& d, QString& r) { r = d; };
    const auto r = enHilo([this] {
        ClienteTcp c(puerto);
        QByteArrayList r;
        for (int i = 0; i < 5; ++i) {
            c.envia("conexion_persistente{\"n\":" + QByteArray::number(i) + "}");
            r << c.leeRespuesta();
        }
        c.envia(R"(conexion_persistente{"a":1}conexion_persistente{"b":2})");
        r << c.leeRespuesta() << c.leeRespuesta();
        return r;
    });
    ASSERT_EQ(r, (QByteArrayList{"200 OK\r{\"n\":0}", "200 OK\r{\"n\":1}", "200 OK\r{\"n\":2}", "200 OK\r{\"n\":3}",
                                 "200 OK\r{\"n\":4}", "200 OK\r{\"a\":1}", "200 OK\r{\"b\":2}"}));
}

// `a`'s exclusive request waits until `c`'s free one is done, its second waits behind it, and `b`'s
// exclusive one waits its turn.
TEST_F(frmComSocketTest, OneRequestAtATimePerConnectionAndExclusiveOnesAcrossConnections) {
    ventana->setPeticionExclusiva([](const QString& d) { return d.contains(QLatin1String("excl")); });
    QStringList orden;
    manejador = [&](const QString& d, QString& r) {
        orden << QStringLiteral("inicio ") + d;
        if (d.contains(QLatin1String("excl\":1"))) { // other events run meanwhile
            EXPECT_TRUE(waits::until([&] { return orden.contains(R"(fin {"libre":3})"); },
                                     "the free request to end while the exclusive one waits", kEsperaMaximaMs));
        }
        orden << QStringLiteral("fin ") + d;
        r = d;
    };
    Hito primeraEmpezada("the first request to start", [&] { return !orden.isEmpty(); });
    Hito segundaEnEspera("the second exclusive request to wait its turn",
                         [] { return TurnoExclusivo::instancia().enEspera() == 1; });
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
    // A ping that came in while the first print held the loop goes before the last one queued.
    ventana->setPeticionExclusiva([](const QString& d) { return d.contains(QLatin1String("excl")); });
    // A timer due in every round of the loop, as the sweep and the callbacks' timers are at times:
    // the turn's hand-over then runs in the very round in which a print ends.
    QTimer otro;
    otro.start(0);
    Retenida k;
    retiene(k, "excl\":1");
    enHilo(
        [&] {
            ClienteTcp a(puerto);
            a.envia(R"({"excl":1})");
            k.primeraEmpezada.espera();
            ClienteTcp b(puerto), c(puerto), d(puerto);
            b.envia(R"({"excl":2})");
            c.envia(R"({"excl":3})");
            d.envia(R"({"ping":1})");
            k.suelta.set_value();
            return QByteArrayList{a.leeHastaCierre(), b.leeHastaCierre(), c.leeHastaCierre(), d.leeHastaCierre()};
        },
        {&k.primeraEmpezada});
    ASSERT_EQ(k.orden.size(), 4);
    EXPECT_EQ(k.orden.first(), R"({"excl":1})");
    EXPECT_LT(k.orden.indexOf(R"({"ping":1})"), k.orden.indexOf(R"({"excl":3})")) << k.orden.join(' ').toStdString();
}

// Requests that became whole while the loop was held are served short ones first, large ones after.
TEST_F(frmComSocketTest, ShortRequestsGoBeforeLargeOnesThatCameFirst) {
    Retenida k;
    retiene(k, "bloquea", 12, QStringLiteral("ok"));
    const QByteArray larga = R"({"larga":")" + QByteArray(20000, 'x') + R"("})";
    const auto r = enHilo(
        [&] {
            ClienteTcp a(puerto);
            a.envia(R"({"bloquea":1})");
            k.primeraEmpezada.espera();
            std::vector<std::unique_ptr<ClienteTcp>> c;
            for (int i = 0; i < 6; ++i)
                c.push_back(std::make_unique<ClienteTcp>(puerto)), c.back()->envia(larga);
            ClienteTcp corta(puerto);
            corta.envia(R"({"corta":1})");
            k.suelta.set_value();
            QByteArrayList r{a.leeHastaCierre(5000), corta.leeHastaCierre(5000)};
            for (auto& x : c)
                r << x->leeHastaCierre(5000);
            return r;
        },
        {&k.primeraEmpezada});
    EXPECT_EQ(r, QByteArrayList(8, "200 OK\rok")) << "each reply within 5 s";
    ASSERT_EQ(k.orden.size(), 8);
    EXPECT_EQ(k.orden.at(1), R"({"corta":1})") << k.orden.join(' ').toStdString();
}

// One bound on all connections' unfinished bytes: the one passing it is closed and traced, the rest served.
// A till's short request goes before those of an address that holds many connections, though it
// came after them.
TEST_F(frmComSocketTest, ATillsRequestGoesBeforeThoseOfAnAddressHoldingMany) {
    Retenida k;
    retiene(k, "bloquea", -1, QStringLiteral("ok"));
    const in_addr_t muchas = INADDR_LOOPBACK + 1;
    const auto r = enHilo(
        [&] {
            ClienteTcp a(puerto, muchas);
            a.envia(R"({"bloquea":1})");
            k.primeraEmpezada.espera();
            std::vector<std::unique_ptr<ClienteTcp>> c;
            for (int i = 2; i <= 4; ++i)
                c.push_back(std::make_unique<ClienteTcp>(puerto, muchas)),
                    c.back()->envia("{\"n\":" + QByteArray::number(i) + "}");
            ClienteTcp caja(puerto);
            caja.envia(R"({"caja":1})");
            k.suelta.set_value();
            QByteArrayList r{a.leeHastaCierre(), caja.leeHastaCierre()};
            for (auto& x : c)
                r << x->leeHastaCierre();
            return r;
        },
        {&k.primeraEmpezada});
    EXPECT_EQ(r, QByteArrayList(5, "200 OK\rok")) << "each reply within 5 s";
    ASSERT_EQ(k.orden.size(), 5);
    EXPECT_EQ(k.orden.at(1), R"({"caja":1})") << k.orden.join(' ').toStdString();
}

TEST_F(frmComSocketTest, UnfinishedRequestsOfEveryConnectionShareOneBound) {
    ventana->setMaxBytesRetenidos(300000);
    manejador = [](const QString& d, QString& r) { r = QString::number(d.size()); };
    const QByteArray cabeza = R"({"t":")" + QByteArray(200000, 'x');
    Hito primera{"the server to hold the first request's bytes",
                 [&] { return ventana->bytesRetenidos() >= cabeza.size(); }};
    const auto r = enHilo(
        [&] {
            ClienteTcp a(puerto), b(puerto);
            a.envia(cabeza);
            QByteArrayList r;
            if (!primera.espera())
                return r;
            b.envia(cabeza);
            r << b.leeHastaCierre();
            a.envia("\"}");
            r << a.leeHastaCierre() << pide(puerto, "{}");
            return r;
        },
        {&primera});
    ASSERT_EQ(r, (QByteArrayList{"", "200 OK\r200008", "200 OK\r2"}));
    esperaConexiones(0);
    ASSERT_EQ(ventana->bytesRetenidos(), 0);
    ASSERT_EQ(ventana->cerradasPorMemoria(), 1);
    const QRegularExpression cerrada("^Peticiones sin atender: \\d+ bytes, más de 300000; se cierra la conexión 2 "
                                     "desde 127.0.0.1");
    ASSERT_EQ(recordingMainWindow().grid.filter(cerrada).size(), 1);
}

// The bound counts from a request's first byte, so a peer dribbling within the quiet time is closed.
TEST_F(frmComSocketTest, ARequestDribbledFasterThanTheQuietTimeStillMeetsItsBound) {
    ventana->setLimitePeticionMs(600);
    manejador = [](const QString& d, QString& r) { r = d; };
    const qint64 ms = enHilo([this] {
        ClienteTcp c(puerto);
        QElapsedTimer reloj;
        reloj.start();
        // A byte every 100 ms (the peer's pace, the quiet time is 500 ms) until the server has gone.
        for (bool sigue = c.envia(R"({"t":")"); sigue && reloj.elapsed() < 5000;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sigue = c.envia("x");
        }
        return reloj.elapsed();
    });
    ASSERT_LT(ms, 3000) << "the dribbling peer was still served after " << ms << " ms";
    ASSERT_EQ(recordingMainWindow().grid.filter("Petición sin terminar tras 0 s desde 127.0.0.1").size(), 1);
}

// A reply whose write fails (the peer reset meanwhile) ends the connection through its error and close.
TEST_F(frmComSocketTest, AReplyThatCannotBeWrittenEndsTheConnection) {
    std::promise<void> empezada, reiniciada;
    std::shared_future<void> hecho = reiniciada.get_future().share();
    manejador = [&](const QString&, QString& r) {
        // Holds the loop, as a print does, until the peer has reset.
        empezada.set_value();
        ASSERT_EQ(hecho.wait_for(std::chrono::milliseconds(kEsperaMaximaMs)), std::future_status::ready);
        r = QStringLiteral("respuesta");
    };
    enHilo([&] {
        ClienteTcp c(puerto);
        c.envia("{}");
        if (empezada.get_future().wait_for(std::chrono::milliseconds(kEsperaMaximaMs)) != std::future_status::ready)
            ADD_FAILURE() << "waited " << kEsperaMaximaMs << " ms for the handler to start";
        c.reinicia();
        reiniciada.set_value();
    });
    esperaConexiones(0);
    const QStringList& grid = recordingMainWindow().grid;
    ASSERT_FALSE(grid.filter(QRegularExpression("^Error: .*, Index:1")).isEmpty()) << grid.join('\n').toStdString();
    ASSERT_FALSE(grid.filter("Connection closed: 127.0.0.1").isEmpty());
    ASSERT_TRUE(grid.filter("ERROR").isEmpty());
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

    // A peer at its limit is refused (traced once), another address served; nothing reaches the error handler.
    const in_addr_t otra = INADDR_LOOPBACK + 1;
    const struct {
        int maxConexiones, maxPorPar;
        in_addr_t origen;
        QByteArray recibe;
        const char* traza;
    } casos[] = {
        {100, 2, INADDR_LOOPBACK, "", "Conexión rechazada: 2 conexiones abiertas desde 127.0.0.1"},
        {100, 2, INADDR_LOOPBACK, "", nullptr},
        {100, 2, otra, "200 OK\r", nullptr},
        {100, 2, INADDR_LOOPBACK, "", nullptr}, // its episode goes on: nothing of it was accepted since
        // A full table makes room: the silent connection that has waited longest goes (b, then c).
        {2, 100, otra, "200 OK\r", "Conexiones llenas: se cierra la conexión 2 desde 127.0.0.1"},
        {1, 100, otra, "200 OK\r", "Conexiones llenas: se cierra la conexión 1 desde 127.0.0.1"},
    };
    qint64 rechazadas = 0, desalojadas = 0;
    for (const auto& k : casos) {
        SCOPED_TRACE(k.traza ? k.traza : "");
        ventana->setMaxConexiones(k.maxConexiones);
        ventana->setMaxConexionesPorPar(k.maxPorPar);
        recordingMainWindow().grid.clear();
        ASSERT_EQ(enHilo([&] {
                      ClienteTcp d(puerto, k.origen);
                      d.envia("{}");
                      return d.leeHastaCierre(5000);
                  }),
                  k.recibe);
        rechazadas += k.recibe.isEmpty();
        desalojadas += k.maxConexiones < 100;
        ASSERT_EQ(ventana->conexionesRechazadas(), rechazadas);
        ASSERT_EQ(ventana->conexionesDesalojadas(), desalojadas);
        const QString grid = recordingMainWindow().grid.join('\n');
        ASSERT_EQ(grid.count("Conexión rechazada") + grid.count("Conexiones llenas"), k.traza ? 1 : 0)
            << grid.toStdString();
        if (k.traza) {
            ASSERT_TRUE(grid.contains(k.traza)) << grid.toStdString();
        }
        ASSERT_FALSE(grid.contains("ERROR")) << grid.toStdString();
    }
    esperaConexiones(0);
    EXPECT_EQ(intercambio(puerto, R"({"n":2})"), "200 OK\r");
}

// The limit per address as a server gets it, nothing set by the test: 32 connections open from one
// address, the 33rd refused, and another address still served.
TEST_F(frmComSocketTest, ThirtyTwoConnectionsFromOneAddressByDefault) {
    EXPECT_EQ(ventana->maxConexionesPorPar(), 32);
    std::vector<std::unique_ptr<ClienteTcp>> abiertas;
    for (int i = 0; i < 32; ++i)
        abiertas.push_back(std::make_unique<ClienteTcp>(puerto));
    esperaConexiones(32);
    recordingMainWindow().grid.clear();
    const auto pide = [this](in_addr_t origen) {
        return enHilo([&] {
            ClienteTcp d(puerto, origen);
            d.envia("{}");
            return d.leeHastaCierre(5000);
        });
    };
    EXPECT_EQ(pide(INADDR_LOOPBACK), "");
    EXPECT_EQ(ventana->conexionesRechazadas(), 1);
    EXPECT_TRUE(
        recordingMainWindow().grid.join('\n').contains("Conexión rechazada: 32 conexiones abiertas desde 127.0.0.1"));
    EXPECT_EQ(pide(INADDR_LOOPBACK + 1), "200 OK\r");
    abiertas.pop_back();
    esperaConexiones(31);
    EXPECT_EQ(pide(INADDR_LOOPBACK), "200 OK\r");
}

// What a peer does on one connection, and every byte it gets back until the server closes. The
// handler echoes in brackets, answers nothing to "vacia" and fails on "falla".
TEST_P(frmComSocketKeptTest, EveryPeerGetsItsRepliesFramed) {
    size_t maxEnCola = 0;
    manejador = [&](const QString& d, QString& r) {
        maxEnCola = std::max(maxEnCola, ventana->peticionesEnCola());
        if (d.contains(QLatin1String("falla")))
            vb::Raise(vb::err::InvalidCall, QStringLiteral("fallo de prueba"));
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
        // What the peer sent is handed to the reader, as the quiet time would.
        {"half-closed in the middle of an object", R"({"a":)", true, "200 OK\r[{\"a\":]", true},
        // The request ends where the JSON reader's grammar ends the object, not at a quoted brace.
        {"a brace inside an apostrophe string", "{'texto':'Mesa 4 } postre: flan','b':1}", false,
         "200 OK\r[{'texto':'Mesa 4 } postre: flan','b':1}]", true},
        {"kept requests with braces in apostrophe strings", p + "{'t':'a}b'}" + p + "{'u':'}'}", false,
         "200 OK\r[{'t':'a}b'}]200 OK\r[{'u':'}'}]", false},
        {"braces and quotes in comments", "{/* } \" */ 'a':1 // }\n}", false, "200 OK\r[{/* } \" */ 'a':1 // }\n}]",
         true},
        {"a brace in an unquoted key", "{a}b:1}", false, "200 OK\r[{a}b:1}]", true},
        {"half-closed with a brace and a quote in apostrophes", "{'t':'{\"'", true, "200 OK\r[{'t':'{\"']", true},
    };
    constexpr int kEsperaCasoMs = 3000;
    for (const auto& k : casos) {
        SCOPED_TRACE(k.caso);
        const auto [datos, cerrada] = enHilo([&] {
            ClienteTcp c(puerto);
            c.envia(k.envia);
            if (k.cierraEnvio)
                c.cierraEnvio();
            // A kept connection is read until the replies expected have come.
            QByteArray r = k.cerrada ? c.leeHastaCierre(kEsperaCasoMs)
                                     : c.lee([&](const QByteArray& d) { return d.startsWith(k.recibe) ? d.size() : 0; },
                                             kEsperaCasoMs);
            return std::pair{r, c.cerrado()};
        });
        ASSERT_EQ(datos, k.recibe) << "waited " << kEsperaCasoMs << " ms for "
                                   << (k.cerrada ? "the server to close" : "the replies expected");
        ASSERT_EQ(cerrada, k.cerrada) << (k.cerrada ? "the server did not close within " : "closed within ")
                                      << kEsperaCasoMs << " ms";
    }
    esperaConexiones(0);
    EXPECT_LE(maxEnCola, size_t(frmComSocket::kMaxPendientes));
    const QStringList& grid = recordingMainWindow().grid;
    EXPECT_FALSE(grid.filter("ERROR: frmComSocket.socket_DataArrival: fallo de prueba").isEmpty());
    EXPECT_TRUE(grid.filter("Petición incompleta descartada").isEmpty()) << "a half-closed peer's bytes were dropped";
    EXPECT_EQ(grid.filter("Petición de más de 1048576 bytes").size(), 1);
    // {"c":3} behind the last answered request of "the last without prefix closes".
    EXPECT_EQ(grid.filter(QRegularExpression("^1 petición descartada tras la última de la conexión")).size(), 1);
}

// Blanks of their own between kept requests, and the request bound: one that is not whole 300 ms
// after its first byte closes its connection, while a kept connection that sends nothing stays.
TEST_P(frmComSocketKeptTest, BlanksBetweenKeptRequestsAndTheBoundOnARequestsTime) {
    ventana->setLimitePeticionMs(300);
    manejador = [](const QString& d, QString& r) { r = d; };
    const auto r = enHilo([this] {
        ClienteTcp guardada(puerto), lenta(puerto);
        guardada.envia(R"(conexion_persistente{"a":1})");
        QByteArrayList r{guardada.leeRespuesta()};
        guardada.envia("\r\n");
        lenta.envia(R"({"b":)");
        r << lenta.leeHastaCierre(5000); // closed by the bound, never handed over
        guardada.envia(R"(conexion_persistente{"c":3})");
        r << guardada.leeRespuesta();
        return std::pair{r, guardada.cerrado()};
    });
    EXPECT_EQ(r.first, (QByteArrayList{"200 OK\r{\"a\":1}", "", "200 OK\r{\"c\":3}"}));
    EXPECT_FALSE(r.second);
    EXPECT_EQ(recordingMainWindow().grid.filter("Petición sin terminar tras 0 s desde 127.0.0.1 (5 bytes)").size(), 1);
}

TEST_P(frmComSocketKeptTest, IdleConnectionIsClosedUnlessItsPeerAskedToKeepIt) {
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

// The server accepts nothing while the burst connects (its thread waits without events): the accept
// queue holds far more than the old 50, and each gets its own reply.
TEST_F(frmComSocketTest, BurstOfConnectionsFitsTheAcceptQueueAndEachGetsItsOwnReply) {
    manejador = [](const QString& d, QString& r) { r = d; };
    ventana->setMaxConexionesPorPar(1000);
    const auto peticion = [](size_t i) { return "{\"n\":" + QByteArray::number(qulonglong(i)) + "}"; };
    std::vector<std::unique_ptr<ClienteTcp>> c;
    auto futuro = std::async(std::launch::async, [&] {
        for (size_t i = 0; i < 300; ++i)
            c.push_back(std::make_unique<ClienteTcp>(puerto)), c.back()->envia(peticion(i));
    });
    // 300 exchanges one after the other: more than one wait's bound, so the burst has its own.
    constexpr int kEsperaRafagaMs = 20000;
    ASSERT_EQ(futuro.wait_for(std::chrono::milliseconds(kEsperaRafagaMs)), std::future_status::ready)
        << "waited " << kEsperaRafagaMs << " ms for the burst to connect and send";
    const size_t bien = enHilo(
        [&] {
            size_t n = 0;
            for (size_t i = 0; i < c.size(); ++i)
                n += c[i]->conectado() && c[i]->leeHastaCierre() == "200 OK\r" + peticion(i);
            return n;
        },
        {}, kEsperaRafagaMs);
    EXPECT_EQ(bien, 300u);
    esperaConexiones(0);
}

// A request that the peer writes in pieces, pausing longer than the quiet time, runs whole and once
// (an object ends only where the reader closes it); a comment before the object starts nothing; an
// object that never closes is closed at the request's bound, unanswered and traced.
TEST_F(frmComSocketTest, ARequestInPiecesWithPausesLongerThanTheQuietTimeRunsWhole) {
    constexpr int kPausaMs = trama::kSilencioMs + 200; // the peer's pause, longer than the quiet time
    ventana->setLimitePeticionMs(3 * kPausaMs);
    QStringList recibidas;
    manejador = [&](const QString& d, QString& r) { recibidas << d, r = d; };
    const QByteArray ticket =
        R"({"accion":"ImprimirTicketCocinaEspecial","texto":"1 Entrecot al punto\r\n2 Agua mineral"})";
    const qsizetype corte = ticket.indexOf("Entrecot") + 8;
    const struct {
        QByteArrayList piezas; // a pause between each two
        QByteArrayList respuestas;
        QStringList recibidas;
    } casos[] = {
        {{ticket.left(corte), ticket.mid(corte)}, {"200 OK\r" + ticket}, {ticket}},
        {{ticket.left(10), ticket.mid(10, 20), ticket.mid(30)}, {"200 OK\r" + ticket}, {ticket}},
        // Kept: the comment holding "{" before each object, and a second request right behind.
        {{"conexion_persistente/* { */", R"({"accion":"Ping"})", "\r\nconexion_persistente// {\r\n{\"n\":2}"},
         {"200 OK\r{\"accion\":\"Ping\"}", "200 OK\r{\"n\":2}"},
         {R"({"accion":"Ping"})", R"({"n":2})"}},
        // A text without an object still ends by the quiet time; a prefix alone is not one.
        {{"conexion_persistente_end", "null"},
         {"null" + QByteArray(1, '\0') + trama::kMarcaFin.toLatin1() + '\0'},
         {"null"}},
        // Never closed: nothing runs, the connection closes at the bound.
        {{ticket.left(corte), ""}, {""}, {}},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.piezas.join('|').toStdString());
        recibidas.clear();
        recordingMainWindow().grid.clear();
        const auto r = enHilo([&] {
            QByteArrayList r;
            ClienteTcp c(puerto);
            const bool guardada = k.piezas.first().startsWith("conexion_persistente");
            const bool marca = k.piezas.first().startsWith("conexion_persistente_end");
            for (qsizetype i = 0; i < k.piezas.size(); ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(kPausaMs)); // the peer pauses
                c.envia(k.piezas[i]);
            }
            if (guardada)
                for (int i = 0; i < k.respuestas.size(); ++i)
                    r << c.leeRespuesta(marca);
            else
                r << c.leeHastaCierre();
            return r;
        });
        ASSERT_EQ(r, k.respuestas);
        ASSERT_EQ(recibidas, k.recibidas);
        if (k.recibidas.isEmpty()) {
            ASSERT_EQ(recordingMainWindow().grid.filter("Petición sin terminar tras 2 s desde 127.0.0.1").size(), 1);
        }
        esperaConexiones(0);
    }
}

// The server closes after its last reply while the peer has sent more (pipelined requests behind
// one that is not kept, a line end of its own) and reads slowly (the replies wait in the server's
// sending buffer): every reply written reaches it, then the end of the data, never a reset.
TEST_F(frmComSocketTest, EveryWrittenReplyReachesAPeerThatReadsSlowly) {
    manejador = [](const QString& d, QString& r) { r = d; };
    // Replies far larger than what the peer's receive buffer holds: most wait in the server's.
    const QByteArray ping = R"({"accion":"Ping","t":")" + QByteArray(2000, 'x') + "\"}";
    const struct {
        QByteArray peticiones, despues; // in one write; `despues` once the server has closed
        int respuestas;
    } casos[] = {
        {("conexion_persistente" + ping).repeated(60) + ping + ping, "\r\n", 61},
        {("conexion_persistente" + ping).repeated(20) + ping, ping, 21},
        {ping, "\r\n", 1},
        {ping + "\r\n", "conexion_persistente" + ping, 1},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.peticiones.left(60).toStdString());
        Hito cerrada{"the server to close the connection", [&] { return ventana->conexionesAbiertas() == 0; }};
        const auto r = enHilo(
            [&] {
                ClienteTcp c(puerto, INADDR_LOOPBACK, 4096);
                c.envia(k.peticiones);
                QByteArray todo;
                if (cerrada.espera()) {
                    c.envia(k.despues);
                    todo = c.leeHastaCierre();
                }
                return std::pair{todo, c.reiniciado()};
            },
            {&cerrada});
        EXPECT_EQ(r.first, ("200 OK\r" + ping).repeated(k.respuestas));
        EXPECT_FALSE(r.second) << "the connection ended with a reset";
    }
}

// Requests the framing closed before a fault (a request nested too deep, or too large) are
// answered in order, then the connection closes; however the bytes arrive.
TEST_F(frmComSocketTest, RequestsBeforeAFaultAreAnsweredInOrder) {
    manejador = [](const QString& d, QString& r) { r = d; };
    const QByteArray dos = R"(conexion_persistente{"n":1}conexion_persistente{"n":2})";
    const QByteArray profunda = "conexion_persistente" + QByteArray("{a:").repeated(1200) + QByteArray(1200, '}');
    const QByteArray grande = R"(conexion_persistente{"t":")" + QByteArray(trama::kMaxPeticion + 10, 'x');
    for (const QByteArray& falta : {profunda, grande})
        for (qsizetype pieza : {qsizetype(1) << 30, qsizetype(7), qsizetype(4096)}) {
            SCOPED_TRACE(std::to_string(falta.size()) + " bytes in pieces of " + std::to_string(pieza));
            const QByteArray todo = dos + falta;
            const auto r = enHilo([&] {
                ClienteTcp c(puerto);
                for (qsizetype i = 0; i < std::min<qsizetype>(todo.size(), 50000); i += pieza)
                    c.envia(todo.mid(i, pieza));
                c.envia(todo.mid(50000));
                return std::pair{c.leeHastaCierre(), c.reiniciado()};
            });
            EXPECT_EQ(r.first, QByteArray("200 OK\r{\"n\":1}200 OK\r{\"n\":2}"));
            esperaConexiones(0);
        }
}

// At the connection limit: the place comes from the address that holds the most, an idle connection
// of it first, then one gathering a request; a till with one connection keeps it and is answered.
// With every connection at work the newcomer is refused.
TEST_F(frmComSocketTest, AFullTableTakesFromTheAddressHoldingMostAndRefusesWhenAllAreBusy) {
    manejador = [](const QString& d, QString& r) { r = d; };
    ventana->setMaxConexiones(4);
    const in_addr_t flood = INADDR_LOOPBACK + 1;
    ClienteTcp caja(puerto);
    caja.envia(R"({"accion":"Ping")");
    esperaConexiones(1);
    ClienteTcp juntando1(puerto, flood), juntando2(puerto, flood);
    juntando1.envia(R"({"t":"a)");
    juntando2.envia(R"({"t":"b)");
    ASSERT_TRUE(waits::until([&] { return ventana->bytesRetenidos() == 30; }, "the requests being gathered", 5000));
    ClienteTcp ociosa(puerto, flood); // the one silent for the shortest time, and still the first to go
    esperaConexiones(4);
    ClienteTcp nueva1(puerto, INADDR_LOOPBACK + 2);
    ASSERT_TRUE(waits::until([&] { return ventana->conexionesDesalojadas() == 1; }, "the first place made", 5000));
    ClienteTcp nueva2(puerto, INADDR_LOOPBACK + 3);
    ASSERT_TRUE(waits::until([&] { return ventana->conexionesDesalojadas() == 2; }, "the second place made", 5000));
    const auto r = enHilo([&] {
        caja.envia("}");
        return QByteArrayList{caja.leeHastaCierre(), ociosa.leeHastaCierre(), juntando1.leeHastaCierre()};
    });
    EXPECT_EQ(r, (QByteArrayList{"200 OK\r{\"accion\":\"Ping\"}", "", ""}));
    EXPECT_EQ(ventana->bytesRetenidos(), 7) << "the other connection gathering stays";
    EXPECT_EQ(ventana->conexionesRechazadas(), 0);

    // Every connection at work (handlers that wait): the newcomer is refused, the others answered.
    std::atomic<bool> suelta = false;
    int enMano = 0;
    manejador = [&](const QString& d, QString& r) {
        ++enMano;
        program::waitWhile([&] { return !suelta; }, kEsperaHiloMs);
        r = d;
    };
    juntando2.reinicia(); // a reset: its unfinished request is dropped, not handed over
    nueva2.cierra();
    esperaConexiones(1);
    ventana->setMaxConexiones(2);
    Hito ambas{"both requests in hand", [&] { return enMano == 2; }};
    Hito rechazo{"the refusal", [&] { return ventana->conexionesRechazadas() == 1; }};
    const auto r2 = enHilo(
        [&] {
            ClienteTcp otra(puerto, INADDR_LOOPBACK + 4);
            nueva1.envia(R"({"n":1})");
            otra.envia(R"({"n":2})");
            QByteArrayList r;
            if (!ambas.espera())
                return r;
            ClienteTcp rechazada(puerto, INADDR_LOOPBACK + 5);
            rechazo.espera();
            suelta = true;
            return QByteArrayList{nueva1.leeHastaCierre(), otra.leeHastaCierre(), rechazada.leeHastaCierre()};
        },
        {&ambas, &rechazo});
    EXPECT_EQ(r2, (QByteArrayList{"200 OK\r{\"n\":1}", "200 OK\r{\"n\":2}", ""}));
    EXPECT_EQ(recordingMainWindow().grid.filter("Conexión rechazada: 2 conexiones abiertas").size(), 1);
}

// Prints waiting for the turn behind a held one fill the table: the address holding the most loses
// one gathering a request first, then its quietest waiting print, dropped unanswered and never
// printed, so that a till gets in. A print of an address holding no more than the newcomer's (the
// newcomer's own too) stays, and the newcomer is refused.
TEST_F(frmComSocketTest, AFullTableDropsAWaitingPrintOfTheAddressHoldingMostButNotATills) {
    ventana->setPeticionExclusiva([](const QString& d) { return d.contains(QLatin1String("imprime")); });
    ventana->setMaxConexiones(6);
    std::atomic<bool> suelta = false;
    QStringList vistas;
    manejador = [&](const QString& d, QString& r) {
        vistas << d;
        if (d.contains(QLatin1String("retiene"))) // holds the turn; the loop runs meanwhile
            program::waitWhile([&] { return !suelta; }, kEsperaHiloMs);
        r = d;
    };
    const auto ip = [](int n) { return in_addr_t(INADDR_LOOPBACK + n); };
    const auto enEspera = [] { return TurnoExclusivo::instancia().enEspera(); };
    Hito retenida{"the held print to start", [&] { return !vistas.isEmpty(); }};
    Hito llena{"four prints waiting and one request gathered",
               [&] { return enEspera() == 4 && ventana->bytesRetenidos() > 0; }};
    Hito primera{"the first place made", [&] { return ventana->conexionesDesalojadas() == 1; }};
    Hito segunda{"the second place made", [&] { return ventana->conexionesDesalojadas() == 2; }};
    // The dropped print's task stays in the turn's queue, to be passed over.
    Hito seis{"six connections with X's prints waiting",
              [&] { return ventana->conexionesAbiertas() == 6 && enEspera() == 6; }};
    Hito rechazo{"the refusal", [&] { return ventana->conexionesRechazadas() == 1; }};
    const auto r = enHilo(
        [&] {
            QByteArrayList r;
            ClienteTcp sostiene(puerto, ip(9));
            sostiene.envia(R"({"imprime":"retiene"})");
            if (!retenida.espera())
                return r;
            // Address 2 holds three connections (prints waiting: two on the first, one behind the
            // other; one gathering), the till (5) and address 3 one print each.
            ClienteTcp a1(puerto, ip(2));
            a1.envia(R"(conexion_persistente{"imprime":"a1"}conexion_persistente{"imprime":"a1b"})");
            ClienteTcp a2(puerto, ip(2)), a3(puerto, ip(2)), caja(puerto, ip(5)), b(puerto, ip(3));
            a2.envia(R"({"imprime":"a2"})");
            a3.envia(R"({"imprime":"a3)");
            caja.envia(R"({"imprime":"caja"})");
            b.envia(R"({"imprime":"b"})");
            if (!llena.espera())
                return r;
            // Two tills find the table full: address 2's request being gathered goes, then its quietest print.
            ClienteTcp ping1(puerto, ip(6));
            if (!primera.espera())
                return r;
            ClienteTcp ping2(puerto, ip(8));
            segunda.espera();
            ping1.envia(R"({"accion":"Ping"})");
            ping2.envia(R"({"accion":"Ping","n":2})");
            r << ping1.leeHastaCierre() << ping2.leeHastaCierre() << a3.leeHastaCierre() << a1.leeHastaCierre();
            // Every address holds one now; address 7 comes to hold two prints: its third connection
            // may take no waiting print's place, not even one of its own.
            ClienteTcp x1(puerto, ip(7)), x2(puerto, ip(7));
            x1.envia(R"({"imprime":"x1"})");
            x2.envia(R"({"imprime":"x2"})");
            if (!seis.espera())
                return r;
            ClienteTcp x3(puerto, ip(7));
            rechazo.espera();
            r << x3.leeHastaCierre();
            suelta = true;
            for (ClienteTcp* c : {&sostiene, &a2, &caja, &b, &x1, &x2})
                r << c->leeHastaCierre();
            return r;
        },
        {&retenida, &llena, &primera, &segunda, &seis, &rechazo});
    EXPECT_EQ(r, (QByteArrayList{"200 OK\r{\"accion\":\"Ping\"}", "200 OK\r{\"accion\":\"Ping\",\"n\":2}", "", "", "",
                                 "200 OK\r{\"imprime\":\"retiene\"}", "200 OK\r{\"imprime\":\"a2\"}",
                                 "200 OK\r{\"imprime\":\"caja\"}", "200 OK\r{\"imprime\":\"b\"}",
                                 "200 OK\r{\"imprime\":\"x1\"}", "200 OK\r{\"imprime\":\"x2\"}"}));
    ASSERT_TRUE(
        waits::until([] { return TurnoExclusivo::instancia().libre(); }, "the turn's queue to empty", kEsperaMaximaMs));
    // The dropped print never reached the handler; every other request ran once.
    ASSERT_EQ(vistas.size(), 8) << vistas.join(' ').toStdString();
    vistas.sort();
    EXPECT_EQ(vistas, (QStringList{R"({"accion":"Ping","n":2})", R"({"accion":"Ping"})", R"({"imprime":"a2"})",
                                   R"({"imprime":"b"})", R"({"imprime":"caja"})", R"({"imprime":"retiene"})",
                                   R"({"imprime":"x1"})", R"({"imprime":"x2"})"}));
    EXPECT_EQ(ventana->conexionesDesalojadas(), 2);
    EXPECT_EQ(ventana->conexionesRechazadas(), 1);
    const QStringList trazas = recordingMainWindow().grid.filter("Conexiones llenas: ");
    ASSERT_EQ(trazas.size(), 2);
    EXPECT_TRUE(trazas.at(0).contains(QRegularExpression(
        R"(^Conexiones llenas: se cierra la conexión 4 desde 127\.0\.0\.3, callada desde hace \d+ s, )"
        R"(para aceptar una desde 127\.0\.0\.7:)")))
        << trazas.at(0).toStdString();
    EXPECT_TRUE(trazas.at(1).contains(QRegularExpression(
        R"(^Conexiones llenas: se cierra la conexión 2 desde 127\.0\.0\.3, callada desde hace \d+ s, )"
        R"(sin atender 2 peticiones, para aceptar una desde 127\.0\.0\.9:)")))
        << trazas.at(1).toStdString();
}

// DescriptorsRunOut's server: a low descriptor limit and, with TARVOLIN_HIJO_SIN_LIMITE, no connection
// limit so that accept runs out; with TARVOLIN_HIJO_EMFILE the limit is lowered under the descriptors
// it holds, so that accept itself fails (EMFILE), until an "r" on its input puts it back. It prints
// its port, then every trace line, until its input closes.
TEST(frmComSocketHijo, ServidorConPocosDescriptores) {
    const int limite = qEnvironmentVariableIntValue("TARVOLIN_HIJO_DESCRIPTORES");
    if (limite == 0)
        GTEST_SKIP() << "run by DescriptorsRunOut";
    const rlimit l{rlim_t(limite), rlim_t(limite)};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &l), 0);
    testenv::reiniciaTodo();
    frmComSocket ventana;
    ventana.setMaxConexionesPorPar(frmComSocket::kMaxConexiones); // every peer is 127.0.0.1
    if (qEnvironmentVariableIsSet("TARVOLIN_HIJO_SIN_LIMITE"))
        ventana.setMaxConexiones(frmComSocket::kMaxConexiones);
    QObject::connect(&ventana, &frmComSocket::Request, [](const QString& d, QString& r) { r = d; });
    qint32 p = 0;
    ASSERT_TRUE(ventana.IniciaEscucha(p));
    std::printf("puerto %d\n", p);
    std::fflush(stdout);
    if (qEnvironmentVariableIsSet("TARVOLIN_HIJO_EMFILE")) {
        const int libre = ::dup(0); // the lowest free descriptor: none from it on
        ::close(libre);
        const rlimit bajo{rlim_t(libre), rlim_t(limite)};
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &bajo), 0);
    }
    qsizetype escritas = 0;
    QTimer traza;
    bool probada = false;
    QObject::connect(&traza, &QTimer::timeout, [&] {
        for (const QStringList& g = recordingMainWindow().grid; escritas < g.size(); ++escritas) {
            std::printf("%s\n", qPrintable(g.at(escritas)));
            // Once the listener has stopped, the program itself can still open what it needs.
            if (!probada && g.at(escritas).contains("Sin descriptores libres")) {
                probada = true;
                int p[2];
                const bool abre = ::pipe(p) == 0 && ::close(p[0]) == 0 && ::close(p[1]) == 0;
                std::printf("%s\n", abre ? "tubería abierta" : "sin tubería");
            }
        }
        std::fflush(stdout);
    });
    traza.start(20);
    bool entrada = true;
    QSocketNotifier fin(0, QSocketNotifier::Read);
    QObject::connect(&fin, &QSocketNotifier::activated, [&] {
        char c;
        entrada = ::read(0, &c, 1) > 0;
        if (entrada && c == 'r')
            ::setrlimit(RLIMIT_NOFILE, &l);
    });
    program::waitWhile([&] { return entrada; }, 120000);
}

// CPU time a process has used, in ms.
double cpuMs(qint64 pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string l;
    std::getline(f, l);
    std::istringstream campos(l.substr(l.rfind(')') + 2));
    std::string c;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && campos >> c; ++i)
        i == 14 ? utime = std::stod(c) : i == 15 ? stime = std::stod(c) : 0;
    return (utime + stime) * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

// Flooded with connections, a server short of descriptors refuses (or backs off accepting) without
// spinning, and once the peers leave every Ping is answered again.
TEST(frmComSocket, DescriptorsRunOutThePortAnswersAgainAndTheCpuStaysBounded) {
    const struct {
        bool sinLimite, emfile;
        const char* episodio;
    } casos[] = {{false, false, "Conexiones llenas: "},
                 {true, false, "Sin descriptores libres (reserva"},
                 {false, true, "Sin descriptores libres (Too many open files)"}};
    for (const auto& k : casos) {
        SCOPED_TRACE(k.episodio);
        QProcess hijo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TARVOLIN_HIJO_DESCRIPTORES", "96");
        if (k.sinLimite)
            env.insert("TARVOLIN_HIJO_SIN_LIMITE", "1");
        if (k.emfile)
            env.insert("TARVOLIN_HIJO_EMFILE", "1");
        hijo.setProcessEnvironment(env);
        hijo.start(QCoreApplication::applicationFilePath(),
                   {"--gtest_filter=frmComSocketHijo.ServidorConPocosDescriptores"});
        QByteArray salida;
        const auto espera = [&](const QByteArray& texto) {
            for (QDeadlineTimer d(5000); !salida.contains(texto) && !d.hasExpired();)
                if (hijo.waitForReadyRead(int(std::max<qint64>(1, d.remainingTime()))))
                    salida += hijo.readAllStandardOutput();
            return salida.contains(texto);
        };
        ASSERT_TRUE(espera("puerto ")) << "waited 5 s for the child's port: " << salida.toStdString();
        const quint16 puerto = quint16(salida.mid(salida.indexOf("puerto ") + 7).split('\n').first().toInt());
        std::vector<std::unique_ptr<ClienteTcp>> clientes;
        for (int i = 0; i < 150; ++i)
            clientes.push_back(std::make_unique<ClienteTcp>(puerto));
        ASSERT_TRUE(espera(k.episodio)) << "waited 5 s for the trace of \"" << k.episodio << "\"";
        const double antes = cpuMs(hijo.processId());
        program::waitMs(1000); // the window over which the CPU is measured while the server is full
        EXPECT_LT(cpuMs(hijo.processId()) - antes, 200) << "ms of CPU in 1 s with every descriptor taken";
        // Refusals are traced once an episode, connections closed to make room a few a second.
        if (k.emfile) {
            // accept fails past the reserve: the listener backs off, once traced, until it works again.
            EXPECT_EQ(salida.count(k.episodio), 1) << salida.toStdString();
            hijo.write("r");
            EXPECT_TRUE(hijo.waitForBytesWritten(5000));
        } else if (k.sinLimite) {
            ASSERT_TRUE(espera("tubería abierta")) << "no descriptor left for the program: " << salida.toStdString();
            EXPECT_EQ(salida.count(k.episodio), 1) << salida.toStdString();
        } else {
            EXPECT_LE(salida.count(k.episodio), 10) << salida.toStdString();
        }
        clientes.clear();
        // Until the server has seen the peers leave a Ping may be refused: each is retried.
        const QByteArray ping = R"({"accion":"Ping"})";
        int respondidos = 0;
        for (QDeadlineTimer d(5000); respondidos < 5 && !d.hasExpired();) {
            ClienteTcp c(puerto);
            c.envia(ping);
            respondidos += c.leeHastaCierre(int(std::max<qint64>(1, d.remainingTime()))) == "200 OK\r" + ping;
        }
        EXPECT_EQ(respondidos, 5) << "Pings answered within 5 s of the peers leaving";
        hijo.closeWriteChannel();
        EXPECT_TRUE(hijo.waitForFinished(5000)) << "the child did not end within 5 s of its input closing";
    }
}

// The callbacks' object: "Cuenta" counts (and runs `dentro` meanwhile), "Falla" raises.
struct Llamadas : vb::LateBound {
    int cuenta = 0;
    std::function<void()> dentro = [] {};
    vb::CallableMembers callableMembers() override {
        return {{"Cuenta", 0, 0, [this](const vb::Arguments&) { return dentro(), Variant(++cuenta); }},
                {"Falla", 0, 0, [](const vb::Arguments&) -> Variant { vb::Raise(vb::err::InvalidCall); }}};
    }
};

TEST(frmComSocket, TimerAsyncRunsWhenDueNotOnADaysFirstVisitNorPausedNorTwiceAtOnceNorStuckAfterAFailure) {
    testenv::reiniciaTodo();
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
        EXPECT_TRUE(waits::until([&] { return ventana.timersAsyncCargados() <= antes; }, "the one-shot to tick",
                                 kEsperaMaximaMs));
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
