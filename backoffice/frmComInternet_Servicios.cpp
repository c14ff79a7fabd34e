// The service requests of the back-office server and the judgement of the message services.
#include "backoffice/frmComInternet.h"

#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Cp1252.h"
#include "platform/Prompts.h"

namespace {

const QString kRutaSQL = QStringLiteral("/env_rec/interface_hotel/servicio_sql.php");
const QString kRutaPromociones = QStringLiteral("/param/mensajes_trigger/consulta_promociones.php");
const QString kCabecera = QStringLiteral("Content-Type: application/x-www-form-urlencoded; charset=windows-1252");
const QString kErrorEnvio = QStringLiteral("Error al intentar enviar mensaje.");

QString url(const QString& direccion, const QString& ruta) {
    return QStringLiteral("http://") + direccion + objParametros().lee(param::RutaBackOffice) + ruta;
}

// A value as text; an entity's answer for a missing name ("#ERROR#") is kept as it is.
QString texto(const Variant& v) {
    return vb::IsNull(v) ? QString() : v.toString();
}

bool igual(const QString& a, const char* b) {
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

} // namespace

QString frmComInternet::CodificaValor(const QString& valor, const QString& campo) {
    avisaSinCp1252(valor, campo);
    return QString::fromLatin1(cp1252::encode(valor).toPercentEncoding());
}

QString frmComInternet::DireccionServidorCentral() {
    clsParametros& p = objParametros();
    QString direccion = p.lee(param::IpAlternativaServidorCentral);
    if (direccion.isEmpty())
        direccion = p.lee(param::IpCentral);
    if (direccion.isEmpty())
        return {};
    const QString puerto = p.lee(param::puerto_central);
    return puerto.isEmpty() ? direccion : direccion + QLatin1Char(':') + puerto;
}

void frmComInternet::preparaServicio(qint32 tipo, bool primeraLineaDatos, const QString& separador) {
    esperaTransferenciaEnCurso(); // before this call's reader settings replace those of a reply on its way
    if (m_ventana)
        m_ventana->setRetryEnabled(false);
    Resultado.clear();
    estado(QStringLiteral("Accediendo a Internet"));
    TipoResultado = tipo;
    blnPrimeraLinea_tiene_datos_NoDefColumnas = primeraLineaDatos;
    SeparadorColumnas = separador;
}

namespace {
// "&consulta<i>=<name>&SQLConsulta<i>=<sql>&devolverResultado<i>=<S|N>", values encoded.
QString itemConsulta(qint32 i, const QString& nombre, const QString& sql, bool devolver) {
    const QString n = QString::number(i);
    return QStringLiteral("&consulta") + n + QLatin1Char('=') +
           frmComInternet::CodificaValor(nombre, QStringLiteral("consulta") + n) + QStringLiteral("&SQLConsulta") + n +
           QLatin1Char('=') + frmComInternet::CodificaValor(sql, QStringLiteral("SQLConsulta") + n) +
           QStringLiteral("&devolverResultado") + n + (devolver ? QStringLiteral("=S") : QStringLiteral("=N"));
}

void anadeHora(coleccionTextos& consultas) {
    if (!consultas.Item(QStringLiteral("Hora")))
        consultas.Add(QStringLiteral("Hora"), QStringLiteral("select now()"));
}
} // namespace

void frmComInternet::Servicio_sql_Importar(const QString& IP, coleccionTextos& pConsultas) {
    AtrapaErrores(QStringLiteral("RecibirInformacion"), [&] {
        preparaServicio(LecturaSincronizacion, false, QStringLiteral("|"));
        anadeHora(pConsultas);
        QString cuerpo = QStringLiteral("numConsultas=") + QString::number(pConsultas.Count());
        qint32 i = 0;
        for (const TextoNombradoPtr& t : pConsultas)
            cuerpo += itemConsulta(++i, t->Nombre(), t->Texto, true);
        AbreURL(url(IP, kRutaSQL), cuerpo, LecturaSincronizacion, kCabecera, QStringLiteral("POST"));
    });
}

namespace {
// A table's rows as insert statements, written as CreaInserts writes them; a select that fails raises
// here, where CreaInserts would report it and hand back the rows read so far.
QStringList insertsDeTabla(const QString& sql, const QString& tabla) {
    QStringList inserts;
    ado::RecordsetPtr rs = ConexionServidor().Execute(sql);
    for (; !rs->isEOF(); rs->MoveNext()) {
        QStringList columnas, valores;
        for (int i = 0; i < rs->FieldCount(); ++i) {
            columnas << rs->Fields(i).Name;
            valores << basFuncionesComunes::ValorSQL(rs->Fields(i));
        }
        inserts << QStringLiteral("insert into ") + tabla + QStringLiteral(" (") + columnas.join(QLatin1String(", ")) +
                       QStringLiteral(") values (") + valores.join(QLatin1String(", ")) + QLatin1Char(')');
    }
    return inserts;
}
} // namespace

void frmComInternet::Servicio_sql_Exportar(const QString& IP, coleccionTextos& pConsultas) {
    QString cuerpo;
    // Every table is read before anything is sent: a table whose rows could not be read must send
    // neither its delete, which would empty the back office's copy, nor the other tables' items alone.
    const bool leido = vb::OnError(
        [&] {
            preparaServicio(LecturaSincronizacion, false, QStringLiteral("|"));
            anadeHora(pConsultas);
            qint32 i = 0; // a big table sends more than 32 767 rows
            QString items;
            for (const TextoNombradoPtr& t : pConsultas) {
                if (igual(t->Nombre(), "Hora") || igual(t->Nombre(), "Config")) {
                    items += itemConsulta(++i, t->Nombre(), t->Texto, true);
                    continue;
                }
                const QStringList inserts = insertsDeTabla(t->Texto, t->Nombre());
                const QString borrado = basFuncionesComunes::CreaDelete(t->Texto, t->Nombre());
                if (!borrado.trimmed().isEmpty())
                    items += itemConsulta(++i, QStringLiteral("Delete:") + t->Nombre(), borrado, false);
                for (const QString& ins : inserts)
                    items += itemConsulta(++i, QStringLiteral("Insert:") + t->Nombre(), ins, false);
            }
            cuerpo = QStringLiteral("numConsultas=") + QString::number(i) + items;
        },
        [&](const VBError& err) {
            ControlErrores(QStringLiteral("RecibirInformacion"), true, err);
            Resultado = err.description();
        });
    if (!leido) {
        terminaFallida();
        return;
    }
    AtrapaErrores(QStringLiteral("RecibirInformacion"), [&] {
        AbreURL(url(IP, kRutaSQL), cuerpo, LecturaSincronizacion, kCabecera, QStringLiteral("POST"));
    });
}

Variant frmComInternet::Servicio_ConsultaSQL(const QString& strConsultaSql, const QString& strIP_Servidor) {
    AtrapaErrores(QStringLiteral("frmComInternet.Servicio_ConsultaSQL"), [&] {
        const QString direccion = strIP_Servidor.isEmpty() ? DireccionServidorCentral() : strIP_Servidor;
        if (direccion.isEmpty()) {
            oculta();
            return;
        }
        preparaServicio(LecturaDelimitada, false, QStringLiteral("|"));
        const QString cuerpo = QStringLiteral("numConsultas=1&consulta1=consulta1&SQLConsulta1=") +
                               CodificaValor(strConsultaSql, QStringLiteral("SQLConsulta1")) +
                               QStringLiteral("&devolverResultado1=S");
        AbreURL(url(direccion, kRutaSQL), cuerpo, LecturaDelimitada, kCabecera, QStringLiteral("POST"));
    });
    return {};
}

void frmComInternet::PromocionesCliente(qint32 lngCliente, bool SoloPromocionesVigentes) {
    AtrapaErrores(QStringLiteral("frmComInternet.PromocionesCliente"), [&] {
        const QString direccion = DireccionServidorCentral();
        if (direccion.isEmpty()) {
            oculta();
            return;
        }
        preparaServicio(LecturaDelimitada, blnPrimeraLinea_tiene_datos_NoDefColumnas, QStringLiteral("#"));
        const QString cuerpo =
            QStringLiteral("empresa=%1&restaurante=%2&tpv=%3&cliente=%4&solo_promociones_vigentes=%5")
                .arg(glngEmpresa)
                .arg(glngRestaurante)
                .arg(frmPrincipalVars().lngTPV)
                .arg(lngCliente)
                .arg(SoloPromocionesVigentes ? QStringLiteral("S") : QStringLiteral("N")) +
            QStringLiteral("&user=Muralvet&bbdd_act=") + CodificaValor(gstrBBDDActual, QStringLiteral("bbdd_act"));
        AbreURL(url(direccion, kRutaPromociones), cuerpo, LecturaDelimitada, kCabecera, QStringLiteral("POST"));
    });
}

vb::EntidadPtr frmComInternet::enviaMensaje(const QString& url, const QString& cuerpo, vb::ColeccionPtr& Resultado) {
    AbreURL(url, cuerpo, TipoResultado, kCabecera, QStringLiteral("POST"));
    esperaModal();
    Resultado = Datos;
    return Datos && Datos->Count() > 0 ? Datos->Item(1) : nullptr;
}

bool frmComInternet::Servicio_Drovanto(const QString& strURL, QString& strMensajeRespuesta, vb::ColeccionPtr& Resultado,
                                       const QString& strDatosEnviar, const QString& strSeparadorColumnas) {
    bool exito = false;
    AtrapaErrores(QStringLiteral("frmComInternet.Servicio_Drovanto"), [&] {
        preparaServicio(LecturaDelimitada, true, strSeparadorColumnas);
        strMensajeRespuesta.clear();
        const vb::EntidadPtr primera = enviaMensaje(strURL, strDatosEnviar, Resultado);
        if (!primera || primera->Count() == 0) {
            MensajeUsuario(QStringLiteral("no se ha recibido respuesta del servidor"), prompts::vbInformation);
            return;
        }
        const QString campo1 = texto(primera->Item(1));
        if (igual(campo1, "OK")) {
            MensajeUsuario(QStringLiteral("Mensaje enviado correctamente"), prompts::vbInformation);
            exito = blnOk;
        } else if (igual(campo1, "KO")) {
            strMensajeRespuesta = primera->Count() >= 2 ? texto(primera->Item(2)) : kErrorEnvio;
        } else {
            for (const vb::EntidadPtr& fila : Datos->items()) {
                for (int i = 1; i <= fila->Count(); ++i) {
                    const QString t = basFuncionesComunes::QuitaHtml(texto(fila->Item(i)));
                    if (!t.trimmed().isEmpty())
                        strMensajeRespuesta += t + QStringLiteral("\r\n");
                }
            }
            if (strMensajeRespuesta.isEmpty())
                strMensajeRespuesta = kErrorEnvio;
        }
    });
    return exito;
}

bool frmComInternet::Servicio_Drovanto_RespuestaXML(const QString& strURL, QString& strMensajeRespuestaUsuario,
                                                    vb::ColeccionPtr& Resultado, const QString& strDatosEnviar) {
    bool exito = false;
    AtrapaErrores(QStringLiteral("frmComInternet.Servicio_Drovanto_RespuestaXML"), [&] {
        preparaServicio(LecturaXML, blnPrimeraLinea_tiene_datos_NoDefColumnas, SeparadorColumnas);
        const vb::EntidadPtr e = enviaMensaje(strURL, strDatosEnviar, Resultado);
        if (!e || e->Count() == 0) {
            strMensajeRespuestaUsuario = QStringLiteral("No se ha obtenido una respueta correcta del servidor");
            return;
        }
        const QString resultado = texto(e->Valor(QStringLiteral("resultado")));
        QString mensaje = texto(e->Valor(QStringLiteral("mensaje")));
        if (mensaje == QLatin1String("#ERROR#"))
            mensaje.clear();
        exito = igual(texto(e->Item(1)), "OK") || igual(resultado, "OK") || resultado.isEmpty();
        strMensajeRespuestaUsuario = exito || !mensaje.isEmpty() ? mensaje : kErrorEnvio;
    });
    return exito;
}
