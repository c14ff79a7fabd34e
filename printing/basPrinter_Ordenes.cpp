// basPrinter: the cut, the logo, the beep and the bit image.
#include "printing/basPrinter.h"
#include "printing/basPrinter_Interno.h"

#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "printing/clsImpresionPantalla.h"

#include <QFileInfo>
#include <QProcess>
#include <optional>

namespace basPrinter {

using namespace interno;

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
                // Looked for in the data folder when the executable's is read-only, as log.txt is written.
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

} // namespace basPrinter
