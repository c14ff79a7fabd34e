#include "printing/basPrinter.h"

#include "core/NombresParametros.h"
#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/EscPos.h"
#include "printing/clsImpresionPantalla.h"

#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <optional>

namespace basPrinter {

EstadoImpresion gEstadoImpresion;
CodigosPRN gCodigosPRN;

namespace {

const QString CRLF = QStringLiteral("\r\n");

// The printer routines tell the user an error's description and go on.
auto aviso(int estilo) {
    return [estilo](const VBError& e) { MensajeUsuario(e.description(), estilo); };
}

// A value used as a command byte must fit in one byte. Outside 0..255 the command is skipped and the
// value reported; the caller never sends the command without its parameter.
std::optional<int> byteDeParametro(double valor, const QString& que, int estilo) {
    const double r = vb::RoundHalfEven(valor);
    if (r >= 0 && r <= 255)
        return int(r);
    MensajeUsuario(QStringLiteral("Valor fuera de rango para el código de impresora %1: %2")
                       .arg(que, basFuncionesComunes::NumeroATexto(valor)),
                   estilo);
    return std::nullopt;
}

bool capturando() {
    auto& t = objImpresionPantalla();
    return t.ImprimirPorPantalla() || t.DevolverTextoEnLugarDeImprimir();
}

} // namespace

ResultadoEnvio ResultadoEnvio::anade(const ResultadoEnvio& despues) const {
    if (blnEnviado && !ok)
        return *this;
    return despues.blnEnviado ? despues : *this;
}

namespace {

// Send failures are reported through MensajeUsuario, which unattended prints an error ticket through
// this same layer; while one report is in progress, a further failure is only logged.
void informaFalloEnvio(InformeFallos& informe, const QString& impresora, const QString& motivo) {
    const QString texto = QStringLiteral("No se ha podido imprimir en %1: %2").arg(impresora, motivo);
    GrabaLog(texto, true);
    if (gEstadoImpresion.blnInformandoFallo)
        return;
    if (informe.blnUnSoloInforme && informe.blnInformado)
        return;
    informe.blnInformado = true;
    gEstadoImpresion.blnInformandoFallo = true;
    const auto fin = qScopeGuard([] { gEstadoImpresion.blnInformandoFallo = false; });
    MensajeUsuario(texto, prompts::vbInformation);
}

ResultadoEnvio enviaTrabajo(BufferImpresion& trabajo, const QString& impresora, const QString& texto) {
    ResultadoEnvio r{.blnEnviado = true, .impresora = impresora};
    r.ok = printers::output().send(impresora, cp1252::encode(texto), &r.error);
    if (!r.ok) {
        if (r.error.isEmpty())
            r.error = QStringLiteral("error desconocido");
        informaFalloEnvio(trabajo.informe, impresora, r.error);
    } else {
        r.error.clear();
    }
    return r;
}

// ---- character translation table ----
// The printer's byte for each accented character (capitals print as their small form, except Ñ).
// The euro sign depends on the code page and is handled apart.
struct Traduccion {
    const char* caracteres; // UTF-8
    int byte;
};
constexpr Traduccion kTabla[] = {
    {"¡", 173},  {"´`", 39},  {"çÇ", 135}, {"üÜ", 129}, {"éÉ", 130}, {"âÂãÃ", 131}, {"äÄ", 132},   {"àÀ", 133},
    {"êÊ", 136}, {"ëË", 137}, {"èÈ", 138}, {"ïÏ", 139}, {"îÎ", 140}, {"ìÌ", 141},   {"ôÔõÕ", 147}, {"öÖ", 148},
    {"òÒ", 149}, {"ûÛ", 150}, {"ùÙ", 151}, {"áÁ", 160}, {"íÍ", 161}, {"óÓ", 162},   {"úÚ", 163},   {"ñ", 164},
    {"Ñ", 165},  {"ª", 166},  {"º", 167},  {"¿", 168},  {"·", 250},
};

const QHash<QChar, int>& tablaTraduccion() {
    static const QHash<QChar, int> tabla = [] {
        QHash<QChar, int> t;
        for (const auto& f : kTabla)
            for (QChar c : QString::fromUtf8(f.caracteres))
                t.insert(c, f.byte);
        return t;
    }();
    return tabla;
}

// The text with each surrogate pair replaced by one "?".
QString unCaracterPorByte(const QString& texto) {
    if (!std::any_of(texto.cbegin(), texto.cend(), [](QChar c) { return c.isSurrogate(); }))
        return texto;
    QString r;
    r.reserve(texto.size());
    for (qsizetype i = 0; i < texto.size(); ++i) {
        if (texto.at(i).isHighSurrogate() && i + 1 < texto.size() && texto.at(i + 1).isLowSurrogate()) {
            r += QLatin1Char('?');
            ++i;
        } else {
            r += texto.at(i);
        }
    }
    return r;
}

int byteTraducido(QChar c, bool paginaEuro) {
    if (c.unicode() == 0x20AC) // €
        return paginaEuro ? 213 : 238;
    return tablaTraduccion().value(c, -1);
}

} // namespace

QString CodigoImpresora(std::initializer_list<int> bytes) {
    QString s;
    s.reserve(int(bytes.size()));
    for (int b : bytes)
        s += vb::Chr(b);
    return s;
}

// ======================================================================================
// Output
// ======================================================================================

namespace {
// Sends what the job holds, adding nothing.
ResultadoEnvio enviaBuffer(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                           bool Traducir = true) {
    return Imprimir(trabajo, QString(),
                    {.ConSalto = false,
                     .Enviar = true,
                     .idImpresora = idImpresora,
                     .NombreImpresora = NombreImpresora,
                     .Traducir = Traducir});
}
} // namespace

ResultadoEnvio Imprimir(BufferImpresion& trabajo, const QString& texto, OpcionesImprimir o) {
    auto& buf = trabajo;
    const bool pedido = o.Enviar;
    buf.Texto += texto;
    if (o.ConSalto)
        buf.Texto += CRLF;

    bool itos = false;
    vb::OnError([&] { itos = objParametros().lee(param::FuncionamientoItos) == 1 && o.idImpresora == 0; },
                aviso(prompts::vbInformation));

    // Length limit.
    vb::OnError(
        [&] {
            qint32 max = objParametros().lee(param::LongMaxTexto);
            if (max == 0)
                max = 15000;
            if (itos)
                max = 0;
            if (max > 0 && buf.Texto.size() > max)
                o.Enviar = true;
        },
        aviso(prompts::vbInformation));

    // The print target may take the text instead of the printer.
    vb::OnError(
        [&] {
            auto& t = objImpresionPantalla();
            if (o.Enviar && (t.ImprimirPorPantalla() || t.GrabarEnBBDD() || t.DevolverTextoEnLugarDeImprimir())) {
                t.Imprime(buf.Texto);
                if (t.ImprimirPorPantalla() || t.DevolverTextoEnLugarDeImprimir()) {
                    o.Enviar = false;
                    buf.Texto.clear();
                }
            }
        },
        aviso(prompts::vbInformation));

    bool facturadora = false;
    vb::OnError([&] { facturadora = objParametros().lee(param::FuncFacturadora) == 1; }, aviso(prompts::vbInformation));
    const bool paginar = facturadora && gEstadoImpresion.glngPaginarFacturadora == 1;
    if (o.ControlarFacturadora && paginar)
        vb::OnError([&] { ImprimeFacturadora(trabajo, QString(buf.Texto)); }, aviso(prompts::vbInformation));

    // The job's own sending call answers for what the length limit sent before it; a send the
    // caller did not ask for is kept for that call.
    const ResultadoEnvio adelantado = pedido ? std::exchange(trabajo.envioAdelantado, {}) : ResultadoEnvio{};
    auto responde = [&](const ResultadoEnvio& r) {
        if (!pedido)
            trabajo.envioAdelantado = trabajo.envioAdelantado.anade(r);
        return adelantado.anade(r);
    };
    if (!o.Enviar)
        return responde({});

    // From here on the job's bytes are this text; the job is empty again.
    QString datos = buf.Texto;
    buf.Texto.clear();

    if (itos)
        o.Traducir = false;
    if (o.Traducir && !datos.isEmpty())
        vb::OnError([&] { datos = TraducirCaracteres(datos, o.EsCocina); }, aviso(prompts::vbInformation));

    QString nombre;
    bool descartar = false;
    vb::OnError(
        [&] {
            if (o.idImpresora == 0) {
                nombre = objParametros().lee(param::ImpTicket);
            } else {
                nombre = vb::Trim(objReg().Lee_Valor(gstrRutaRegistro + QStringLiteral("\\impresoras"),
                                                     QString::number(o.idImpresora)));
                if (nombre.contains(QStringLiteral("NO IMPRIMIR"), Qt::CaseInsensitive))
                    descartar = true;
            }
        },
        aviso(prompts::vbInformation));
    if (descartar)
        return responde({});
    vb::OnError(
        [&] {
            if (!o.NombreImpresora.isEmpty())
                nombre = o.NombreImpresora;
            if (objParametros().lee(param::ImprImpSecundaria) == 1 && frmPrincipalVars().blnImpresoraSecundaria)
                nombre = objParametros().lee(param::ImpresoraSecundaria);
            if (frmPrincipalVars().blnCintaControl)
                nombre = objParametros().lee(param::ImpCintaControl);
        },
        aviso(prompts::vbInformation));
    if (nombre.isEmpty())
        vb::OnError([&] { nombre = printers::output().defaultPrinter(); }, aviso(prompts::vbInformation));

    // Nothing collected: no job (an empty raw job would stay held in the queue).
    const bool vacio = datos.isEmpty();

    if (facturadora)
        vb::OnError(
            [&] {
                if (paginar) {
                    datos = CodigoImpresora({27, 'c', '0', 4}) + datos;
                    ImprimeFacturadora(trabajo, datos, {.blnSoloContar = true});
                } else {
                    datos = CodigoImpresora({27, 'c', '0', 1}) + datos;
                }
            },
            aviso(prompts::vbInformation));

    // Nothing collected is nothing lost; a failure before the send is the job's failure.
    ResultadoEnvio envio{.blnEnviado = true, .impresora = nombre};
    bool intentado = vacio;
    vb::OnError(
        [&] {
            bool opos = false;
            QString impresoraOpos;
            if (objParametros().lee(param::UsarDriverOPOS) != 0) {
                impresoraOpos = objParametros().lee(param::ImpresoraOPOS);
                opos = nombre.compare(impresoraOpos, Qt::CaseInsensitive) == 0;
            }
            if (opos) {
                // The POS-printer road: the same payload the control's direct output would take.
                envio.impresora = impresoraOpos;
                if (!vacio) {
                    intentado = true;
                    envio = enviaTrabajo(trabajo, impresoraOpos, CodigoImpresora({27, '=', 1}) + datos + CRLF);
                }
            } else {
                if (!vacio) {
                    intentado = true;
                    envio = enviaTrabajo(trabajo, nombre, datos);
                }
                if (gblnLog) {
                    GrabaLog(QStringLiteral("Impreso en ") + nombre);
                    GrabaLog(datos);
                }
            }
        },
        [&](const VBError& e) {
            if (!intentado)
                envio = {.blnEnviado = true, .impresora = envio.impresora, .ok = false, .error = e.description()};
            MensajeUsuario(e.description(), prompts::vbInformation);
        });

    if (paginar)
        vb::OnError([&] { basFuncionesComunes::Espera(objParametros().lee(param::DelayFacturadora)); },
                    aviso(prompts::vbInformation));
    vb::OnError([&] { basFuncionesComunes::Espera(objParametros().lee(param::DelayImpresion)); },
                aviso(prompts::vbInformation));
    return responde(envio);
}

Variant TrazaVacia(const QString&, const QString&, const Variant&, const Variant&) {
    return {};
}
void ProcedimientoVacio(const Variant&, const Variant&, const Variant&, const Variant&, const Variant&,
                        const Variant&) {}

// ======================================================================================
// Code strings, printer state, markup and translation
// ======================================================================================

void InicializaCodigosPRN() {
    InstalaServiciosImpresion();
    gCodigosPRN = CodigosPRN{};
}

ResultadoEnvio InicializaImpresora(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                                   OpcionesInicializa o) {
    QString& Espaciado = o.Espaciado;
    const bool Enviar = o.Enviar;
    ResultadoEnvio envio;
    if (objImpresionPantalla().DevolverTextoEnLugarDeImprimir())
        return envio;
    auto orden = [&](std::initializer_list<int> bytes, bool enviar) {
        envio =
            envio.anade(Imprimir(trabajo, CodigoImpresora(bytes),
                                 {.Enviar = enviar, .idImpresora = idImpresora, .NombreImpresora = NombreImpresora}));
    };
    if (o.CambiarEspaciado)
        vb::OnError(
            [&] {
                if (Espaciado.isEmpty()) {
                    const auto n = byteDeParametro(objParametros().lee(param::EspacioEntreLineas),
                                                   param::EspacioEntreLineas.nombre, prompts::vbExclamation);
                    if (!n)
                        return;
                    Espaciado = vb::Chr(*n);
                }
                envio = envio.anade(
                    Imprimir(trabajo, CodigoImpresora({27, '3'}) + Espaciado,
                             {.Enviar = Enviar, .idImpresora = idImpresora, .NombreImpresora = NombreImpresora}));
            },
            aviso(prompts::vbExclamation));
    bool juego2 = false;
    vb::OnError([&] { juego2 = objParametros().lee(param::CodigosEscTicketNormal) == 2; },
                aviso(prompts::vbExclamation));
    if (juego2) {
        vb::OnError([&] { orden({27, '@'}, true); }, aviso(prompts::vbExclamation));
        gCodigosPRN.PRN_INIDBLALT.clear();
        gCodigosPRN.PRN_FINDBLALT.clear();
        gCodigosPRN.PRN_ININEG.clear();
        gCodigosPRN.PRN_FINNEG.clear();
        vb::OnError([&] { envio = envio.anade(enviaBuffer(trabajo, idImpresora, NombreImpresora)); },
                    aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({27, '!', 2}, true); }, aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({27, 'A', 0}, true); }, aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({29, 'E', 1}, true); }, aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({29, 's', 1}, true); }, aviso(prompts::vbExclamation));
    } else {
        vb::OnError([&] { orden({27, '!', 0}, Enviar); }, aviso(prompts::vbExclamation));
    }
    return envio;
}

qint16 EstableceLetraYAncho(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                            bool EsCocina) {
    qint16 ancho = 42;
    int n = 0;
    vb::OnError(
        [&] {
            const qint32 letra = objParametros().lee(EsCocina ? param::TipoLetraCocina : param::TipoLetraTickets);
            // ESC "!" print mode of each font type (odd modes are font B).
            constexpr int kModo[] = {0, 16, 32, 48, 1, 17, 33, 49};
            n = letra >= 0 && letra <= 7 ? kModo[letra] : 0;
            if (letra != 0 && !objImpresionPantalla().DevolverTextoEnLugarDeImprimir())
                Imprimir(trabajo, CodigoImpresora({27, '!', n}),
                         {.idImpresora = idImpresora, .NombreImpresora = NombreImpresora});
        },
        aviso(prompts::vbExclamation));
    vb::OnError(
        [&] {
            const qint32 codigo =
                objParametros().lee(EsCocina ? param::AnchoImpresoraCocina : param::AnchoImpresoraTickets);
            const bool fuenteB = (n % 2) != 0;
            // Characters per line of each printer width code, font A and font B.
            constexpr qint16 kAncho[][2] = {{42, 56}, {56, 74}, {34, 45}, {33, 43}};
            if (codigo >= 0 && codigo <= 3)
                ancho = kAncho[codigo][fuenteB ? 1 : 0];
        },
        aviso(prompts::vbExclamation));
    if (idImpresora == 9999 || idImpresora == 9998)
        ancho = 34;
    vb::OnError(
        [&] {
            if (objParametros().lee(param::UsarImpDRVSiempre))
                ancho = objParametros().lee(param::AnchoDatosCabeceraDRV) < 4500 ? 60 : 100;
        },
        aviso(prompts::vbExclamation));
    return ancho;
}

QString sustituyeTagsHTML(QString texto) {
    const std::pair<const char*, const QString*> cambios[] = {
        {"<b>", &gCodigosPRN.PRN_ININEG},
        {"</b>", &gCodigosPRN.PRN_FINNEG},
        {"<u>", &gCodigosPRN.PRN_INISUB},
        {"</u>", &gCodigosPRN.PRN_FINSUB},
        {"<dblalt>", &gCodigosPRN.PRN_INIDBLALT},
        {"</dblalt>", &gCodigosPRN.PRN_FINDBLALT},
        {"<trialt>", &gCodigosPRN.PRN_INITRIALT},
        {"</trialt>", &gCodigosPRN.PRN_FINTRIALT},
        {"<gig>", &gCodigosPRN.PRN_INIGIG},
        {"</gig>", &gCodigosPRN.PRN_FINGIG},
        {"<inv>", &gCodigosPRN.PRN_INIINV},
        {"</inv>", &gCodigosPRN.PRN_FININV},
        {"PRN_ININEG", &gCodigosPRN.PRN_ININEG},
        {"PRN_FINNEG", &gCodigosPRN.PRN_FINNEG},
        {"PRN_INISUB", &gCodigosPRN.PRN_INISUB},
        {"PRN_FINSUB", &gCodigosPRN.PRN_FINSUB},
        {"PRN_INIDBLALT", &gCodigosPRN.PRN_INIDBLALT},
        {"PRN_FINDBLALT", &gCodigosPRN.PRN_FINDBLALT},
        {"PRN_INITRIALT", &gCodigosPRN.PRN_INITRIALT},
        {"PRN_FINTRIALT", &gCodigosPRN.PRN_FINTRIALT},
        {"PRN_INIGIG", &gCodigosPRN.PRN_INIGIG},
        {"PRN_FINGIG", &gCodigosPRN.PRN_FINGIG},
        {"PRN_INIINV", &gCodigosPRN.PRN_INIINV},
        {"PRN_FININV", &gCodigosPRN.PRN_FININV},
    };
    AtrapaErrores(QStringLiteral("basPrinter.sustituyeTagsHTML"), [&] {
        for (const auto& [marca, codigo] : cambios)
            texto.replace(QLatin1String(marca), *codigo, Qt::CaseInsensitive);
    });
    texto.replace(QStringLiteral("&comma;"), QStringLiteral(","), Qt::CaseInsensitive);
    // A line break tag that got this far (the composers split at it before) ends the line here, so
    // the word wrap breaks at it instead of printing the tag.
    texto.replace(QStringLiteral("<br>"), CRLF, Qt::CaseInsensitive);
    return texto;
}

QString TraducirCaracteres(const QString& texto, bool EsCocina) {
    bool paginaEuro = false;
    vb::OnError(
        [&] {
            paginaEuro = EsCocina ? objParametros().lee(param::CodigosEscTicketCocina) == 3
                                  : objParametros().lee(param::CodigosEscTicketNormal) == 4;
        },
        aviso(prompts::vbExclamation));
    QString salida;
    salida.reserve(texto.size() + 3);
    if (paginaEuro)
        salida += CodigoImpresora({27, 't', 19});
    // A character outside the basic plane is one character on paper, one "?" byte: it becomes that
    // byte here, so the command scanner below counts the bytes that will be sent.
    const QString bytes = unCaracterPorByte(texto);
    // Printer commands keep their bytes: a parameter such as the 96 of a line spacing is no text.
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype largo = escpos::longitudComando(bytes, i);
        if (largo > 0) {
            salida += QStringView(bytes).mid(i, largo);
            i += largo;
            continue;
        }
        const QChar c = bytes.at(i);
        const int b = byteTraducido(c, paginaEuro);
        salida += b >= 0 ? vb::Chr(b) : c;
        ++i;
    }
    return salida;
}

// ======================================================================================
// Cut, logo, beep, bit image
// ======================================================================================

ResultadoCorte CortarPapel(BufferImpresion& trabajo, OpcionesCorte o) {
    const qint32 idImpresora = o.idImpresora;
    const bool Traducir = o.Traducir;
    QString& NombreImpresora = o.NombreImpresora;
    ResultadoEnvio envio;
    bool captura = false;
    vb::OnError([&] { captura = capturando(); }, aviso(prompts::vbInformation));
    if (captura) {
        vb::OnError([&] { envio = enviaBuffer(trabajo, idImpresora, NombreImpresora); }, aviso(prompts::vbInformation));
        return {envio, NombreImpresora};
    }
    vb::OnError(
        [&] {
            qint32 n = objParametros().lee(param::NumLineasAntesCortar);
            if (n == 0)
                n = 4;
            for (qint32 i = 0; i < n; ++i)
                Imprimir(trabajo, QString(), {.idImpresora = idImpresora, .NombreImpresora = NombreImpresora});
        },
        aviso(prompts::vbInformation));
    vb::OnError(
        [&] {
            Imprimir(trabajo, QString(),
                     {.idImpresora = idImpresora, .NombreImpresora = NombreImpresora, .Traducir = Traducir});
        },
        aviso(prompts::vbInformation));

    bool cortar = false;
    vb::OnError([&] { cortar = objParametros().lee(param::Cortar) == 1; }, aviso(prompts::vbInformation));
    if (cortar)
        vb::OnError(
            [&] {
                if (objParametros().lee(param::ImprImpSecundaria) == 1 && frmPrincipalVars().blnImpresoraSecundaria) {
                    cortar = false;
                    NombreImpresora = objParametros().lee(param::ImpresoraSecundaria);
                }
                if (frmPrincipalVars().blnCintaControl)
                    cortar = false;
            },
            aviso(prompts::vbInformation));
    if (cortar) {
        vb::OnError(
            [&] {
                const QString corte = objParametros().lee(param::CodigosEscTicketNormal) == 2
                                          ? CodigoImpresora({29, 'V', 1, '@'})
                                          : CodigoImpresora({29, 'V', 0});
                envio = Imprimir(trabajo, corte,
                                 {.ConSalto = false,
                                  .Enviar = true,
                                  .idImpresora = idImpresora,
                                  .NombreImpresora = NombreImpresora,
                                  .Traducir = Traducir});
            },
            aviso(prompts::vbInformation));
    } else {
        vb::OnError([&] { envio = enviaBuffer(trabajo, idImpresora, NombreImpresora, Traducir); },
                    aviso(prompts::vbInformation));
    }
    vb::OnError(
        [&] {
            if (objParametros().lee(param::ImpLogoAntes) == 0 && o.ImprimirLogoDespues &&
                objParametros().lee(param::LogoEnImpresora) == 0)
                ImprimeLogo(trabajo, false, 0, NombreImpresora);
        },
        aviso(prompts::vbInformation));
    vb::OnError([&] { basFuncionesComunes::Espera(objParametros().lee(param::DelayImpresion)); },
                aviso(prompts::vbInformation));
    return {envio, NombreImpresora};
}

ResultadoEnvio ImprimeLogo(BufferImpresion& trabajo, bool Enviar, qint32 idImpresora, const QString& NombreImpresora) {
    ResultadoEnvio envio;
    vb::OnError([&] { GrabaLog(basFuncionesComunes::TextoSegundos() + QStringLiteral("basPrinter.ImprimeLogo: ")); },
                aviso(prompts::vbInformation));
    bool captura = false;
    vb::OnError([&] { captura = capturando(); }, aviso(prompts::vbInformation));
    if (captura)
        return envio;
    vb::OnError(
        [&] {
            if (objParametros().lee(param::LogoEnImpresora) == 0) {
                const QString carpeta = program::applicationDir();
                const QString guion = carpeta + QStringLiteral("/imp_logo.sh");
                if (QFileInfo::exists(guion) && objParametros().lee(param::NoImprimirLogo) == 0) {
                    // Runs beside us; the logo reaches the printer by the script's own means.
                    QProcess p;
                    p.setProgram(QStringLiteral("/bin/sh"));
                    p.setArguments({guion});
                    p.setWorkingDirectory(carpeta);
                    p.setStandardInputFile(QProcess::nullDevice());
                    p.setStandardOutputFile(QProcess::nullDevice());
                    p.setStandardErrorFile(QProcess::nullDevice());
                    if (!p.startDetached())
                        vb::Raise(vb::err::FileNotFound, QStringLiteral("No se ha podido ejecutar ") + guion);
                }
            } else {
                const QString orden = objParametros().lee(param::ModeloImpresoraTickets) == 0
                                          ? CodigoImpresora({28, 'p', 1, 0})
                                          : CodigoImpresora({29, '(', 'L', 6, 0, 48, 69, 32, 32, 1, 1});
                envio = Imprimir(trabajo, orden,
                                 {.Enviar = Enviar, .idImpresora = idImpresora, .NombreImpresora = NombreImpresora});
            }
        },
        aviso(prompts::vbInformation));
    return envio;
}

void EmitirPito(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora) {
    vb::OnError(
        [&] {
            const double tipo = objParametros().lee(param::EmitirPito);
            QString orden;
            if (tipo == 1) {
                orden = CodigoImpresora({30});
            } else if (tipo == 2) {
                orden = CodigoImpresora({27, 'o'});
            } else if (tipo == 3) {
                std::optional<int> b[3];
                const param::Numero* claves[] = {&param::EmitirPitoOkiDispositivo, &param::EmitirPitoOkiTiempoEngergia,
                                                 &param::EmitirPitoOkiTiempoDelay};
                for (int i = 0; i < 3; ++i)
                    if (!(b[i] = byteDeParametro(objParametros().lee(*claves[i]), claves[i]->nombre,
                                                 prompts::vbInformation)))
                        return;
                orden = CodigoImpresora({27, 29, 7, *b[0], *b[1], *b[2]});
            } else if (tipo == 4) {
                orden = CodigoImpresora({27, 'B', 1, 3});
            } else if (tipo == 5) {
                orden = CodigoImpresora({27, 'p', 0, 255, 255});
            } else {
                return;
            }
            Imprimir(
                trabajo, orden,
                {.ConSalto = false, .idImpresora = idImpresora, .NombreImpresora = NombreImpresora, .Traducir = false});
        },
        aviso(prompts::vbInformation));
}

void ImprimeImagenBits(BufferImpresion& trabajo, const QString& Datos, qint16 AnchoBytes, qint32 idImpresora,
                       qint16 Espaciado, const QString& NombreImpresora) {
    if (AnchoBytes <= 0) {
        MensajeUsuario(QStringLiteral("Ancho de imagen no válido: %1").arg(AnchoBytes), prompts::vbExclamation);
        return;
    }
    const int w = int(AnchoBytes) * 8;
    const int k = (256 - w) / 2;
    const QString relleno = k > 0 ? QString(k, QChar(0)) : QString();
    vb::OnError(
        [&] {
            Imprimir(
                trabajo, CodigoImpresora({27, '3', 0}),
                {.ConSalto = false, .idImpresora = idImpresora, .NombreImpresora = NombreImpresora, .Traducir = false});
        },
        aviso(prompts::vbExclamation));
    for (qsizetype i = 0; i < Datos.size(); i += w) {
        vb::OnError(
            [&] {
                const QString banda = relleno + Datos.mid(i, w) + relleno;
                const int largo = int(banda.size());
                Imprimir(trabajo, CodigoImpresora({27, '*', 0, largo % 256, largo / 256}) + banda,
                         {.idImpresora = idImpresora, .NombreImpresora = NombreImpresora, .Traducir = false});
            },
            aviso(prompts::vbExclamation));
    }
    vb::OnError(
        [&] {
            if (const auto n = byteDeParametro(Espaciado, QStringLiteral("espaciado"), prompts::vbExclamation))
                Imprimir(trabajo, CodigoImpresora({27, '3', *n}),
                         {.ConSalto = false,
                          .idImpresora = idImpresora,
                          .NombreImpresora = NombreImpresora,
                          .Traducir = false});
        },
        aviso(prompts::vbExclamation));
}

// ======================================================================================
// Invoice-printer pagination
// ======================================================================================

void ImprimeFacturadora(BufferImpresion& trabajo, const QString& texto, OpcionesFacturadora o) {
    auto& buf = trabajo;
    auto lineas = [](const QString& t) { return basLegacyFunctions::FuncionLegacyStrings(t, CRLF); };
    auto linea = [&](const QString& t, bool controlar, bool enviar = false) {
        Imprimir(trabajo, t, {.Enviar = enviar, .ControlarFacturadora = controlar});
    };
    // The paper prompt waits for the user; it must not print (unattended it would become an error
    // ticket on this very printer, in the middle of the page).
    auto avisoPapel = [](const QString& mensaje) {
        ErrorTicketPrinter::SuspensionImpresion suspension;
        MensajeUsuarioSimple(mensaje, prompts::vbInformation, QString());
    };
    auto paginaTexto = [&] { return QString::number(buf.Pagina).trimmed(); };

    if (o.blnSoloContar) {
        vb::OnError([&] { buf.LineasPendientes += lineas(texto); }, aviso(prompts::vbInformation));
        return;
    }
    if (!o.blnNuevoDocumento) {
        qint32 n = 0;
        vb::OnError(
            [&] {
                n = objParametros().lee(param::NumLinPagFacturadora);
                buf.LineasPagina = lineas(texto) + buf.LineasPendientes;
            },
            aviso(prompts::vbInformation));
        // A page of no lines means no pagination; the lines of a page being turned turn no page.
        if (n <= 0 || buf.LineasPagina < n || gEstadoImpresion.blnPaginando)
            return;
        gEstadoImpresion.blnPaginando = true;
        const auto fin = qScopeGuard([] { gEstadoImpresion.blnPaginando = false; });
        qint32 w = 0;
        vb::OnError(
            [&] {
                w = qint32(vb::RoundHalfEven(objParametros().lee(param::MargenIzquierdoFacturadora) +
                                             objParametros().lee(param::AnchoFacturadora) - 2));
            },
            aviso(prompts::vbInformation));
        auto alinea = [&](const QString& t) { return basFuncionesComunes::AlineaTexto(t, w, false, true, QString()); };
        vb::OnError([&] { linea(alinea(TraduceLiteral(QStringLiteral("Continua..."), -1, true, false)), false); },
                    aviso(prompts::vbInformation));
        vb::OnError(
            [&] {
                Imprimir(trabajo, CodigoImpresora({27, 'F', 1, 12}),
                         {.ConSalto = false, .Enviar = true, .ControlarFacturadora = false});
            },
            aviso(prompts::vbInformation));
        vb::OnError(
            [&] {
                Imprimir(trabajo, CodigoImpresora({27, 'c', '0', 4}),
                         {.ConSalto = false, .ControlarFacturadora = false});
            },
            aviso(prompts::vbInformation));
        vb::OnError(
            [&] {
                if (objParametros().lee(param::FacturadoraMostrarMensajePapel))
                    avisoPapel(QStringLiteral("Cambie el papel de la facturadora y pulse Aceptar para continuar"));
            },
            aviso(prompts::vbInformation));
        buf.Pagina += 1;
        buf.LineasPagina = 0;
        buf.LineasPendientes = 0;
        double cliente = 0, cabecera = 0;
        vb::OnError(
            [&] {
                cliente = objParametros().lee(param::MargenSuperiorClienteFacturadora);
                cabecera = objParametros().lee(param::MargenSuperiorCabeceraFacturadora);
            },
            aviso(prompts::vbInformation));
        bool tipo2 = false;
        vb::OnError([&] { tipo2 = objParametros().lee(param::TipoImpresionFacturadora) == 2; },
                    aviso(prompts::vbInformation));
        if (cliente != 0 || cabecera != 0) {
            const qint32 m = qint32(vb::RoundHalfEven(cliente + 2));
            for (qint32 i = 0; i < m + 1; ++i)
                vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
            qint32 c = m + 1;
            if (!tipo2)
                vb::OnError(
                    [&] {
                        linea(alinea(TraduceLiteral(QStringLiteral("Pagina:"), -1, true, false) + QStringLiteral(" ") +
                                     paginaTexto()),
                              false, true);
                    },
                    aviso(prompts::vbInformation));
            buf.LineasPagina += 1;
            while (c < cabecera + 2) {
                vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
                buf.LineasPagina += 1;
                c += 1;
            }
        } else {
            qint32 blancos = 0;
            vb::OnError([&] { blancos = objParametros().lee(param::BlancosCabecera); }, aviso(prompts::vbInformation));
            for (qint32 i = 0; i < blancos; ++i)
                vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
        }
        if (gEstadoImpresion.gstrCabeceraFacturadora.isEmpty())
            return;
        vb::OnError([&] { linea(gEstadoImpresion.gstrCabeceraFacturadora, true); }, aviso(prompts::vbInformation));
        buf.LineasPagina += 1;
        if (tipo2)
            vb::OnError(
                [&] {
                    linea(alinea(QStringLiteral("... ") + TraduceLiteral(QStringLiteral("Pagina:"), -1, true, false) +
                                 QStringLiteral(" ") + paginaTexto()),
                          true);
                },
                aviso(prompts::vbInformation));
        return;
    }

    vb::OnError(
        [&] {
            if (objParametros().lee(param::FacturadoraMostrarMensajePapel))
                avisoPapel(QStringLiteral("Introduzca la primera página y pulse Aceptar para continuar"));
        },
        aviso(prompts::vbInformation));
    qint16 t = 0;
    vb::OnError(
        [&] {
            if (objParametros().lee(param::MargenSuperiorClienteFacturadora) != 0)
                t = qint16(vb::RoundHalfEven(objParametros().lee(param::MargenSuperiorClienteFacturadora)));
            if (objParametros().lee(param::MargenSuperiorCabeceraFacturadora) != 0 && t == 0)
                t = qint16(vb::RoundHalfEven(objParametros().lee(param::MargenSuperiorCabeceraFacturadora)));
        },
        aviso(prompts::vbInformation));
    buf.LineasPagina = 0;
    buf.LineasPendientes = 0;
    buf.Pagina = 1;
    for (qint16 i = 0; i < t; ++i)
        vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
}

// ======================================================================================
// Wiring
// ======================================================================================

void InstalaServiciosImpresion() {
    basFuncionesComunes::setSustituyeTags([](const QString& t) { return sustituyeTagsHTML(t); });
    setErrorPrinter(&ErrorTicketPrinter::instance());
}

void resetForTests() {
    gEstadoImpresion = EstadoImpresion{};
    InicializaCodigosPRN();
}

} // namespace basPrinter
