// Main: the switches, what a restart passes on; the real program as a process, over its protocol.
#include "ui/Main.h"
#include "ui/ModeloLog.h"
#include "ui/frmPrincipal.h"
#include "ui/tests/UiTest.h"

#include "scale/clsComm.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/Simulador.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTableView>
#include <cerrno>

// The rows name only the switches they expect set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using uitest::BaseDemo;
using uitest::ProgramaEnPrueba;

TEST(Main, TablaDeLineasDeComandos) {
    const struct {
        const char* linea;
        EstadoInterruptores esperado;
    } casos[] = {
        {"log mensaje", {}},                                            // no "/": no switch
        {"antes/log /MENSAJE", {.gblnLog = true, .gblnMensaje = true}}, // the text before the first "/" is ignored
        {"/  log  ", {.gblnLog = true}},
        {"/nombre_bd = ventas ", {.gstrNombreBDSwitch = "ventas"}},
        {"/debug /DEBUG /desarrollo", {.gblnDebug = true, .gblnDesarrollo = true}},
        {"/ipservidor=10.0.0.2", {.gstrIpServidorSwitch = "10.0.0.2"}},
        {"/nombre_bd=a=b /ipservidor=127.0.0.1;PORT=3306", {}}, // two "=": no value
        {"/INSTALLER", {.gblnInstal = true}},
        {"/logs / instal", {}}, // whole words; instal is tested on the piece as it stands
        {"/retraso=0 /tpv=0", {}},
        {"/retraso=2,5", {.gintRetraso = 2}}, // halves to even
        {"/retraso=99999", {.gintRetraso = 32767}},
        {"/tpv=3", {.gstrTPVSwitch = "3"}},
        // later pieces overwrite earlier ones; a zero delay leaves the earlier one
        {"/nombre_bd=a /nombre_bd=b /retraso=3 /retraso=0", {.gintRetraso = 3, .gstrNombreBDSwitch = "b"}},
        // Debug and nombre_bd on every piece, the others first match wins: "debug" is not "log"
        {"/log/debug/mensaje", {.gblnDebug = true, .gblnLog = true, .gblnMensaje = true}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.linea);
        EstadoInterruptores leido;
        LeeInterruptores(QString::fromUtf8(c.linea), leido);
        EXPECT_EQ(leido, c.esperado);
    }
    // Each switch sets its own field, and a switch not given leaves its field as it was.
    EstadoInterruptores estado{.gblnMensaje = true, .gintRetraso = 7, .gstrTPVSwitch = "9"};
    LeeInterruptores("/debug/log/desarrollo/instal/nombre_bd=v/ipservidor=h", estado);
    EXPECT_EQ(estado, (EstadoInterruptores{true, true, true, true, true, 7, "v", "h", "9", {}}));
}

// Ports at and just past both ends of the range: in range opened (9600 bauds, one stop bit, even parity
// for model 0 only), else a message.
using MainEnProceso = uitest::UiTest;
TEST_F(MainEnProceso, LaBalanzaSoloSeAbreEnLosPuertosDel1Al9) {
    const struct {
        int puerto, modelo;
        bool abierta;
    } casos[] = {{0, 0, false}, {1, 0, true}, {9, 7, true}, {10, 3, false}};
    frmPrincipal w(true);
    for (const auto& k : casos) {
        SCOPED_TRACE(k.puerto);
        Simulador sim;
        ASSERT_TRUE(sim.arrancado());
        const termios antes = sim.ajustes();
        ASSERT_NE(cfgetospeed(&antes), B9600);
        apuntaCom(k.puerto, sim.puerto());
        uitest::escribeRegistro(uitest::registroBase("nada") +
                                QStringLiteral("UsarBalanza=1|PuertoBalanza=%1|ModeloBalanza=%2|BalanzaModoContinuo=0|"
                                               "TiempoBalanzaModoContinuo=300|TipoFuncionamientoBalanza=0")
                                    .arg(k.puerto)
                                    .arg(k.modelo));
        objParametros().resetForTests();
        objParametros().GetParamReg();
        resetObjCommForTests();
        respuestas.calls.clear();
        ActivaBalanza(w);
        const termios despues = sim.ajustes();
        EXPECT_EQ(cfgetospeed(&despues), k.abierta ? B9600 : cfgetospeed(&antes));
        EXPECT_EQ(despues.c_cflag & CSTOPB, 0u);
        // Even parity for model 0 only: a pty drops the parity enable, so it is read from what the port asked for.
        EXPECT_EQ(objComm().AjustesPedidos().c_cflag & (PARENB | PARODD), k.abierta && k.modelo == 0 ? PARENB : 0u);
        EXPECT_EQ(gblnBalanzaActiva, k.abierta);
        EXPECT_EQ(respuestas.textos(),
                  k.abierta ? QStringList()
                            : QStringList{QStringLiteral("Se ha configurado el uso de la balanza, pero el puerto serie "
                                                         "configurado (%1) no es correcto (tiene que estar entre el 1 "
                                                         "y el 9)")
                                              .arg(k.puerto)});
        apuntaCom(k.puerto, {});
    }
    resetObjCommForTests();
}

// Continuous mode as the start-up reports it: active only with a timer that ticks. Without an interval the
// scale is off and the log says why; without the key the till ends after its message, as for any key.
TEST_F(MainEnProceso, LaBalanzaContinuaSoloSeDaPorActivaSiSuTimerLee) {
    frmPrincipal w(true);
    w.registraComoVentanaPrincipal(); // the scale's timer is this window's
    const QString activa = "Activada la balanza en modo continuo";
    const QString error = "Error: El programa está configurado para usar la balanza en modo continuo pero el timer "
                          "no está activo";
    const QString sinIntervalo =
        "El parámetro TiempoBalanzaModoContinuo (%1) no es un intervalo en milisegundos: la balanza no se leerá";
    // the interval's registry value ("-" none) | the lines the start-up logs | ended
    const std::tuple<const char*, QStringList, bool> casos[] = {
        {"300", {activa}, false},
        {"0", {error, sinIntervalo.arg("0")}, false},
        {"abc", {error, sinIntervalo.arg("abc")}, false},
        {"-", {}, true},
    };
    for (const auto& [intervalo, lineas, termina] : casos) {
        SCOPED_TRACE(intervalo);
        Simulador sim;
        ASSERT_TRUE(sim.arrancado());
        apuntaCom(3, sim.puerto());
        registry::RegistryStore::instance().deleteValue(registry::Root::CurrentUser, uitest::kClave,
                                                        "TiempoBalanzaModoContinuo");
        uitest::escribeRegistro(
            uitest::registroBase("nada") + "UsarBalanza=1|PuertoBalanza=3|ModeloBalanza=0|BalanzaModoContinuo=1|" +
            (QString(intervalo) == "-" ? QString() : "TiempoBalanzaModoContinuo=" + QString(intervalo)));
        objParametros().resetForTests();
        objParametros().GetParamReg();
        resetObjCommForTests();
        w.setScaleTimer(false, 0);
        respuestas.calls.clear();
        const ModeloLog& m = *qobject_cast<const ModeloLog*>(uitest::hijo<QTableView>(w, "grdLog")->model());
        const int antes = m.filas();
        if (termina) {
            EXPECT_THROW(ActivaBalanza(w), program::Ended);
            EXPECT_EQ(respuestas.textos().filter("TiempoBalanzaModoContinuo").size(), 1)
                << respuestas.textos().join('\n').toStdString();
            continue;
        }
        ASSERT_NO_THROW(ActivaBalanza(w));
        QStringList registradas;
        for (int f = antes; f < m.filas(); ++f)
            registradas << m.texto(f, 1);
        EXPECT_EQ(registradas.filter(QRegularExpression("^(Activada|Error:|El parámetro Tiempo)")), lineas);
        EXPECT_EQ(w.scaleTimerEnabled() && w.scaleTimerInterval() > 0, lineas.first() == activa);
    }
    resetObjCommForTests();
    apuntaCom(3, {});
}

// Real processes: one that ends (its exit code kept), fails, dies by a signal, cannot start, or outlives
// the bound (then stopped: its process is gone on return). No shell reads the line.
TEST_F(MainEnProceso, EjecutaComandoYEsperaTerminaFallaNoArrancaOExcedeElPlazo) {
    QTemporaryDir dir;
    const QString pid = dir.filePath("pid"), fichero = dir.filePath("fichero");
    using E = FinComando;
    const struct {
        QString orden;
        E::Estado estado;
        int codigo;
        QString error; // what the result and the log say; "" for nothing
    } casos[] = {
        {"true", E::Terminado, 0, ""},
        {"sh -c \"exit 3\"", E::Terminado, 3, ""},
        {"echo no > \"" + fichero + "\"", E::Terminado, 0, ""}, // no shell: no file
        {"sh -c \"kill -9 $$\"", E::Terminado, -1, "ha terminado por una señal"},
        {"/no/existe/orden /s \"a b\"", E::NoArranca, -1, "no se ha podido ejecutar"},
        {"  ", E::NoArranca, -1, "no hay orden que ejecutar"},
        {"sh -c \"echo $$ > " + pid + "; exec sleep 5\"", E::FueraDePlazo, -1, "no ha terminado en 500 ms"},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.orden.toStdString());
        recordingMainWindow().grid.clear();
        QElapsedTimer reloj;
        reloj.start();
        const FinComando fin = EjecutaComandoYEspera(k.orden, 500);
        // A command that outlives the bound is stopped at it, well before it would end by itself (5 s).
        EXPECT_LT(reloj.elapsed(), 2500) << "ms EjecutaComandoYEspera took with a bound of 500 ms";
        EXPECT_EQ(std::tuple(fin.estado, fin.codigoSalida, fin.error.isEmpty()),
                  std::tuple(k.estado, k.codigo, k.error.isEmpty()));
        EXPECT_TRUE(fin.error.contains(k.error)) << fin.error.toStdString();
        EXPECT_EQ(recordingMainWindow().grid.filter("EjecutaComandoYEspera").size(), k.error.isEmpty() ? 0 : 1);
    }
    EXPECT_FALSE(QFile::exists(fichero));
    QFile f(pid);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const pid_t proceso = f.readAll().trimmed().toInt();
    ASSERT_GT(proceso, 0);
    EXPECT_TRUE(::kill(proceso, 0) == -1 && errno == ESRCH); // stopped and reaped
}

TEST(Main, ElReinicioConservaLosInterruptoresYEsperaCinco) {
    EXPECT_EQ(ArgumentosReinicio({}), QStringList{"/retraso=5"});
    // a restart of a restart does not pile up delays
    EXPECT_EQ(ArgumentosReinicio({"/log", "/retraso=5"}), (QStringList{"/log", "/retraso=5"}));
    EXPECT_EQ(ArgumentosReinicio({"/log/RETRASO=3/tpv=2"}), (QStringList{"/log/tpv=2", "/retraso=5"}));
    // The arguments are read back as one line joined with blanks.
    EstadoInterruptores leido;
    LeeInterruptores(LineaDeComandos(ArgumentosReinicio({"/nombre_bd=ventas", "/tpv=3", "/retraso=9"})), leido);
    EXPECT_EQ(leido, (EstadoInterruptores{.gintRetraso = 5, .gstrNombreBDSwitch = "ventas", .gstrTPVSwitch = "3"}));
}

// The database only through the switch; configtpv rows become registry values (one that does not
// convert is logged); one instance only; a restart keeps the switches.
TEST(Main, ArrancaUnaSolaVezGuardaLaConfiguracionEnElRegistroYSeReiniciaConLosMismosInterruptores) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db("uiarranque");
    db.sql("update configtpv set valor='Cocina central' where clave='TextoCabeceraCocina'");
    db.sql("update configtpv set valor='' where clave='GrabarLogDetallado'");
    db.sql("delete from configtpv where clave in ('UsarBalanza','PuertoBalanza','BalanzaModoContinuo')");
    ProgramaEnPrueba p;
    // The scale is on, on a port that leads nowhere, with a continuous mode that is no Boolean.
    p.escribeRegistro(uitest::registroBase("no_existe") +
                      "TextoCabeceraCocina=viejo|PermitirVariosTPVSSimultaneamente=1|UsarBalanza=1|PuertoBalanza=9|"
                      "ModeloBalanza=0|BalanzaModoContinuo=abc");
    p.escribeRegistro("\"" + p.carpeta("run") + "/no-hay-puerto\"=COM9",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vesk\\SerialComm");
    p.arranca({"/log", "/nombre_bd=" + db.nombre});
    ASSERT_TRUE(p.esperaEscucha()) << p.errores().toStdString();
    ASSERT_TRUE(p.esperaLog("-> basComunPocketra.cargarIdiomasLiterales"));

    // The port rule is pinned to 0.
    for (const char* valor : {"TextoCabeceraCocina=sz:Cocina central\n", "ImpTicket=sz:TICKETS\n",
                              "PermitirVariosTPVSSimultaneamente=sz:0\n"})
        EXPECT_TRUE(p.registro().contains(valor)) << valor << p.registro().toStdString();
    const QString log = p.log();
    EXPECT_EQ(log.count("Carga de parámetros"), 1) << log.toStdString();
    EXPECT_EQ(log.count("-> basComunPocketra.cargarIdiomasLiterales"), 1);
    EXPECT_TRUE(log.contains("El parámetro GrabarLogDetallado tiene un valor no válido"));
    EXPECT_TRUE(log.contains("El parámetro BalanzaModoContinuo tiene un valor no válido"));
    EXPECT_TRUE(
        uitest::espera([&] { return p.errores().contains("No se ha podido conectar con la balanza en el puerto COM"); },
                       "the scale's port failure on stderr"))
        << p.errores().toStdString();

    // A refused copy says so and leaves the running copy's log.txt as it was.
    QProcess segunda;
    p.arranca({"/log"}, &segunda);
    ASSERT_TRUE(segunda.waitForFinished(uitest::kArranqueMs)) << "the second copy did not end";
    EXPECT_EQ(segunda.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(segunda.readAllStandardError())
                    .contains("El programa ya está en ejecución, no puede iniciarse dos veces"));
    EXPECT_TRUE(p.log().startsWith(log)) << p.log().toStdString();
    // A delayed start (the restart's road) skips the test and goes on to its parameters.
    ProgramaEnPrueba retrasada(p.carpeta("run"));
    retrasada.escribeRegistro(uitest::registroBase(db.nombre));
    retrasada.arranca({"/log", "/retraso=1"});
    EXPECT_TRUE(retrasada.esperaLog("Carga de parámetros")) << retrasada.errores().toStdString();

    EXPECT_TRUE(p.ok(R"({"accion":"reiniciar_programa"})"));
    ASSERT_TRUE(p.esperaFin());
    EXPECT_EQ(p.proceso().exitCode(), 0);
    // The new copy waits 5 s, then starts on the same switches (the log is a new one).
    ASSERT_TRUE(p.esperaEscucha(5000 + uitest::kArranqueMs));
    EXPECT_TRUE(p.log().contains("Carga de parámetros"));
    EXPECT_FALSE(p.log().contains("Fin Tarvolin"));
}

TEST(Main, BaseCaidaAlArrancarSeReintentaYElPasoPostConexionCorreUnaSolaVez) {
    TARVOLIN_REQUIRE_DATABASE();
    // The till's database user does not exist yet: the server turns it away until it is created.
    BaseDemo db("uicaida");
    db.sql("update configtpv set valor='primera' where clave='TextoCabeceraCocina'");
    const QString usuario = QStringLiteral("tarvolin_%1").arg(QCoreApplication::applicationPid());
    ProgramaEnPrueba p;
    p.escribeRegistro(uitest::registroBase(db.nombre) + "UsuarioMysql=" + usuario + "|MysqlPassword=Clave.de.prueba");
    p.arranca({"/log"});
    // The literals wait for the database instead of failing on a query helper that does not exist
    // yet; a first start has no scale settings and goes on without them; nothing listens.
    ASSERT_TRUE(p.esperaLog("Sin conexión: los literales se cargarán")) << p.log().toStdString();
    EXPECT_TRUE(p.log().contains("la balanza no se activa hasta el próximo arranque"));
    EXPECT_FALSE(p.respondePing());

    for (const char* host : {"%", "localhost"})
        EXPECT_TRUE(
            testenv::runSql({}, QStringLiteral("drop user if exists '%1'@'%2'; create user '%1'@'%2' identified "
                                               "by 'Clave.de.prueba'; grant all on `%3`.* to '%1'@'%2';")
                                    .arg(usuario, QLatin1String(host), db.nombre)));
    ASSERT_TRUE(p.esperaEscucha()) << p.log().toStdString();
    EXPECT_TRUE(p.esperaLog("-> basComunPocketra.cargarIdiomasLiterales"));

    // A lost link later: the error handler reconnects, but the post-connection step does not run
    // again, so configtpv is not read a second time.
    db.sql("update configtpv set valor='segunda' where clave='TextoCabeceraCocina'");
    testenv::killConnections(db.nombre);
    p.peticion(
        R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":1,"idTicket":101,"texto":"1 Flan","impresora":"NO IMPRIMIR"})");
    ASSERT_TRUE(p.esperaEscucha());
    EXPECT_TRUE(p.registro().contains("TextoCabeceraCocina=sz:primera\n")) << p.registro().toStdString();
    const QString log = p.log();
    EXPECT_EQ(log.count("-> basComunPocketra.cargarIdiomasLiterales"), 1) << log.toStdString();
    EXPECT_EQ(log.count("Listening to port"), 1) << log.toStdString();
    EXPECT_FALSE(log.contains("ERROR: basComunPocketra.cargarIdiomasLiterales")) << log.toStdString();
    testenv::runSql({}, QStringLiteral("drop user '%1'@'%', '%1'@'localhost';").arg(usuario));
}

// Image commands with overflowing lengths made the scanner read before the text and end the program;
// as a special ticket and as a kitchen line it answers and goes on, and stops over TCP after its reply.
TEST(Main, ComandosDeImagenConLongitudesEnormesNoTumbanElPrograma) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db("uiescpos");
    ProgramaEnPrueba p;
    p.escribeRegistro(uitest::registroBase(db.nombre));
    p.arranca();
    ASSERT_TRUE(p.esperaEscucha()) << p.errores().toStdString();
    for (
        const char* peticion :
        {R"({"accion":"ImprimirTicketEspecial","texto":"Hola \u001cq\u0002\u0001@\u0001@abc","impresora":""})",
         R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":1,"idTicket":101,"texto":"1 Caf\u00e9 \u001cq\u00ff\u00ff\u00ff\u00ff\u00ff","impresora":""})"}) {
        SCOPED_TRACE(peticion);
        EXPECT_TRUE(p.ok(peticion));
        EXPECT_TRUE(p.respondePing());
    }
    EXPECT_TRUE(p.ok(R"({"accion":"shutdown"})"));
    ASSERT_TRUE(p.esperaFin());
    EXPECT_EQ(p.proceso().exitCode(), 0);
}

// scripts/demo finds this run's restarted tarvolin: another run's must neither be taken nor, looked at
// last, stop the script (set -e).
TEST(Main, SoloSigueLosTarvolinDeSuPropiaEjecucionYNuncaFallaAlBuscar) {
    QTemporaryDir dir;
    const QString falso = dir.path() + "/tarvolin", run = dir.path() + "/run";
    ASSERT_TRUE(QFile::copy("/bin/sleep", falso));
    QProcess propio, ajeno; // in this order, so the other run's comes last; both killed when they go
    for (const auto& [p, runtime] : {std::pair{&propio, run}, {&ajeno, dir.path() + "/otro"}}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime + "/runtime");
        p->setProcessEnvironment(env);
        p->start(falso, {"300"});
        ASSERT_TRUE(p->waitForStarted(10000)) << "the stand-in tarvolin did not start";
    }
    QProcess bash;
    bash.start("bash", {"-c",
                        "set -euo pipefail; eval \"$(sed -n '/^demo_tarvolins() {/,/^}/p' \"$1\")\"; "
                        "RUN=\"$2\"; next=$(demo_tarvolins | head -1); echo \"[$next]\"",
                        "bash", testenv::sourceDir() + "/scripts/demo", run});
    EXPECT_TRUE(bash.waitForFinished(waits::kDeadlineMs)) << "the search for this run's tarvolin did not end";
    EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(bash.readAllStandardOutput()).trimmed(),
              QStringLiteral("[%1]").arg(propio.processId()));
}
