// The ticket composer: kitchen tickets (header, article lines, foot, command number) and special
// tickets. Its procedures report a run-time error through ControlErrores and go on with the next
// statement, so one failed look-up loses only its own line; the foot is the exception, where a
// failure skips the rest of the foot but the ticket is still finished and cut before the report.
#include "printing/clsImprimirTicket.h"

#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Ado.h"
#include "platform/Clock.h"
#include "platform/Printers.h"
#include "platform/VBError.h"
#include "printing/basPrinter.h"
#include "printing/clsImpresionPantalla.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

using basFuncionesComunes::AjustaTexto;
using basFuncionesComunes::AlineaTexto;
using basFuncionesComunes::ValNumero;
using basFuncionesComunes::VarToStr;
using basPrinter::CodigoImpresora;
using basPrinter::Imprimir;

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString kCortar = QStringLiteral("<cortar>");
const QString kBr = QStringLiteral("<br>");

qint64 g_sentencias = 0;

// A switch read as a Boolean: "True"/"False" in any case, otherwise any non-zero number.
bool esVerdadero(const QString& v) {
    if (v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (v.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return ValNumero(v) != 0;
}
// The kitchen line spacing as a command byte; nothing when the value does not fit in one byte.
std::optional<int> espaciadoCocina() {
    const double v = vb::RoundHalfEven(objParametros().getValorNum(param::EspacioEntreLineasCocina));
    if (v < 0 || v > 255)
        return std::nullopt;
    return int(v);
}

// Labels go through the translation in the current language, translation forced.
QString T(const QString& etiqueta) {
    return TraduceLiteral(etiqueta, -1, true, false);
}

QString segundos() {
    return vb::CStr(Variant(basFuncionesComunes::Segundos()));
}

// VB's Format(n, "000..."): at least `digitos` digits, the sign in front.
QString ceros(qint64 n, int digitos) {
    const QString d = QString::number(n < 0 ? -n : n).rightJustified(digitos, QLatin1Char('0'));
    return n < 0 ? QStringLiteral("-") + d : d;
}

QString textoDe(const Variant& v, const QString& defecto = {}) {
    return vb::CStr(VarToStr(v, defecto));
}

// Runs one statement of a procedure: a run-time error goes to the central handler under the
// procedure's name and the caller goes on with its next statement.

// Every statement of the composer goes through these two, with its values bound.
ado::RecordsetPtr abre(ado::Connection& cn, const QString& sql, const QList<Variant>& valores) {
    ++g_sentencias;
    return cn.OpenRecordset(sql, valores);
}
void ejecuta(ado::Connection& cn, const QString& sql, const QList<Variant>& valores) {
    ++g_sentencias;
    cn.Execute(sql, nullptr, valores);
}

clsDR& dr() {
    if (!DR)
        vb::Raise(vb::err::ObjectNotSet);
    return *DR;
}

// The first row's value of one field of a look-up on `cn`, or nothing without a row.
std::optional<Variant> primerValor(ado::Connection& cn, const QString& sql, const QList<Variant>& valores,
                                   const QString& campo) {
    ado::RecordsetPtr rs = abre(cn, sql, valores);
    std::optional<Variant> r;
    if (!rs->isEOF() && !rs->isBOF())
        r = rs->Fields(campo).Value;
    rs->Close();
    return r;
}

// The command group as a bound value: its whole number, or the number as read when it has decimals.
Variant grupoComandas() {
    const double g = ValNumero(objParametros().getValor(param::GrupoComandas));
    if (g == std::floor(g) && std::abs(g) < 1e15)
        return Variant(qint64(g));
    return Variant(g);
}

bool esDuplicado(const VBError& e) {
    return e.description().contains(QLatin1String("Duplic"));
}

// ---- statements ----
const QString kSqlCabecera =
    QStringLiteral("select qm_cabticket.idTicket, qm_cabticket.idTPV, qm_cabticket.Fecha, qm_cabticket.hora, ") +
    QStringLiteral("qm_cabticket.idMesa, qm_cabticket.idSala, ifnull(maecam.usuario, qm_cabticket.idCamarero) as "
                   "DescCamarero, ") +
    QStringLiteral("ifnull(maemes.nombre, maepv.nombre) as DescMesa, ifnull(maesal.nombre, qm_cabticket.idSala) as "
                   "Descsala, ") +
    QStringLiteral("maepv.asign_emp, maepv.asign_rest, qm_cabticket.DescTicket, maepv.nombre as DescPV, ") +
    QStringLiteral("qm_cabticket.paxs, qm_cabticket.SerieTicket, qm_cabticket.NumTicketFormateado ") +
    QStringLiteral("From qm_cabticket ") +
    QStringLiteral("left join maecam on qm_cabticket.idEmpresa=maecam.empresa and "
                   "qm_cabticket.idRestaurante=maecam.restaurante and qm_cabticket.idCamarero=maecam.codigo ") +
    QStringLiteral("left join maesal on qm_cabticket.idEmpresa=maesal.empresa and "
                   "qm_cabticket.idRestaurante=maesal.restaurante and qm_cabticket.idSala=maesal.sala ") +
    QStringLiteral("left join maemes on qm_cabticket.idEmpresa=maemes.empresa and "
                   "qm_cabticket.idRestaurante=maemes.restaurante and qm_cabticket.idMesa=maemes.mesa and "
                   "qm_cabticket.idSala=maemes.sala ") +
    QStringLiteral("left join maepv on qm_cabticket.idEmpresa=maepv.empresa and "
                   "qm_cabticket.idRestaurante=maepv.restaurante and qm_cabticket.idPV=maepv.codigo ") +
    QStringLiteral("where qm_cabticket.idEmpresa = ? And       qm_cabticket.idRestaurante = ? And       "
                   "qm_cabticket.idTicket = ? And       qm_cabticket.idTPV = ?");

const QString kSqlVendedor = QStringLiteral("select maeven.nombre as Descripcion, qm_cabticket.idVendedor ") +
                             QStringLiteral("from qm_cabticket ") +
                             QStringLiteral("inner join maeven on qm_cabticket.idEmpresa=maeven.empresa and "
                                            "qm_cabticket.idVendedor=maeven.vendedor ") +
                             QStringLiteral("where qm_cabticket.idEmpresa=? and qm_cabticket.idRestaurante=? and       "
                                            "qm_cabticket.idTPV=? and qm_cabticket.idTicket=?");

const QString kSqlCamareroMaecam = QStringLiteral("select nombre as Descripcion ") + QStringLiteral("from maecam ") +
                                   QStringLiteral("where empresa=? and restaurante=? and codigo=?");

const QString kSqlTPVCabecera = QStringLiteral("select nombre as Nombre ") + QStringLiteral("from maetpv ") +
                                QStringLiteral("where empresa=? and restaurante=? and codigo=?");

const QString kSqlObservaciones =
    QStringLiteral("select * ") + QStringLiteral("from qm_cabticket_observ ") +
    QStringLiteral("where idEmpresa=? and idRestaurante=? and       idTPV=? and idTicket=?");

const QString kSqlCamareros = QStringLiteral("select Descripcion from Camareros where idCamarero=?");

const QString kSqlTPVPie = QStringLiteral("select Nombre from maetpv where empresa=? and restaurante=? And codigo=?");

const QString kSqlComandasTicket =
    QStringLiteral("select idComanda ") + QStringLiteral("from qm_imppantalla ") +
    QStringLiteral("where idEmpresa=? and idRestaurante=? and       idTPV=? and idTicket=? ") +
    QStringLiteral("group by idComanda ") + QStringLiteral("order by idComanda");

const QString kSqlMaxComanda = QStringLiteral("select max(idComanda) as Comanda ") +
                               QStringLiteral("from qm_imppantalla ") +
                               QStringLiteral("where idEmpresa=? and idRestaurante=? and       idGrupoComandas=?") +
                               QStringLiteral(" and idComanda<999999");

const QString kSqlInsertaComanda =
    QStringLiteral("insert into qm_imppantalla ") +
    QStringLiteral("(idEmpresa, idRestaurante, idImpresora, idTicket, idTPV, idTPVComanda, idGrupoComandas, "
                   "idComanda, idRegistro) ") +
    QStringLiteral("values (?,?,0 ,?,?,?,?,?, 1)");

const QString kSqlConfigTicket =
    QStringLiteral("select * from configticket where idEmpresa=? and idRestaurante=? and idioma=0 order by idOrden");

const QString kProcEspecial = QStringLiteral("clsImprimirTicket.ImprimirTicketEspecial");
const QString kProcCocina = QStringLiteral("clsImprimirTicket.ImprimirTicketCocinaEspecial");
const QString kProcListCab = QStringLiteral("clsImprimirTicket.ListCabTicket");
const QString kProcCabecera = QStringLiteral("clsImprimirTicket.ImprimirTicketCocinaCabecera");
const QString kProcPie = QStringLiteral("clsImprimirTicket.ImprimirTicketCocinaPie");
const QString kProcDigitos = QStringLiteral("clsImprimirTicket.imprimirDigitosTicketLetraGrande");
const QString kProcComanda = QStringLiteral("clsImprimirTicket.getNumeroComanda");

// The 257 one-dot columns of the kitchen tickets' drawn rule.
const QString kRegla = QString(257, QChar(64));

} // namespace

qint64 clsImprimirTicket::sentenciasEjecutadas() {
    return g_sentencias;
}

bool clsImprimirTicket::LanzaMensajesTriggerImprimirTicket(const Variant&, bool, const QString&, qint32, double) {
    return true;
}

// ================================================================================================
// Kitchen ticket
// ================================================================================================

clsImprimirTicket::FilaCabecera clsImprimirTicket::ListCabTicket(qint32 tpv, qint32 ticket, bool& blnLeida) {
    auto consulta = [&] {
        FilaCabecera fila;
        ado::RecordsetPtr rs = abre(ConexionServidor(), kSqlCabecera,
                                    {Variant(glngEmpresa), Variant(glngRestaurante), Variant(ticket), Variant(tpv)});
        if (!rs->isEOF() && !rs->isBOF()) {
            QHash<QString, Variant> campos;
            for (int i = 0; i < rs->FieldCount(); ++i)
                campos.insert(rs->Fields(i).Name.toLower(), rs->Fields(i).Value);
            fila = std::move(campos);
        }
        rs->Close();
        return fila;
    };
    blnLeida = false;
    std::optional<VBError> fallo;
    for (int intento = 1; intento <= 2; ++intento) {
        FilaCabecera fila;
        if (vb::OnError([&] { fila = consulta(); }, [&](const VBError& e) { fallo = e; })) {
            blnLeida = true;
            return fila;
        }
        // Only a link lost under the query earns a second try, on the connections made again now.
        if (intento == 2 || ConexionServidor().State() == ado::adStateOpen)
            break;
        GrabaLog(QStringLiteral("clsImprimirTicket.ListCabTicket: conexión perdida, se vuelve a conectar: ") +
                 fallo->description());
        VBError falloConexion = *fallo;
        if (!ReconectaAhora(&falloConexion)) {
            fallo = falloConexion;
            break;
        }
    }
    // Reported once. On a link that is still down nothing waits here: the reconnect timer goes on
    // trying and the ticket answers with its error.
    const bool enlaceCaido = ConexionServidor().State() != ado::adStateOpen;
    ControlErrores(kProcListCab, !enlaceCaido, *fallo);
    if (enlaceCaido)
        IniciaReconexion();
    return {};
}

namespace {

Variant campo(const std::optional<QHash<QString, Variant>>& fila, const char* nombre) {
    return fila ? fila->value(QString::fromLatin1(nombre)) : Variant();
}
QString textoCampo(const std::optional<QHash<QString, Variant>>& fila, const char* nombre,
                   const QString& defecto = {}) {
    return textoDe(campo(fila, nombre), defecto);
}

// "A" + 7 digits with a series, else the till in 3 digits, "-" and the ticket in 9 digits.
QString numeroTicket(const std::optional<QHash<QString, Variant>>& fila, qint32 ticket) {
    const QString serie = textoCampo(fila, "serieticket");
    if (!serie.isEmpty())
        return serie + ceros(ticket, 7);
    const qint64 tpv = qint64(vb::RoundHalfEven(ValNumero(textoCampo(fila, "idtpv", QStringLiteral("0")))));
    return ceros(tpv, 3) + QStringLiteral("-") + ceros(ticket, 9);
}

// Today's date and the time, from one reading of the clock: a service that runs for days prints
// the day of the ticket, not the day it connected.
QString fechaYHora() {
    return clock_seam::now().toString(QStringLiteral("dd/MM/yy HH:mm"));
}

QString lineaTicket(const std::optional<QHash<QString, Variant>>& fila, qint32 ticket) {
    using namespace basPrinter;
    const bool grande = ValNumero(objParametros().getValor(param::TicketGrande)) == 1;
    QString l;
    if (grande)
        l += gCodigosPRN.PRN_INITRIALT;
    l += gCodigosPRN.PRN_ININEG + T(QStringLiteral("Ticket")) + QStringLiteral(" ") + gCodigosPRN.PRN_FINNEG;
    if (fila)
        l += numeroTicket(fila, ticket);
    l += grande ? gCodigosPRN.PRN_FINTRIALT + CRLF : QStringLiteral(" ");
    l += gCodigosPRN.PRN_ININEG + T(QStringLiteral("Fec")) + QStringLiteral(": ") + gCodigosPRN.PRN_FINNEG +
         fechaYHora();
    return l;
}

QString lineaSala(const std::optional<QHash<QString, Variant>>& fila) {
    using namespace basPrinter;
    QString l = gCodigosPRN.PRN_ININEG + T(QStringLiteral("Sala:")) + QStringLiteral(" ") + gCodigosPRN.PRN_FINNEG +
                AlineaTexto(textoCampo(fila, "idsala", QStringLiteral("0")), 6, false, true, QString()) +
                QStringLiteral(" ") + textoCampo(fila, "descsala");
    if (objParametros().getValorNum(param::ImprimirSalaGrandeCocina) != 0)
        l = gCodigosPRN.PRN_INITRIALT + l + gCodigosPRN.PRN_FINTRIALT;
    return l;
}

QString lineaPaxs(const std::optional<QHash<QString, Variant>>& fila) {
    using namespace basPrinter;
    return gCodigosPRN.PRN_ININEG + T(QStringLiteral("PAXs:")) + gCodigosPRN.PRN_FINNEG + QStringLiteral(" ") +
           textoCampo(fila, "paxs", QStringLiteral("0"));
}

} // namespace

ResultadoImpresion clsImprimirTicket::ImprimirTicketCocinaEspecial(qint32 tpv, qint32 ticket,
                                                                   const QString& strTextoTicket,
                                                                   const OpcionesTicketCocina& o) {
    using namespace basPrinter;
    const SinDialogosModales sinDialogos;
    ResultadoImpresion resultado;
    bool conectado = false;
    AtrapaErrores(kProcCocina, [&] { conectado = ComCentral(); });
    if (!conectado)
        return resultado;

    // The job of this ticket: every piece collects here and leaves with its own cut.
    BufferImpresion trabajo{.informe = o.informe};
    lngTPV = tpv;
    lngTicket = ticket;
    // A header that could not be read makes the answer an error. Without the database link the
    // ticket is not printed at all, as when ComCentral fails: every look-up of it would fail too.
    bool cabeceraLeida = false;
    const FilaCabecera cabecera = ListCabTicket(lngTPV, lngTicket, cabeceraLeida);
    if (!cabeceraLeida && ConexionServidor().State() != ado::adStateOpen)
        return resultado;

    // The foot may hand the ticket to the secondary printer; the next pieces follow it there.
    QString impresora = o.strImpresora;
    const QStringList piezas = strTextoTicket.isEmpty() ? QStringList() : strTextoTicket.split(kCortar);
    resultado.blnPiezasRecorridas = true;
    for (const QString& pieza : piezas) {
        ResultadoEnvio envio;
        bool blnEspaciado = false;
        AtrapaErrores(kProcCocina, [&] {
            envio = ImprimirTicketCocinaCabecera(trabajo, cabecera, intAnchoLinea, blnEspaciado, impresora,
                                                 o.strDescripcionCabecera, o.blnImprimirCabecera);
        });

        int interlineado = 0;
        AtrapaErrores(kProcCocina, [&] {
            const double n = vb::RoundHalfEven(objParametros().getValorNum(param::InterlineadoImpresoraCocina));
            interlineado = (n < 0 || n > 255) ? 0 : int(n);
            if (interlineado != 0)
                Imprimir(trabajo, CodigoImpresora({27, '3', interlineado}), {.NombreImpresora = impresora});
        });

        QString texto = pieza;
        texto.replace(QChar(13), kBr);
        texto.remove(QChar(10));
        const QStringList lineas = texto.isEmpty() ? QStringList() : texto.split(kBr);
        for (QString linea : lineas) {
            AtrapaErrores(kProcCocina, [&] {
                bool enfasis = false;
                if (linea.contains(QLatin1String("<b>"))) {
                    if (objParametros().getValorNum(param::TipoImpresionNegritaArticulosTicketCocina) == 0) {
                        linea.replace(QLatin1String("<b>"), gCodigosPRN.PRN_ININEG);
                        linea.replace(QLatin1String("</b>"), gCodigosPRN.PRN_FINNEG);
                    } else {
                        linea.replace(QLatin1String("<b>"), gCodigosPRN.PRN_INIINV);
                        linea.replace(QLatin1String("</b>"), gCodigosPRN.PRN_FININV);
                    }
                    enfasis = true;
                }
                QString formateada = FormateaLineaArticuloCocina(linea, intAnchoLinea);
                if (enfasis)
                    formateada += gCodigosPRN.PRN_FINNEG + gCodigosPRN.PRN_FININV;
                Imprimir(trabajo, formateada, {.ConSalto = false, .NombreImpresora = impresora});
            });
        }

        if (interlineado != 0)
            AtrapaErrores(kProcCocina, [&] {
                Imprimir(trabajo, CodigoImpresora({27, '2'}), {.NombreImpresora = impresora});
            });

        AtrapaErrores(kProcCocina, [&] {
            envio = envio.anade(ImprimirTicketCocinaPie(trabajo, cabecera, intAnchoLinea, blnEspaciado, impresora,
                                                        o.blnImprimirPie, o.strTextoPie));
        });

        // The header may have put the ESC "!" height codes in place for this ticket.
        AtrapaErrores(kProcCocina, [&] {
            const double codigos = objParametros().getValorNum(param::CodigosEscTicketCocina);
            if (codigos == 1 || codigos == 2)
                InicializaCodigosPRN();
        });
        resultado.piezas << envio;
    }
    resultado.blnEnviado = cabeceraLeida && resultado.todoSalio();
    resultado.strImpresora = impresora;
    resultado.blnFalloInformado = trabajo.informe.blnInformado;
    return resultado;
}

basPrinter::ResultadoEnvio
clsImprimirTicket::ImprimirTicketCocinaCabecera(basPrinter::BufferImpresion& trabajo, const FilaCabecera& cabecera,
                                                qint16& anchoLinea, bool& blnEspaciado, const QString& strImpresora,
                                                const QString& strDescripcionCabecera, bool blnImprimirCabecera) {
    using namespace basPrinter;
    ResultadoEnvio envio;
    // L+ S- I+ T+ with the kitchen character set (K+) or without it (K-).
    auto lineaK = [&](const QString& t) { Imprimir(trabajo, t, {.NombreImpresora = strImpresora, .EsCocina = true}); };
    auto linea = [&](const QString& t) { Imprimir(trabajo, t, {.NombreImpresora = strImpresora}); };
    auto blanco = [&] { linea(QString()); };
    const QString& proc = kProcCabecera;

    bool seguir = true;
    AtrapaErrores(proc, [&] {
        seguir = LanzaMensajesTriggerImprimirTicket(vb::Empty(), true, QStringLiteral("imprimir_ticket_cocina"), 0, 0);
    });
    if (!seguir)
        return envio;
    blnEspaciado = false;

    AtrapaErrores(proc, [&] { objImpresionPantalla().Inicializa(); });
    AtrapaErrores(proc, [&] {
        if (objParametros().getValorEs(param::TieneImpresoraFisica, 1)) {
            objImpresionPantalla().setImprimirPorDriver(false);
            objImpresionPantalla().setImprimirPorPantalla(false);
        }
    });
    AtrapaErrores(proc, [&] {
        const double v = objParametros().getValorNum(param::EspacioEntreLineasCocina);
        if (v != 64 && v > 0 && v < 255) {
            envio = Imprimir(trabajo, CodigoImpresora({27, '3', int(vb::RoundHalfEven(v))}),
                             {.ConSalto = false,
                              .Enviar = true,
                              .NombreImpresora = strImpresora,
                              .Traducir = false,
                              .EsCocina = true});
            blnEspaciado = true;
        }
    });
    AtrapaErrores(proc, [&] { anchoLinea = EstableceLetraYAncho(trabajo, 0, strImpresora, true); });
    AtrapaErrores(proc, [&] {
        if (objParametros().getValorNum(param::ImprimirAnulacionesRojo) != 0)
            Imprimir(trabajo, CodigoImpresora({27, 'r', 0}), {.ConSalto = false, .NombreImpresora = strImpresora});
    });
    AtrapaErrores(proc, [&] {
        const double codigos = objParametros().getValorNum(param::CodigosEscTicketCocina);
        if (codigos == 1 || codigos == 2) {
            const QString fin = vb::CInt(Variant(objParametros().getValorNum(param::TipoLetraCocina))) >= 4
                                    ? CodigoImpresora({27, '!', 1})
                                    : CodigoImpresora({27, '!', 0});
            gCodigosPRN.PRN_FINDBLALT = fin;
            gCodigosPRN.PRN_FINTRIALT = fin;
            gCodigosPRN.PRN_INIDBLALT = CodigoImpresora({27, '!', 17});
            gCodigosPRN.PRN_INITRIALT = CodigoImpresora({27, '!', 57});
        }
    });
    if (!blnImprimirCabecera)
        return envio;

    AtrapaErrores(proc, [&] {
        for (qint16 i = vb::CInt(Variant(objParametros().getValorNum(param::BlancosCabecera))); i > 0; --i)
            blanco();
    });
    AtrapaErrores(proc, [&] {
        for (qint16 i = vb::CInt(Variant(objParametros().getValorNum(param::BlancosCabeceraTicketCocina))); i > 0; --i)
            blanco();
    });
    AtrapaErrores(proc, [&] { GrabaLog(QStringLiteral("Voy a imprimir la cabecera: ") + segundos()); });

    AtrapaErrores(proc, [&] {
        const double modo = objParametros().getValorNum(param::ImpDosCarTickGrandes);
        if (modo != 0)
            imprimirDigitosTicketLetraGrande(trabajo, lngTPV, lngTicket, 0, modo == 2, strImpresora);
    });

    AtrapaErrores(proc, [&] {
        if (objParametros().getValorNum(param::ImprimirNombreImpresoraTicketCocina) != 0 ||
            basFuncionesComunes::EjecutandoEnIDE() || gblnDesarrollo || gblnInstal)
            linea(T(QStringLiteral("Impresora")) + QStringLiteral(" ") + strImpresora);
    });

    AtrapaErrores(proc, [&] {
        if (ValNumero(objParametros().getValor(param::ImpLogoTicketCocina)) == 1)
            ImprimeLogo(trabajo, false, 0, strImpresora);
    });

    AtrapaErrores(proc, [&] {
        if (!strMensajeCocina.isEmpty()) {
            blanco();
            linea(gCodigosPRN.PRN_INITRIALT + strMensajeCocina + gCodigosPRN.PRN_FINTRIALT);
            blanco();
        } else {
            const QString textoCabecera = objParametros().getValor(param::TextoCabeceraCocina);
            if (!textoCabecera.isEmpty()) {
                lineaK(gCodigosPRN.PRN_ININEG +
                       (strDescripcionCabecera.isEmpty() ? textoCabecera : strDescripcionCabecera) +
                       gCodigosPRN.PRN_FINNEG);
                blanco();
            }
        }
    });

    AtrapaErrores(proc, [&] {
        const double vendedor = objParametros().getValorNum(param::ImprimirVendedorTicketCocina);
        if (vendedor == 0 || objParametros().getValor(param::VendedorTicketOLinea) != QLatin1String("T"))
            return;
        QString inicio, fin;
        if (vendedor == 1) {
            inicio = gCodigosPRN.PRN_ININEG;
            fin = gCodigosPRN.PRN_FINNEG;
        } else if (vendedor == 2) {
            inicio = gCodigosPRN.PRN_INIDBLALT;
            fin = gCodigosPRN.PRN_FINDBLALT;
        } else if (vendedor == 3) {
            inicio = gCodigosPRN.PRN_INITRIALT;
            fin = gCodigosPRN.PRN_FINTRIALT;
        }
        ado::RecordsetPtr rs =
            abre(ConexionLocal(), kSqlVendedor,
                 {Variant(glngEmpresa), Variant(glngRestaurante), Variant(lngTPV), Variant(lngTicket)});
        while (!rs->isEOF()) {
            const bool nombre = objParametros().getValorEs(param::ImpNombreVendedor, 1);
            const QString valor =
                textoDe(rs->Fields(nombre ? QStringLiteral("Descripcion") : QStringLiteral("idVendedor")).Value);
            lineaK(inicio + T(QStringLiteral("Vendedor") + QStringLiteral(": ")) + valor + fin);
            rs->MoveNext();
        }
        rs->Close();
        blanco();
    });

    AtrapaErrores(proc, [&] {
        if (!objParametros().getValorEs(param::ImpMesaTickCocina, 1) || !cabecera)
            return;
        const bool grande = objParametros().getValorEs(param::ImpMesaTickCocinaGrande, 1);
        const QString mesaTexto = textoCampo(cabecera, "idmesa", QStringLiteral("0"));
        const double m = ValNumero(mesaTexto);
        const bool especial = m >= 9995 && m <= 9999;
        QString l = grande ? gCodigosPRN.PRN_INITRIALT : QString();
        l += T(QStringLiteral("Mesa:")) + QStringLiteral(" ");
        const QString descTicket = textoCampo(cabecera, "descticket");
        if (m == 9997 && !descTicket.isEmpty()) {
            l += textoCampo(cabecera, "descpv") + QStringLiteral(" - ") + descTicket;
        } else {
            if (objParametros().getValorNum(param::NoImpCodigoMesas) == 0 && !especial)
                l += AlineaTexto(mesaTexto, 6, false, true, QString()) + QStringLiteral(" ");
            if (especial || ValNumero(objParametros().getValor(param::ImpCodigoMesasSalas)) == 0)
                l += textoCampo(cabecera, "descmesa");
        }
        if (grande)
            l += gCodigosPRN.PRN_FINTRIALT;
        lineaK(l);
        if (grande)
            blanco();
    });

    AtrapaErrores(proc, [&] {
        if (!objParametros().getValorEs(param::LineasHorizontalesCocina, 1))
            return;
        // The rule sets the spacing to 0 and restores it after; without a usable spacing it is left out.
        if (const auto espaciado = espaciadoCocina())
            ImprimeImagenBits(trabajo, kRegla, 256, 0, qint16(*espaciado), strImpresora);
        else
            GrabaLog(QStringLiteral("Regla sin imprimir: EspacioEntreLineasCocina fuera de 0..255"));
    });

    if (objParametros().getValorNum(param::ImpCabTickCocinaFinal) == 0) {
        AtrapaErrores(proc, [&] {
            if (cabecera)
                lineaK(lineaTicket(cabecera, lngTicket));
        });
        AtrapaErrores(proc, [&] {
            if (!intCamarero.isEmpty()) {
                const auto nombre = primerValor(ConexionLocal(), kSqlCamareroMaecam,
                                                {Variant(glngEmpresa), Variant(glngRestaurante), Variant(intCamarero)},
                                                QStringLiteral("Descripcion"));
                lineaK(gCodigosPRN.PRN_ININEG + T(QStringLiteral("Camarero:")) + QStringLiteral(" ") +
                       gCodigosPRN.PRN_FINNEG + (nombre ? textoDe(*nombre) : QString()));
            } else if (cabecera) {
                lineaK(gCodigosPRN.PRN_ININEG + T(QStringLiteral("Camarero apertura mesa:")) + QStringLiteral(" ") +
                       gCodigosPRN.PRN_FINNEG + textoCampo(cabecera, "desccamarero"));
            }
        });
        AtrapaErrores(proc, [&] {
            if (!objParametros().getValorEs(param::ImprimirTPVCocina, 1))
                return;
            QString l = gCodigosPRN.PRN_ININEG + T(QStringLiteral("Impreso desde:")) + QStringLiteral(" ") +
                        gCodigosPRN.PRN_FINNEG;
            std::optional<Variant> nombre;
            if (lngNumComandero != 0)
                nombre = primerValor(ConexionLocal(), kSqlCamareroMaecam,
                                     {Variant(glngEmpresa), Variant(glngRestaurante), Variant(intCamarero)},
                                     QStringLiteral("Descripcion"));
            else if (auto n = primerValor(ConexionLocal(), kSqlTPVCabecera,
                                          {Variant(glngEmpresa), Variant(glngRestaurante), Variant(qint32(gintTPV))},
                                          QStringLiteral("Nombre")))
                nombre = Variant(vb::Trim(textoDe(*n)));
            if (nombre)
                l += QStringLiteral(" ") + textoDe(*nombre);
            lineaK(l);
        });
        AtrapaErrores(proc, [&] {
            if (objParametros().getValorEs(param::ImprimirSalaCocina, 1) && cabecera)
                lineaK(lineaSala(cabecera));
        });
        AtrapaErrores(proc, [&] {
            if (esVerdadero(objParametros().getValor(param::TicCocinaImprimirPaxs)) && cabecera)
                lineaK(lineaPaxs(cabecera));
        });
        // The customer block of the kitchen ticket prints nothing.
        AtrapaErrores(proc, [&] { objParametros().getValor(param::ImprimirClienteTicketCocina); });
    }

    AtrapaErrores(proc, [&] {
        if (objParametros().getValorEs(param::ImpArtInvTickCocina, 1))
            Imprimir(trabajo, gCodigosPRN.PRN_INIINV,
                     {.ConSalto = false, .NombreImpresora = strImpresora, .EsCocina = true});
    });
    return envio;
}

QString clsImprimirTicket::FormateaLineaArticuloCocina(const QString& strTexto, qint16 anchoLinea) {
    QString s;
    vb::OnError(
        [&] {
            QString inicio, fin;
            int factor = 1;
            objParametros().getValor(param::ImprimirMenusDiferenciado);
            if (objParametros().getValorEs(param::ImpSoloArtsLetraGrandeCocina, 1) ||
                objParametros().getValorEs(param::ImpArtsLetraGrandeCocina, 1)) {
                inicio = basPrinter::gCodigosPRN.PRN_INIDBLALT;
                fin = basPrinter::gCodigosPRN.PRN_FINDBLALT;
                factor = 2;
            }
            s = strTexto + QStringLiteral(" ");
            if (objParametros().getValorEs(param::ImpArtsMayusculas, 1))
                s = s.toUpper();
            s.remove(CRLF);
            const qint32 ancho = qint32(vb::RoundHalfEven(double(anchoLinea) / factor));
            s = AlineaTexto(s, ancho, true, false, QString());
            s = inicio + s + fin + CRLF;
        },
        [](const VBError& e) { MensajeUsuario(e.description(), 64); });
    return s;
}

basPrinter::ResultadoEnvio clsImprimirTicket::ImprimirTicketCocinaPie(basPrinter::BufferImpresion& trabajo,
                                                                      const FilaCabecera& cabecera, qint16 anchoLinea,
                                                                      bool blnEspaciado, QString& strImpresora,
                                                                      bool blnImprimirPie, const QString& strTextoPie) {
    using namespace basPrinter;
    ResultadoEnvio envio;
    auto lineaK = [&](const QString& t) { Imprimir(trabajo, t, {.NombreImpresora = strImpresora, .EsCocina = true}); };
    auto linea = [&](const QString& t) { Imprimir(trabajo, t, {.NombreImpresora = strImpresora}); };
    auto blanco = [&] { linea(QString()); };

    // A failure in the foot's body skips the rest of the body; the ticket is still finished, cut and
    // sent to its own printer, and the failures are reported after it has gone.
    std::vector<VBError> fallos;
    auto anota = [&](auto&& f) { vb::OnError(f, [&](const VBError& e) { fallos.push_back(e); }); };

    anota([&] {
        if (objParametros().getValorNum(param::ImprimirAnulacionesRojo) != 0)
            Imprimir(trabajo, CodigoImpresora({27, 'r', 0}), {.ConSalto = false, .NombreImpresora = strImpresora});
        if (objParametros().getValorEs(param::ImpArtInvTickCocina, 1))
            Imprimir(trabajo, gCodigosPRN.PRN_FININV, {.ConSalto = false, .NombreImpresora = strImpresora});
        if (!blnImprimirPie)
            return;

        const QString reglaGuiones = AlineaTexto(QStringLiteral("-"), anchoLinea - 2, false, true, QStringLiteral("-"));
        const QString reglaIguales = AlineaTexto(QStringLiteral("="), anchoLinea - 2, false, true, QStringLiteral("="));

        ado::RecordsetPtr rs =
            abre(ConexionServidor(), kSqlObservaciones,
                 {Variant(glngEmpresa), Variant(glngRestaurante), Variant(lngTPV), Variant(lngTicket)});
        if (!rs->isEOF() && !rs->isBOF()) {
            QString obs = textoDe(rs->Fields(QStringLiteral("observ_preparacion")).Value);
            const double general = objParametros().getValorNum(param::ImprimirObservacionesTicketCocina);
            const QString o = vb::Trim(textoDe(rs->Fields(QStringLiteral("Observ")).Value));
            if (general != 0 && !o.isEmpty() && o != QLatin1String("#ERROR#")) {
                if (!obs.isEmpty())
                    obs += CRLF + CRLF;
                obs += general == 2 ? gCodigosPRN.PRN_INIDBLALT + o + gCodigosPRN.PRN_FINDBLALT : o;
            }
            const double grande = objParametros().getValorNum(param::ImprimirObservacionesLetraGrande);
            if (grande == 2 || grande == 3)
                obs = gCodigosPRN.PRN_INIDBLALT + obs + gCodigosPRN.PRN_FINDBLALT;
            if (!obs.isEmpty()) {
                blanco();
                linea(reglaGuiones);
                linea(AjustaTexto(anchoLinea, static_cast<const QString&>(obs), 0));
                linea(reglaGuiones);
                blanco();
            }
        }
        rs->Close();

        if (!vb::Trim(strTextoPie).isEmpty()) {
            blanco();
            linea(reglaIguales);
            linea(AjustaTexto(anchoLinea, strTextoPie, 0));
            linea(reglaIguales);
            blanco();
        }

        if (objParametros().getValorEs(param::LineasHorizontalesCocina, 1)) {
            if (const auto espaciado = espaciadoCocina())
                ImprimeImagenBits(trabajo, kRegla, 256, 0, qint16(*espaciado), strImpresora);
            else
                GrabaLog(QStringLiteral("Regla sin imprimir: EspacioEntreLineasCocina fuera de 0..255"));
        }

        if (objParametros().getValorEs(param::ImpCabTickCocinaFinal, 1)) {
            lineaK(lineaTicket(cabecera, lngTicket));

            if (!intCamarero.isEmpty()) {
                const auto nombre =
                    primerValor(ConexionLocal(), kSqlCamareros, {Variant(intCamarero)}, QStringLiteral("Descripcion"));
                lineaK(gCodigosPRN.PRN_ININEG + T(QStringLiteral("Camarero:")) + QStringLiteral(" ") +
                       gCodigosPRN.PRN_FINNEG + (nombre ? textoDe(*nombre) : QString()));
            } else {
                lineaK(gCodigosPRN.PRN_ININEG + T(QStringLiteral("Camarero apertura mesa:")) + QStringLiteral(" ") +
                       gCodigosPRN.PRN_FINNEG + (cabecera ? textoCampo(cabecera, "desccamarero") : QString()));
            }

            if (objParametros().getValorEs(param::ImprimirTPVCocina, 1)) {
                QString l = gCodigosPRN.PRN_ININEG + T(QStringLiteral("Impreso desde:")) + QStringLiteral(" ") +
                            gCodigosPRN.PRN_FINNEG;
                if (lngNumComandero != 0) {
                    if (const auto n = primerValor(ConexionLocal(), kSqlCamareros, {Variant(lngNumComandero)},
                                                   QStringLiteral("Descripcion")))
                        l += QStringLiteral(" ") + textoDe(*n);
                } else if (const auto n =
                               primerValor(ConexionServidor(), kSqlTPVPie,
                                           {Variant(glngEmpresa), Variant(glngRestaurante), Variant(qint32(gintTPV))},
                                           QStringLiteral("Nombre"))) {
                    l += QStringLiteral(" ") + vb::Trim(textoDe(*n));
                }
                lineaK(l);
            }

            if (cabecera) {
                if (objParametros().getValorEs(param::ImprimirSalaCocina, 1))
                    lineaK(lineaSala(cabecera));
                if (esVerdadero(objParametros().getValor(param::TicCocinaImprimirPaxs)))
                    lineaK(lineaPaxs(cabecera));
            }
        }

        if (objParametros().getValorNum(param::EmitirPito) != 0)
            EmitirPito(trabajo, 0, strImpresora);

        const qint16 n = vb::CInt(Variant(ValNumero(objParametros().getValor(param::BlancosPie)) - 1));
        for (qint16 i = 0; i <= n; ++i)
            blanco();
    });

    // Finishing the ticket: print mode and spacing back, feed, cut and send, print target cleared.
    anota([&] {
        const auto espaciado = espaciadoCocina();
        QString caracter = espaciado ? QString(vb::Chr(*espaciado)) : QString();
        envio = InicializaImpresora(trabajo, 0, strImpresora,
                                    {.CambiarEspaciado = blnEspaciado && espaciado.has_value(), .Espaciado = caracter});
    });
    anota([&] {
        const ResultadoCorte corte =
            CortarPapel(trabajo, {.ImprimirLogoDespues = false, .NombreImpresora = strImpresora});
        envio = envio.anade(corte.envio);
        strImpresora = corte.NombreImpresora;
    });
    anota([&] { objImpresionPantalla().Finaliza(true, 0, strImpresora); });

    for (const VBError& e : fallos)
        ControlErrores(kProcPie, true, e);
    return envio;
}

// ================================================================================================
// Command number and large number
// ================================================================================================

void clsImprimirTicket::imprimirDigitosTicketLetraGrande(basPrinter::BufferImpresion& trabajo, qint32 tpv,
                                                         qint32 ticket, qint32 lngImpresora, bool blnImprimirNumComanda,
                                                         const QString& strImpresora) {
    using namespace basPrinter;
    AtrapaErrores(kProcDigitos, [&] {
        GrabaLog(QStringLiteral("ImprimirDigitosTicketLetraGrande: ") + segundos());
        QString s;
        if (!blnImprimirNumComanda) {
            s = vb::Right(ceros(tpv, 3), 1) + vb::Right(ceros(ticket, 8), 2);
        } else {
            const QList<Variant> valores{Variant(glngEmpresa), Variant(glngRestaurante), Variant(tpv), Variant(ticket)};
            GrabaLog(kSqlComandasTicket + QStringLiteral(" [") + QString::number(glngEmpresa) + QStringLiteral(", ") +
                     QString::number(glngRestaurante) + QStringLiteral(", ") + QString::number(tpv) +
                     QStringLiteral(", ") + QString::number(ticket) + QStringLiteral("]: ") + segundos());
            if (ComCentral()) {
                ++g_sentencias;
                const vb::ColeccionPtr filas = dr().Query(kSqlComandasTicket, QString(), valores);
                for (const vb::EntidadPtr& fila : filas->items()) {
                    if (!s.isEmpty())
                        s += QStringLiteral(" - ");
                    s += vb::CStr(fila->Valor(QStringLiteral("idComanda")));
                }
            }
            if (s.isEmpty()) {
                const qint32 n = getNumeroComanda();
                if (n == 0) {
                    // No number could be recorded for the ticket (already reported): it prints without one.
                    GrabaLog(QStringLiteral("ImprimirDigitosTicketLetraGrande sin número de comanda: ") + segundos());
                    return;
                }
                s = QString::number(n);
            }
        }
        GrabaLog(QStringLiteral("Imprimo texto: ") + segundos());
        Imprimir(trabajo, QString(), {.idImpresora = lngImpresora, .NombreImpresora = strImpresora});
        Imprimir(trabajo,
                 gCodigosPRN.PRN_INITRIALT + T(QStringLiteral("Núm.")) + QStringLiteral(" ") + s +
                     gCodigosPRN.PRN_FINTRIALT,
                 {.idImpresora = lngImpresora, .NombreImpresora = strImpresora, .EsCocina = true});
        Imprimir(trabajo, QString(), {.idImpresora = lngImpresora, .NombreImpresora = strImpresora});
    });
    AtrapaErrores(kProcDigitos,
                  [&] { GrabaLog(QStringLiteral("ImprimirDigitosTicketLetraGrande end: ") + segundos()); });
}

qint32 clsImprimirTicket::getNumeroComanda() {
    if (lngNumeroComanda != 0)
        return lngNumeroComanda;
    if (m_blnSinNumeroComanda)
        return 0;
    // Every way out leaves lngNumeroComanda as the answer: 0 until a number is taken.
    AtrapaErrores(kProcComanda, [&] {
        // Without the main connection no number can be made sure of: the ticket prints without one.
        if (!ComCentral()) {
            m_blnSinNumeroComanda = true;
            return;
        }
        const QList<Variant> grupo{Variant(glngEmpresa), Variant(glngRestaurante), grupoComandas()};
        auto siguiente = [&] {
            ++g_sentencias;
            return vb::CLng(dr().QueryScalar(kSqlMaxComanda, Variant(0), QString(), grupo)) + 1;
        };
        auto valoresInsert = [&](qint32 numero) {
            return QList<Variant>{Variant(glngEmpresa), Variant(glngRestaurante), Variant(lngTicket),
                                  Variant(lngTPV),      Variant(qint32(gintTPV)), grupoComandas(),
                                  Variant(numero)};
        };

        // Other tills allocate in the same group at the same time: a number taken between our read and
        // our insert is refused by the table's unique key, and the highest number is read again.
        qint32 numero = siguiente();
        for (int intento = 1;; ++intento) {
            try {
                ejecuta(ConexionServidor(), kSqlInsertaComanda, valoresInsert(numero));
                break;
            } catch (const VBError& e) {
                if (!esDuplicado(e)) {
                    ControlErrores(kProcComanda, true, e);
                    lngNumeroComanda = numero;
                    return;
                }
                if (intento >= kIntentosComanda) {
                    m_blnSinNumeroComanda = true;
                    ControlErrores(
                        kProcComanda, true,
                        VBError(e.number(),
                                QStringLiteral("Sin número de comanda libre tras %1 intentos: ").arg(kIntentosComanda) +
                                    e.description(),
                                e.source()));
                    return;
                }
                numero = qMax(numero + 1, siguiente());
            }
        }
        lngNumeroComanda = numero;

        // The kitchen screens connected to the till read the row on the second connection. When that
        // connection reaches the same database the row is already there, which is what was wanted.
        if (!ComCentral() || objParametros().getValorNum(param::ConectarPantallasCocinaDirectasaTPV) != 0)
            vb::OnError(
                [&] {
                    ejecuta(ConexionLocal(),
                            QString(kSqlInsertaComanda).replace(QStringLiteral("0 ,"), QStringLiteral("0,")),
                            valoresInsert(lngNumeroComanda));
                },
                [](const VBError& e) {
                    if (!esDuplicado(e))
                        ControlErrores(kProcComanda, true, e);
                });
    });
    return lngNumeroComanda;
}

// ================================================================================================
// Special ticket
// ================================================================================================

ResultadoImpresion clsImprimirTicket::ImprimirTicketEspecial(const QString& strTextoTicket, OpcionesTicketEspecial o) {
    using namespace basPrinter;
    QString& strImpresora = o.strImpresora;
    const SinDialogosModales sinDialogos;
    const QString& proc = kProcEspecial;
    // The job of this ticket: every piece collects here and leaves with its own cut.
    BufferImpresion trabajo{.informe = o.informe};
    auto linea = [&](const QString& t) { Imprimir(trabajo, t, {.NombreImpresora = strImpresora}); };
    ResultadoImpresion resultado;

    bool conectado = false;
    AtrapaErrores(proc, [&] { conectado = ComCentral(); });
    if (!conectado) {
        AtrapaErrores(proc, [&] { objImpresionPantalla().Finaliza(o.blnImprimirPorPantalla); });
        resultado.strImpresora = strImpresora;
        return resultado;
    }

    AtrapaErrores(proc, [&] { objImpresionPantalla().Inicializa(); });
    // Code set 2 sends its set-up at once: the first piece answers for it.
    ResultadoEnvio envio;
    AtrapaErrores(proc, [&] { envio = InicializaImpresora(trabajo, 0, strImpresora); });
    AtrapaErrores(proc, [&] {
        if (o.blnImprimirLogo && (objParametros().getValorEs(param::ImpLogoAntes, 1) ||
                                  objParametros().getValorEs(param::LogoEnImpresora, 1)))
            ImprimeLogo(trabajo, false, 0, strImpresora);
    });
    bool codigosPropios = false;
    AtrapaErrores(proc, [&] {
        const double codigos = objParametros().getValorNum(param::CodigosEscTicketNormal);
        if (codigos == 1 || codigos == 3) {
            gCodigosPRN.PRN_INIDBLALT = CodigoImpresora({27, '!', 17});
            gCodigosPRN.PRN_FINDBLALT = CodigoImpresora({27, '!', 1});
            codigosPropios = true;
        }
    });

    const std::pair<const char*, const QString*> etiquetas[] = {
        {"<b>", &gCodigosPRN.PRN_ININEG},         {"</b>", &gCodigosPRN.PRN_FINNEG},
        {"<u>", &gCodigosPRN.PRN_INISUB},         {"</u>", &gCodigosPRN.PRN_FINSUB},
        {"<dblalt>", &gCodigosPRN.PRN_INIDBLALT}, {"</dblalt>", &gCodigosPRN.PRN_FINDBLALT},
        {"<trialt>", &gCodigosPRN.PRN_INITRIALT}, {"</trialt>", &gCodigosPRN.PRN_FINTRIALT},
        {"<gig>", &gCodigosPRN.PRN_INIGIG},       {"</gig>", &gCodigosPRN.PRN_FINGIG},
        {"<inv>", &gCodigosPRN.PRN_INIINV},       {"</inv>", &gCodigosPRN.PRN_FININV}};

    const QStringList piezas = strTextoTicket.isEmpty() ? QStringList() : strTextoTicket.split(kCortar);
    resultado.blnPiezasRecorridas = true;
    for (const QString& pieza : piezas) {
        // The shop's rows: idOrden up to 6 head the ticket, the rest close it.
        struct Fila {
            double orden;
            QString texto;
        };
        std::vector<Fila> filas;
        size_t actual = 0;
        if (o.blnImprimirCabeceraYPie) {
            AtrapaErrores(proc, [&] {
                ado::RecordsetPtr rs =
                    abre(ConexionLocal(), kSqlConfigTicket, {Variant(glngEmpresa), Variant(glngRestaurante)});
                while (!rs->isEOF()) {
                    filas.push_back({ValNumero(textoDe(rs->Fields(QStringLiteral("idOrden")).Value)),
                                     textoDe(rs->Fields(QStringLiteral("Texto")).Value)});
                    rs->MoveNext();
                }
                rs->Close();
            });
            for (; actual < filas.size() && filas[actual].orden <= 6; ++actual) {
                const Fila& f = filas[actual];
                if (vb::Trim(f.texto).isEmpty())
                    continue;
                AtrapaErrores(proc, [&] {
                    linea(f.orden == 1 ? gCodigosPRN.PRN_INIDBLALT + f.texto + gCodigosPRN.PRN_FINDBLALT : f.texto);
                });
            }
            AtrapaErrores(proc, [&] { linea(QString()); });
        }

        QString texto = pieza;
        texto.replace(QChar(10), kBr);
        texto.replace(QChar(13), kBr);
        for (const auto& [etiqueta, codigo] : etiquetas)
            texto.replace(QLatin1String(etiqueta), *codigo);
        const QStringList lineas = texto.isEmpty() ? QStringList() : texto.split(kBr);
        for (const QString& l : lineas) {
            AtrapaErrores(proc, [&] {
                if (basFuncionesComunes::Columnas(l) <= 42) {
                    linea(l);
                    return;
                }
                const QStringList partes = AjustaTexto(42, l, 0).split(CRLF);
                for (const QString& p : partes)
                    linea(p);
            });
        }

        for (; actual < filas.size(); ++actual)
            AtrapaErrores(proc, [&] { linea(filas[actual].texto); });

        AtrapaErrores(proc, [&] {
            const ResultadoCorte corte = CortarPapel(trabajo, {.NombreImpresora = strImpresora});
            envio = envio.anade(corte.envio);
            strImpresora = corte.NombreImpresora;
        });
        resultado.piezas << std::exchange(envio, {});
    }

    if (codigosPropios)
        AtrapaErrores(proc, [&] {
            gCodigosPRN.PRN_INIDBLALT = CodigoImpresora({29, '!', 17});
            gCodigosPRN.PRN_FINDBLALT = CodigoImpresora({29, '!', 0});
        });
    AtrapaErrores(proc, [&] { objImpresionPantalla().Finaliza(o.blnImprimirPorPantalla); });
    resultado.blnEnviado = resultado.todoSalio() && envio.ok;
    resultado.strImpresora = strImpresora;
    resultado.blnFalloInformado = trabajo.informe.blnInformado;
    return resultado;
}

bool ResultadoImpresion::todoSalio() const {
    return std::all_of(piezas.cbegin(), piezas.cend(), [](const basPrinter::ResultadoEnvio& e) { return e.ok; });
}
