// Main: the command-line switch table and what a restart passes on; and the real program, started as a
// process against the private services and spoken to over its protocol.
#include "ui/Main.h"
#include "ui/tests/ProgramaEnPrueba.h"

#include <gtest/gtest.h>

namespace {

struct Caso {
    const char* linea;
    Interruptores esperado;
};

Interruptores con(std::function<void(Interruptores&)> f) {
    Interruptores i;
    f(i);
    return i;
}

} // namespace

// gtest prints the switches of a failing case with this.
void PrintTo(const Interruptores& i, std::ostream* os) {
    *os << "{Debug " << i.Debug << " desarrollo " << i.desarrollo << " mensaje " << i.mensaje << " instal " << i.instal
        << " log " << i.log << " nombre_bd " << (i.nombre_bd ? i.nombre_bd->toStdString() : "-") << " ipservidor "
        << (i.ipservidor ? i.ipservidor->toStdString() : "-") << " tpv " << (i.tpv ? i.tpv->toStdString() : "-")
        << " retraso " << i.retraso << "}";
}

TEST(Main, TablaDeLineasDeComandos) {
    const Caso casos[] = {
        {"", {}},
        {"log mensaje", {}}, // no "/": no switch
        {"/log /mensaje", con([](auto& i) { i.log = i.mensaje = true; })},
        {"/LOG", con([](auto& i) { i.log = true; })},
        {"/  log  ", con([](auto& i) { i.log = true; })},
        {"/logs", {}},
        {"antes/log", con([](auto& i) { i.log = true; })}, // the text before the first "/" is ignored
        {"/nombre_bd=ventas", con([](auto& i) { i.nombre_bd = QStringLiteral("ventas"); })},
        {"/nombre_bd = ventas ", con([](auto& i) { i.nombre_bd = QStringLiteral("ventas"); })},
        {"/nombre_bd=a=b", {}},
        {"/nombre_bd", {}},
        {"/debug /DEBUG", con([](auto& i) { i.Debug = true; })},
        {"/desarrollo", con([](auto& i) { i.desarrollo = true; })},
        {"/ipservidor=10.0.0.2", con([](auto& i) { i.ipservidor = QStringLiteral("10.0.0.2"); })},
        {"/ipservidor=127.0.0.1;PORT=3306", {}}, // two "=": no value
        {"/installer", con([](auto& i) { i.instal = true; })},
        {"/INSTAL", con([](auto& i) { i.instal = true; })},
        {"/ instal", {}}, // instal is tested on the piece as it stands
        {"/retraso=5", con([](auto& i) { i.retraso = 5; })},
        {"/retraso=0", {}},
        {"/retraso=abc", {}},
        {"/retraso=2,5", con([](auto& i) { i.retraso = 2; })}, // halves to even
        {"/retraso=40", con([](auto& i) { i.retraso = 40; })},
        {"/retraso=99999", con([](auto& i) { i.retraso = 32767; })},
        {"/tpv=0", {}},
        {"/tpv=3", con([](auto& i) { i.tpv = QStringLiteral("3"); })},
        {"/tpv=x", {}},
        {"/log /tpv=3 /nombre_bd=demo", con([](auto& i) {
             i.log = true;
             i.tpv = QStringLiteral("3");
             i.nombre_bd = QStringLiteral("demo");
         })},
        // later pieces overwrite earlier ones; a zero delay leaves the earlier one
        {"/nombre_bd=a /nombre_bd=b /retraso=3 /retraso=0", con([](auto& i) {
             i.nombre_bd = QStringLiteral("b");
             i.retraso = 3;
         })},
        // Debug and nombre_bd on every piece, the others first match wins: "debug" is not "log"
        {"/log/debug/mensaje", con([](auto& i) { i.log = i.Debug = i.mensaje = true; })},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.linea);
        EXPECT_EQ(LeeInterruptores(QString::fromUtf8(c.linea)), c.esperado);
    }
}

TEST(Main, LosArgumentosSeUnenConBlancos) {
    const QStringList args{QStringLiteral("/log"), QStringLiteral("/tpv=3")};
    const Interruptores i = LeeInterruptores(LineaDeComandos(args));
    EXPECT_TRUE(i.log);
    EXPECT_EQ(i.tpv, QStringLiteral("3"));
}

TEST(Main, ElReinicioConservaLosInterruptoresYEsperaCinco) {
    EXPECT_EQ(ArgumentosReinicio({}), QStringList{QStringLiteral("/retraso=5")});
    EXPECT_EQ(ArgumentosReinicio({QStringLiteral("/log"), QStringLiteral("/nombre_bd=ventas")}),
              (QStringList{QStringLiteral("/log"), QStringLiteral("/nombre_bd=ventas"), QStringLiteral("/retraso=5")}));
    // a restart of a restart does not pile up delays
    EXPECT_EQ(ArgumentosReinicio({QStringLiteral("/log"), QStringLiteral("/retraso=5")}),
              (QStringList{QStringLiteral("/log"), QStringLiteral("/retraso=5")}));
    EXPECT_EQ(ArgumentosReinicio({QStringLiteral("/log/RETRASO=3/tpv=2")}),
              (QStringList{QStringLiteral("/log/tpv=2"), QStringLiteral("/retraso=5")}));
    const Interruptores i = LeeInterruptores(
        LineaDeComandos(ArgumentosReinicio({QStringLiteral("/nombre_bd=ventas"), QStringLiteral("/retraso=9")})));
    EXPECT_EQ(i.retraso, 5);
    EXPECT_EQ(i.nombre_bd, QStringLiteral("ventas"));
}

using uitest::BaseDemo;
using uitest::ProgramaEnPrueba;

namespace {

int cuenta(const QString& texto, const QString& trozo) {
    return int(texto.count(trozo));
}

} // namespace

TEST(Main, ArrancaEscuchaYGuardaLaConfiguracionDelTPVEnElRegistro) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db(QStringLiteral("uiarranque"));
    db.sql(QStringLiteral("update configtpv set valor='Cocina central' where clave='TextoCabeceraCocina'"));
    ProgramaEnPrueba p;
    p.escribeRegistro(
        uitest::registroBase(db.nombre()) +
        QList<QPair<QString, QString>>{{QStringLiteral("TextoCabeceraCocina"), QStringLiteral("viejo")},
                                       {QStringLiteral("PermitirVariosTPVSSimultaneamente"), QStringLiteral("1")}});
    p.arranca({QStringLiteral("/log")});
    ASSERT_TRUE(p.esperaEscucha()) << p.errores().toStdString();

    // The till's configtpv rows are now the registry's values too; the port rule is pinned to 0.
    EXPECT_EQ(p.leeRegistro(QStringLiteral("TextoCabeceraCocina")), QStringLiteral("Cocina central"));
    EXPECT_EQ(p.leeRegistro(QStringLiteral("ImpTicket")), QStringLiteral("TICKETS"));
    EXPECT_EQ(p.leeRegistro(QStringLiteral("PermitirVariosTPVSSimultaneamente")), QStringLiteral("0"));
    EXPECT_TRUE(p.peticion(R"({"accion":"GetIdTPV"})").contains(QStringLiteral(R"("ok":true)")));

    // /log: log.txt beside the program, with the start-up and the literals loaded once.
    const QString log = p.log();
    EXPECT_TRUE(log.contains(QStringLiteral("Carga de parámetros"))) << log.toStdString();
    EXPECT_EQ(cuenta(log, QStringLiteral("-> basComunPocketra.cargarIdiomasLiterales")), 1);
    EXPECT_FALSE(log.contains(QStringLiteral("ERROR:"))) << log.toStdString();
}

TEST(Main, BaseCaidaAlArrancarSeReintentaYElPasoPostConexionCorreUnaSolaVez) {
    TARVOLIN_REQUIRE_DATABASE();
    // The till's database user does not exist yet: the server turns it away until it is created.
    BaseDemo db(QStringLiteral("uicaida"));
    db.sql(QStringLiteral("update configtpv set valor='primera' where clave='TextoCabeceraCocina'"));
    const QString usuario = QStringLiteral("tarvolin_%1").arg(QCoreApplication::applicationPid());
    ProgramaEnPrueba p;
    auto registro = uitest::registroBase(db.nombre());
    registro[5].second = usuario;
    registro[6].second = QStringLiteral("Clave.de.prueba");
    p.escribeRegistro(registro);
    p.arranca({QStringLiteral("/log")});
    ASSERT_TRUE(p.esperaLog(QStringLiteral("Error al conectar con MySQL"))) << p.errores().toStdString();
    // The service does not listen, and the literals wait for the database instead of failing on a
    // query helper that does not exist yet.
    ASSERT_TRUE(p.esperaLog(QStringLiteral("Sin conexión: los literales se cargarán"))) << p.log().toStdString();
    // A first start: no scale settings in the registry yet, and the program goes on without them.
    EXPECT_TRUE(p.log().contains(QStringLiteral("la balanza no se activa hasta el próximo arranque")));
    EXPECT_FALSE(p.respondePing());

    struct Usuario {
        QString nombre;
        ~Usuario() {
            testenv::runSql({}, QStringLiteral("drop user if exists '%1'@'%', '%1'@'localhost';").arg(nombre));
        }
    } borraUsuario{usuario};
    for (const char* host : {"%", "localhost"})
        EXPECT_TRUE(testenv::runSql({}, QStringLiteral("create user '%1'@'%2' identified by 'Clave.de.prueba'; "
                                                       "grant all on `%3`.* to '%1'@'%2';")
                                            .arg(usuario, QLatin1String(host), db.nombre())));
    ASSERT_TRUE(p.esperaEscucha()) << p.log().toStdString();
    EXPECT_EQ(p.leeRegistro(QStringLiteral("TextoCabeceraCocina")), QStringLiteral("primera"));
    EXPECT_TRUE(p.esperaLog(QStringLiteral("-> basComunPocketra.cargarIdiomasLiterales")));

    // A lost link later: the error handler reconnects, but the post-connection step does not run
    // again, so configtpv is not read a second time.
    db.sql(QStringLiteral("update configtpv set valor='segunda' where clave='TextoCabeceraCocina'"));
    testenv::killConnections(db.nombre());
    p.peticion(
        R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":1,"idTicket":101,"texto":"1 Flan","impresora":"NO IMPRIMIR"})",
        30000);
    ASSERT_TRUE(p.esperaEscucha());
    EXPECT_EQ(p.leeRegistro(QStringLiteral("TextoCabeceraCocina")), QStringLiteral("primera"));

    const QString log = p.log();
    EXPECT_EQ(cuenta(log, QStringLiteral("-> basComunPocketra.cargarIdiomasLiterales")), 1) << log.toStdString();
    EXPECT_EQ(cuenta(log, QStringLiteral("Listening to port")), 1) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("ERROR: basComunPocketra.cargarIdiomasLiterales"))) << log.toStdString();
}

TEST(Main, UnaSegundaInstanciaSeNiegaYUnaConRetrasoArranca) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db(QStringLiteral("uiinstancia"));
    ProgramaEnPrueba primera;
    primera.escribeRegistro(uitest::registroBase(db.nombre()));
    primera.arranca({QStringLiteral("/log")});
    ASSERT_TRUE(primera.esperaEscucha()) << primera.errores().toStdString();
    ASSERT_TRUE(primera.esperaLog(QStringLiteral("Carga de parámetros")));
    const QString logPrimera = primera.log();

    ProgramaEnPrueba segunda(primera, true);
    segunda.escribeRegistro(uitest::registroBase(db.nombre()));
    segunda.arranca({QStringLiteral("/log")});
    ASSERT_TRUE(segunda.esperaFin());
    EXPECT_EQ(segunda.proceso().exitCode(), 0);
    EXPECT_TRUE(
        segunda.errores().contains(QStringLiteral("El programa ya está en ejecución, no puede iniciarse dos veces")))
        << segunda.errores().toStdString();
    EXPECT_FALSE(segunda.log().contains(QStringLiteral("Carga de parámetros")));
    // A copy refused in the running copy's own folder leaves that copy's log.txt as it was.
    QProcess mismaCarpeta;
    primera.arrancaOtraCopia(mismaCarpeta, {QStringLiteral("/log")});
    ASSERT_TRUE(mismaCarpeta.waitForFinished(20000));
    EXPECT_TRUE(primera.log().startsWith(logPrimera)) << primera.log().toStdString();

    // A delayed start (the restart's road) skips the test and goes on to its parameters.
    ProgramaEnPrueba retrasada(primera, true);
    retrasada.escribeRegistro(uitest::registroBase(db.nombre()));
    retrasada.arranca({QStringLiteral("/log"), QStringLiteral("/retraso=1")});
    EXPECT_TRUE(retrasada.esperaLog(QStringLiteral("Carga de parámetros"))) << retrasada.errores().toStdString();
    EXPECT_TRUE(retrasada.vivo());
    EXPECT_TRUE(primera.respondePing());
}

// Image commands whose lengths overflowed made the command scanner read before the text and ended
// the program; as a special ticket and as a kitchen article line, it answers and goes on.
TEST(Main, ComandosDeImagenConLongitudesEnormesNoTumbanElPrograma) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db(QStringLiteral("uiescpos"));
    ProgramaEnPrueba p;
    p.escribeRegistro(uitest::registroBase(db.nombre()));
    p.arranca();
    ASSERT_TRUE(p.esperaEscucha()) << p.errores().toStdString();
    for (
        const char* peticion :
        {R"({"accion":"ImprimirTicketEspecial","texto":"Hola \u001cq\u0002\u0001@\u0001@abc","impresora":""})",
         R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":1,"idTicket":101,"texto":"1 Caf\u00e9 \u001cq\u00ff\u00ff\u00ff\u00ff\u00ff","impresora":""})"}) {
        SCOPED_TRACE(peticion);
        EXPECT_TRUE(p.peticion(peticion).contains(QStringLiteral(R"("ok":true)")));
        EXPECT_TRUE(p.respondePing());
        EXPECT_TRUE(p.vivo());
    }
}

TEST(Main, SeParaPorTCPDespuesDeResponder) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db(QStringLiteral("uiparada"));
    ProgramaEnPrueba p;
    p.escribeRegistro(uitest::registroBase(db.nombre()));
    p.arranca();
    ASSERT_TRUE(p.esperaEscucha()) << p.errores().toStdString();
    EXPECT_TRUE(p.log().isEmpty()); // no /log: no log.txt

    EXPECT_TRUE(p.peticion(R"({"accion":"shutdown"})").contains(QStringLiteral(R"("ok":true)")));
    ASSERT_TRUE(p.esperaFin());
    EXPECT_EQ(p.proceso().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.proceso().exitCode(), 0);
    EXPECT_FALSE(p.respondePing());
}

TEST(Main, ElReinicioArrancaOtraCopiaConLosMismosInterruptores) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db(QStringLiteral("uireinicio"));
    ProgramaEnPrueba p;
    // The registry names a database that does not exist: only the switch reaches the real one.
    auto registro = uitest::registroBase(db.nombre());
    registro[1].second = QStringLiteral("no_existe");
    p.escribeRegistro(registro);
    p.arranca({QStringLiteral("/log"), QStringLiteral("/nombre_bd=") + db.nombre()});
    ASSERT_TRUE(p.esperaEscucha()) << p.errores().toStdString();

    EXPECT_TRUE(p.peticion(R"({"accion":"reiniciar_programa"})").contains(QStringLiteral(R"("ok":true)")));
    ASSERT_TRUE(p.esperaFin());
    EXPECT_EQ(p.proceso().exitCode(), 0);

    // The new copy waits 5 s, then starts on the same switches (the log is a new one).
    ASSERT_TRUE(p.esperaEscucha(40000));
    EXPECT_FALSE(p.procesosDeLaCarpeta().isEmpty());
    EXPECT_TRUE(p.log().contains(QStringLiteral("Carga de parámetros")));
    EXPECT_FALSE(p.log().contains(QStringLiteral("Fin Tarvolin")));

    EXPECT_TRUE(p.peticion(R"({"accion":"shutdown"})").contains(QStringLiteral(R"("ok":true)")));
    EXPECT_TRUE(ProgramaEnPrueba::espera([&p] { return p.procesosDeLaCarpeta().isEmpty(); }, 20000));
}

TEST(Main, UnParametroQueNoConvierteNoDejaElArranqueAMedias) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db(QStringLiteral("uiconversion"));
    db.sql(QStringLiteral("update configtpv set valor='' where clave='GrabarLogDetallado'"));
    ProgramaEnPrueba p;
    // The scale is on, on a port that leads nowhere, with a continuous mode that is no Boolean.
    p.escribeRegistro(uitest::registroBase(db.nombre()) +
                      QList<QPair<QString, QString>>{{QStringLiteral("UsarBalanza"), QStringLiteral("1")},
                                                     {QStringLiteral("PuertoBalanza"), QStringLiteral("9")},
                                                     {QStringLiteral("ModeloBalanza"), QStringLiteral("0")},
                                                     {QStringLiteral("BalanzaModoContinuo"), QStringLiteral("abc")}});
    db.sql(
        QStringLiteral("delete from configtpv where clave in ('UsarBalanza','PuertoBalanza','BalanzaModoContinuo')"));
    QFile mapa(p.carpeta("cfg") + QStringLiteral("/Vesk/registry/HKEY_LOCAL_MACHINE.ini"));
    ASSERT_TRUE(mapa.open(QIODevice::WriteOnly));
    mapa.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vesk\\SerialComm]\n\"" + p.carpeta("run").toUtf8() +
               "/no-hay-puerto\"=sz:COM9\n");
    mapa.close();

    p.arranca({QStringLiteral("/log")});
    ASSERT_TRUE(p.esperaEscucha()) << p.errores().toStdString();
    ASSERT_TRUE(p.esperaLog(QStringLiteral("-> basComunPocketra.cargarIdiomasLiterales")));
    const QString log = p.log();
    EXPECT_TRUE(log.contains(QStringLiteral("El parámetro GrabarLogDetallado tiene un valor no válido")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("El parámetro BalanzaModoContinuo tiene un valor no válido")))
        << log.toStdString();
    // The program's output reaches this process through a pipe: wait for the line, do not race it.
    EXPECT_TRUE(ProgramaEnPrueba::espera(
        [&] {
            return p.errores().contains(QStringLiteral("No se ha podido conectar con la balanza en el puerto COM"));
        },
        10000))
        << p.errores().toStdString();
    EXPECT_TRUE(p.vivo());
}

// scripts/demo follows a restarted service by looking for this run's tarvolin among all of them:
// another tarvolin (another run's, another user's) must neither be taken nor stop the script,
// which runs under set -e.
TEST(Main, SoloSigueLosTarvolinDeSuPropiaEjecucionYNuncaFallaAlBuscar) {
    QTemporaryDir dir;
    const QString falso = dir.path() + QStringLiteral("/tarvolin");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), falso));
    auto arranca = [&](QProcess& p, const QString& runtime) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        p.setProcessEnvironment(env);
        p.start(falso, {QStringLiteral("300")});
        ASSERT_TRUE(p.waitForStarted(10000));
    };
    auto busca = [&](const QString& run) {
        QProcess bash;
        bash.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("set -euo pipefail; eval \"$(sed -n '/^demo_tarvolins() {/,/^}/p' \"$1\")\"; "
                                   "RUN=\"$2\"; next=$(demo_tarvolins | head -1); echo \"[$next]\""),
                    QStringLiteral("bash"), testenv::sourceDir() + QStringLiteral("/scripts/demo"), run});
        EXPECT_TRUE(bash.waitForFinished(20000));
        EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
        return QString::fromUtf8(bash.readAllStandardOutput()).trimmed();
    };
    const QString run = dir.path() + QStringLiteral("/run");
    QProcess ajeno, propio, ajenoPosterior;
    arranca(ajeno, dir.path() + QStringLiteral("/otro/runtime"));
    EXPECT_EQ(busca(run), QStringLiteral("[]"));
    arranca(propio, run + QStringLiteral("/runtime"));
    arranca(ajenoPosterior, dir.path() + QStringLiteral("/otro/runtime")); // the last one looked at
    EXPECT_EQ(busca(run), QStringLiteral("[%1]").arg(propio.processId()));
    for (QProcess* p : {&ajeno, &propio, &ajenoPosterior}) {
        p->kill();
        p->waitForFinished(5000);
    }
}
