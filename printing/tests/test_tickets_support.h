#pragma once
// Shared set-up of the ticket composer's tests: a connected core on a scratch database with every
// parameter the composer and the printer layer read, a fixed clock, the recording printer output,
// scripted prompts, the rows of a small restaurant, and the golden-file comparison of whole jobs.
//
// Golden files live in printing/tests/fixtures/tickets/. Run the tests with
// TARVOLIN_REGENERATE_GOLDEN=1 to rewrite them from the current output (then review each by eye).
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "core/tests/ConnectedCore.h"
#include "platform/Clock.h"
#include "platform/Printers.h"
#include "platform/Prompts.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/basPrinter.h"
#include "printing/clsImpresionPantalla.h"
#include "printing/clsImprimirTicket.h"
#include "printing/tests/PrinterFixture.h"
#include "testsupport/RecordingOutput.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace tickettest {

using printertest::bytes;

// Every parameter read while printing, at the values the golden tickets start from.
inline QList<QPair<QString, QString>> parametrosTicket() {
    // name=value, separated by blanks: the kitchen header, the article lines, the foot
    const QStringList valores =
        QStringLiteral(
            "TieneImpresoraFisica=1 EspacioEntreLineasCocina=30 ImprimirAnulacionesRojo=0 "
            "BlancosCabeceraTicketCocina=1 ImpDosCarTickGrandes=1 GrupoComandas=1 "
            "ConectarPantallasCocinaDirectasaTPV=0 ImprimirNombreImpresoraTicketCocina=0 ImpLogoTicketCocina=0 "
            "TextoCabeceraCocina=COCINA ImprimirVendedorTicketCocina=1 VendedorTicketOLinea=T ImpNombreVendedor=1 "
            "ImpMesaTickCocina=1 ImpMesaTickCocinaGrande=0 NoImpCodigoMesas=0 ImpCodigoMesasSalas=0 "
            "LineasHorizontalesCocina=0 ImpCabTickCocinaFinal=0 TicketGrande=0 ImprimirTPVCocina=1 "
            "ImprimirSalaCocina=1 ImprimirSalaGrandeCocina=0 TicCocinaImprimirPaxs=1 ImprimirClienteTicketCocina=0 "
            "ImpArtInvTickCocina=0 InterlineadoImpresoraCocina=0 TipoImpresionNegritaArticulosTicketCocina=0 "
            "ImprimirMenusDiferenciado=0 ImpSoloArtsLetraGrandeCocina=0 ImpArtsLetraGrandeCocina=0 "
            "ImpArtsMayusculas=0 ImprimirObservacionesTicketCocina=1 ImprimirObservacionesLetraGrande=0 BlancosPie=2 ")
            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QList<QPair<QString, QString>> r;
    for (const QString& kv : valores)
        r.append({kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1)});
    // printer output, codes, cut and logo
    r += printertest::parametrosSalida({{"CodigosEscTicketCocina", "1"},
                                        {"ImpresoraSecundaria", "SECUNDARIA"},
                                        {"NoImprimirLogo", "1"},
                                        {"FacturadoraMostrarMensajePapel", "0"}});
    return r;
}

// A small restaurant: till 3 prints ticket 1234 of table 12 in the dining room, with a seller,
// a waiter, four guests and observations; the other rows serve the special tables and look-ups.
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

// ---- golden files ----

// One job as rows of hex with the same bytes beside them; a row ends at a line feed or after 16 bytes.
// Beside the hex, printable ASCII stands as itself and every other byte as {ESC}, {GS}, {CR}, {LF} or
// its hex value in braces.
inline QString renderTrabajos(const std::vector<printers::RecordingOutput::Job>& trabajos) {
    auto simbolo = [](unsigned char b) -> QString {
        switch (b) {
        case 27:
            return QStringLiteral("{ESC}");
        case 29:
            return QStringLiteral("{GS}");
        case 28:
            return QStringLiteral("{FS}");
        case 13:
            return QStringLiteral("{CR}");
        case 10:
            return QStringLiteral("{LF}");
        default:
            if (b >= 0x20 && b < 0x7f && b != '{' && b != '}')
                return QString(QChar(b));
            return QStringLiteral("{%1}").arg(int(b), 2, 16, QLatin1Char('0')).toUpper();
        }
    };
    QString r;
    int i = 0;
    for (const auto& t : trabajos) {
        r += QStringLiteral("== job %1/%2 -> %3, %4 bytes\n")
                 .arg(++i)
                 .arg(trabajos.size())
                 .arg(t.printer)
                 .arg(t.data.size());
        QString hex, texto;
        int enFila = 0;
        auto cierraFila = [&] {
            r += hex.leftJustified(48) + QStringLiteral("| ") + texto + QLatin1Char('\n');
            hex.clear();
            texto.clear();
            enFila = 0;
        };
        for (char c : t.data) {
            const auto b = static_cast<unsigned char>(c);
            hex += QStringLiteral("%1 ").arg(int(b), 2, 16, QLatin1Char('0'));
            texto += simbolo(b);
            if (++enFila == 16 || b == 10)
                cierraFila();
        }
        if (enFila > 0)
            cierraFila();
    }
    return r;
}

inline QString rutaGolden(const QString& nombre) {
    return testenv::sourceDir() + QStringLiteral("/printing/tests/fixtures/tickets/") + nombre + QStringLiteral(".txt");
}

inline void comparaGolden(const QString& nombre, const std::vector<printers::RecordingOutput::Job>& trabajos) {
    const QString actual = renderTrabajos(trabajos);
    const QString ruta = rutaGolden(nombre);
    if (qEnvironmentVariable("TARVOLIN_REGENERATE_GOLDEN") == QLatin1String("1")) {
        QDir().mkpath(QFileInfo(ruta).path());
        QFile f(ruta);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << ruta.toStdString();
        f.write(actual.toUtf8());
        return;
    }
    QFile f(ruta);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly))
        << "missing golden file " << ruta.toStdString() << " (run with TARVOLIN_REGENERATE_GOLDEN=1 and review it)";
    EXPECT_EQ(QString::fromUtf8(f.readAll()).toStdString(), actual.toStdString()) << "golden " << nombre.toStdString();
}

// ---- fixture ----

class TicketTest : public ::testing::Test {
protected:
    std::unique_ptr<coretest::ConnectedCore> core;
    printers::RecordingOutput salida;
    prompts::ScriptedPrompts avisos;

    // The clock reads 14 March 2026, 13:45:30; the service connected on the 13th.
    static QDateTime ahora() { return QDateTime(QDate(2026, 3, 14), QTime(13, 45, 30)); }

    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        coretest::ConnectedCoreOptions o;
        o.prefijo = QStringLiteral("tickets");
        o.parametros = parametrosTicket();
        o.cargarConfigTPV = false;
        core = std::make_unique<coretest::ConnectedCore>(o);
        ASSERT_TRUE(core->ok());
        ASSERT_TRUE(core->sql(QString::fromUtf8(kFilasRestaurante)));
        clock_seam::setNowSource([] { return ahora(); });
        gdtmFechaConexion = QDateTime(QDate(2026, 3, 13), QTime(9, 0, 0));
        printers::install(&salida);
        prompts::install(&avisos);
        basPrinter::resetForTests();
        setErrorPrinter(&ErrorTicketPrinter::instance());
        objImpresionPantalla().Inicializa();
    }

    void TearDown() override {
        basPrinter::resetForTests();
        objImpresionPantalla().Inicializa();
        printers::install(nullptr);
        prompts::install(nullptr);
        core.reset();
    }

    static void par(const QString& clave, const QString& valor) { objParametros().SetValor(clave, valor); }

    // Jobs that carry the central error handler's printed line.
    std::vector<QString> lineasError() const {
        std::vector<QString> r;
        for (const auto& t : salida.jobs)
            if (t.data.startsWith("Tarvolin Error: "))
                r.push_back(QString::fromLatin1(t.data));
        return r;
    }
    // Jobs of tickets (every job that is not an error line).
    std::vector<printers::RecordingOutput::Job> trabajosTicket() const {
        std::vector<printers::RecordingOutput::Job> r;
        for (const auto& t : salida.jobs)
            if (!t.data.startsWith("Tarvolin Error: "))
                r.push_back(t);
        return r;
    }
    // All ticket bytes in order, as one text (each byte one Latin-1 character) for searching.
    QString todo() const {
        QByteArray a;
        for (const auto& t : trabajosTicket())
            a += t.data;
        return QString::fromLatin1(a);
    }
};

} // namespace tickettest
