#include "clsComm.h"
#include "ScaleWindowsPort.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "printing/basPrinter.h"
#include <QLocale>
#include <cmath>
#include <memory>

using namespace basFuncionesComunes;

namespace {

// A write may take 10 ms plus 1 ms per byte; how long a read lasts is clsCommTramas::LectorRespuesta's.
constexpr int kEscrituraConstanteMs = 10;
constexpr int kTrozoEscritura = 255;
constexpr qint16 kMaxLecturasVacias = 10;
constexpr qint64 kEsperaRespuestaMs = 200;
constexpr double kPesoMaximoManual = 1000;

const char* const kTxtNoComunica = "No es posible comunicar con la balanza. Compruebe que la balanza está encendida y "
                                   "conectada al TPV e inténtelo de nuevo, por favor...";
const char* const kTxtNoConecta = "No se puede conectar con la balanza. Por favor, compruebe que la balanza está "
                                  "encendida y conectada al TPV y reinicie el programa";
const char* const kTxtPongaProducto = "Ponga el producto sobre la balanza, por favor...";
const char* const kTxtPongaProductoPesar = "Ponga el producto sobre la balanza para pesarlo, por favor...";
const char* const kTxtQuiteVuelva = "Quite el producto y vuelva a colocarlo en la balanza, por favor...";
const char* const kTxtQuite = "Quite el producto de la balanza, por favor...";
const char* const kTxtEstabilice = "Espere a que el peso se estabilice, por favor...";
const char* const kTxtSoloEpelsa = "El programa está configurado con un modo de funcionamiento que sólo es compatible "
                                   "con balanzas Epelsa y el modo contínuo.";
const char* const kTxtPesarPrimero = "La balanza debe estar configurada en modo ''Pesar primero y marcar después''";
const char* const kTxtOcupada = "La balanza está ocupada con otra pesada. Inténtelo de nuevo, por favor...";

QString T(const char* texto) {
    return TraduceLiteral(QString::fromUtf8(texto));
}

// The scale's settings; a till that never configured them reads 0 (request mode, model 0).
qint32 Modelo() {
    return objParametros().lee(param::ModeloBalanza);
}
bool ModoContinuo() {
    return objParametros().lee(param::BalanzaModoContinuo) == 1;
}
bool PesarPrimero() {
    return objParametros().lee(param::TipoFuncionamientoBalanza) == 1;
}

// A port error is shown to the operator, who can go on working.
void AvisaErrorPuerto(const VBError& e) {
    MensajeEnPantalla(e.description(), prompts::vbInformation, QString());
}

// Manual entry by PermitirEntradaPesoManual: 1, 2 and 4 always; 3 only for a refund.
bool EntradaManualPermitida(qint32 p, bool abono) {
    switch (p) {
    case 1:
    case 2:
    case 4:
        return true;
    case 3:
        return abono;
    default:
        return false;
    }
}

} // namespace

using namespace clsCommTramas;

std::optional<LineaTicketPeso> LeeLineaTicketPeso(qint32 lngTPV, qint32 lngTicket, qint32 lngLinea) {
    ado::RecordsetPtr rs = ConexionLocal().OpenRecordset(
        QStringLiteral("select linticket.idArticulo, linticket.cantidad, linticket.peso, "
                       "       tarifas.precio as precio_tarifa, linticket.PrecioUnitario, linticket.PrecioOriginal "
                       "from linticket "
                       "left join tarifas on linticket.idArticulo=tarifas.idArticulo and "
                       "linticket.Tarifa=tarifas.tarifa "
                       "where linticket.idTPV=? and linticket.idTicket=? and linticket.idLinea=?"),
        {Variant(lngTPV), Variant(lngTicket), Variant(lngLinea)});
    if (rs->isEOF())
        return std::nullopt;
    auto num = [&](const char* campo) {
        const Variant v = rs->Fields(QString::fromLatin1(campo)).Value;
        return vb::IsNull(v) ? 0.0 : vb::CDbl(v);
    };
    LineaTicketPeso l{rs->Fields(QStringLiteral("idArticulo")).Value, num("cantidad"), num("peso"),
                      PrecioUnitarioLinea(rs->Fields(QStringLiteral("precio_tarifa")).Value,
                                          rs->Fields(QStringLiteral("PrecioUnitario")).Value,
                                          rs->Fields(QStringLiteral("PrecioOriginal")).Value,
                                          objParametros().lee(param::FuncPizzeria))};
    rs->Close();
    return l;
}

// ---------------------------------------------------------------------------------------------
// Port

// Marks the port busy for one write/read exchange: a handler that runs inside the 200 ms wait must
// not write its own request between ours and the scale's reply.
struct clsComm::LecturaEnCurso {
    explicit LecturaEnCurso(clsComm& c) : comm(c) { comm.m_blnLecturaEnCurso = true; }
    ~LecturaEnCurso() { comm.m_blnLecturaEnCurso = false; }
    clsComm& comm;
};

clsComm::clsComm() {
    InicializaModelo();
}

clsComm::~clsComm() {
    m_puerto.close();
}

void clsComm::InicializaModelo() {
    vb::OnError([&] { m_strPeticion = PeticionContinua(Modelo()); },
                [](const VBError& e) { MensajeUsuario(e.description(), prompts::vbExclamation); });
}

bool clsComm::InitPuerto(qint16 intCommNumber, const QString& strComsettings, qint32 tpcommTipo) {
    bool ok = false;
    vb::OnError(
        [&] {
            m_blnReabrir = false;
            QString error;
            ok = AbrePuerto(intCommNumber, strComsettings, error);
            if (!ok)
                GrabaLog(QStringLiteral("clsComm.InitPuerto: %1").arg(error));
            if (ok && tpcommTipo == 1) {
                m_intCommNumber = intCommNumber;
                m_strComsettings = strComsettings;
            }
            if (ok && tpcommTipo == 1 && ModoContinuo()) {
                m_intLecturasVacias = 0;
                mainWindow().setScaleTimer(true, objParametros().lee(param::TiempoBalanzaModoContinuo));
            }
        },
        [&](const VBError& e) {
            AvisaErrorPuerto(e);
            m_puerto.close();
            ok = false;
        });
    if (!ok) {
        const bool balanza = tpcommTipo == 1;
        const QString linea1 = balanza ? T("No se ha podido conectar con la balanza en el puerto COM")
                                       : T("No se ha podido conectar con el visor en el puerto COM");
        const QString linea2 = balanza ? T("La balanza no funcionará mientras no se corrija el problema.")
                                       : T("El visor no funcionará mientras no se corrija el problema.");
        MensajeUsuario(linea1 + QLatin1Char(' ') + QString::number(intCommNumber) + QStringLiteral(".\r\n\r\n") +
                           linea2,
                       prompts::vbInformation);
    }
    return ok;
}

bool clsComm::AbrePuerto(qint16 intCommNumber, const QString& strComsettings, QString& error) {
    m_puerto.close();
    const QString nombre = QStringLiteral("COM%1").arg(intCommNumber);
    const QString dispositivo = SerialPort::devicePathFor(nombre);
    QString motivo;
    if (m_puerto.open(dispositivo, &motivo)) {
        if (m_puerto.applySettings(strComsettings, &motivo)) {
            m_blnRespuestaPendiente = true; // what the line carries now is nobody's reply
            return true;
        }
        m_puerto.close(); // never leave a port open with settings it did not take
    }
    error = QStringLiteral("%1 (%2): %3").arg(nombre, dispositivo, motivo);
    return false;
}

void clsComm::PuertoPerdido(const char* procedimiento) {
    GrabaLog(QStringLiteral("%1: la balanza del puerto COM%2 (%3) se ha desconectado; se volverá a abrir en la "
                            "próxima lectura")
                 .arg(QLatin1String(procedimiento))
                 .arg(m_intCommNumber)
                 .arg(SerialPort::devicePathFor(QStringLiteral("COM%1").arg(m_intCommNumber))));
    m_puerto.close();
    m_blnReabrir = true;
}

bool clsComm::ReabrePuerto() {
    QString error;
    if (!AbrePuerto(m_intCommNumber, m_strComsettings, error))
        return false; // still away: told once already, when it went
    m_blnReabrir = false;
    GrabaLog(
        QStringLiteral("clsComm.getPeso: la balanza del puerto COM%1 vuelve a estar conectada").arg(m_intCommNumber));
    return true;
}

void clsComm::CierraPuerto() {
    m_blnReabrir = false;
    m_puerto.close();
}

// A port that went away counts as in use: the next reading opens it again.
bool clsComm::Activado() const {
    return m_puerto.isOpen() || m_blnReabrir;
}

qint16 clsComm::EscribePuerto(const QString& strCadena) {
    qint16 escritos = 0;
    vb::OnError(
        [&] {
            if (strCadena.size() > kTrozoEscritura) {
                EscribePuerto(strCadena.left(kTrozoEscritura));
                EscribePuerto(strCadena.mid(kTrozoEscritura));
            } else if (m_puerto.isOpen()) {
                const QByteArray bytes = cp1252::encode(strCadena);
                if (m_puerto.write(bytes, kEscrituraConstanteMs + int(bytes.size())))
                    escritos = qint16(bytes.size());
            }
        },
        AvisaErrorPuerto);
    return escritos;
}

// The port as clsCommTramas reads it: reads that return at the first pause after some bytes, and the
// request written as EscribePuerto writes it.
struct clsComm::LineaPuerto {
    clsComm& comm;
    static qint64 ahora() { return clock_seam::tickMs(); }
    QByteArray lee(int maxBytes, qint64 esperaMs) { return comm.m_puerto.read(maxBytes, int(esperaMs), 1); }
    bool colgada() const { return comm.m_puerto.hungUp(); }
    bool escribe(const QByteArray& bytes) { return comm.EscribePuerto(cp1252::decode(bytes)) == bytes.size(); }
    static void esperaRespuesta(qint64 ms) { Espera(ms); }
};

// One rule for every model (clsCommTramas::LectorRespuesta): the read goes on past a pause inside a
// reply, ends soon after a whole frame, and never lasts past kLecturaTotalMs.
// The original read ended 20 ms after any byte, so a reply with a pause inside was billed in part.
LecturaLinea clsComm::LeePuerto(qint32 modelo) {
    LecturaLinea r;
    vb::OnError(
        [&] {
            if (!m_puerto.isOpen())
                return;
            LineaPuerto linea{*this};
            r = LeeRespuesta(linea, modelo);
        },
        AvisaErrorPuerto);
    return r;
}

// A reply that came too late for its own request must not answer the next one.
void clsComm::VaciaBuffer() {
    if (m_puerto.isOpen())
        m_puerto.flushInput();
}

// ---------------------------------------------------------------------------------------------
// Continuous reading

void clsComm::ParaTimer() {
    MainWindowPort& w = mainWindow();
    w.setScaleTimer(false, w.scaleTimerInterval());
}

void clsComm::RearmaTimer() {
    MainWindowPort& w = mainWindow();
    w.setScaleTimer(true, w.scaleTimerInterval());
}

void clsComm::AplicaLectura(const Lectura& l) {
    if (l.estable)
        blnPesoEstable = *l.estable;
    if (l.peso <= 0)
        m_blnPesoCero = true;
    if (l.peso != m_dblUltimoPeso) {
        m_dblUltimoPeso = l.peso;
        if (m_intDestinoPeso == 0)
            RefrescaPesoFormularioPrincipal();
        else if (m_intDestinoPeso == 1 && m_destinoDialogo)
            m_destinoDialogo(m_dblUltimoPeso);
    }
}

bool clsComm::commBalanzaContinuoOnComm(bool /*blnMostrarMensajeError*/) {
    // A tick that comes while another exchange waits for its reply leaves the port (and the
    // timer) alone; the next tick reads.
    if (m_blnLecturaEnCurso)
        return false;
    bool lectura = false;
    ParaTimer();
    vb::OnError(
        [&] {
            LecturaEnCurso enCurso(*this);
            // A scale unplugged and plugged back: its port is opened again here, as a weighing does.
            // The original ticks went on reading the dead port until the program was restarted.
            if (!m_puerto.isOpen() && m_blnReabrir)
                ReabrePuerto();
            if (!m_strPeticion.isEmpty()) {
                VaciaBuffer();
                EscribePuerto(cp1252::decode(m_strPeticion));
            }
            const qint32 modelo = Modelo();
            const LecturaLinea respuesta = LeePuerto(modelo);
            m_blnRespuestaPendiente = !respuesta.cerrada;
            if (respuesta.colgado)
                PuertoPerdido("clsComm.commBalanzaContinuoOnComm");
            bool sinConexion = false;
            if (modelo == 5 || modelo == 7) {
                sinConexion = !respuesta.hablo;
            } else if (!respuesta.hablo) {
                if (m_intLecturasVacias < kMaxLecturasVacias) {
                    ++m_intLecturasVacias;
                    RearmaTimer();
                    return;
                }
                sinConexion = true;
            } else {
                m_intLecturasVacias = 0;
            }
            if (sinConexion) {
                MensajeUsuario(QString::fromUtf8(kTxtNoConecta), prompts::vbExclamation);
                return;
            }
            // A reply cut short, short or garbled is no reading; the next tick tries again.
            if (!respuesta.cortada) {
                if (const auto l = DecodificaContinuo(modelo, respuesta.datos)) {
                    lectura = true;
                    AplicaLectura(*l);
                }
            }
            RearmaTimer();
        },
        [](const VBError& e) {
            MensajeUsuario(QStringLiteral("clsComm.commBalanzaContinuoOnComm Error: ") + e.description(),
                           prompts::vbExclamation);
        });
    return lectura;
}

void clsComm::RefrescaPesoFormularioPrincipal() {
    vb::OnError(
        [&] {
            MainWindowPort& w = mainWindow();
            const QString peso = FormatoRegional(m_dblUltimoPeso, QStringLiteral("#0.000"));
            w.setWeightLabel(WeightLabel::Cantidad, peso + QStringLiteral("KG"), true);
            if (m_blnVisorDescripcionConTexto) {
                w.setWeightLabel(WeightLabel::Descripcion, QString(), true);
                w.setWeightLabel(WeightLabel::Cambio, QString(), false);
                w.setWeightLabel(WeightLabel::Precio, FormatoRegional(0, MascaraDecimales(-1)), true);
                m_blnVisorDescripcionConTexto = false;
            }
            const bool importeAbajo = objParametros().lee(param::PosicionImporteDisplay) != 0;
            basPrinter::TrazaVacia(T("Peso:"), peso + T("KG."), importeAbajo, importeAbajo);
        },
        [](const VBError& e) {
            MensajeUsuario(QStringLiteral("RefrescaPesoFormularioPrincipal: ") + e.description(),
                           prompts::vbExclamation);
        });
}

// ---------------------------------------------------------------------------------------------
// Weighing

clsComm::Pesada clsComm::PesadaPorPeticion() {
    if (m_blnLecturaEnCurso)
        return {RespuestaPeticion::Ocupado};
    if (!m_puerto.isOpen() && !(m_blnReabrir && ReabrePuerto()))
        return {RespuestaPeticion::SinPuerto};
    const qint32 modelo = Modelo();
    Intercambio intercambio;
    {
        LecturaEnCurso enCurso(*this);
        LineaPuerto linea{*this};
        intercambio = PideYLee(linea, modelo, PeticionPesada(modelo), kEsperaRespuestaMs, m_blnRespuestaPendiente);
        if (intercambio.colgado) {
            PuertoPerdido("clsComm.getPeso");
            if (!intercambio.lectura.hablo)
                return {RespuestaPeticion::SinPuerto};
        }
    }
    if (intercambio.ocupada)
        return {RespuestaPeticion::SinLectura}; // the line never went quiet: no request, no reading
    const Clasificada& c = intercambio.clasificada;
    switch (c.respuesta) {
    case Respuesta::Peso:
        return {RespuestaPeticion::Peso, c.peso};
    case Respuesta::NoEstable:
        return {RespuestaPeticion::NoEstable, c.peso};
    case Respuesta::SinProducto:
        return {RespuestaPeticion::SinProducto};
    case Respuesta::SinLectura:
        break;
    }
    return {RespuestaPeticion::SinLectura};
}

std::optional<double> clsComm::LeePesoPorPeticion() {
    const Pesada p = PesadaPorPeticion();
    if (p.respuesta == RespuestaPeticion::Peso)
        return p.peso;
    return std::nullopt;
}

ResultadoPeso clsComm::getPeso(qint32 lngArticulo, double sngPrecio, const OpcionesPeso& opciones) {
    const bool blnPedirLitros = opciones.blnPedirLitros, blnEsAbono = opciones.blnEsAbono,
               blnSilent = opciones.blnSilent;
    ResultadoPeso r;
    QString& mensaje = r.error;
    qint32& tipo = r.tipoError;
    double& dblPeso = r.peso;
    bool& obtenido = r.ok;
    vb::OnError(
        [&] {
            bool manual = true;
            if (!blnPedirLitros && gblnBalanzaActiva) {
                bool cancelado = false;
                for (;;) {
                    // Each attempt starts afresh, so a reason of an earlier attempt never lingers.
                    mensaje.clear();
                    tipo = TipoErrorPeso::Otro;
                    const qint32 p = objParametros().lee(param::PermitirEntradaPesoManual);
                    manual = EntradaManualPermitida(p, blnEsAbono);

                    if (!ModoContinuo()) {
                        if (PesarPrimero()) {
                            if (blnSilent)
                                mensaje = T(kTxtSoloEpelsa);
                            else
                                MensajeUsuario(T(kTxtSoloEpelsa), prompts::vbExclamation);
                            return;
                        }
                        const Pesada pesada = PesadaPorPeticion();
                        switch (pesada.respuesta) {
                        case RespuestaPeticion::Ocupado:
                            mensaje = T(kTxtOcupada);
                            if (!blnSilent)
                                MensajeUsuario(mensaje, prompts::vbExclamation);
                            return;
                        case RespuestaPeticion::SinPuerto:
                            mensaje = T(kTxtNoComunica);
                            break;
                        case RespuestaPeticion::Peso:
                            dblPeso = pesada.peso;
                            obtenido = true;
                            break;
                        case RespuestaPeticion::NoEstable:
                            // As continuous mode answers a weight that is not stable; a silent caller
                            // learns the weight, which is never billed.
                            mensaje = T(kTxtEstabilice);
                            tipo = TipoErrorPeso::NoEstable;
                            if (blnSilent)
                                dblPeso = pesada.peso;
                            break;
                        case RespuestaPeticion::SinProducto:
                            mensaje = T(kTxtPongaProducto);
                            tipo = TipoErrorPeso::SinProducto;
                            break;
                        case RespuestaPeticion::SinLectura:
                            break;
                        }
                    } else {
                        if (!mainWindow().scaleTimerEnabled()) {
                            // The continuous reading has stopped: offer one more reading.
                            const QString texto = T(kTxtNoComunica);
                            if (blnSilent) {
                                cancelado = true;
                            } else {
                                for (;;) {
                                    if (MensajeUsuario(texto, prompts::vbYesNo | prompts::vbExclamation) !=
                                        prompts::vbYes) {
                                        cancelado = true;
                                        break;
                                    }
                                    if (commBalanzaContinuoOnComm(true))
                                        break;
                                }
                            }
                            if (cancelado) {
                                mensaje = texto;
                                break;
                            }
                        }
                        if (PesarPrimero()) {
                            if (blnSilent) {
                                mensaje = T(kTxtPesarPrimero);
                                return;
                            }
                            if (!blnEsAbono)
                                manual = false;
                            if (m_blnPesoCero) {
                                const std::optional<double> pesado = PesarArticulo(lngArticulo, sngPrecio);
                                dblPeso = pesado.value_or(0);
                                cancelado = !pesado;
                            } else {
                                mensaje = T(kTxtQuite);
                                tipo = TipoErrorPeso::QuitarProducto;
                            }
                        } else if (m_dblUltimoPeso <= 0 || !blnPesoEstable || !m_blnPesoCero) {
                            dblPeso = 0;
                            if (m_dblUltimoPeso <= 0) {
                                mensaje = T(kTxtPongaProducto);
                                tipo = TipoErrorPeso::SinProducto;
                            } else if (!m_blnPesoCero) {
                                mensaje = T(kTxtQuiteVuelva);
                                tipo = TipoErrorPeso::QuitarProducto;
                            } else {
                                mensaje = T(kTxtEstabilice);
                                tipo = TipoErrorPeso::NoEstable;
                            }
                            if (blnEsAbono) {
                                if (p == 1)
                                    manual = false;
                            } else {
                                manual = manual && p == 2;
                            }
                        } else {
                            dblPeso = m_dblUltimoPeso;
                        }
                        if (dblPeso > 0) {
                            obtenido = true;
                            m_blnPesoCero = false;
                        } else if (blnSilent) {
                            dblPeso = m_dblUltimoPeso;
                        }
                    }
                    if (obtenido || cancelado)
                        break;
                    if (mensaje.isEmpty()) {
                        mensaje = T(kTxtPongaProductoPesar);
                        tipo = TipoErrorPeso::SinProducto;
                    }
                    if (blnSilent)
                        break;
                    if (MensajeUsuario(mensaje, prompts::vbYesNo | prompts::vbInformation) != prompts::vbYes)
                        break;
                }
            }
            if (obtenido || blnSilent || !manual)
                return;

            // Manual entry on the keypad.
            const QString descripcion =
                blnPedirLitros ? T("Introduzca el Volumen") + QString(8, QLatin1Char(' ')) + T("(en litros)")
                               : T("Introduzca el Peso") + QString(8, QLatin1Char(' ')) + T("(en Kg.)");
            if (const std::optional<double> tecleado = PidePesoTeclado(descripcion, QStringLiteral("1"))) {
                dblPeso = *tecleado;
                obtenido = true;
            }
        },
        [&](const VBError& e) {
            if (blnSilent) {
                mensaje = e.description();
                GrabaLog(QStringLiteral("ERROR: clsComm.getPeso: %1 (%2 - %3)")
                             .arg(e.description())
                             .arg(e.number())
                             .arg(e.source()));
            } else {
                ControlErrores(QStringLiteral("clsComm.getPeso"), true, e);
            }
        });
    if (r.ok) {
        r.error.clear();
        r.tipoError = TipoErrorPeso::Otro;
    }
    return r;
}

std::optional<double> clsComm::PesarArticulo(qint32 lngArticulo, double sngPrecio) {
    std::optional<double> peso;
    vb::OnError(
        [&] {
            const std::unique_ptr<ReweighWindowPort> dlg = makeReweighWindow(*this);
            if (!dlg)
                return;
            dlg->setArticulo(lngArticulo);
            dlg->setPrecio(sngPrecio);
            dlg->setPeso(m_dblUltimoPeso);
            if (MostrarConPesoEnVivo(*dlg))
                peso = dlg->Peso();
        },
        [&](const VBError& e) { AvisaErrorDialogo(e); });
    return peso;
}

void clsComm::AvisaErrorDialogo(const VBError& e) {
    OlvidaDialogo();
    MensajeUsuario(e.description(), prompts::vbExclamation);
}

void clsComm::OlvidaDialogo() {
    m_intDestinoPeso = 0;
    m_destinoDialogo = nullptr;
}

bool clsComm::MostrarConPesoEnVivo(ReweighWindowPort& dlg) {
    m_destinoDialogo = [&dlg](double peso) { dlg.setPeso(peso); };
    m_intDestinoPeso = 1;
    struct Fin {
        clsComm& c;
        ~Fin() { c.OlvidaDialogo(); }
    } fin{*this};
    return dlg.MostrarModal();
}

void clsComm::RecalcularPeso(qint32 lngTPV, qint32 lngTicket, qint32 lngLinea, qint32 lngArticulo) {
    vb::OnError(
        [&] {
            if (ModoContinuo()) {
                MensajeUsuario(T("Esta opción no puede usarse si el programa está configurado con el modo contínuo de "
                                 "captura de peso."),
                               prompts::vbInformation);
                return;
            }
            const qint32 funcPizzeria = objParametros().lee(param::FuncPizzeria);
            {
                ado::RecordsetPtr rs = ConexionLocal().OpenRecordset(
                    QStringLiteral("select peso from articulo_generico where idArticuloGenerico=?"),
                    {Variant(lngArticulo)});
                if (!rs->isEOF() &&
                    VarToStr(rs->Fields(QStringLiteral("peso")).Value, QString()).toString() == QLatin1String("N")) {
                    rs->Close();
                    MensajeUsuario(
                        funcPizzeria == 2
                            ? T("Esta opción sólo puede usarse con artículos de peso en venta.")
                            : T("Esta opción sólo puede usarse si la última línea del ticket es un artículo de "
                                "peso en venta."),
                        prompts::vbExclamation);
                    return;
                }
                rs->Close();
            }

            double peso = 0;
            double importe = 0;
            bool aceptado = false;
            if (gblnBalanzaActiva) {
                const std::unique_ptr<ReweighWindowPort> dlg = makeReweighWindow(*this);
                if (!dlg)
                    return;
                dlg->setModoRecalcularPeso(true);
                // The line of this call, not the main window's ticket context.
                // A line that does not exist ends here: the original asked for a weight and updated nothing.
                if (!dlg->RefrescaDatos(lngTPV, lngTicket, lngLinea))
                    return;
                dlg->setPeso(m_dblUltimoPeso);
                if (MostrarConPesoEnVivo(*dlg)) {
                    importe = dlg->Importe();
                    peso = dlg->Peso();
                    aceptado = true;
                }
            } else {
                const std::optional<LineaTicketPeso> linea = LeeLineaTicketPeso(lngTPV, lngTicket, lngLinea);
                // A line that does not exist ends here: the original asked for a weight and updated nothing.
                if (!linea)
                    return;
                const double precio = linea->precio;
                m_dblUltimoPeso = linea->peso;
                QString visor = QString::number(m_dblUltimoPeso, 'g', 15);
                visor.replace(QLatin1Char('.'), QLocale().decimalPoint());
                // No limits on this road: any typed number is written, 0 kg included.
                if (!askNumber(T("Introduzca el peso"), visor))
                    return;
                peso = ValNumero(visor);
                importe = peso * precio; // not rounded: the money columns keep four decimals
                aceptado = true;
            }
            if (!aceptado)
                return;

            // The amount with VAT is worked out by the database from the line's own percentage, unless
            // the till's amounts already include it.
            const QString iva = frmPrincipalVars().intIva == 1 ? QString() : QStringLiteral("*(1 + iva/100)");
            QString sql = QStringLiteral("update linticket set peso=?, precio=?, ");
            QList<Variant> params{Variant(peso), Variant(importe)};
            if (funcPizzeria == 2 && peso != 0) {
                sql += QStringLiteral("cantidad = 1, ImporteConIva=?%1, PrBasCombi=?%1, marca = 0 ").arg(iva);
            } else {
                sql += QStringLiteral("ImporteConIva=cantidad*?%1, PrBasCombi=cantidad*?%1 ").arg(iva);
            }
            params << Variant(importe) << Variant(importe);
            sql += QStringLiteral("where idTPV=? and idTicket=? and idLinea=?");
            params << Variant(lngTPV) << Variant(lngTicket) << Variant(lngLinea);
            ConexionLocal().Execute(sql, nullptr, params);

            // The hosting point-of-sale application reloads its ticket when it asked to.
            if (m_recargaTicket)
                m_recargaTicket();
            m_blnPesoCero = false;
        },
        [&](const VBError& e) { AvisaErrorDialogo(e); });
}

std::optional<double> clsComm::PidePesoTeclado(const QString& descripcion, QString visor) {
    if (!askNumber(descripcion, visor))
        return std::nullopt;
    const double valor = ValNumero(visor);
    QString rechazo;
    if (valor > kPesoMaximoManual)
        rechazo = QStringLiteral("No puedes introducir un peso superior a 1000 KG");
    else if (valor < 0)
        rechazo = QStringLiteral("No puedes introducir un peso negativo");
    else if (valor == 0)
        rechazo = QStringLiteral("No puedes introducir un peso de 0 KG");
    if (!rechazo.isEmpty()) {
        MensajeUsuario(rechazo, prompts::vbExclamation);
        return std::nullopt;
    }
    return valor;
}

// ---------------------------------------------------------------------------------------------

namespace {
std::unique_ptr<clsComm>& instanciaComm() {
    static std::unique_ptr<clsComm> instancia;
    return instancia;
}
} // namespace

QString FormatoRegional(double valor, const QString& mascara) {
    QString t = FormatNumero(valor, mascara);
    const QString dec = QLocale().decimalPoint();
    if (dec != QLatin1String("."))
        t.replace(QLatin1Char('.'), dec);
    return t;
}

clsComm& objComm() {
    std::unique_ptr<clsComm>& instancia = instanciaComm();
    if (!instancia)
        instancia = std::make_unique<clsComm>();
    return *instancia;
}

void resetObjCommForTests() {
    instanciaComm().reset();
}
