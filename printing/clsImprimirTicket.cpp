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
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "printing/basPrinter.h"
#include "printing/clsImpresionPantalla.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
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

// Labels go through the translation in the current language, translation forced. Labels (from the
// translation table) and values (from the database) are outside text: they print as text only.
QString T(const QString& etiqueta) {
    return basPrinter::SoloTexto(TraduceLiteral(etiqueta, -1, true, false));
}

// VB's Format(n, "000..."): at least `digitos` digits, the sign in front.
QString ceros(qint64 n, int digitos) {
    const QString d = QString::number(n < 0 ? -n : n).rightJustified(digitos, QLatin1Char('0'));
    return n < 0 ? QStringLiteral("-") + d : d;
}

QString textoDe(const Variant& v, const QString& defecto = {}) {
    return basPrinter::SoloTexto(vb::CStr(VarToStr(v, defecto)));
}

// Runs one statement of a procedure: a run-time error goes to the central handler under the
// procedure's name and the caller goes on with its next statement.

FilasTicket* g_filas = nullptr; // fixed rows in place of the connections (none: the connections)

// Every statement of the composer goes through these two, with its values bound.
ado::RecordsetPtr abre(ado::Connection& cn, const QString& sql, const QList<Variant>& valores) {
    ++g_sentencias;
    return g_filas ? g_filas->abre(sql, valores) : cn.OpenRecordset(sql, valores);
}
void ejecuta(ado::Connection& cn, const QString& sql, const QList<Variant>& valores) {
    ++g_sentencias;
    if (g_filas)
        g_filas->ejecuta(sql, valores);
    else
        cn.Execute(sql, nullptr, valores);
}
// ComCentral, or the fixed rows' answer.
bool conecta() {
    return g_filas ? g_filas->conectado() : ComCentral();
}
bool enlaceAbierto() {
    return g_filas ? g_filas->conectado() : ConexionServidor().State() == ado::adStateOpen;
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
    const double g = objParametros().lee(param::GrupoComandas);
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

// Why a kitchen piece did not print: a step of it failed, so it was not whole.
const QString kComandaIncompleta = QStringLiteral("comanda incompleta: no se han podido leer todos sus datos");

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
        if (intento == 2 || enlaceAbierto())
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
    const bool enlaceCaido = !enlaceAbierto();
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

// A parameter read once for the piece: its value, or the run-time error its reading raised. The
// error is raised again where the value is used, so the block that uses it reports it under its
// own name and is the one left out, as when it read the parameter itself. A parameter the till
// lacks is read again where it is used, so the program ends only when a block really needs it (a
// branch that never reached it never ended the program).
template <class T> class Leido {
public:
    Leido() = default;
    template <class F> Leido(F&& lectura, bool falta) {
        if (falta) {
            m_relectura = std::forward<F>(lectura);
            return;
        }
        try {
            m_valor = lectura();
        } catch (const VBError& e) {
            m_error = e;
        }
    }
    const T& operator*() const {
        if (m_relectura)
            m_valor = m_relectura();
        if (m_error)
            throw *m_error;
        return m_valor;
    }

private:
    mutable T m_valor{};
    std::optional<VBError> m_error;
    std::function<T()> m_relectura;
};

// A parameter read as its key says, its failure kept for the step that uses it.
template <class V, param::SiFalta F> Leido<V> leido(const param::Clave<V, F>& clave) {
    const bool falta = F == param::SiFalta::TerminaPrograma && !objParametros().existe(clave);
    return Leido<V>([clave] { return objParametros().lee(clave); }, falta);
}

// The kitchen line spacing as a command byte; nothing when the value does not fit in one byte.
std::optional<int> espaciadoCocina(double valor) {
    const double v = vb::RoundHalfEven(valor);
    if (v < 0 || v > 255)
        return std::nullopt;
    return int(v);
}

} // namespace

// The parameters of one kitchen ticket piece, read as the piece starts: the header's set-up, its
// printed part (when the request asks for a header), the article lines, the foot's body (when it
// asks for a foot), and the identification block that either of them prints.
struct clsImprimirTicket::ParametrosPieza {
    // set-up and closing
    Leido<double> TieneImpresoraFisica;
    Leido<double> EspacioEntreLineasCocina;
    Leido<double> ImprimirAnulacionesRojo;
    Leido<double> CodigosEscTicketCocina;
    Leido<qint32> TipoLetraCocina;
    Leido<double> ImpArtInvTickCocina;
    // the header's printed part
    Leido<qint32> BlancosCabecera;
    Leido<double> BlancosCabeceraTicketCocina;
    Leido<double> ImpDosCarTickGrandes;
    Leido<double> ImprimirNombreImpresoraTicketCocina;
    Leido<double> ImpLogoTicketCocina;
    Leido<QString> TextoCabeceraCocina;
    Leido<double> ImprimirVendedorTicketCocina;
    Leido<QString> VendedorTicketOLinea;
    Leido<double> ImpNombreVendedor;
    Leido<double> ImpMesaTickCocina;
    Leido<double> ImpMesaTickCocinaGrande;
    Leido<double> NoImpCodigoMesas;
    Leido<double> ImpCodigoMesasSalas;
    Leido<QString> ImprimirClienteTicketCocina;
    // the drawn rule and the identification block, in the header or the foot
    Leido<double> LineasHorizontalesCocina;
    Leido<double> ImpCabTickCocinaFinal;
    Leido<double> TicketGrande;
    Leido<double> ImprimirTPVCocina;
    Leido<double> ImprimirSalaCocina;
    Leido<double> ImprimirSalaGrandeCocina;
    Leido<QString> TicCocinaImprimirPaxs;
    // the article lines
    Leido<double> InterlineadoImpresoraCocina;
    Leido<double> TipoImpresionNegritaArticulosTicketCocina;
    Leido<QString> ImprimirMenusDiferenciado;
    Leido<double> ImpSoloArtsLetraGrandeCocina;
    Leido<double> ImpArtsLetraGrandeCocina;
    Leido<double> ImpArtsMayusculas;
    // the foot's body
    Leido<double> ImprimirObservacionesTicketCocina;
    Leido<double> ImprimirObservacionesLetraGrande;
    Leido<double> EmitirPito;
    Leido<double> BlancosPie;

    static ParametrosPieza lee(bool blnCabecera, bool blnPie) {
        ParametrosPieza p;
        p.TieneImpresoraFisica = leido(param::TieneImpresoraFisica);
        p.EspacioEntreLineasCocina = leido(param::EspacioEntreLineasCocina);
        p.ImprimirAnulacionesRojo = leido(param::ImprimirAnulacionesRojo);
        p.CodigosEscTicketCocina = leido(param::CodigosEscTicketCocina);
        p.TipoLetraCocina = leido(param::TipoLetraCocina);
        p.ImpArtInvTickCocina = leido(param::ImpArtInvTickCocina);
        if (blnCabecera) {
            p.BlancosCabecera = leido(param::BlancosCabecera);
            p.BlancosCabeceraTicketCocina = leido(param::BlancosCabeceraTicketCocina);
            p.ImpDosCarTickGrandes = leido(param::ImpDosCarTickGrandes);
            p.ImprimirNombreImpresoraTicketCocina = leido(param::ImprimirNombreImpresoraTicketCocina);
            p.ImpLogoTicketCocina = leido(param::ImpLogoTicketCocina);
            p.TextoCabeceraCocina = leido(param::TextoCabeceraCocina);
            p.ImprimirVendedorTicketCocina = leido(param::ImprimirVendedorTicketCocina);
            p.VendedorTicketOLinea = leido(param::VendedorTicketOLinea);
            p.ImpNombreVendedor = leido(param::ImpNombreVendedor);
            p.ImpMesaTickCocina = leido(param::ImpMesaTickCocina);
            p.ImpMesaTickCocinaGrande = leido(param::ImpMesaTickCocinaGrande);
            p.NoImpCodigoMesas = leido(param::NoImpCodigoMesas);
            p.ImpCodigoMesasSalas = leido(param::ImpCodigoMesasSalas);
            p.ImprimirClienteTicketCocina = leido(param::ImprimirClienteTicketCocina);
        }
        if (blnCabecera || blnPie) {
            p.LineasHorizontalesCocina = leido(param::LineasHorizontalesCocina);
            p.ImpCabTickCocinaFinal = leido(param::ImpCabTickCocinaFinal);
            p.TicketGrande = leido(param::TicketGrande);
            p.ImprimirTPVCocina = leido(param::ImprimirTPVCocina);
            p.ImprimirSalaCocina = leido(param::ImprimirSalaCocina);
            p.ImprimirSalaGrandeCocina = leido(param::ImprimirSalaGrandeCocina);
            p.TicCocinaImprimirPaxs = leido(param::TicCocinaImprimirPaxs);
        }
        p.InterlineadoImpresoraCocina = leido(param::InterlineadoImpresoraCocina);
        p.TipoImpresionNegritaArticulosTicketCocina = leido(param::TipoImpresionNegritaArticulosTicketCocina);
        p.ImprimirMenusDiferenciado = leido(param::ImprimirMenusDiferenciado);
        p.ImpSoloArtsLetraGrandeCocina = leido(param::ImpSoloArtsLetraGrandeCocina);
        p.ImpArtsLetraGrandeCocina = leido(param::ImpArtsLetraGrandeCocina);
        p.ImpArtsMayusculas = leido(param::ImpArtsMayusculas);
        if (blnPie) {
            p.ImprimirObservacionesTicketCocina = leido(param::ImprimirObservacionesTicketCocina);
            p.ImprimirObservacionesLetraGrande = leido(param::ImprimirObservacionesLetraGrande);
            p.EmitirPito = leido(param::EmitirPito);
            p.BlancosPie = leido(param::BlancosPie);
        }
        return p;
    }
};

// One kitchen ticket piece being composed: its job, its printer, its header row and parameters,
// and the blocks of its header and foot. Each block is one step that a failure may leave out.
class clsImprimirTicket::PiezaCocina {
public:
    PiezaCocina(clsImprimirTicket& ticket, basPrinter::BufferImpresion& trabajo, const ParametrosPieza& p,
                const FilaCabecera& cabecera, const QString& strImpresora)
        : t(ticket), trabajo(trabajo), p(p), cabecera(cabecera), strImpresora(strImpresora) {}

    // ---- the header's set-up ----
    void modoImpresora() const {
        if (*p.TieneImpresoraFisica == 1) {
            objImpresionPantalla().setImprimirPorDriver(false);
            objImpresionPantalla().setImprimirPorPantalla(false);
        }
    }
    // The kitchen line spacing goes out at once, ahead of the ticket (64 and out of range: none).
    basPrinter::ResultadoEnvio espaciado(bool& blnEspaciado) const {
        const double v = *p.EspacioEntreLineasCocina;
        if (v == 64 || v <= 0 || v >= 255)
            return {};
        blnEspaciado = true;
        return Imprimir(
            trabajo, CodigoImpresora({27, '3', int(vb::RoundHalfEven(v))}),
            {.ConSalto = false, .Enviar = true, .NombreImpresora = strImpresora, .Traducir = false, .EsCocina = true});
    }
    void anulacionesEnRojo() const {
        if (*p.ImprimirAnulacionesRojo != 0)
            Imprimir(trabajo, CodigoImpresora({27, 'r', 0}), {.ConSalto = false, .NombreImpresora = strImpresora});
    }
    // Code sets 1 and 2 print the large sizes with ESC "!" for this ticket (the composer puts the
    // standard codes back after the foot).
    void codigosDeAltura() const {
        const double codigos = *p.CodigosEscTicketCocina;
        if (codigos != 1 && codigos != 2)
            return;
        using basPrinter::gCodigosPRN;
        const QString fin =
            vb::CInt(Variant(*p.TipoLetraCocina)) >= 4 ? CodigoImpresora({27, '!', 1}) : CodigoImpresora({27, '!', 0});
        gCodigosPRN.PRN_FINDBLALT = fin;
        gCodigosPRN.PRN_FINTRIALT = fin;
        gCodigosPRN.PRN_INIDBLALT = CodigoImpresora({27, '!', 17});
        gCodigosPRN.PRN_INITRIALT = CodigoImpresora({27, '!', 57});
    }

    // ---- the header's printed part ----
    void blancos(qint16 n) const {
        for (qint16 i = n; i > 0; --i)
            blanco();
    }
    void numeroGrande() const {
        const double modo = *p.ImpDosCarTickGrandes;
        if (modo != 0)
            t.imprimirDigitosTicketLetraGrande(trabajo, t.lngTPV, t.lngTicket, 0, modo == 2, strImpresora);
    }
    void nombreImpresora() const {
        if (*p.ImprimirNombreImpresoraTicketCocina != 0 || basFuncionesComunes::EjecutandoEnIDE() || gblnDesarrollo ||
            gblnInstal)
            linea(T(QStringLiteral("Impresora")) + QStringLiteral(" ") + basPrinter::SoloTexto(strImpresora));
    }
    void logo() const {
        if (*p.ImpLogoTicketCocina == 1)
            ImprimeLogo(trabajo, false, 0, strImpresora);
    }
    // The kitchen message in triple height, or else the header text (the request's description first).
    void mensajeOTexto(const QString& strDescripcionCabecera) const {
        using basPrinter::gCodigosPRN;
        if (!t.strMensajeCocina.isEmpty()) {
            blanco();
            linea(gCodigosPRN.PRN_INITRIALT + basPrinter::SoloTexto(t.strMensajeCocina) + gCodigosPRN.PRN_FINTRIALT);
            blanco();
            return;
        }
        const QString textoCabecera = *p.TextoCabeceraCocina;
        if (textoCabecera.isEmpty())
            return;
        lineaK(gCodigosPRN.PRN_ININEG +
               (strDescripcionCabecera.isEmpty() ? textoCabecera : basPrinter::SoloTexto(strDescripcionCabecera)) +
               gCodigosPRN.PRN_FINNEG);
        blanco();
    }
    void vendedor() const {
        using basPrinter::gCodigosPRN;
        const double modo = *p.ImprimirVendedorTicketCocina;
        if (modo == 0 || *p.VendedorTicketOLinea != QLatin1String("T"))
            return;
        QString inicio, fin;
        if (modo == 1) {
            inicio = gCodigosPRN.PRN_ININEG;
            fin = gCodigosPRN.PRN_FINNEG;
        } else if (modo == 2) {
            inicio = gCodigosPRN.PRN_INIDBLALT;
            fin = gCodigosPRN.PRN_FINDBLALT;
        } else if (modo == 3) {
            inicio = gCodigosPRN.PRN_INITRIALT;
            fin = gCodigosPRN.PRN_FINTRIALT;
        }
        ado::RecordsetPtr rs =
            abre(ConexionLocal(), kSqlVendedor,
                 {Variant(glngEmpresa), Variant(glngRestaurante), Variant(t.lngTPV), Variant(t.lngTicket)});
        while (!rs->isEOF()) {
            const QString valor = textoDe(
                rs->Fields(*p.ImpNombreVendedor == 1 ? QStringLiteral("Descripcion") : QStringLiteral("idVendedor"))
                    .Value);
            linea(inicio + T(QStringLiteral("Vendedor") + QStringLiteral(": ")) + valor + fin);
            rs->MoveNext();
        }
        rs->Close();
        blanco();
    }
    // Tables 9995 to 9999 are special: no code; 9997 with a description is a take-away order.
    void mesa() const {
        using basPrinter::gCodigosPRN;
        if (*p.ImpMesaTickCocina != 1 || !cabecera)
            return;
        const bool grande = *p.ImpMesaTickCocinaGrande == 1;
        const QString mesaTexto = textoCampo(cabecera, "idmesa", QStringLiteral("0"));
        const double m = ValNumero(mesaTexto);
        const bool especial = m >= 9995 && m <= 9999;
        QString l = grande ? gCodigosPRN.PRN_INITRIALT : QString();
        l += T(QStringLiteral("Mesa:")) + QStringLiteral(" ");
        const QString descTicket = textoCampo(cabecera, "descticket");
        if (m == 9997 && !descTicket.isEmpty()) {
            l += textoCampo(cabecera, "descpv") + QStringLiteral(" - ") + descTicket;
        } else {
            if (*p.NoImpCodigoMesas == 0 && !especial)
                l += AlineaTexto(mesaTexto, 6, false, true, QString()) + QStringLiteral(" ");
            if (especial || *p.ImpCodigoMesasSalas == 0)
                l += textoCampo(cabecera, "descmesa");
        }
        if (grande)
            l += gCodigosPRN.PRN_FINTRIALT;
        lineaK(l);
        if (grande)
            blanco();
    }
    // The rule sets the spacing to 0 and restores it after; without a usable spacing it is left out.
    void reglaDibujada() const {
        if (*p.LineasHorizontalesCocina != 1)
            return;
        if (const auto espaciado = espaciadoCocina(*p.EspacioEntreLineasCocina))
            ImprimeImagenBits(trabajo, kRegla, 256, 0, qint16(*espaciado), strImpresora);
        else
            GrabaLog(QStringLiteral("Regla sin imprimir: EspacioEntreLineasCocina fuera de 0..255"));
    }
    void inversoArticulos() const {
        if (*p.ImpArtInvTickCocina == 1)
            Imprimir(trabajo, basPrinter::gCodigosPRN.PRN_INIINV,
                     {.ConSalto = false, .NombreImpresora = strImpresora, .EsCocina = true});
    }

    // ---- the identification block ----
    QString lineaTicket() const {
        using basPrinter::gCodigosPRN;
        const bool grande = *p.TicketGrande == 1;
        QString l;
        if (grande)
            l += gCodigosPRN.PRN_INITRIALT;
        l += gCodigosPRN.PRN_ININEG + T(QStringLiteral("Ticket")) + QStringLiteral(" ") + gCodigosPRN.PRN_FINNEG;
        if (cabecera)
            l += numeroTicket(cabecera, t.lngTicket);
        l += grande ? gCodigosPRN.PRN_FINTRIALT + CRLF : QStringLiteral(" ");
        l += gCodigosPRN.PRN_ININEG + T(QStringLiteral("Fec")) + QStringLiteral(": ") + gCodigosPRN.PRN_FINNEG +
             fechaYHora();
        return l;
    }
    // The waiter named by the request (looked up by `sql`), or the one who opened the table.
    QString lineaCamarero(const QString& sql, const QList<Variant>& valores) const {
        using basPrinter::gCodigosPRN;
        if (!t.intCamarero.isEmpty()) {
            const auto nombre = primerValor(ConexionLocal(), sql, valores, QStringLiteral("Descripcion"));
            return gCodigosPRN.PRN_ININEG + T(QStringLiteral("Camarero:")) + QStringLiteral(" ") +
                   gCodigosPRN.PRN_FINNEG + (nombre ? textoDe(*nombre) : QString());
        }
        return gCodigosPRN.PRN_ININEG + T(QStringLiteral("Camarero apertura mesa:")) + QStringLiteral(" ") +
               gCodigosPRN.PRN_FINNEG + (cabecera ? textoCampo(cabecera, "desccamarero") : QString());
    }
    QString etiquetaImpresoDesde() const {
        using basPrinter::gCodigosPRN;
        return gCodigosPRN.PRN_ININEG + T(QStringLiteral("Impreso desde:")) + QStringLiteral(" ") +
               gCodigosPRN.PRN_FINNEG;
    }
    QString lineaSala() const {
        using basPrinter::gCodigosPRN;
        QString l = gCodigosPRN.PRN_ININEG + T(QStringLiteral("Sala:")) + QStringLiteral(" ") + gCodigosPRN.PRN_FINNEG +
                    AlineaTexto(textoCampo(cabecera, "idsala", QStringLiteral("0")), 6, false, true, QString()) +
                    QStringLiteral(" ") + textoCampo(cabecera, "descsala");
        if (*p.ImprimirSalaGrandeCocina != 0)
            l = gCodigosPRN.PRN_INITRIALT + l + gCodigosPRN.PRN_FINTRIALT;
        return l;
    }
    QString lineaPaxs() const {
        using basPrinter::gCodigosPRN;
        return gCodigosPRN.PRN_ININEG + T(QStringLiteral("PAXs:")) + gCodigosPRN.PRN_FINNEG + QStringLiteral(" ") +
               textoCampo(cabecera, "paxs", QStringLiteral("0"));
    }
    // In the header, each line is a step of its own.
    void ticketCabecera() const {
        if (cabecera)
            lineaK(lineaTicket());
    }
    void camareroCabecera() const {
        if (!t.intCamarero.isEmpty() || cabecera)
            lineaK(lineaCamarero(kSqlCamareroMaecam,
                                 {Variant(glngEmpresa), Variant(glngRestaurante), Variant(t.intCamarero)}));
    }
    // From a handheld the waiter's name (the request's waiter code), else this service's till.
    void impresoDesdeCabecera() const {
        if (*p.ImprimirTPVCocina != 1)
            return;
        QString l = etiquetaImpresoDesde();
        std::optional<Variant> nombre;
        if (t.lngNumComandero != 0)
            nombre = primerValor(ConexionLocal(), kSqlCamareroMaecam,
                                 {Variant(glngEmpresa), Variant(glngRestaurante), Variant(t.intCamarero)},
                                 QStringLiteral("Descripcion"));
        else if (auto n = primerValor(ConexionLocal(), kSqlTPVCabecera,
                                      {Variant(glngEmpresa), Variant(glngRestaurante), Variant(qint32(gintTPV))},
                                      QStringLiteral("Nombre")))
            nombre = Variant(vb::Trim(textoDe(*n)));
        if (nombre)
            l += QStringLiteral(" ") + textoDe(*nombre);
        lineaK(l);
    }
    void salaCabecera() const {
        if (*p.ImprimirSalaCocina == 1 && cabecera)
            lineaK(lineaSala());
    }
    void paxsCabecera() const {
        if (esVerdadero(*p.TicCocinaImprimirPaxs) && cabecera)
            lineaK(lineaPaxs());
    }
    // In the foot the block is one step: the handheld's name from Camareros, else the till's.
    void identificacionPie() const {
        lineaK(lineaTicket());
        lineaK(lineaCamarero(kSqlCamareros, {Variant(t.intCamarero)}));
        if (*p.ImprimirTPVCocina == 1) {
            QString l = etiquetaImpresoDesde();
            if (t.lngNumComandero != 0) {
                if (const auto n = primerValor(ConexionLocal(), kSqlCamareros, {Variant(t.lngNumComandero)},
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
            if (*p.ImprimirSalaCocina == 1)
                lineaK(lineaSala());
            if (esVerdadero(*p.TicCocinaImprimirPaxs))
                lineaK(lineaPaxs());
        }
    }

    // ---- the foot ----
    // Colour and reverse printing off, as the header left them.
    void finDeModos() const {
        if (*p.ImprimirAnulacionesRojo != 0)
            Imprimir(trabajo, CodigoImpresora({27, 'r', 0}), {.ConSalto = false, .NombreImpresora = strImpresora});
        if (*p.ImpArtInvTickCocina == 1)
            Imprimir(trabajo, basPrinter::gCodigosPRN.PRN_FININV, {.ConSalto = false, .NombreImpresora = strImpresora});
    }
    // The preparation note and the general observation of the ticket, between dash rules.
    void observaciones(qint16 anchoLinea) const {
        using basPrinter::gCodigosPRN;
        ado::RecordsetPtr rs =
            abre(ConexionServidor(), kSqlObservaciones,
                 {Variant(glngEmpresa), Variant(glngRestaurante), Variant(t.lngTPV), Variant(t.lngTicket)});
        if (!rs->isEOF() && !rs->isBOF()) {
            QString obs = textoDe(rs->Fields(QStringLiteral("observ_preparacion")).Value);
            const double general = *p.ImprimirObservacionesTicketCocina;
            const QString o = vb::Trim(textoDe(rs->Fields(QStringLiteral("Observ")).Value));
            if (general != 0 && !o.isEmpty() && o != QLatin1String("#ERROR#")) {
                if (!obs.isEmpty())
                    obs += CRLF + CRLF;
                obs += general == 2 ? gCodigosPRN.PRN_INIDBLALT + o + gCodigosPRN.PRN_FINDBLALT : o;
            }
            const double grande = *p.ImprimirObservacionesLetraGrande;
            if (grande == 2 || grande == 3)
                obs = gCodigosPRN.PRN_INIDBLALT + obs + gCodigosPRN.PRN_FINDBLALT;
            if (!obs.isEmpty())
                entreReglas(QStringLiteral("-"), anchoLinea, obs);
        }
        rs->Close();
    }
    void textoPie(qint16 anchoLinea, const QString& strTextoPie) const {
        if (!vb::Trim(strTextoPie).isEmpty())
            entreReglas(QStringLiteral("="), anchoLinea, basPrinter::SoloTexto(strTextoPie));
    }
    void pito() const {
        if (*p.EmitirPito != 0)
            EmitirPito(trabajo, 0, strImpresora);
    }
    void blancosPie() const {
        for (qint16 i = 0, n = vb::CInt(Variant(*p.BlancosPie - 1)); i <= n; ++i)
            blanco();
    }

private:
    // L+ S- I+ T+ with the kitchen character set (K+) or without it (K-).
    void lineaK(const QString& s) const { Imprimir(trabajo, s, {.NombreImpresora = strImpresora, .EsCocina = true}); }
    void linea(const QString& s) const { Imprimir(trabajo, s, {.NombreImpresora = strImpresora}); }
    void blanco() const { linea(QString()); }
    // A blank line, a rule of `caracter`, the text wrapped to the width, the rule, a blank line.
    void entreReglas(const QString& caracter, qint16 anchoLinea, const QString& s) const {
        const QString regla = AlineaTexto(caracter, anchoLinea - 2, false, true, caracter);
        blanco();
        linea(regla);
        linea(AjustaTexto(anchoLinea, s, 0));
        linea(regla);
        blanco();
    }

    clsImprimirTicket& t;
    basPrinter::BufferImpresion& trabajo;
    const ParametrosPieza& p;
    const FilaCabecera& cabecera;
    const QString& strImpresora;
};

bool clsImprimirTicket::paso(const QString& strProcedimiento, const std::function<void()>& f) {
    const bool hecho = AtrapaErrores(strProcedimiento, f);
    if (!hecho)
        m_blnPiezaIncompleta = true;
    return hecho;
}

ResultadoImpresion clsImprimirTicket::ImprimirTicketCocinaEspecial(qint32 tpv, qint32 ticket,
                                                                   const QString& strTextoTicket,
                                                                   const OpcionesTicketCocina& o) {
    using namespace basPrinter;
    const SinDialogosModales sinDialogos;
    ResultadoImpresion resultado;
    bool conectado = false;
    AtrapaErrores(kProcCocina, [&] { conectado = conecta(); });
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
    if (!cabeceraLeida && !enlaceAbierto())
        return resultado;

    // The foot may hand the ticket to the secondary printer; the next pieces follow it there.
    QString impresora = o.strImpresora;
    const QStringList piezas = strTextoTicket.isEmpty() ? QStringList() : strTextoTicket.split(kCortar);
    resultado.blnPiezasRecorridas = true;
    for (const QString& pieza : piezas) {
        // Each piece is a ticket of its own: its set-up is tried afresh.
        trabajo.empiezaPieza();
        // Differs from the original, which printed the pieces without it: without its header row (table,
        // waiter) the piece cannot be whole.
        m_blnPiezaIncompleta = !cabeceraLeida;
        const ParametrosPieza p = ParametrosPieza::lee(o.blnImprimirCabecera, o.blnImprimirPie);
        ResultadoEnvio envio;
        bool blnEspaciado = false;
        paso(kProcCocina, [&] {
            envio = ImprimirTicketCocinaCabecera(trabajo, p, cabecera, intAnchoLinea, blnEspaciado, impresora,
                                                 o.strDescripcionCabecera, o.blnImprimirCabecera);
        });

        int interlineado = 0;
        AtrapaErrores(kProcCocina, [&] {
            const double n = vb::RoundHalfEven(*p.InterlineadoImpresoraCocina);
            interlineado = (n < 0 || n > 255) ? 0 : int(n);
            if (interlineado != 0)
                Imprimir(trabajo, CodigoImpresora({27, '3', interlineado}), {.NombreImpresora = impresora});
        });

        // The request's text prints as text: its pieces are cut first (as the request queue cuts
        // them), then only the markup in it can make printer commands.
        QString texto = SoloTexto(pieza);
        texto.replace(QChar(13), kBr);
        texto.remove(QChar(10));
        const QStringList lineas = texto.isEmpty() ? QStringList() : texto.split(kBr);
        for (QString linea : lineas) {
            paso(kProcCocina, [&] {
                bool enfasis = false;
                if (linea.contains(QLatin1String("<b>"))) {
                    if (*p.TipoImpresionNegritaArticulosTicketCocina == 0) {
                        linea.replace(QLatin1String("<b>"), gCodigosPRN.PRN_ININEG);
                        linea.replace(QLatin1String("</b>"), gCodigosPRN.PRN_FINNEG);
                    } else {
                        linea.replace(QLatin1String("<b>"), gCodigosPRN.PRN_INIINV);
                        linea.replace(QLatin1String("</b>"), gCodigosPRN.PRN_FININV);
                    }
                    enfasis = true;
                }
                QString formateada = FormateaLineaArticuloCocina(p, linea, intAnchoLinea);
                if (enfasis)
                    formateada += gCodigosPRN.PRN_FINNEG + gCodigosPRN.PRN_FININV;
                Imprimir(trabajo, formateada, {.ConSalto = false, .NombreImpresora = impresora});
            });
        }

        if (interlineado != 0)
            AtrapaErrores(kProcCocina, [&] {
                Imprimir(trabajo, CodigoImpresora({27, '2'}), {.NombreImpresora = impresora});
            });

        paso(kProcCocina, [&] {
            envio = envio.anade(ImprimirTicketCocinaPie(trabajo, p, cabecera, intAnchoLinea, blnEspaciado, impresora,
                                                        o.blnImprimirPie, o.strTextoPie));
        });

        // The header may have put the ESC "!" height codes in place for this ticket.
        AtrapaErrores(kProcCocina, [&] {
            const double codigos = *p.CodigosEscTicketCocina;
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

// Every step is a trap of its own: a failure leaves that step out and the header goes on. The
// set-up steps run even when the request asks for no header. A step that puts the ticket's own
// data on it (a paso) leaves the piece incomplete when it fails; a layout step (blank lines,
// logo, rules, spacing) loses no data.
basPrinter::ResultadoEnvio clsImprimirTicket::ImprimirTicketCocinaCabecera(
    basPrinter::BufferImpresion& trabajo, const ParametrosPieza& p, const FilaCabecera& cabecera, qint16& anchoLinea,
    bool& blnEspaciado, const QString& strImpresora, const QString& strDescripcionCabecera, bool blnImprimirCabecera) {
    const PiezaCocina pieza(*this, trabajo, p, cabecera, strImpresora);
    basPrinter::ResultadoEnvio envio;

    bool seguir = true;
    AtrapaErrores(kProcCabecera, [&] {
        seguir = LanzaMensajesTriggerImprimirTicket(vb::Empty(), true, QStringLiteral("imprimir_ticket_cocina"), 0, 0);
    });
    if (!seguir)
        return envio;
    blnEspaciado = false;

    AtrapaErrores(kProcCabecera, [&] { objImpresionPantalla().Inicializa(); });
    AtrapaErrores(kProcCabecera, [&] { pieza.modoImpresora(); });
    AtrapaErrores(kProcCabecera, [&] { envio = pieza.espaciado(blnEspaciado); });
    AtrapaErrores(kProcCabecera,
                  [&] { anchoLinea = basPrinter::EstableceLetraYAncho(trabajo, 0, strImpresora, true); });
    AtrapaErrores(kProcCabecera, [&] { pieza.anulacionesEnRojo(); });
    AtrapaErrores(kProcCabecera, [&] { pieza.codigosDeAltura(); });
    if (!blnImprimirCabecera)
        return envio;

    AtrapaErrores(kProcCabecera, [&] { pieza.blancos(vb::CInt(Variant(*p.BlancosCabecera))); });
    AtrapaErrores(kProcCabecera, [&] { pieza.blancos(vb::CInt(Variant(*p.BlancosCabeceraTicketCocina))); });
    AtrapaErrores(kProcCabecera, [&] {
        GrabaLog(QStringLiteral("Voy a imprimir la cabecera: ") + basFuncionesComunes::TextoSegundos());
    });
    paso(kProcCabecera, [&] { pieza.numeroGrande(); });
    AtrapaErrores(kProcCabecera, [&] { pieza.nombreImpresora(); });
    AtrapaErrores(kProcCabecera, [&] { pieza.logo(); });
    paso(kProcCabecera, [&] { pieza.mensajeOTexto(strDescripcionCabecera); });
    paso(kProcCabecera, [&] { pieza.vendedor(); });
    paso(kProcCabecera, [&] { pieza.mesa(); });
    AtrapaErrores(kProcCabecera, [&] { pieza.reglaDibujada(); });
    // With 1 the foot prints the identification block; with any other value nobody does.
    if (*p.ImpCabTickCocinaFinal == 0) {
        paso(kProcCabecera, [&] { pieza.ticketCabecera(); });
        paso(kProcCabecera, [&] { pieza.camareroCabecera(); });
        paso(kProcCabecera, [&] { pieza.impresoDesdeCabecera(); });
        paso(kProcCabecera, [&] { pieza.salaCabecera(); });
        paso(kProcCabecera, [&] { pieza.paxsCabecera(); });
        // The customer block of the kitchen ticket prints nothing.
        AtrapaErrores(kProcCabecera, [&] { *p.ImprimirClienteTicketCocina; });
    }
    AtrapaErrores(kProcCabecera, [&] { pieza.inversoArticulos(); });
    return envio;
}

QString clsImprimirTicket::FormateaLineaArticuloCocina(const ParametrosPieza& p, const QString& strTexto,
                                                       qint16 anchoLinea) {
    QString s;
    vb::OnError(
        [&] {
            QString inicio, fin;
            int factor = 1;
            *p.ImprimirMenusDiferenciado;
            if (*p.ImpSoloArtsLetraGrandeCocina == 1 || *p.ImpArtsLetraGrandeCocina == 1) {
                inicio = basPrinter::gCodigosPRN.PRN_INIDBLALT;
                fin = basPrinter::gCodigosPRN.PRN_FINDBLALT;
                factor = 2;
            }
            s = strTexto + QStringLiteral(" ");
            // One character for one, as the printer counts columns ("ß" stays "ß", never "SS").
            if (*p.ImpArtsMayusculas == 1)
                for (QChar& c : s)
                    c = c.toUpper();
            s.remove(CRLF);
            const qint32 ancho = qint32(vb::RoundHalfEven(double(anchoLinea) / factor));
            s = AlineaTexto(s, ancho, true, false, QString());
            s = inicio + s + fin + CRLF;
        },
        [&](const VBError& e) {
            m_blnPiezaIncompleta = true;
            MensajeUsuario(e.description(), prompts::vbInformation);
        });
    return s;
}

// A failure in the foot's body skips the rest of the body. A piece that is whole is finished, cut
// and sent to its own printer; the failures are reported after it has gone.
//
// Differs from the original, which cut and sent whatever the piece held: a piece a step of which
// failed (a look-up on a link that dropped: the observations with the allergy notes, a header
// line) is not whole and must never pass for the ticket. When none of its text has gone out it is
// dropped: nothing reaches the kitchen but the error report, and the failed answer makes the till
// send the ticket again, whole. When the length limit already sent part of it, the rest goes with
// a line that says the copy is incomplete, and is cut, so the paper says so too.
basPrinter::ResultadoEnvio clsImprimirTicket::ImprimirTicketCocinaPie(basPrinter::BufferImpresion& trabajo,
                                                                      const ParametrosPieza& p,
                                                                      const FilaCabecera& cabecera, qint16 anchoLinea,
                                                                      bool blnEspaciado, QString& strImpresora,
                                                                      bool blnImprimirPie, const QString& strTextoPie) {
    using namespace basPrinter;
    const PiezaCocina pieza(*this, trabajo, p, cabecera, strImpresora);
    ResultadoEnvio envio;
    std::vector<VBError> fallos;
    const auto anota = [&](const VBError& e) { fallos.push_back(e); };

    // The foot's data are whole once its last data step has run: a failure before that leaves
    // some of them out (the steps after a failure are skipped).
    bool datosCompletos = false;
    vb::OnError(
        [&] {
            pieza.finDeModos();
            datosCompletos = !blnImprimirPie;
            if (!blnImprimirPie)
                return;
            pieza.observaciones(anchoLinea);
            pieza.textoPie(anchoLinea, strTextoPie);
            const bool identificacion = *p.ImpCabTickCocinaFinal == 1;
            datosCompletos = !identificacion;
            pieza.reglaDibujada();
            if (identificacion)
                pieza.identificacionPie();
            datosCompletos = true;
            pieza.pito();
            pieza.blancosPie();
        },
        anota);

    const bool incompleta = m_blnPiezaIncompleta || !datosCompletos;
    const ResultadoEnvio noCompuesta{
        .blnEnviado = true, .impresora = strImpresora, .ok = false, .error = kComandaIncompleta, .blnTexto = true};
    if (incompleta && !trabajo.blnTextoEnviado) {
        trabajo.Texto.clear();
        vb::OnError([&] { objImpresionPantalla().Finaliza(true, 0, strImpresora); }, anota);
        for (const VBError& e : fallos)
            ControlErrores(kProcPie, true, e);
        return noCompuesta;
    }
    if (incompleta)
        vb::OnError(
            [&] {
                Imprimir(trabajo, CRLF + QStringLiteral("*** COMANDA INCOMPLETA ***"),
                         {.NombreImpresora = strImpresora});
            },
            anota);

    // Finishing the ticket: print mode and spacing back, feed, cut and send, print target cleared.
    vb::OnError(
        [&] {
            const auto espaciado = espaciadoCocina(*p.EspacioEntreLineasCocina);
            QString caracter = espaciado ? QString(vb::Chr(*espaciado)) : QString();
            envio =
                InicializaImpresora(trabajo, 0, strImpresora,
                                    {.CambiarEspaciado = blnEspaciado && espaciado.has_value(), .Espaciado = caracter});
        },
        anota);
    vb::OnError(
        [&] {
            const ResultadoCorte corte =
                CortarPapel(trabajo, {.ImprimirLogoDespues = false, .NombreImpresora = strImpresora});
            envio = envio.anade(corte.envio);
            strImpresora = corte.NombreImpresora;
        },
        anota);
    vb::OnError([&] { objImpresionPantalla().Finaliza(true, 0, strImpresora); }, anota);

    for (const VBError& e : fallos)
        ControlErrores(kProcPie, true, e);
    return incompleta ? noCompuesta : envio;
}

// ================================================================================================
// Command number and large number
// ================================================================================================

void clsImprimirTicket::imprimirDigitosTicketLetraGrande(basPrinter::BufferImpresion& trabajo, qint32 tpv,
                                                         qint32 ticket, qint32 lngImpresora, bool blnImprimirNumComanda,
                                                         const QString& strImpresora) {
    using namespace basPrinter;
    AtrapaErrores(kProcDigitos, [&] {
        GrabaLog(QStringLiteral("ImprimirDigitosTicketLetraGrande: ") + basFuncionesComunes::TextoSegundos());
        QString s;
        if (!blnImprimirNumComanda) {
            s = vb::Right(ceros(tpv, 3), 1) + vb::Right(ceros(ticket, 8), 2);
        } else {
            const QList<Variant> valores{Variant(glngEmpresa), Variant(glngRestaurante), Variant(tpv), Variant(ticket)};
            GrabaLog(kSqlComandasTicket + QStringLiteral(" [") + QString::number(glngEmpresa) + QStringLiteral(", ") +
                     QString::number(glngRestaurante) + QStringLiteral(", ") + QString::number(tpv) +
                     QStringLiteral(", ") + QString::number(ticket) + QStringLiteral("]: ") +
                     basFuncionesComunes::TextoSegundos());
            if (conecta()) {
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
                    GrabaLog(QStringLiteral("ImprimirDigitosTicketLetraGrande sin número de comanda: ") +
                             basFuncionesComunes::TextoSegundos());
                    return;
                }
                s = QString::number(n);
            }
        }
        GrabaLog(QStringLiteral("Imprimo texto: ") + basFuncionesComunes::TextoSegundos());
        Imprimir(trabajo, QString(), {.idImpresora = lngImpresora, .NombreImpresora = strImpresora});
        Imprimir(trabajo,
                 gCodigosPRN.PRN_INITRIALT + T(QStringLiteral("Núm.")) + QStringLiteral(" ") + s +
                     gCodigosPRN.PRN_FINTRIALT,
                 {.idImpresora = lngImpresora, .NombreImpresora = strImpresora, .EsCocina = true});
        Imprimir(trabajo, QString(), {.idImpresora = lngImpresora, .NombreImpresora = strImpresora});
    });
    AtrapaErrores(kProcDigitos, [&] {
        GrabaLog(QStringLiteral("ImprimirDigitosTicketLetraGrande end: ") + basFuncionesComunes::TextoSegundos());
    });
}

qint32 clsImprimirTicket::getNumeroComanda() {
    if (lngNumeroComanda != 0)
        return lngNumeroComanda;
    if (m_blnSinNumeroComanda)
        return 0;
    // Every way out leaves lngNumeroComanda as the answer: 0 until a number is taken.
    AtrapaErrores(kProcComanda, [&] {
        // Without the main connection no number can be made sure of: the ticket prints without one.
        if (!conecta()) {
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
        if (!conecta() || objParametros().lee(param::ConectarPantallasCocinaDirectasaTPV) != 0)
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
    AtrapaErrores(proc, [&] { conectado = conecta(); });
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
        if (o.blnImprimirLogo &&
            (objParametros().lee(param::ImpLogoAntes) == 1 || objParametros().lee(param::LogoEnImpresora) == 1))
            ImprimeLogo(trabajo, false, 0, strImpresora);
    });
    bool codigosPropios = false;
    AtrapaErrores(proc, [&] {
        const double codigos = objParametros().lee(param::CodigosEscTicketNormal);
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

        QString texto = SoloTexto(pieza);
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

void clsImprimirTicket::setFilasTicket(FilasTicket* filas) {
    g_filas = filas;
}

bool ResultadoImpresion::incierto() const {
    const auto incierta = [](const basPrinter::ResultadoEnvio& e) { return !e.ok && e.blnIncierto; };
    return std::any_of(piezas.cbegin(), piezas.cend(), incierta) &&
           std::all_of(piezas.cbegin(), piezas.cend(),
                       [&](const basPrinter::ResultadoEnvio& e) { return e.ok || incierta(e); });
}

bool ResultadoImpresion::todoSalio() const {
    return std::all_of(piezas.cbegin(), piezas.cend(), [](const basPrinter::ResultadoEnvio& e) { return e.ok; });
}
