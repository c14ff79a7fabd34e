#pragma once
// The request server as it runs in the service: a connected core on a scratch database with the
// rows of a small restaurant, the printer layer writing to a raw CUPS queue whose device is a TCP
// capture in this process, and a clsSocketFront listening on a port of its own choosing.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "core/tests/ConnectedCore.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Prompts.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/basPrinter.h"
#include "printing/clsImpresionPantalla.h"
#include "printing/tests/test_tickets_support.h"
#include "scale/clsComm.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/TestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace servertest {

using ColaCaptura = testenv::ColaCaptura;

// The scale settings the weighing reads (request mode, model 0, no manual entry).
inline QList<QPair<QString, QString>> parametrosBalanza() {
    return {{"UsarBalanza", "0"},
            {"ModeloBalanza", "0"},
            {"BalanzaModoContinuo", "0"},
            {"TiempoBalanzaModoContinuo", "300"},
            {"TipoFuncionamientoBalanza", "0"},
            {"PermitirEntradaPesoManual", "0"},
            {"PosicionImporteDisplay", "0"},
            {"FuncPizzeria", "0"}};
}

class ServidorReal : public ::testing::Test {
protected:
    std::unique_ptr<ColaCaptura> cola;
    std::unique_ptr<coretest::ConnectedCore> core;
    prompts::ScriptedPrompts avisos;
    std::unique_ptr<clsSocketFront> front;
    quint16 puerto = 0;

    // Registry values over the base ones, for fixtures that need other settings.
    virtual QList<QPair<QString, QString>> parametrosExtra() const { return {}; }

    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        TARVOLIN_REQUIRE_CUPS();
        cola = std::make_unique<ColaCaptura>(QStringLiteral("tarvolin_srv"));
        ASSERT_TRUE(cola->creada);

        coretest::ConnectedCoreOptions o;
        o.prefijo = QStringLiteral("server");
        o.cargarConfigTPV = false;
        o.parametros = tickettest::parametrosTicket() + parametrosBalanza();
        for (auto& p : o.parametros)
            if (p.first == QLatin1String("ImpTicket"))
                p.second = cola->nombre;
        o.parametros += parametrosExtra();
        core = std::make_unique<coretest::ConnectedCore>(o);
        ASSERT_TRUE(core->ok());
        ASSERT_TRUE(core->sql(QString::fromUtf8(tickettest::kFilasRestaurante)));

        // The post-connection step of the start-up, as far as the request server depends on it.
        objParametros().SetValor(QStringLiteral("PermitirVariosTPVSSimultaneamente"), QStringLiteral("0"));
        clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 14), QTime(13, 45, 30)); });
        gdtmFechaConexion = QDateTime(QDate(2026, 3, 13), QTime(9, 0, 0));
        prompts::install(&avisos);
        printers::install(nullptr);
        basPrinter::resetForTests();
        setErrorPrinter(&ErrorTicketPrinter::instance());
        objImpresionPantalla().Inicializa();
        resetObjCommForTests();
        gblnBalanzaActiva = false;

        front = std::make_unique<clsSocketFront>();
        front->setPuertoForzado(0);
        front->Inicia();
        ASSERT_TRUE(front->SocketIniciado);
        puerto = front->puertoEscucha();
        ASSERT_NE(puerto, 0);
    }

    void TearDown() override {
        front.reset();
        program::waitMs(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        resetObjCommForTests();
        gblnBalanzaActiva = false;
        basPrinter::resetForTests();
        printers::install(nullptr);
        prompts::install(nullptr);
        core.reset();
        cola.reset();
    }

    QByteArray pide(const QByteArray& peticion) { return intercambio(puerto, peticion); }

    // Rows of the main window's log grid that contain `texto`.
    static int filas(const QString& texto) {
        int n = 0;
        for (const QString& f : recordingMainWindow().grid)
            n += f.contains(texto);
        return n;
    }
    // Jobs that reached the capture, waiting (bounded) for at least `n`.
    const std::vector<QByteArray>& trabajos(size_t n = 0) {
        cola->captura.espera(n);
        return cola->captura.trabajos;
    }
    QString logFichero() const {
        QFile f(RutaAplicacion() + QStringLiteral("/log.txt"));
        return f.open(QIODevice::ReadOnly) ? cp1252::decode(f.readAll()) : QString();
    }
};

} // namespace servertest
