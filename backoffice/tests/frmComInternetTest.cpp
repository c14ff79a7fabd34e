// The back-office window against a real HTTP server on loopback and a real MariaDB.
#include "backoffice/frmComInternet.h"
#include "backoffice/tests/ServidorHttpPrueba.h"
#include "backoffice/ui/frmComInternetVentana.h"
#include "core/tests/ConnectedCore.h"
#include "platform/Cp1252.h"
#include "testsupport/ServidorDeModos.h"
#include "testsupport/Waits.h"

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace {

const char* const kEsquema = "create table articulos (id int primary key, nombre varchar(10), precio decimal(6,2) "
                             "null); insert into articulos values (1, 'pan', 1.00), (2, 'sal', null);"
                             "create table grande (id int primary key, t varchar(40));"
                             "create table precios (id int primary key, precio decimal(6,2), desde date);";

const QByteArray kBom = "\xEF\xBB\xBF"; // UTF-8's byte-order mark

using Modo = frmComInternet::ModoLectura;

// The real window for every client made while it lives.
struct VentanaRegistrada {
    VentanaRegistrada() {
        setComInternetWindowFactory([](frmComInternet& c) { return std::make_unique<frmComInternetVentana>(c); });
    }
    ~VentanaRegistrada() { setComInternetWindowFactory(nullptr); }
};

// "name=value;..." of an entity.
QString volcado(const vb::EntidadPtr& e) {
    QStringList s;
    for (int i = 1; i <= e->Count(); ++i)
        s << e->NombreItem(i) + "=" + e->Item(i).toString();
    return s.join(';');
}

class frmComInternetTest : public coretest::ConnectedCoreTest {
protected:
    frmComInternetTest() : ConnectedCoreTest(QStringLiteral("backoffice"), QString::fromLatin1(kEsquema)) {}
    void SetUp() override {
        ConnectedCoreTest::SetUp();
        if (!conectado())
            return;
        gblnLog = true; // user messages go to the scripted prompts, not to paper
        objParametros().SetValor("RutaBackOffice", "/bo");
        QObject::connect(&w, &frmComInternet::ProcesoTerminado, [this] { ++fines; });
    }
    // Waits (running events) until the request has ended, once: fails when it does not within 10 s.
    ::testing::AssertionResult espera(int finesEsperados) {
        const auto r = waits::until([&] { return fines >= finesEsperados; },
                                    QStringLiteral("ProcesoTerminado number %1").arg(finesEsperados), 10000);
        if (r && fines != finesEsperados)
            return ::testing::AssertionFailure()
                   << fines << " ProcesoTerminado where " << finesEsperados << " were due";
        return r;
    }
    QWidget& ventana() { return *w.ventana()->widget(); }
    // Sends a request of mode `tipo` that the server answers with `cuerpo`.
    void pide(Modo tipo, const RespuestaHttp& respuesta) {
        http.respuestas.push_back(respuesta);
        w.AbreURL("http://" + http.direccion() + "/x", {}, tipo, {}, "POST");
    }
    QStringList archivosTmp() const { return QDir(RutaAplicacion() + "/tmp").entryList(QDir::Files); }

    ServidorHttpPrueba http;
    VentanaRegistrada registro;
    frmComInternet w;
    int fines = 0;
};

// The export also counts past 32 767 items.
TEST_F(frmComInternetTest, EachServiceSendsItsPathAndEncodedBody) {
    m_core->sql("insert into articulos (id, nombre) select seq, 'x' from seq_3_to_33000");
    const QString sqlRaro = "select 'a&b=c' as x, '€ñ' as y, '中文 ł' as z from dual";
    coleccionTextos importar, exportar;
    importar.Add("articulos", sqlRaro);
    exportar.Add("Config", "select 1");
    exportar.Add("articulos", "select * from articulos order by id");
    exportar.Add("vacia", "select * from articulos where id < 0");
    exportar.Add("sinFrom", "select * FROM articulos where id < 0"); // no " from ": no delete
    objParametros().SetValor("IpCentral", "127.0.0.1");
    objParametros().SetValor("puerto_central", http.direccion().section(':', 1));
    frmPrincipalVars().lngTPV = 7;
    w.Servicio_sql_Importar(http.direccion(), importar);
    ASSERT_TRUE(espera(1));
    w.Servicio_sql_Exportar(http.direccion(), exportar);
    ASSERT_TRUE(espera(2));
    w.Servicio_ConsultaSQL("select 1"); // to the configured address and port
    ASSERT_TRUE(espera(3));
    w.PromocionesCliente(42, true);
    ASSERT_TRUE(espera(4));
    EXPECT_TRUE(importar.Item("hora")); // the caller's list gains "Hora"

    const QByteArray rutaSQL = "POST /bo/env_rec/interface_hotel/servicio_sql.php";
    const std::pair<QByteArray, QStringList> casos[] = {
        {rutaSQL,
         {"numConsultas=2", "consulta1=articulos", "SQLConsulta1=" + QString(sqlRaro).replace("中文 ł", "?? ?"),
          "devolverResultado1=S", "consulta2=Hora", "SQLConsulta2=select now()"}},
        {rutaSQL,
         {"numConsultas=33004", "consulta1=Config", "consulta2=Delete:articulos",
          "SQLConsulta2=delete from articulos order by id", "devolverResultado2=N",
          "SQLConsulta4=insert into articulos (id, nombre, precio) values (2, 'sal', 0)",
          "SQLConsulta33002=insert into articulos (id, nombre, precio) values (33000, 'x', 0)",
          "consulta33003=Delete:vacia", "consulta33004=Hora"}},
        {rutaSQL, {"numConsultas=1", "consulta1=consulta1", "SQLConsulta1=select 1"}},
        {"POST /bo/param/mensajes_trigger/consulta_promociones.php",
         {"empresa=1", "restaurante=1", "tpv=7", "cliente=42", "solo_promociones_vigentes=S", "user=Muralvet",
          "bbdd_act="}},
    };
    for (size_t i = 0; i < std::size(casos); ++i) {
        SCOPED_TRACE(i);
        const PeticionHttp& p = http.peticiones.at(i);
        EXPECT_EQ(p.linea, casos[i].first);
        EXPECT_TRUE(p.cabecera.contains("\r\nContent-Type: application/x-www-form-urlencoded; charset=windows-1252"));
        QHash<QString, QString> f; // the form, decoded
        for (const QByteArray& par : p.cuerpo.split('&'))
            f.insert(par.left(par.indexOf('=')),
                     cp1252::decode(QByteArray::fromPercentEncoding(par.mid(par.indexOf('=') + 1))));
        for (const QString& c : casos[i].second)
            EXPECT_EQ(f.value(c.section('=', 0, 0), "<missing>"), c.section('=', 1)) << c.toStdString();
    }
    // No configured address: nothing is sent, nothing ends.
    objParametros().SetValor("IpCentral", "");
    w.Servicio_ConsultaSQL("select 1");
    w.PromocionesCliente(1, false);
    EXPECT_EQ(http.peticiones.size(), std::size(casos));
    // Characters that Windows-1252 lacks go as "?", told once for their field.
    EXPECT_EQ(recordingMainWindow().grid.filter("Windows-1252 no tiene").join('|'),
              "frmComInternet: el campo SQLConsulta1 lleva caracteres que Windows-1252 no tiene; se envían como \"?\"");

    // A table whose rows cannot be read (a bad select, a lost link): nothing is sent (its delete would
    // empty the back office's table), and the export ends failed.
    int n = 4;
    for (const char* select : {"select * from articulos where no_existe = 1", "select * from articulos"}) {
        coleccionTextos tablas;
        tablas.Add("articulos", select);
        if (n == 5)
            testenv::killConnections(m_core->db());
        w.Servicio_sql_Exportar(http.direccion(), tablas);
        ASSERT_TRUE(espera(++n));
        EXPECT_TRUE(w.blnError && !w.blnOk && !w.Resultado.isEmpty()) << select;
        EXPECT_EQ(http.peticiones.size(), std::size(casos));
    }
}

// Raw mode: every ending ends the request once; only a read reply leaves the window shown.
TEST_F(frmComInternetTest, EveryEndingEndsTheRequestOnce) {
    const QString sinServidor = ServidorHttpPrueba().direccion(); // closed again at once
    const QByteArray grande = QByteArray(3 * 1024 * 1024, 'x') + "fin";
    const struct {
        RespuestaHttp respuesta; // status 0: nothing listens
        bool ok, error;
        QString resultado; // a prefix
    } casos[] = {
        {{200, "", "text/plain", true}, false, false, "Error de tiempo de espera"},
        {{0, ""}, false, true, "Error de conexión"},
        {{404, "no existe"}, false, true, "Error de conexión (HTTP 404 X)\r\nno existe"},
        {{500, "fallo"}, false, true, "Error de conexión (HTTP 500 X)\r\nfallo"},
        {{200, "parte y resto", "text/plain", false, 0, 6}, false, true, "parte "}, // reset part-way
        {{200, grande, "text/plain", false, 40}, true, false, grande},              // chunked
        {{307, "", "text/plain", false, 0, -1, "/destino"}, true, false, "tras redirigir"},
        {{200, "a\xc3\xb1o \xe2\x82\xac", "text/plain; charset=utf-8"}, true, false, "año €"},
        {{200, "a\xf1o \x80"}, true, false, "año €"}, // Windows-1252 when nothing says otherwise
        {{200, kBom + "a\xc3\xb1o", "text/plain; charset=windows-1252"}, true, false, "año"}, // the mark wins
        {{200, QByteArray("\xFE\xFF\0a\0\xf1\0o", 8)}, true, false, "año"},
        {{200, QByteArray("\0a\0\xf1\0o", 6), "text/plain; charset=UTF-16"}, true, false, "año"}, // unmarked: BE
    };
    w.SegundosTimeOut = 2;
    int n = 0;
    for (const auto& k : casos) {
        SCOPED_TRACE(k.resultado.left(40).toStdString());
        if (k.respuesta.estado)
            http.respuestas.push_back(k.respuesta);
        if (!k.respuesta.ubicacion.isEmpty())
            http.respuestas.push_back({200, "tras redirigir"});
        w.SegundosTimeOut = k.respuesta.callar ? 0.5 : 2;
        ventana().show();
        w.AbreURL("http://" + (k.respuesta.estado ? http.direccion() : sinServidor) + "/x", "a=1",
                  Modo::LecturaSinLector, {}, "POST");
        QEvent desactivar(QEvent::WindowDeactivate); // losing the focus leaves the watchdog running
        QCoreApplication::sendEvent(&ventana(), &desactivar);
        ASSERT_TRUE(espera(++n));
        EXPECT_EQ(std::pair(w.blnOk, w.blnError), std::pair(k.ok, k.error));
        EXPECT_TRUE(w.Resultado.startsWith(k.resultado) && (k.error || w.Resultado.size() == k.resultado.size()))
            << w.Resultado.left(80).toStdString();
        EXPECT_FALSE(w.Ocupado);
        EXPECT_EQ(ventana().isVisible(), k.ok);
    }
    EXPECT_EQ(http.peticiones.at(6).linea, "POST /destino");
    EXPECT_EQ(http.peticiones.at(6).cuerpo, "a=1");
    // Every connection, the timed-out one too, was closed, and no second end came.
    ASSERT_TRUE(waits::until([&] { return http.desconexiones >= int(http.peticiones.size()); },
                             "every connection closed", 10000));
    EXPECT_EQ(http.desconexiones, int(http.peticiones.size()));
    EXPECT_EQ(fines, n);

    // A second request on a busy window waits for the first to end (here by its watchdog), then goes.
    w.SegundosTimeOut = 0.5;
    http.respuestas.push_back({200, "", "text/plain", true});
    w.AbreURL("http://" + http.direccion() + "/1", {}, Modo::LecturaSinLector, {}, "POST");
    pide(Modo::LecturaSinLector, {200, "segunda"});
    EXPECT_EQ(fines, n + 1);
    ASSERT_TRUE(espera(n + 2));
    EXPECT_EQ(w.Resultado, "segunda");
    // The watchdog lets its transfer go: a reply that comes after it is not read.
    http.respuestas.push_back({200, "", "text/plain", true});
    w.AbreURL("http://" + http.direccion() + "/2", {}, Modo::LecturaSincronizacion, {}, "POST");
    ASSERT_TRUE(espera(n + 3));
    http.suelta({200, "***articulos\r\nid|nombre\r\n7|tarde\r\n"});
    pide(Modo::LecturaSinLector, {200, "tercera"});
    ASSERT_TRUE(espera(n + 4));
    EXPECT_EQ(w.Resultado, "tercera");
    EXPECT_EQ(m_core->valor("select count(*) from articulos where id = 7"), "0");
}

// The status line a window is told, each text once in a row.
struct VentanaGrabadora final : ComInternetWindowPort {
    explicit VentanaGrabadora(QStringList& e) : estados(e) {}
    QWidget* widget() override { return nullptr; }
    void setCaption(const QString&) override {}
    void setStatusText(const QString& t) override {
        if (estados.isEmpty() || estados.last() != t)
            estados << t;
    }
    void setReplyText(const QString&) override {}
    void setRetryEnabled(bool) override {}
    void showModal() override {}
    void hideWindow() override {}
    QStringList& estados;
};

// Every state of the transfer shows in its order: on a reply, a refused connection and a redirect (a new lookup).
TEST_F(frmComInternetTest, EachStateOfTheTransferShowsInItsOrder) {
    QStringList estados;
    setComInternetWindowFactory([&](frmComInternet&) { return std::make_unique<VentanaGrabadora>(estados); });
    frmComInternet c;
    int finesC = 0;
    QObject::connect(&c, &frmComInternet::ProcesoTerminado, [&] { ++finesC; });
    const QStringList hastaConectar{"Accediendo a Internet", "Buscando servidor", "Servidor encontrado", "Conectando"};
    const QStringList leida =
        hastaConectar + QStringList{"Conectado",          "Enviando datos", "Datos enviados", "Recibiendo respuesta",
                                    "Respuesta recibida", "Desconectando",  "Desconectado",   "Respuesta recibida"};
    const QString sinServidor = ServidorHttpPrueba().direccion(); // closed again at once
    const std::tuple<QString, QList<RespuestaHttp>, QStringList> casos[] = {
        // address | replies | states
        {http.direccion(), {{200, "respuesta"}}, leida},
        {sinServidor, {}, hastaConectar + QStringList{"Error conexión"}}, // refused once it connects
        {http.direccion(),
         {{307, "", "text/plain", false, 0, -1, "/destino"}, {200, "tras redirigir"}},
         leida.mid(0, 8) + leida.mid(1)}, // the 307 is received, then the new hop
    };
    for (const auto& [direccion, respuestas, esperados] : casos) {
        SCOPED_TRACE(esperados.join('|').toStdString());
        estados.clear();
        http.respuestas.insert(http.respuestas.end(), respuestas.begin(), respuestas.end());
        c.AbreURL("http://" + direccion + "/x", "a=1", Modo::LecturaSinLector, {}, "POST");
        const int antes = finesC;
        ASSERT_TRUE(waits::until([&] { return finesC > antes; }, "the request's end", 10000));
        EXPECT_EQ(estados, esperados);
    }
}

TEST_F(frmComInternetTest, DelimitedRepliesGoThroughUniqueFilesAndCancelRetryWork) {
    clock_seam::setNowSource([] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)); });
    const QString otra = RutaAplicacion() + "/tmp/com_20240506070809.txt"; // a reply saved in the same second
    QDir().mkpath(RutaAplicacion() + "/tmp");
    ASSERT_TRUE(QFile(otra).open(QIODevice::WriteOnly));
    pide(Modo::LecturaDelimitada, {200, "id|nombre\r\n1|pan\r\n\r\n2|sal\r\n"});
    ASSERT_TRUE(espera(1));
    EXPECT_TRUE(http.peticiones[0].cabecera.contains("urlencoded; charset=windows-1252")); // by default
    ASSERT_EQ(w.Datos->Count(), 3);                                                        // the blank line too
    EXPECT_EQ(volcado(w.Datos->Item(3)), "id=2;nombre=sal");
    pide(Modo::LecturaDelimitada, {200, "a\r\n1|2\r\n"}); // more fields than the header: the read fails
    ASSERT_TRUE(espera(2));
    EXPECT_TRUE(!w.blnOk && w.blnError);
    EXPECT_EQ(archivosTmp(), QStringList{"com_20240506070809.txt"}); // only the other one is left
    QFile::remove(otra);

    // Cancel: not busy, hidden, no end; retry sends the stored request again.
    http.respuestas.push_back({200, "", "text/plain", true});
    w.Servicio_ConsultaSQL("select 2", http.direccion());
    ASSERT_TRUE(waits::until([&] { return http.peticiones.size() >= 3; }, "the query at the server"));
    ventana().show();
    ventana().findChild<QPushButton*>("btnCancelar")->click();
    EXPECT_FALSE(w.Ocupado || ventana().isVisible());
    http.respuestas.push_back({200, "c\r\nOK\r\n"});
    auto* reintentar = ventana().findChild<QPushButton*>("btnReintentar");
    reintentar->setEnabled(true);
    reintentar->click();
    ASSERT_TRUE(espera(3));
    EXPECT_EQ(http.peticiones.at(3).cuerpo, http.peticiones.at(2).cuerpo);
    EXPECT_EQ(volcado(w.Datos->Item(1)), "c=OK");
}

TEST_F(frmComInternetTest, MessageServicesWaitModallyAndJudgeTheReply) {
    const struct {
        bool xml;
        RespuestaHttp respuesta;
        bool exito;
        QString mensaje, aviso;
    } casos[] = {
        {false, {200, "ok"}, true, "", "Mensaje enviado correctamente"},
        {false, {200, "KO;sin saldo"}, false, "sin saldo", ""},
        {false, {200, "<b>Aviso</b>;;x"}, false, "Aviso\r\nx\r\n", ""},
        {false, {200, "", "text/plain", true}, false, "", "no se ha recibido respuesta del servidor"}, // time-out
        {true, {200, "<r><resultado>OK</resultado><mensaje>hecho</mensaje></r>"}, true, "hecho", ""},
        {true, {200, "<r><resultado/></r>"}, true, "", ""},
        {true, {200, "<r><resultado>KO</resultado></r>"}, false, "Error al intentar enviar mensaje.", ""},
        {true, {200, "<r>"}, false, "No se ha obtenido una respueta correcta del servidor", ""},
    };
    w.SegundosTimeOut = 0.5;
    bool visibleAlRecibir = false;
    http.alRecibir = [&] { visibleAlRecibir = ventana().isVisible() && ventana().isModal(); };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.respuesta.cuerpo.toStdString());
        http.respuestas.push_back(c.respuesta);
        m_prompts.calls.clear();
        QString mensaje = "previo";
        vb::ColeccionPtr filas;
        const QString url = "http://" + http.direccion() + "/mensaje";
        const bool r = c.xml ? w.Servicio_Drovanto_RespuestaXML(url, mensaje, filas, "m=1")
                             : w.Servicio_Drovanto(url, mensaje, filas, "m=1", ";");
        EXPECT_EQ(r, c.exito);
        EXPECT_EQ(mensaje, c.mensaje);
        EXPECT_EQ(m_prompts.calls.empty() ? QString() : m_prompts.calls.back().text, c.aviso);
        EXPECT_TRUE(visibleAlRecibir);
        EXPECT_FALSE(ventana().isVisible());
    }

    // A message sent while a query's reply is on its way: that reply is still read with the query's
    // "|", not the message's ";".
    QString primera;
    QObject::connect(&w, &frmComInternet::ProcesoTerminado, [&] {
        if (primera.isEmpty())
            primera = volcado(w.Datos->Item(1));
    });
    http.respuestas.push_back({200, "id|nombre\r\n1|pan\r\n"});
    http.respuestas.push_back({200, "ok"});
    w.Servicio_ConsultaSQL("select 1", http.direccion());
    QString mensaje;
    vb::ColeccionPtr filas;
    EXPECT_TRUE(w.Servicio_Drovanto("http://" + http.direccion() + "/mensaje", mensaje, filas, "m=1", ";"));
    EXPECT_EQ(primera, "id=1;nombre=pan");

    // Should the watchdog not end the request, the modal wait ends it itself, as timed out.
    http.alRecibir = [&] { w.findChild<QTimer*>("Timer1")->stop(); };
    http.respuestas.push_back({200, "", "text/plain", true});
    {
        waits::Deadline sinFin("the message service's modal wait to end by itself", 10000);
        EXPECT_FALSE(w.Servicio_Drovanto("http://" + http.direccion() + "/mensaje", mensaje, filas, "m=1", ";"));
    }
    EXPECT_EQ(w.Resultado, "Error de tiempo de espera");
    EXPECT_FALSE(w.Ocupado || ventana().isVisible());
}

TEST_F(frmComInternetTest, SyncTextRepliesImportTablesInOneTransaction) {
    // The table after each reply, which the next one starts from.
    const QString antes = "1\tpan\t9.00\n2\tsal\tNULL", despues = "1\tpan\t9.00\n2\tSAL\tNULL\n3\tuno\rdos\t2.50";
    QByteArray filasGrandes; // some 200 KB, behind a byte-order mark, in chunks
    for (int i = 1; i <= 5000; ++i)
        filasGrandes += QByteArray::number(i) + "|" + QByteArray(34, 'g') + "\r\n";
    const struct {
        RespuestaHttp respuesta;
        bool ok, error;
        QString articulos; // the table afterwards
    } casos[] = {
        {{200, "---OK\r\n---ok\r\n"}, true, false, antes}, // only OK lines: the commands before importing run
        {{200, "***articulos\r\nid|nombre\r\n9|x\r\n---ERROR:falla la consulta:3\r\n"}, true, true, antes}, // stops it
        // Values, upsert, an unknown column, forbidden and blank tables.
        {{200, "huerfana|1\r\n|||cierre:12:30:05\r\n***Hora\r\n2024-05-06 07:08:09\r\n***Config\r\nclave|v\r\n"
               "***articulos\r\nid|nombre|color|precio\r\n2|SAL|rojo|\r\n***Insert:articulos\r\nignorada\r\n"
               "***configtpv\r\nempresa|clave\r\n9|hackeo\r\n***ARTICULOS\r\n3|unopp1234ppdos|azul|2.5\r\n"
               "***qm_log\r\n \r\n"},
         true,
         false,
         despues},
        // A failure midway leaves every table as it was, as does a row with more fields than the header.
        {{200, "***idiomes\r\nidioma|text\r\n2|hola\r\n***articulos\r\nid|nombre\r\n1|PAN\r\n4|demasiado largo\r\n"},
         false,
         true,
         despues},
        {{200, "***articulos\r\nid|nombre\r\n1|a|b\r\n"}, false, true, despues},
        {{200, "***articulos\r\nid|nombre\r\n5|cinco\r\n", "text/plain", false, 0, 30}, false, true, despues},
        {{200, kBom + "***grande\r\nid|t\r\n" + filasGrandes, "text/plain", false, 30}, true, false, despues},
    };
    w.colComandosSQL_AntesImportar().Add(Variant("update articulos set precio = 9 where id = 1"));
    int n = 0;
    for (const auto& k : casos) {
        SCOPED_TRACE(k.respuesta.cuerpo.left(40).toStdString());
        pide(Modo::LecturaSincronizacion, k.respuesta);
        ASSERT_TRUE(espera(++n));
        EXPECT_EQ(std::pair(w.blnOk, w.blnError), std::pair(k.ok, k.error));
        EXPECT_EQ(m_core->valor("select * from articulos order by id"), k.articulos);
        EXPECT_TRUE(archivosTmp().isEmpty());
    }
    QStringList vars; // kept from reply to reply
    for (const TextoNombradoPtr& t : w.Variables())
        vars << t->Nombre() + "=" + t->Texto;
    EXPECT_EQ(vars.join(';'), "cierre=12:30:05;Hora=2024-05-06 07:08:09;clave=v");
    EXPECT_EQ(m_core->valor("select count(*) from configtpv where clave = 'hackeo'"), "0");
    EXPECT_EQ(m_core->valor("select count(*) from idiomes"), "0");
    EXPECT_EQ(m_core->valor("select count(*), max(id) from grande"), "5000\t5000");
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains("Errores devueltos por el servidor: ---ERROR"));
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains("no admite la columna [color]"));
}

// A value that the table would not keep as sent fails the reply and leaves every table as it was, on a
// strict server (the refusal) as on a lenient one (the warning); the link stands, nothing reconnects.
// Other work that runs meanwhile writes its rows outside the reply's transaction.
TEST_F(frmComInternetTest, AValueNotKeptAsSentFailsTheReplyAndRollsItBack) {
    const struct {
        const char* modo; // the session's SQL mode
        QByteArray filas;
        bool ok;
    } casos[] = {
        {"STRICT_TRANS_TABLES", "1|2.500|2024-02-29\r\n", true},
        {"STRICT_TRANS_TABLES", "8|2,50|\r\n9|2.50|\r\n10|3x|\r\n", false},
        {"STRICT_TRANS_TABLES", "8|NULL|\r\n", false},
        {"STRICT_TRANS_TABLES", "8|1|2024-02-30\r\n", false},
        {"STRICT_TRANS_TABLES", "|1|\r\n", false},                  // an empty key
        {"STRICT_TRANS_TABLES", "8|2.555|\r\n", false},             // rounded
        {"STRICT_TRANS_TABLES", "8|1|2024-02-28 10:00\r\n", false}, // the time cut off
        {"", "2|2.50|2024-02-28\r\n", true},
        {"", "8|2,50|\r\n", false},
        {"", "8|NULL|\r\n", false},
        {"", "8|1|2024-02-30\r\n", false},
        {"", "|1|\r\n", false},
    };
    int durante = 0, dentro = 0;
    QTimer otraPeticion; // another request's log row, whenever events run while the reply is read
    QObject::connect(&otraPeticion, &QTimer::timeout, [&] {
        dentro += ConexionServidor().InTransaction();
        if (w.Ocupado)
            durante += GrabaLogBBDD("durante la importación");
    });
    otraPeticion.start(0);
    const auto sesiones = [] {
        return ConexionServidor().Execute("select connection_id()")->Fields(0).Value.toString() + "/" +
               ConexionLocal().Execute("select connection_id()")->Fields(0).Value.toString();
    };
    const QString antes = sesiones();
    int n = 0, guardadas = 0;
    for (const auto& k : casos) {
        SCOPED_TRACE(k.modo + std::string(" ") + k.filas.toStdString());
        ConexionServidor().Execute(QString("set session sql_mode = '%1'").arg(k.modo));
        pide(Modo::LecturaSincronizacion, {200, "***precios\r\nid|precio|desde\r\n3|1.00|2024-01-01\r\n" + k.filas});
        ASSERT_TRUE(espera(++n));
        guardadas += k.ok ? (guardadas ? 1 : 2) : 0; // row 3 comes in every reply
        EXPECT_EQ(std::pair(w.blnOk, w.blnError), std::pair(k.ok, !k.ok));
        EXPECT_EQ(m_core->valor("select count(*) from precios"), QString::number(guardadas));
        EXPECT_EQ(sesiones(), antes); // the same two sessions: nothing closed, nothing reconnected
    }
    EXPECT_EQ(m_core->valor("select group_concat(id, ':', precio, ':', desde order by id) from precios"),
              "1:2.50:2024-02-29,2:2.50:2024-02-28,3:1.00:2024-01-01");
    EXPECT_EQ(dentro, 0);
    EXPECT_GT(durante, 0);
    EXPECT_EQ(m_core->valor("select count(*) from qm_log where Concepto like '%durante la importación'"),
              QString::number(durante));
}

// A failed reply leaves every table as it was: TRUNCATE runs as a DELETE, a transaction-ending command fails it.
TEST_F(frmComInternetTest, CommandsBeforeAnImportNeverOutliveAFailedReply) {
    const QString antes = "1\tpan\t1.00\n2\tsal\tNULL";
    const QByteArray falla = "***articulos\r\nid|nombre\r\n3|demasiado largo\r\n",
                     vale = "***articulos\r\nid|nombre\r\n3|tres\r\n";
    const std::tuple<const char*, QByteArray, QString> casos[] = {
        // commands, one a line | reply | table after
        {"truncate table articulos", falla, antes},
        {"/* vacía */ TRUNCATE `articulos`", falla, antes},
        {"delete from articulos where id = 2\nupdate articulos set precio = 5", falla, antes},
        {"delete from articulos where id = 2; drop table precios", vale, antes},
        {"create table otra (id int)", vale, antes},
        {"/*!40000 alter table articulos disable keys */", vale, antes},
        {"set autocommit = 1\ninsert into articulos (id) values (8)", vale, antes},
        {"commit", vale, antes},
        {"lock tables articulos write", vale, antes},
        {"rename table precios to precios2", vale, antes},
        {"insert into articulos (id, nombre) values (9, 'nueve'); truncate table articulos", vale, "3\ttres\tNULL"},
    };
    int n = 0;
    for (const auto& [comandos, respuesta, articulos] : casos) {
        SCOPED_TRACE(comandos);
        m_core->sql("delete from articulos; insert into articulos values (1, 'pan', 1.00), (2, 'sal', null)");
        while (w.colComandosSQL_AntesImportar().Count())
            w.colComandosSQL_AntesImportar().Remove(1);
        for (const QString& c : QString(comandos).split('\n'))
            w.colComandosSQL_AntesImportar().Add(Variant(c));
        pide(Modo::LecturaSincronizacion, {200, respuesta});
        ASSERT_TRUE(espera(++n));
        EXPECT_EQ(w.blnError, articulos == antes);
        EXPECT_EQ(m_core->valor("select * from articulos order by id"), articulos);
        EXPECT_EQ(m_core->valor("select count(*) from information_schema.tables where table_schema = database() and "
                                "table_name in ('precios', 'otra')"),
                  "1");
    }
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains(
        "Comando previo a la importación no admitido (terminaría la transacción): create table otra"));

    // A table without transactions would keep the rows written before the failure: it is not imported.
    m_core->sql("create table sinTransacciones (id int primary key) engine=MyISAM");
    pide(Modo::LecturaSincronizacion, {200, "***sinTransacciones\r\nid\r\n1\r\n" + vale});
    ASSERT_TRUE(espera(++n));
    EXPECT_TRUE(w.blnError);
    EXPECT_EQ(m_core->valor("select count(*) from sinTransacciones"), "0");
}

// Each pre-import command runs or is refused, before anything runs, for its true reason: a TRUNCATE
// as the server reads it and refuses it (a referenced table), a table without transactions however it
// is reached, a session setting; a refused list fails its own reply only; a temporary table made by the
// commands goes with the reply; a header naming no column fails the reply.
TEST_F(frmComInternetTest, EachPreImportCommandRunsOrIsRefusedForItsTrueReason) {
    m_core->sql("create table padre (id int primary key); create table hijo (id int primary key, padre int, "
                "foreign key (padre) references padre (id) on delete cascade);"
                "create table sinTx (id int primary key) engine=MyISAM; create view vistaSinTx as select id from sinTx;"
                "create table conDisparador (id int primary key); create trigger alInsertar after insert on "
                "conDisparador for each row insert into sinTx values (new.id + 100);");
    ConexionServidor().Execute("create function anota(x int) returns int modifies sql data begin insert into sinTx "
                               "values (x); return x; end");
    const QByteArray vale = "***articulos\r\nid|nombre\r\n3|tres\r\n";
    const QString ajustes = "cambiaría cómo se leen o comprueban las sentencias siguientes",
                  termina = "terminaría la transacción";
    const std::tuple<const char*, QString, const char*> casos[] = {
        // commands, one a line | the refusal's reason ("" runs) | afterwards: articulos ids; padre, hijo, sinTx counts
        {"truncate table padre", ".padre está referenciada por una clave ajena de ", "1,2;2,2,1"},
        {"truncate hijo", "", "1,2,3;2,0,1"},
        {"truncate articulos wait 5", "", "3;2,2,1"},
        {"truncate table `articulos` nowait", "", "3;2,2,1"},
        {"truncate articulos wait x", "no se lee como un TRUNCATE", "1,2;2,2,1"},
        {"delete from articulos where id = 1\ndelete from sinTx", ".sinTx no admite transacciones", "1,2;2,2,1"},
        {"update vistaSinTx set id = 5", ".sinTx no admite transacciones", "1,2;2,2,1"},
        {"insert into conDisparador values (1)", ".sinTx no admite transacciones", "1,2;2,2,1"},
        {"select anota(7)", ".sinTx no admite transacciones", "1,2;2,2,1"},
        {"select 1", "", "1,2,3;2,2,1"},
        {"set @a = 4, @b := 5\ndelete from articulos where id = @a - 3", "", "2,3;2,2,1"},
        {"create temporary table tmp (id int)\ninsert into tmp values (8)\n"
         "insert into articulos (id, nombre) select id, 'tmp' from tmp\ndrop temporary table if exists otra",
         "", "1,2,3,8;2,2,1"},
        {"create temporary table articulos (id int)", "la tabla temporal ocultaría la tabla ", "1,2;2,2,1"},
        {"set names latin1", ajustes, "1,2;2,2,1"},
        {"set session sql_mode = 'NO_BACKSLASH_ESCAPES'", ajustes, "1,2;2,2,1"},
        {"set @a = 1, foreign_key_checks = 0", ajustes, "1,2;2,2,1"},
        {"set @@session.autocommit = 1", termina, "1,2;2,2,1"},
        {"create table otra (id int)", termina, "1,2;2,2,1"},
        {"select 1 into outfile '/tmp/tarvolin-no'", "escribiría un archivo que la transacción no deshace",
         "1,2;2,2,1"},
        {"set @l = get_lock('importa', 0)", "tomaría un bloqueo que dura más que la transacción", "1,2;2,2,1"},
        {"do 1", "no es una de las sentencias que se admiten antes de importar", "1,2;2,2,1"},
        {"/*!50000 delete from articulos */", "no se lee con certeza", "1,2;2,2,1"},
    };
    int n = 0;
    for (const auto& [comandos, motivo, despues] : casos) {
        SCOPED_TRACE(comandos);
        m_core->sql("delete from articulos; insert into articulos values (1, 'pan', 1.00), (2, 'sal', null);"
                    "delete from hijo; delete from padre; insert into padre values (1), (2);"
                    "insert into hijo values (10, 1), (20, 2); delete from sinTx; insert into sinTx values (1)");
        while (w.colComandosSQL_AntesImportar().Count())
            w.colComandosSQL_AntesImportar().Remove(1);
        for (const QString& c : QString(comandos).split('\n'))
            w.colComandosSQL_AntesImportar().Add(Variant(c));
        recordingMainWindow().grid.clear();
        pide(Modo::LecturaSincronizacion, {200, vale});
        ASSERT_TRUE(espera(++n));
        EXPECT_EQ(w.blnError, !motivo.isEmpty());
        const QString log = recordingMainWindow().grid.join('\n');
        if (!motivo.isEmpty()) {
            EXPECT_TRUE(log.contains("Comando previo a la importación no admitido (")) << log.toStdString();
            EXPECT_TRUE(log.contains(motivo)) << log.toStdString();
            // the reason and the statement it refuses, and "ends the transaction" only where it would
            EXPECT_EQ(log.contains(termina), motivo == termina) << log.toStdString();
        }
        EXPECT_EQ(m_core->valor("select group_concat(id order by id) from articulos") + ";" +
                      m_core->valor("select concat((select count(*) from padre), ',', (select count(*) from hijo), "
                                    "',', (select count(*) from sinTx))"),
                  despues);
        // no temporary table outlives the reply: the table of that name is the real one again
        EXPECT_ANY_THROW(ConexionServidor().Execute("select * from tmp"));
    }

    // A refused list fails its own reply only; one that ran stays for the next reply, as it always did.
    for (const char* c : {"set names latin1", "update articulos set nombre = 'uno' where id = 1"}) {
        w.colComandosSQL_AntesImportar().Add(Variant(c));
        pide(Modo::LecturaSincronizacion, {200, vale});
        ASSERT_TRUE(espera(++n));
        pide(Modo::LecturaSincronizacion, {200, vale});
        ASSERT_TRUE(espera(++n));
        EXPECT_FALSE(w.blnError) << c;
    }
    EXPECT_EQ(w.colComandosSQL_AntesImportar().Count(), 1);
    EXPECT_EQ(m_core->valor("select nombre from articulos where id = 1"), "uno");

    // A table whose trigger writes into a table without transactions is not imported: its rows there
    // would outlive a failed reply.
    pide(Modo::LecturaSincronizacion, {200, "***conDisparador\r\nid\r\n5\r\n"});
    ASSERT_TRUE(espera(++n));
    EXPECT_TRUE(w.blnError);
    EXPECT_EQ(m_core->valor("select (select count(*) from conDisparador) + (select count(*) from sinTx)"), "1");
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains("La tabla conDisparador lleva a la tabla "));

    // A header naming none of the table's columns imports nothing: the reply fails and says why.
    pide(Modo::LecturaSincronizacion, {200, "***articulos\r\ncolor|talla\r\nrojo|M\r\n"});
    ASSERT_TRUE(espera(++n));
    EXPECT_TRUE(w.blnError);
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains(
        "La cabecera de la tabla articulos no nombra ninguna de sus columnas: color|talla"));
}

// A value a column would change silently (8.7 to a key 9, a dropped fraction) fails the reply; one kept reads as sent.
TEST_F(frmComInternetTest, EveryTypeKeepsAnImportedValueAsSentOrRefusesIt) {
    m_core->sql("create table tipos (id int primary key, n bigint, d decimal(6,2), t time, dt datetime(3), "
                "y year, f double, c varchar(5), ti tinyint, si smallint, mi mediumint)");
    // column: value | kept as sent (the read-back text when it differs in form only); the reply is Windows-1252
    const std::pair<const char*, std::vector<std::pair<const char*, const char*>>> casos[] = {
        {"id", {{"8.7", nullptr}, {"1e1", nullptr}, {"-7", "-7"}}},
        {"n", {{"+12", "12"}, {"12 ", nullptr}, {"0x1F", nullptr}}},
        {"d", {{"2.5", "2.50"}, {"2.500", "2.50"}, {"2.555", nullptr}, {".", nullptr}, {"-.5", "-0.50"}}},
        {"t", {{"10:00:00", "10:00:00"}, {"10:00:00.5", nullptr}, {"10:00:00.000", "10:00:00"}}},
        {"dt",
         {{"2024-02-28 10:00:00.123", "2024-02-28 10:00:00.123"},
          {"2024-02-28 10:00:00.1234", nullptr},
          {"2024-02-28 10:00:00.1230", "2024-02-28 10:00:00.123"}}},
        {"y", {{"2024", "2024"}, {"24", nullptr}}},
        {"f", {{"2.5e3", "2500"}}},
        {"c", {{"abcdef", nullptr}, {"a\xf1o", "año"}}},
        {"ti", {{"1.5", nullptr}, {"-128", "-128"}, {"2.0", nullptr}}},
        {"si", {{"1.5", nullptr}, {"-32768", "-32768"}, {"1e2", nullptr}}},
        {"mi", {{"1.5", nullptr}, {"8388607", "8388607"}, {"0x10", nullptr}}},
    };
    int n = 0;
    for (const auto& [columna, valores] : casos)
        for (const auto& [valor, leido] : valores) {
            SCOPED_TRACE(std::string(columna) + " " + valor);
            m_core->sql("delete from tipos; insert into tipos (id) values (1), (9)");
            const bool esId = QByteArray(columna) == "id";
            pide(Modo::LecturaSincronizacion,
                 {200, esId ? "***tipos\r\nid\r\n" + QByteArray(valor) + "\r\n"
                            : "***tipos\r\nid|" + QByteArray(columna) + "\r\n1|" + valor + "\r\n"});
            ASSERT_TRUE(espera(++n));
            EXPECT_EQ(w.blnError, leido == nullptr);
            const char* tabla = !leido ? (esId ? "1:1,9:9" : "1:-,9:-") : esId ? "%1:%1,1:1,9:9" : "1:%1,9:-";
            const QString sql = QString("select group_concat(id, ':', coalesce(%1, '-') order by id) from tipos");
            EXPECT_EQ(m_core->valor(sql.arg(columna)), leido ? QString(tabla).arg(leido) : QString(tabla));
        }
}

// The time limit is bounded: negative or NaN is the default 20 s, past a day a day; the watchdog runs either way.
TEST_F(frmComInternetTest, TheTimeLimitIsBoundedAtBothEnds) {
    const std::pair<double, double> casos[] = {
        {0, 20}, {-5, 20}, {-1, 20}, {std::nan(""), 20}, {0.5, 0.5}, {3e6, frmComInternet::kSegundosTimeOutMax}};
    int n = 0;
    for (const auto& [pedidos, tomados] : casos) {
        SCOPED_TRACE(pedidos);
        w.SegundosTimeOut = pedidos;
        pide(Modo::LecturaSinLector, {200, "ok"});
        EXPECT_EQ(w.SegundosTimeOut, tomados);
        EXPECT_EQ(w.findChild<QTimer*>("Timer1")->interval(), int((tomados + 1) * 1000));
        EXPECT_TRUE(w.findChild<QTimer*>("Timer1")->isActive());
        ASSERT_TRUE(espera(++n));
    }
}

// The customer-promotions reply: "#"-separated fields, its first line naming them, read into Datos.
TEST_F(frmComInternetTest, ThePromotionsReplyIsReadByItsSeparator) {
    objParametros().SetValor("IpCentral", http.direccion());
    http.respuestas.push_back({200, "idPromocion#descripcion#vigente\r\n4#2x1 en ca\xf1"
                                    "as|jarras#S\r\n7#Postre gratis#N\r\n"});
    w.PromocionesCliente(42, false);
    ASSERT_TRUE(espera(1));
    EXPECT_TRUE(w.blnOk && !w.blnError);
    ASSERT_EQ(w.Datos->Count(), 2);
    EXPECT_EQ(volcado(w.Datos->Item(1)), "idPromocion=4;descripcion=2x1 en cañas|jarras;vigente=S");
    EXPECT_EQ(volcado(w.Datos->Item(2)), "idPromocion=7;descripcion=Postre gratis;vigente=N");
    ASSERT_EQ(w.Columnas->Count(), 3);
    EXPECT_EQ(w.Columnas->Item(3).Nombre, "vigente");
    EXPECT_TRUE(http.peticiones.at(0).cuerpo.contains("solo_promociones_vigentes=N"));
}

// In every global mode of a server of the test's own, an import's values and commands read as written.
TEST_F(frmComInternetTest, AnImportHoldsInEveryServerMode) {
    testenv::ServidorDeModos modos;
    ASSERT_TRUE(modos.arranca()) << modos.servidor.error().toStdString();
    auto& [servidor, admin] = modos;
    admin.Execute("create table modos.articulos (id int primary key, nombre varchar(20))");
    for (const char* c : {"truncate table articulos", R"(insert into articulos values (1, 'a\'b"c\\'))",
                          R"(insert into articulos values (2, "d\"e'f"))"})
        w.colComandosSQL_AntesImportar().Add(Variant(c));
    int n = 0;
    for (const char* global : testenv::ServidorDeModos::kModos) {
        SCOPED_TRACE(global);
        modos.modoGlobal(global);
        ConexionServidor().Close();
        ConexionServidor().Open(servidor.cadena("modos"));
        pide(Modo::LecturaSincronizacion, {200, "***articulos\r\nid|nombre\r\n3|O'B\\\"x\\\r\n"});
        ASSERT_TRUE(espera(++n));
        EXPECT_FALSE(w.blnError);
        const auto leidos = admin.Execute("select group_concat(nombre order by id separator '|') from modos.articulos");
        EXPECT_EQ(leidos->Fields(0).Value.toString(), R"(a'b"c\|d"e'f|O'B\"x\)");
    }
}

// Each reading mode decodes a reply by its byte-order mark, or an XML one by its declaration.
TEST_F(frmComInternetTest, EachReadingModeDecodesByTheMarkOrTheDeclaration) {
    const auto fila1 = [this] { return w.Datos->Count() ? volcado(w.Datos->Item(1)) : QString(); };
    const struct {
        Modo modo;
        QByteArray respuesta;
        std::function<QString()> leido;
        QString esperado;
    } casos[] = {
        {Modo::LecturaDelimitada, kBom + "id|nombre\r\n1|a\xc3\xb1o\r\n", fila1, "id=1;nombre=año"},
        {Modo::LecturaDelimitada, "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(u"id|n\r\n1|ñ"), 18), fila1,
         "id=1;n=ñ"},
        {Modo::LecturaSincronizacion, kBom + "***articulos\r\nid|nombre\r\n5|a\xc3\xb1o\r\n",
         [this] { return m_core->valor("select nombre from articulos where id = 5"); }, "año"},
        {Modo::LecturaXML, kBom + "<r><resultado>OK</resultado></r>", fila1, "resultado=OK"},
        {Modo::LecturaXML, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><m>a\xc3\xb1o</m></r>", fila1,
         "xml=version=\"1.0\" encoding=\"UTF-8\";m=año"},
        {Modo::LecturaSinLector, kBom + "a\xc3\xb1o", [this] { return w.Resultado; }, "año"},
    };
    int n = 0;
    for (const auto& k : casos) {
        SCOPED_TRACE(k.esperado.toStdString());
        pide(k.modo, {200, k.respuesta});
        ASSERT_TRUE(espera(++n));
        EXPECT_TRUE(w.blnOk && !w.blnError);
        EXPECT_EQ(k.leido(), k.esperado);
    }
}

TEST(frmComInternet, XmlReplies) {
    const std::pair<QString, QString> casos[] = {
        {"", ""},
        {"<r><a>1</a><b/></r>", "a=1;b="},
        {"<?xml version=\"1.0\"?><!--nota--><r><a>1</a></r>", "xml=version=\"1.0\";#comment=nota;a=1"},
        {"<r><g><h><x>1</x><y><z>2</z></y></h></g></r>", "x=1;y=2"},
    };
    for (const auto& [texto, esperado] : casos)
        EXPECT_EQ(volcado(frmComInternet::XMLtoEntidad(texto)), esperado) << texto.toStdString();
}

} // namespace
