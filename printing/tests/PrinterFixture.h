#pragma once
// Shared set-up of the printing tests; for the composer a connected core with a small restaurant's rows, a fixed
// clock and the golden files in fixtures/tickets/ (TARVOLIN_REGENERATE_GOLDEN=1 rewrites them: review by eye).
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "core/tests/ConnectedCore.h"
#include "platform/Clock.h"
#include "platform/Printers.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/basPrinter.h"
#include "printing/clsImpresionPantalla.h"
#include "printing/clsImprimirTicket.h"
#include "printing/tests/ParametrosSalida.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/RecordingOutput.h"
#include "testsupport/ReiniciaTodo.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestEnv.h"
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>

namespace printertest {

inline QByteArray bytes(std::initializer_list<int> b) {
    QByteArray a;
    for (int x : b)
        a.append(char(x));
    return a;
}
inline QByteArray operator""_b(const char* s, size_t n) {
    return QByteArray(s, qsizetype(n));
}
inline QByteArray saltos(int n) {
    return QByteArray("\r\n").repeated(n);
}
// Bytes as the golden files show them: printable ASCII as itself, others as {ESC}, {GS}, {FS}, {CR}, {LF} or hex.
inline QString legible(const QByteArray& a) {
    const QHash<int, QString> nombres{{27, "ESC"}, {29, "GS"}, {28, "FS"}, {13, "CR"}, {10, "LF"}};
    QString r;
    for (const char c : a) {
        const auto b = static_cast<unsigned char>(c);
        if (nombres.contains(b))
            r += QLatin1Char('{') + nombres[b] + QLatin1Char('}');
        else if (b >= 0x20 && b < 0x7f && b != '{' && b != '}')
            r += QChar(b);
        else
            r += QStringLiteral("{%1}").arg(int(b), 2, 16, QLatin1Char('0')).toUpper();
    }
    return r;
}

// The recording output and scripted prompts installed; every test ends on testenv::reiniciaTodo.
class SalidaGrabada : public ::testing::Test {
protected:
    printers::RecordingOutput salida;
    prompts::ScriptedPrompts avisos;

    static void par(const QString& clave, const QString& valor) { objParametros().SetValor(clave, valor); }
    static void pon(const char* texto) { // name=value, separated by blanks
        for (const auto& [k, v] : printertest::pares(QString::fromUtf8(texto)))
            par(k, v);
    }
    // After testenv::reiniciaTodo: the fixture's output and prompts, the printer layer's services as at start-up.
    void instala() {
        printers::install(&salida);
        prompts::install(&avisos);
        basPrinter::InstalaServiciosImpresion();
    }
    void TearDown() override {
        testenv::reiniciaTodo();
        printers::install(nullptr);
        prompts::install(nullptr);
    }
    int mensajes() const {
        return int(std::count_if(avisos.calls.begin(), avisos.calls.end(),
                                 [](const auto& c) { return c.kind == QLatin1String("messageBox"); }));
    }
};

// The printer layer alone, its parameters in the store built from the application's registry key.
class PrinterTest : public SalidaGrabada {
protected:
    basPrinter::BufferImpresion trabajo; // the job the calls of a test compose
    QString& buffer = trabajo.Texto;

    void SetUp() override { reinicia(); }
    // Every state as at start, default parameters, no jobs; message boxes, not error tickets (none loaded).
    void reinicia() {
        testenv::reiniciaTodo();
        coretest::borraRegistro();
        for (const auto& [k, v] :
             pares(QStringLiteral("IpServidor=1 Empresa=1 Restaurante=1 TPV=1")) + parametrosSalida())
            coretest::escribeRegistro(k, v);
        objParametros().GetParamReg();
        recordingMainWindow().grid.clear(); // the trace starts after the parameters' reading
        salida.jobs.clear();
        avisos.calls.clear();
        trabajo = {};
        instala();
    }
};

} // namespace printertest

namespace tickettest {

using printertest::bytes;
using printertest::legible;

// Every parameter read while printing, at the values the golden tickets start from.
inline QList<QPair<QString, QString>> parametrosTicket() {
    return printertest::pares(QStringLiteral(
               "TieneImpresoraFisica=1 EspacioEntreLineasCocina=30 ImprimirAnulacionesRojo=0 "
               "BlancosCabeceraTicketCocina=1 ImpDosCarTickGrandes=1 GrupoComandas=1 "
               "ConectarPantallasCocinaDirectasaTPV=0 ImprimirNombreImpresoraTicketCocina=0 ImpLogoTicketCocina=0 "
               "TextoCabeceraCocina=COCINA ImprimirVendedorTicketCocina=1 VendedorTicketOLinea=T ImpNombreVendedor=1 "
               "ImpMesaTickCocina=1 ImpMesaTickCocinaGrande=0 NoImpCodigoMesas=0 ImpCodigoMesasSalas=0 "
               "LineasHorizontalesCocina=0 ImpCabTickCocinaFinal=0 TicketGrande=0 ImprimirTPVCocina=1 "
               "ImprimirSalaCocina=1 ImprimirSalaGrandeCocina=0 TicCocinaImprimirPaxs=1 "
               "ImprimirClienteTicketCocina=0 ImpArtInvTickCocina=0 InterlineadoImpresoraCocina=0 "
               "TipoImpresionNegritaArticulosTicketCocina=0 ImprimirMenusDiferenciado=0 "
               "ImpSoloArtsLetraGrandeCocina=0 ImpArtsLetraGrandeCocina=0 ImpArtsMayusculas=0 "
               "ImprimirObservacionesTicketCocina=1 ImprimirObservacionesLetraGrande=0 BlancosPie=2")) +
           printertest::parametrosSalida({{"CodigosEscTicketCocina", "1"},
                                          {"ImpresoraSecundaria", "SECUNDARIA"},
                                          {"NoImprimirLogo", "1"},
                                          {"FacturadoraMostrarMensajePapel", "0"}});
}

// Till 3 prints ticket 1234 of table 12 (seller, waiter, four guests, observations); other rows: special tables.
inline const char* kFilasRestaurante = R"SQL(
insert into maetpv (empresa, restaurante, codigo, nombre) values (1, 1, 1, '  TPV Barra  '), (1, 1, 3, 'TPV Terraza');
insert into maesal (empresa, restaurante, sala, nombre) values (1, 1, 1, 'Comedor');
insert into maemes (empresa, restaurante, sala, mesa, nombre) values (1, 1, 1, 12, 'Ventana'), (1, 1, 1, 9996, 'Barra');
insert into maecam (empresa, restaurante, codigo, usuario, nombre) values
  (1, 1, 1, 'ANA', 'Ana García'), (1, 1, 2, 'LUIS', 'Luis Martínez');
insert into Camareros (idCamarero, Descripcion) values (1, 'Ana (comandero)'), (2, 'Luis (comandero)');
insert into maepv (empresa, restaurante, codigo, nombre) values (1, 1, 1, 'Comedor'), (1, 1, 4, 'Para llevar');
insert into maeven (empresa, vendedor, nombre) values (1, 7, 'Marta López');
insert into qm_cabticket (idEmpresa, idRestaurante, idTPV, idTicket, Fecha, hora, idMesa, idSala, idCamarero, idPV,
                          idVendedor, DescTicket, paxs, SerieTicket, NumTicketFormateado) values
  (1, 1, 3, 1234, '2026-03-13', '13:40:00', 12, 1, 1, 1, 7, '', 4, '', '003-000001234'),
  (1, 1, 3, 9995, '2026-03-13', '13:41:00', 9995, 1, 2, 4, null, '', null, '', null),
  (1, 1, 3, 9996, '2026-03-13', '13:41:00', 9996, 1, 2, 1, null, '', 2, '', null),
  (1, 1, 3, 9997, '2026-03-13', '13:41:00', 9997, 0, 2, 4, null, 'Recoger 14:30', 1, '', null),
  (1, 1, 3, 9998, '2026-03-13', '13:41:00', 9998, 1, 9, 4, null, '', 1, 'A', null),
  (1, 1, 3, 9999, '2026-03-13', '13:41:00', 9999, null, null, 4, null, '', 1, '', null);
insert into qm_cabticket_observ (idEmpresa, idRestaurante, idTPV, idTicket, observ_preparacion, Observ) values
  (1, 1, 3, 1234, 'Entrecot al punto, sin sal', 'Cliente celiaco: sin gluten en toda la comanda, por favor');
)SQL";

inline const QString kTextoCocina =
    QStringLiteral("1 Entrecot\r\n2 Ca\u00f1a<br><b>1 Pizza</b> sin queso<br>1 Ensalada de la casa con vinagreta de "
                   "mostaza y miel");

// Each job as rows of hex with the same bytes beside them; a row ends at a line feed or after 16 bytes.
inline QString renderTrabajos(const std::vector<printers::RecordingOutput::Job>& trabajos) {
    QString r;
    int i = 0;
    for (const auto& t : trabajos) {
        r += QStringLiteral("== job %1/%2 -> %3, %4 bytes\n")
                 .arg(++i)
                 .arg(trabajos.size())
                 .arg(t.printer)
                 .arg(t.data.size());
        for (qsizetype k = 0; k < t.data.size();) {
            qsizetype fin = k;
            while (fin < t.data.size() && fin - k < 16 && (fin == k || t.data[fin - 1] != '\n'))
                ++fin;
            const QByteArray fila = t.data.mid(k, fin - k);
            r += QString::fromLatin1(fila.toHex(' ') + ' ').leftJustified(48) + QStringLiteral("| ") + legible(fila) +
                 QLatin1Char('\n');
            k = fin;
        }
    }
    return r;
}

inline void comparaGolden(const QString& nombre, const std::vector<printers::RecordingOutput::Job>& trabajos) {
    const QString actual = renderTrabajos(trabajos);
    const QString ruta = testenv::sourceDir() + QStringLiteral("/printing/tests/fixtures/tickets/") + nombre + ".txt";
    QFile f(ruta);
    if (qEnvironmentVariable("TARVOLIN_REGENERATE_GOLDEN") == QLatin1String("1")) {
        QDir().mkpath(QFileInfo(ruta).path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << ruta.toStdString();
        f.write(actual.toUtf8());
        return;
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly))
        << "missing golden file " << ruta.toStdString() << " (run with TARVOLIN_REGENERATE_GOLDEN=1 and review it)";
    EXPECT_EQ(QString::fromUtf8(f.readAll()).toStdString(), actual.toStdString()) << "golden " << nombre.toStdString();
}

// A connected core with the restaurant's rows; the clock reads 14 March 2026 13:45:30, connected on the 13th.
class TicketTest : public printertest::SalidaGrabada {
protected:
    std::unique_ptr<coretest::ConnectedCore> core;

    static QDateTime ahora() { return QDateTime(QDate(2026, 3, 14), QTime(13, 45, 30)); }

    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        core = std::make_unique<coretest::ConnectedCore>(coretest::ConnectedCoreOptions{
            .prefijo = "tickets", .parametros = parametrosTicket(), .sqlInicial = {}, .cargarConfigTPV = false});
        ASSERT_TRUE(core->ok());
        ASSERT_TRUE(core->sql(QString::fromUtf8(kFilasRestaurante)));
        clock_seam::setNowSource([] { return ahora(); });
        gdtmFechaConexion = QDateTime(QDate(2026, 3, 13), QTime(9, 0, 0));
        instala();
        setErrorPrinter(&ErrorTicketPrinter::instance());
    }
    void TearDown() override {
        SalidaGrabada::TearDown();
        core.reset();
    }
    static bool esError(const printers::RecordingOutput::Job& t) { return t.data.startsWith("Tarvolin Error: "); }
    std::vector<QString> lineasError() const {
        std::vector<QString> r;
        for (const auto& t : salida.jobs)
            if (esError(t))
                r.push_back(QString::fromLatin1(t.data));
        return r;
    }
    std::vector<printers::RecordingOutput::Job> trabajosTicket() const {
        std::vector<printers::RecordingOutput::Job> r;
        std::copy_if(salida.jobs.begin(), salida.jobs.end(), std::back_inserter(r),
                     [](const auto& t) { return !esError(t); });
        return r;
    }
    // All ticket bytes in order, one Latin-1 character each.
    QString todo() const {
        QByteArray a;
        for (const auto& t : trabajosTicket())
            a += t.data;
        return QString::fromLatin1(a);
    }
};

} // namespace tickettest
