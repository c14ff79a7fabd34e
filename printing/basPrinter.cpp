#include "printing/basPrinter.h"

#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/EscPos.h"
#include "printing/clsImpresionPantalla.h"

#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <algorithm>
#include <cmath>

namespace basPrinter {

EstadoImpresion gEstadoImpresion;
CodigosPRN gCodigosPRN;

namespace {

const QString CRLF = QStringLiteral("\r\n");

// ---- parameters ----
QString par(const QString& clave) {
    return objParametros().getValor(clave);
}
double parNum(const QString& clave) {
    return objParametros().getValorNum(clave);
}
qint32 parLng(const QString& clave) {
    return objParametros().getValorLng(clave);
}
bool parEs(const QString& clave, double valor) {
    return parNum(clave) == valor;
}

// ---- error style of the printer routines: report the description and go on ----
template <class F> void paso(int estilo, F&& f) {
    try {
        f();
    } catch (const VBError& e) {
        MensajeUsuario(e.description(), estilo);
    } catch (const std::exception&) {
        MensajeUsuario(vb::CurrentError().description(), estilo);
    }
}

// A value used as a command byte must fit in one byte. Outside 0..255 the command is skipped and the
// value reported; the caller never sends the command without its parameter.
bool byteDeParametro(double valor, const QString& que, int estilo, int& byte) {
    const double r = vb::RoundHalfEven(valor);
    if (r >= 0 && r <= 255) {
        byte = int(r);
        return true;
    }
    MensajeUsuario(QStringLiteral("Valor fuera de rango para el código de impresora %1: %2")
                       .arg(que, basFuncionesComunes::NumeroATexto(valor)),
                   estilo);
    return false;
}

bool capturando() {
    auto& t = objImpresionPantalla();
    return t.ImprimirPorPantalla() || t.DevolverTextoEnLugarDeImprimir();
}

// Send failures are reported through MensajeUsuario, which unattended prints an error ticket through
// this same layer; while one report is in progress, a further failure is only logged.
void informaFalloEnvio(const QString& impresora, const QString& motivo) {
    const QString texto = QStringLiteral("No se ha podido imprimir en %1: %2").arg(impresora, motivo);
    GrabaLog(texto, true);
    if (gEstadoImpresion.blnInformandoFallo)
        return;
    gEstadoImpresion.blnInformandoFallo = true;
    try {
        MensajeUsuario(texto, 64);
    } catch (...) {
        gEstadoImpresion.blnInformandoFallo = false;
        throw;
    }
    gEstadoImpresion.blnInformandoFallo = false;
}

bool enviaTrabajo(const QString& impresora, const QString& texto) {
    QString error;
    const bool ok = printers::output().send(impresora, cp1252::encode(texto), &error);
    if (!ok)
        informaFalloEnvio(impresora, error.isEmpty() ? QStringLiteral("error desconocido") : error);
    return ok;
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

bool Imprimir(const QString& texto, bool ConSalto, bool Enviar, qint32 idImpresora, const QString& NombreImpresora,
              bool ControlarFacturadora, bool Traducir, bool EsCocina) {
    auto& buf = gEstadoImpresion.mBufferImpresion;
    buf.Texto += texto;
    if (ConSalto)
        buf.Texto += CRLF;

    bool itos = false;
    paso(64, [&] { itos = parEs(QStringLiteral("FuncionamientoItos"), 1) && idImpresora == 0; });

    // Length limit.
    paso(64, [&] {
        qint32 max = parLng(QStringLiteral("LongMaxTexto"));
        if (max == 0)
            max = 15000;
        if (itos)
            max = 0;
        if (max > 0 && buf.Texto.size() > max)
            Enviar = true;
    });

    // The print target may take the text instead of the printer.
    paso(64, [&] {
        auto& t = objImpresionPantalla();
        if (Enviar && (t.ImprimirPorPantalla() || t.GrabarEnBBDD() || t.DevolverTextoEnLugarDeImprimir())) {
            t.Imprime(buf.Texto);
            if (t.ImprimirPorPantalla() || t.DevolverTextoEnLugarDeImprimir()) {
                Enviar = false;
                buf.Texto.clear();
            }
        }
    });

    bool facturadora = false;
    paso(64, [&] { facturadora = parEs(QStringLiteral("FuncFacturadora"), 1); });
    const bool paginar = facturadora && gEstadoImpresion.glngPaginarFacturadora == 1;
    if (ControlarFacturadora && paginar)
        paso(64, [&] { ImprimeFacturadora(QString(buf.Texto), false, false); });

    if (!Enviar)
        return false;

    // From here on the job is this text; the buffer is free for whatever the waits let in.
    QString trabajo = buf.Texto;
    buf.Texto.clear();

    if (itos)
        Traducir = false;
    if (Traducir && !trabajo.isEmpty())
        paso(64, [&] { trabajo = TraducirCaracteres(trabajo, EsCocina); });

    QString nombre;
    bool descartar = false;
    paso(64, [&] {
        if (idImpresora == 0) {
            nombre = par(QStringLiteral("ImpTicket"));
        } else {
            nombre = vb::Trim(
                objReg().Lee_Valor(gstrRutaRegistro + QStringLiteral("\\impresoras"), QString::number(idImpresora)));
            if (nombre.contains(QStringLiteral("NO IMPRIMIR"), Qt::CaseInsensitive))
                descartar = true;
        }
    });
    if (descartar)
        return false;
    paso(64, [&] {
        if (!NombreImpresora.isEmpty())
            nombre = NombreImpresora;
        if (parEs(QStringLiteral("ImprImpSecundaria"), 1) && frmPrincipalVars().blnImpresoraSecundaria)
            nombre = par(QStringLiteral("ImpresoraSecundaria"));
        if (frmPrincipalVars().blnCintaControl)
            nombre = par(QStringLiteral("ImpCintaControl"));
    });
    if (nombre.isEmpty())
        paso(64, [&] { nombre = printers::output().defaultPrinter(); });

    // Nothing collected: no job (an empty raw job would stay held in the queue).
    const bool vacio = trabajo.isEmpty();

    if (facturadora)
        paso(64, [&] {
            if (paginar) {
                trabajo = CodigoImpresora({27, 'c', '0', 4}) + trabajo;
                ImprimeFacturadora(trabajo, false, true);
            } else {
                trabajo = CodigoImpresora({27, 'c', '0', 1}) + trabajo;
            }
        });

    bool enviado = vacio;
    paso(64, [&] {
        bool opos = false;
        QString impresoraOpos;
        if (parNum(QStringLiteral("UsarDriverOPOS")) != 0) {
            impresoraOpos = par(QStringLiteral("ImpresoraOPOS"));
            opos = nombre.compare(impresoraOpos, Qt::CaseInsensitive) == 0;
        }
        if (opos) {
            // The POS-printer road: the same payload the control's direct output would take.
            if (!vacio)
                enviado = enviaTrabajo(impresoraOpos, CodigoImpresora({27, '=', 1}) + trabajo + CRLF);
        } else {
            if (!vacio)
                enviado = enviaTrabajo(nombre, trabajo);
            if (gblnLog) {
                GrabaLog(QStringLiteral("Impreso en ") + nombre);
                GrabaLog(trabajo);
            }
        }
    });

    if (paginar)
        paso(64, [&] { basFuncionesComunes::Espera(parLng(QStringLiteral("DelayFacturadora"))); });
    paso(64, [&] {
        const qint32 retraso = parLng(QStringLiteral("DelayImpresion"));
        if (parNum(QStringLiteral("DelayImpresion")) != 0)
            basFuncionesComunes::Espera(retraso);
    });
    return enviado;
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

void InicializaImpresora(qint32 idImpresora, const QString& NombreImpresora, bool CambiarEspaciado, bool Enviar,
                         QString& Espaciado) {
    if (objImpresionPantalla().DevolverTextoEnLugarDeImprimir())
        return;
    auto orden = [&](std::initializer_list<int> bytes, bool enviar) {
        Imprimir(CodigoImpresora(bytes), true, enviar, idImpresora, NombreImpresora, true, true, false);
    };
    if (CambiarEspaciado)
        paso(48, [&] {
            if (Espaciado.isEmpty()) {
                int n = 0;
                if (!byteDeParametro(parNum(QStringLiteral("EspacioEntreLineas")), QStringLiteral("EspacioEntreLineas"),
                                     48, n))
                    return;
                Espaciado = vb::Chr(n);
            }
            Imprimir(CodigoImpresora({27, '3'}) + Espaciado, true, Enviar, idImpresora, NombreImpresora, true, true,
                     false);
        });
    bool juego2 = false;
    paso(48, [&] { juego2 = parEs(QStringLiteral("CodigosEscTicketNormal"), 2); });
    if (juego2) {
        paso(48, [&] { orden({27, '@'}, true); });
        gCodigosPRN.PRN_INIDBLALT.clear();
        gCodigosPRN.PRN_FINDBLALT.clear();
        gCodigosPRN.PRN_ININEG.clear();
        gCodigosPRN.PRN_FINNEG.clear();
        paso(48, [&] { Imprimir(QString(), false, true, idImpresora, NombreImpresora, true, true, false); });
        paso(48, [&] { orden({27, '!', 2}, true); });
        paso(48, [&] { orden({27, 'A', 0}, true); });
        paso(48, [&] { orden({29, 'E', 1}, true); });
        paso(48, [&] { orden({29, 's', 1}, true); });
    } else {
        paso(48, [&] { orden({27, '!', 0}, Enviar); });
    }
}

void InicializaImpresora(qint32 idImpresora, const QString& NombreImpresora, bool CambiarEspaciado, bool Enviar,
                         const QString& Espaciado) {
    QString e = Espaciado;
    InicializaImpresora(idImpresora, NombreImpresora, CambiarEspaciado, Enviar, e);
}

qint16 EstableceLetraYAncho(qint32 idImpresora, const QString& NombreImpresora, bool EsCocina) {
    qint16 ancho = 42;
    int n = 0;
    paso(48, [&] {
        const qint32 letra = parLng(EsCocina ? QStringLiteral("TipoLetraCocina") : QStringLiteral("TipoLetraTickets"));
        switch (letra) {
        case 1:
            n = 16;
            break;
        case 2:
            n = 32;
            break;
        case 3:
            n = 48;
            break;
        case 4:
            n = 1;
            break;
        case 5:
            n = 17;
            break;
        case 6:
            n = 33;
            break;
        case 7:
            n = 49;
            break;
        default:
            n = 0;
            break;
        }
        if (letra != 0 && !objImpresionPantalla().DevolverTextoEnLugarDeImprimir())
            Imprimir(CodigoImpresora({27, '!', n}), true, false, idImpresora, NombreImpresora, true, true, false);
    });
    paso(48, [&] {
        const qint32 codigo =
            parLng(EsCocina ? QStringLiteral("AnchoImpresoraCocina") : QStringLiteral("AnchoImpresoraTickets"));
        const bool fuenteB = (n % 2) != 0;
        switch (codigo) {
        case 0:
            ancho = fuenteB ? 56 : 42;
            break;
        case 1:
            ancho = fuenteB ? 74 : 56;
            break;
        case 2:
            ancho = fuenteB ? 45 : 34;
            break;
        case 3:
            ancho = fuenteB ? 43 : 33;
            break;
        default:
            break;
        }
    });
    if (idImpresora == 9999 || idImpresora == 9998)
        ancho = 34;
    paso(48, [&] {
        if (vb::CBool(par(QStringLiteral("UsarImpDRVSiempre"))))
            ancho = parNum(QStringLiteral("AnchoDatosCabeceraDRV")) < 4500 ? 60 : 100;
    });
    return ancho;
}

QString sustituyeTagsHTML(QString& texto) {
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
    for (const auto& [marca, codigo] : cambios) {
        try {
            texto.replace(QLatin1String(marca), *codigo, Qt::CaseInsensitive);
        } catch (const VBError& e) {
            ControlErrores(QStringLiteral("basPrinter.sustituyeTagsHTML"), true, e);
        }
    }
    texto.replace(QStringLiteral("&comma;"), QStringLiteral(","), Qt::CaseInsensitive);
    // A line break tag that got this far (the composers split at it before) ends the line here, so
    // the word wrap breaks at it instead of printing the tag.
    texto.replace(QStringLiteral("<br>"), CRLF, Qt::CaseInsensitive);
    return texto;
}

QString sustituyeTagsHTML(const QString& texto) {
    QString t = texto;
    return sustituyeTagsHTML(t);
}

QString TraducirCaracteres(QString& texto, bool EsCocina) {
    bool paginaEuro = false;
    paso(48, [&] {
        paginaEuro = EsCocina ? parEs(QStringLiteral("CodigosEscTicketCocina"), 3)
                              : parEs(QStringLiteral("CodigosEscTicketNormal"), 4);
    });
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
    texto = salida;
    return texto;
}

QString TraducirCaracteres(const QString& texto, bool EsCocina) {
    QString t = texto;
    return TraducirCaracteres(t, EsCocina);
}

// ======================================================================================
// Cut, logo, beep, bit image
// ======================================================================================

void CortarPapel(bool ImprimirLogoDespues, qint32 idImpresora, bool Traducir, QString& NombreImpresora) {
    bool captura = false;
    paso(64, [&] { captura = capturando(); });
    if (captura) {
        paso(64, [&] { Imprimir(QString(), false, true, idImpresora, NombreImpresora, true, true, false); });
        return;
    }
    paso(64, [&] {
        qint32 n = parLng(QStringLiteral("NumLineasAntesCortar"));
        if (n == 0)
            n = 4;
        for (qint32 i = 0; i < n; ++i)
            Imprimir(QString(), true, false, idImpresora, NombreImpresora, true, true, false);
    });
    paso(64, [&] { Imprimir(QString(), true, false, idImpresora, NombreImpresora, true, Traducir, false); });

    bool cortar = false;
    paso(64, [&] { cortar = parEs(QStringLiteral("Cortar"), 1); });
    if (cortar)
        paso(64, [&] {
            if (parEs(QStringLiteral("ImprImpSecundaria"), 1) && frmPrincipalVars().blnImpresoraSecundaria) {
                cortar = false;
                NombreImpresora = par(QStringLiteral("ImpresoraSecundaria"));
            }
            if (frmPrincipalVars().blnCintaControl)
                cortar = false;
        });
    if (cortar) {
        paso(64, [&] {
            const QString corte = parEs(QStringLiteral("CodigosEscTicketNormal"), 2)
                                      ? CodigoImpresora({29, 'V', 1, '@'})
                                      : CodigoImpresora({29, 'V', 0});
            Imprimir(corte, false, true, idImpresora, NombreImpresora, true, Traducir, false);
        });
    } else {
        paso(64, [&] { Imprimir(QString(), false, true, idImpresora, NombreImpresora, true, Traducir, false); });
    }
    paso(64, [&] {
        if (parNum(QStringLiteral("ImpLogoAntes")) == 0 && ImprimirLogoDespues &&
            parNum(QStringLiteral("LogoEnImpresora")) == 0)
            ImprimeLogo(false, 0, NombreImpresora);
    });
    paso(64, [&] { basFuncionesComunes::Espera(parLng(QStringLiteral("DelayImpresion"))); });
}

void CortarPapel(bool ImprimirLogoDespues, qint32 idImpresora, bool Traducir, const QString& NombreImpresora) {
    QString nombre = NombreImpresora;
    CortarPapel(ImprimirLogoDespues, idImpresora, Traducir, nombre);
}

void ImprimeLogo(bool Enviar, qint32 idImpresora, const QString& NombreImpresora) {
    paso(64, [&] {
        GrabaLog(vb::CStr(QVariant(basFuncionesComunes::Segundos())) + QStringLiteral("basPrinter.ImprimeLogo: "));
    });
    bool captura = false;
    paso(64, [&] { captura = capturando(); });
    if (captura)
        return;
    paso(64, [&] {
        if (parNum(QStringLiteral("LogoEnImpresora")) == 0) {
            const QString carpeta = program::applicationDir();
            const QString guion = carpeta + QStringLiteral("/imp_logo.sh");
            if (QFileInfo::exists(guion) && parNum(QStringLiteral("NoImprimirLogo")) == 0) {
                // Runs beside us; the logo reaches the printer by the script's own means.
                QProcess p;
                p.setProgram(QStringLiteral("/bin/sh"));
                p.setArguments({guion});
                p.setWorkingDirectory(carpeta);
                p.setStandardInputFile(QProcess::nullDevice());
                p.setStandardOutputFile(QProcess::nullDevice());
                p.setStandardErrorFile(QProcess::nullDevice());
                if (!p.startDetached())
                    vb::Raise(53, QStringLiteral("No se ha podido ejecutar ") + guion);
            }
        } else {
            const QString orden = parNum(QStringLiteral("ModeloImpresoraTickets")) == 0
                                      ? CodigoImpresora({28, 'p', 1, 0})
                                      : CodigoImpresora({29, '(', 'L', 6, 0, 48, 69, 32, 32, 1, 1});
            Imprimir(orden, true, Enviar, idImpresora, NombreImpresora, true, true, false);
        }
    });
}

void EmitirPito(qint32 idImpresora, const QString& NombreImpresora) {
    paso(64, [&] {
        const double tipo = parNum(QStringLiteral("EmitirPito"));
        QString orden;
        if (tipo == 1) {
            orden = CodigoImpresora({30});
        } else if (tipo == 2) {
            orden = CodigoImpresora({27, 'o'});
        } else if (tipo == 3) {
            int d = 0, t1 = 0, t2 = 0;
            if (!byteDeParametro(parNum(QStringLiteral("EmitirPitoOkiDispositivo")),
                                 QStringLiteral("EmitirPitoOkiDispositivo"), 64, d) ||
                !byteDeParametro(parNum(QStringLiteral("EmitirPitoOkiTiempoEngergia")),
                                 QStringLiteral("EmitirPitoOkiTiempoEngergia"), 64, t1) ||
                !byteDeParametro(parNum(QStringLiteral("EmitirPitoOkiTiempoDelay")),
                                 QStringLiteral("EmitirPitoOkiTiempoDelay"), 64, t2))
                return;
            orden = CodigoImpresora({27, 29, 7, d, t1, t2});
        } else if (tipo == 4) {
            orden = CodigoImpresora({27, 'B', 1, 3});
        } else if (tipo == 5) {
            orden = CodigoImpresora({27, 'p', 0, 255, 255});
        } else {
            return;
        }
        Imprimir(orden, false, false, idImpresora, NombreImpresora, true, false, false);
    });
}

void ImprimeImagenBits(const QString& Datos, qint16 AnchoBytes, qint32 idImpresora, qint16 Espaciado,
                       const QString& NombreImpresora) {
    if (AnchoBytes <= 0) {
        MensajeUsuario(QStringLiteral("Ancho de imagen no válido: %1").arg(AnchoBytes), 48);
        return;
    }
    const int w = int(AnchoBytes) * 8;
    const int k = (256 - w) / 2;
    const QString relleno = k > 0 ? QString(k, QChar(0)) : QString();
    paso(48, [&] { Imprimir(CodigoImpresora({27, '3', 0}), false, false, idImpresora, NombreImpresora, true, false); });
    for (qsizetype i = 0; i < Datos.size(); i += w) {
        paso(48, [&] {
            const QString banda = relleno + Datos.mid(i, w) + relleno;
            const int largo = int(banda.size());
            Imprimir(CodigoImpresora({27, '*', 0, largo % 256, largo / 256}) + banda, true, false, idImpresora,
                     NombreImpresora, true, false);
        });
    }
    paso(48, [&] {
        int n = 0;
        if (!byteDeParametro(Espaciado, QStringLiteral("espaciado"), 48, n))
            return;
        Imprimir(CodigoImpresora({27, '3', n}), false, false, idImpresora, NombreImpresora, true, false);
    });
}

// ======================================================================================
// Invoice-printer pagination
// ======================================================================================

void ImprimeFacturadora(const QString& texto, bool blnNuevoDocumento, bool blnSoloContar) {
    auto& buf = gEstadoImpresion.mBufferImpresion;
    auto lineas = [](const QString& t) { return basLegacyFunctions::FuncionLegacyStrings(t, CRLF); };
    auto linea = [](const QString& t, bool controlar, bool enviar = false) {
        Imprimir(t, true, enviar, 0, QString(), controlar, true, false);
    };
    // The paper prompt waits for the user; it must not print (unattended it would become an error
    // ticket on this very printer, in the middle of the page).
    auto avisoPapel = [](const QString& mensaje) {
        ErrorTicketPrinter::SuspensionImpresion suspension;
        MensajeUsuarioSimple(mensaje, 64, QString());
    };
    auto paginaTexto = [&] { return QString::number(buf.Pagina).trimmed(); };

    if (blnSoloContar) {
        paso(64, [&] { buf.LineasPendientes += lineas(texto); });
        return;
    }
    if (!blnNuevoDocumento) {
        qint32 n = 0;
        paso(64, [&] {
            n = parLng(QStringLiteral("NumLinPagFacturadora"));
            buf.LineasPagina = lineas(texto) + buf.LineasPendientes;
        });
        // A page of no lines means no pagination; the lines of a page being turned turn no page.
        if (n <= 0 || buf.LineasPagina < n || gEstadoImpresion.blnPaginando)
            return;
        gEstadoImpresion.blnPaginando = true;
        struct Fin {
            ~Fin() { gEstadoImpresion.blnPaginando = false; }
        } fin;
        qint32 w = 0;
        paso(64, [&] {
            w = qint32(vb::RoundHalfEven(parNum(QStringLiteral("MargenIzquierdoFacturadora")) +
                                         parNum(QStringLiteral("AnchoFacturadora")) - 2));
        });
        auto alinea = [&](const QString& t) { return basFuncionesComunes::AlineaTexto(t, w, false, true, QString()); };
        paso(64, [&] { linea(alinea(TraduceLiteral(QStringLiteral("Continua..."), -1, true, false)), false); });
        paso(64, [&] { Imprimir(CodigoImpresora({27, 'F', 1, 12}), false, true, 0, QString(), false, true, false); });
        paso(64, [&] { Imprimir(CodigoImpresora({27, 'c', '0', 4}), false, false, 0, QString(), false, true, false); });
        paso(64, [&] {
            if (vb::CBool(par(QStringLiteral("FacturadoraMostrarMensajePapel"))))
                avisoPapel(QStringLiteral("Cambie el papel de la facturadora y pulse Aceptar para continuar"));
        });
        buf.Pagina += 1;
        buf.LineasPagina = 0;
        buf.LineasPendientes = 0;
        double cliente = 0, cabecera = 0;
        paso(64, [&] {
            cliente = parNum(QStringLiteral("MargenSuperiorClienteFacturadora"));
            cabecera = parNum(QStringLiteral("MargenSuperiorCabeceraFacturadora"));
        });
        bool tipo2 = false;
        paso(64, [&] { tipo2 = parEs(QStringLiteral("TipoImpresionFacturadora"), 2); });
        if (cliente != 0 || cabecera != 0) {
            const qint32 m = qint32(vb::RoundHalfEven(cliente + 2));
            for (qint32 i = 0; i < m + 1; ++i)
                paso(64, [&] { linea(QString(), true); });
            qint32 c = m + 1;
            if (!tipo2)
                paso(64, [&] {
                    linea(alinea(TraduceLiteral(QStringLiteral("Pagina:"), -1, true, false) + QStringLiteral(" ") +
                                 paginaTexto()),
                          false, true);
                });
            buf.LineasPagina += 1;
            while (c < cabecera + 2) {
                paso(64, [&] { linea(QString(), true); });
                buf.LineasPagina += 1;
                c += 1;
            }
        } else {
            qint32 blancos = 0;
            paso(64, [&] { blancos = parLng(QStringLiteral("BlancosCabecera")); });
            for (qint32 i = 0; i < blancos; ++i)
                paso(64, [&] { linea(QString(), true); });
        }
        if (gEstadoImpresion.gstrCabeceraFacturadora.isEmpty())
            return;
        paso(64, [&] { linea(gEstadoImpresion.gstrCabeceraFacturadora, true); });
        buf.LineasPagina += 1;
        if (tipo2)
            paso(64, [&] {
                linea(alinea(QStringLiteral("... ") + TraduceLiteral(QStringLiteral("Pagina:"), -1, true, false) +
                             QStringLiteral(" ") + paginaTexto()),
                      true);
            });
        return;
    }

    paso(64, [&] {
        if (vb::CBool(par(QStringLiteral("FacturadoraMostrarMensajePapel"))))
            avisoPapel(QStringLiteral("Introduzca la primera página y pulse Aceptar para continuar"));
    });
    qint16 t = 0;
    paso(64, [&] {
        if (parNum(QStringLiteral("MargenSuperiorClienteFacturadora")) != 0)
            t = qint16(vb::RoundHalfEven(parNum(QStringLiteral("MargenSuperiorClienteFacturadora"))));
        if (parNum(QStringLiteral("MargenSuperiorCabeceraFacturadora")) != 0 && t == 0)
            t = qint16(vb::RoundHalfEven(parNum(QStringLiteral("MargenSuperiorCabeceraFacturadora"))));
    });
    buf.LineasPagina = 0;
    buf.LineasPendientes = 0;
    buf.Pagina = 1;
    for (qint16 i = 0; i < t; ++i)
        paso(64, [&] { linea(QString(), true); });
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
