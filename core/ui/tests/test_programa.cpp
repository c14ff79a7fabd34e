// The real program as a subprocess against the real MariaDB: start-up, the post-connection step,
// one instance per user, and the stop and restart requests over TCP.
#include "core/ui/tests/ProgramaEnPrueba.h"

using uitest::BaseDemo;
using uitest::ProgramaEnPrueba;

namespace {

int cuenta(const QString& texto, const QString& trozo) {
    return int(texto.count(trozo));
}

} // namespace

TEST(Programa, ArrancaEscuchaYGuardaLaConfiguracionDelTPVEnElRegistro) {
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

TEST(Programa, BaseCaidaAlArrancarSeReintentaYElPasoPostConexionCorreUnaSolaVez) {
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

TEST(Programa, UnaSegundaInstanciaSeNiegaYUnaConRetrasoArranca) {
    TARVOLIN_REQUIRE_DATABASE();
    BaseDemo db(QStringLiteral("uiinstancia"));
    ProgramaEnPrueba primera;
    primera.escribeRegistro(uitest::registroBase(db.nombre()));
    primera.arranca();
    ASSERT_TRUE(primera.esperaEscucha()) << primera.errores().toStdString();

    ProgramaEnPrueba segunda(primera, true);
    segunda.escribeRegistro(uitest::registroBase(db.nombre()));
    segunda.arranca({QStringLiteral("/log")});
    ASSERT_TRUE(segunda.esperaFin());
    EXPECT_EQ(segunda.proceso().exitCode(), 0);
    EXPECT_TRUE(
        segunda.errores().contains(QStringLiteral("El programa ya está en ejecución, no puede iniciarse dos veces")))
        << segunda.errores().toStdString();
    EXPECT_FALSE(segunda.log().contains(QStringLiteral("Carga de parámetros")));

    // A delayed start (the restart's road) skips the test and goes on to its parameters.
    ProgramaEnPrueba retrasada(primera, true);
    retrasada.escribeRegistro(uitest::registroBase(db.nombre()));
    retrasada.arranca({QStringLiteral("/log"), QStringLiteral("/retraso=1")});
    EXPECT_TRUE(retrasada.esperaLog(QStringLiteral("Carga de parámetros"))) << retrasada.errores().toStdString();
    EXPECT_TRUE(retrasada.vivo());
    EXPECT_TRUE(primera.respondePing());
}

TEST(Programa, SeParaPorTCPDespuesDeResponder) {
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

TEST(Programa, ElReinicioArrancaOtraCopiaConLosMismosInterruptores) {
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

TEST(Programa, UnParametroQueNoConvierteNoDejaElArranqueAMedias) {
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
    // The message goes to the program's error output, which reaches the test on its own time.
    const QString balanza = QStringLiteral("No se ha podido conectar con la balanza en el puerto COM");
    program::waitWhile([&p, &balanza] { return !p.errores().contains(balanza); }, 10000);
    EXPECT_TRUE(p.errores().contains(balanza)) << p.errores().toStdString();
    EXPECT_TRUE(p.vivo());
}
