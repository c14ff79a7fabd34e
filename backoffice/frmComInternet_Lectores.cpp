// The readers of the three reply formats: sync text, delimited text and XML.
#include "backoffice/frmComInternet.h"

#include "backoffice/ComandosPrevios.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "platform/Program.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {

// A reply file as the transport saves it (UTF-16LE with BOM); a file with another BOM is read by it.
QString leeArchivoUnicode(const QString& ruta) {
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        vb::Raise(vb::err::FileNotFound, QStringLiteral("File not found: ") + ruta);
    const QByteArray bytes = f.readAll();
    QStringDecoder dec(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf16LE));
    return dec.decode(bytes);
}

void borraArchivo(const QString& ruta) {
    if (!ruta.isEmpty() && QFile::exists(ruta))
        QFile::remove(ruta);
}

bool empiezaPor(const QString& linea, const char* marca) {
    return linea.startsWith(QLatin1String(marca), Qt::CaseInsensitive);
}

} // namespace

void frmComInternet::lecturaFallida(const QString& archivo) {
    borraArchivo(archivo);
    terminaFallida();
}

void frmComInternet::ProcesaTextoRecibido(const QString& strArchivoTexto) {
    const bool leido = AtrapaErrores(QStringLiteral("ProcesaTextoRecibido"), [&] {
        estado(QStringLiteral("Importando texto"));
        program::doEvents();
        const QStringList lineas = lineasDeTexto(leeArchivoUnicode(strArchivoTexto));
        QString bloque;
        coleccionTextos tablas;
        TextoNombradoPtr actual;
        QStringList errores;
        for (QString linea : lineas) {
            if (empiezaPor(linea, "***")) {
                bloque = linea.mid(3).trimmed();
                const QString prefijo = bloque.left(7);
                if (bloque.compare(QLatin1String("Hora"), Qt::CaseInsensitive) == 0 ||
                    bloque.compare(QLatin1String("Config"), Qt::CaseInsensitive) == 0 || bloque.isEmpty()) {
                } else if (prefijo.compare(QLatin1String("Insert:"), Qt::CaseInsensitive) == 0 ||
                           prefijo.compare(QLatin1String("Delete:"), Qt::CaseInsensitive) == 0 ||
                           prefijo.compare(QLatin1String("Update:"), Qt::CaseInsensitive) == 0) {
                    bloque.clear();
                } else {
                    actual = tablas.Item(bloque);
                    if (!actual)
                        actual = tablas.Add(bloque, QString());
                }
                estado(QStringLiteral("Importando ") + bloque);
                program::doEvents();
            } else if (empiezaPor(linea, "---")) {
                if (linea.compare(QLatin1String("---OK"), Qt::CaseInsensitive) != 0)
                    errores << linea;
            } else if (empiezaPor(linea, "|||")) {
                // Only the first ":" separates the name: a value may hold more (a time, say).
                const QString resto = linea.mid(3).trimmed();
                const qsizetype dp = resto.indexOf(QLatin1Char(':'));
                if (dp >= 0)
                    Variables().Add(resto.left(dp), resto.mid(dp + 1));
            } else if (!linea.trimmed().isEmpty()) {
                if (bloque.compare(QLatin1String("Hora"), Qt::CaseInsensitive) == 0) {
                    Variables().Add(bloque, linea);
                } else if (bloque.compare(QLatin1String("Config"), Qt::CaseInsensitive) == 0) {
                    const QStringList partes = camposDeLinea(linea, SeparadorColumnas);
                    if (partes.size() >= 2)
                        Variables().Add(partes[0], partes[1]);
                } else if (!bloque.isEmpty()) {
                    if (!actual || actual->Nombre().compare(bloque, Qt::CaseInsensitive) != 0) {
                        actual = tablas.Item(bloque);
                        if (!actual)
                            actual = tablas.Add(bloque, QString());
                    }
                    linea.replace(QLatin1String("pp1234pp"), QLatin1String("\r"), Qt::CaseInsensitive);
                    actual->Texto += linea + QStringLiteral("\r\n");
                }
            }
        }

        if (!errores.isEmpty()) {
            blnError = true;
            auto mensajes = std::make_shared<vb::Collection>();
            for (const QString& e : std::as_const(errores)) {
                GrabaLog(QStringLiteral("Errores devueltos por el servidor: ") + e);
                const qsizetype dp = e.indexOf(QLatin1Char(':'));
                if (dp >= 0)
                    mensajes->Add(e.mid(dp + 1).section(QLatin1Char(':'), 0, 0));
            }
            basLegacyFunctions::PideListboxSimpleStrings(QStringLiteral("Errores importación/exportación"),
                                                         QStringLiteral("Errores devueltos por el servidor"),
                                                         vb::FromObject(mensajes), QString());
        } else {
            blnError = false;
            importaRespuesta(tablas);
        }
        borraArchivo(strArchivoTexto);
    });
    if (leido)
        terminaLectura(QStringLiteral("Datos importados"));
    else
        lecturaFallida(strArchivoTexto);
}

void frmComInternet::importaRespuesta(const coleccionTextos& tablas) {
    QStringList textos;
    for (const Variant& sql : colComandosSQL_AntesImportar().items())
        textos << sql.toString();
    ado::Connection& cn = ConexionServidor();
    // Everything is checked before anything runs: each command, and each table's engine.
    QList<ComandosPrevios::Comando> comandos;
    try {
        comandos = ComandosPrevios::prepara(textos, cn);
    } catch (const VBError&) {
        // The window keeps its commands from reply to reply; a list refused fails this reply only.
        while (colComandosSQL_AntesImportar().Count() > 0)
            colComandosSQL_AntesImportar().Remove(1);
        GrabaLog(QStringLiteral("frmComInternet: los comandos previos a la importación rechazados no se guardan"));
        throw;
    }
    std::vector<std::pair<TablaDatosPtr, TextoNombradoPtr>> conDatos;
    for (const TextoNombradoPtr& t : tablas) {
        if (t->Texto.trimmed().isEmpty())
            continue;
        if (const TablaDatosPtr tabla = da().getTabla(t->Nombre())) {
            ComandosPrevios::compruebaImportacion(tabla->Nombre(), cn);
            conDatos.emplace_back(tabla, t);
        }
    }
    if (comandos.isEmpty() && conDatos.empty())
        return;
    // The whole reply is one transaction: a failure leaves every table as it was. No event runs inside
    // it (no pass through the message loop, no message box): a request, a print or a rule served
    // meanwhile would write on this same connection, and its rows would share the reply's fate.
    SinDialogosModales sinDialogos;
    // What a command left in the session (a temporary table) goes after the reply, whatever its end.
    const auto deshace = [&] {
        for (const ComandosPrevios::Comando& c : std::as_const(comandos))
            if (!c.deshacer.isEmpty() && cn.State() == ado::adStateOpen)
                vb::ResumeNext([&] { cn.Execute(c.deshacer); });
    };
    cn.BeginTrans();
    try {
        for (const ComandosPrevios::Comando& c : std::as_const(comandos))
            cn.Execute(c.sql);
        for (const auto& [tabla, t] : conDatos) {
            estado(QStringLiteral("Importando datos de [") + t->Nombre() + QLatin1Char(']'));
            const DatosTablaPtr datos = tabla->ImportarTexto(t->Texto, SeparadorColumnas);
            estado(QStringLiteral("Sincronizando datos de [") + t->Nombre() + QLatin1Char(']'));
            tabla->Sincronizar(*datos);
        }
        cn.CommitTrans();
    } catch (...) {
        if (cn.InTransaction())
            cn.RollbackTrans();
        deshace();
        throw;
    }
    deshace();
}

void frmComInternet::ProcesaTexto_to_coleccionGenerica(const QString& strArchivoTexto) {
    const bool leido = AtrapaErrores(QStringLiteral("ProcesaTextoRecibido"), [&] {
        Datos = std::make_shared<vb::coleccionGenerica>();
        Columnas = std::make_shared<coleccionColumnas>();
        estado(QStringLiteral("Importando texto"));
        program::doEvents();
        int n = 0;
        for (const QString& linea : lineasDeTexto(leeArchivoUnicode(strArchivoTexto))) {
            const QStringList campos = camposDeLinea(linea, SeparadorColumnas);
            if (n == 0) {
                for (const QString& c : campos)
                    Columnas->Add(c, c, 1000, 0, QString(), 0);
            }
            if (n > 0 || blnPrimeraLinea_tiene_datos_NoDefColumnas) {
                auto e = std::make_shared<vb::entidadGenerica>();
                for (int i = 0; i < campos.size(); ++i)
                    e->Propiedad(Columnas->Item(i + 1).Nombre, campos[i]); // raises 9 past the last column
                Datos->Add(e);
            }
            ++n;
        }
        borraArchivo(strArchivoTexto);
    });
    if (leido)
        terminaLectura(QStringLiteral("Datos importados"));
    else
        lecturaFallida(strArchivoTexto);
}

void frmComInternet::ProcesaXML(const QString& strXML) {
    if (AtrapaErrores(QStringLiteral("frmComInternet.ProcesaXML"), [&] {
            auto datos = std::make_shared<vb::coleccionGenerica>();
            datos->Add(XMLtoEntidad(strXML));
            Datos = datos;
        }))
        terminaLectura(QStringLiteral("Respuesta de servidor procesada"));
    else
        terminaFallida();
}

namespace {

// A node's text as the DOM gives it: an element's descendant text, another node's own data.
QString textoNodo(const QDomNode& n) {
    return n.isElement() ? n.toElement().text() : n.nodeValue();
}

void pon(vb::entidadGenerica& e, const QString& nombre, const QDomNode& n) {
    e.Propiedad(nombre, textoNodo(n));
}

} // namespace

vb::EntidadPtr frmComInternet::XMLtoEntidad(const QString& strXML) {
    auto e = std::make_shared<vb::entidadGenerica>();
    if (strXML.isEmpty())
        return e;
    QDomDocument doc;
    if (!doc.setContent(strXML))
        return e;
    const QDomNodeList nivel1 = doc.childNodes();
    for (int a = 0; a < nivel1.size(); ++a) {
        const QDomNode n1 = nivel1.at(a);
        if (!n1.hasChildNodes()) {
            if (n1.isProcessingInstruction() && n1.nodeName() == QLatin1String("xml")) {
                // The DOM rewrites the declaration's quotes: its text is taken as written.
                const qsizetype ini = strXML.indexOf(QLatin1String("<?xml")), fin = strXML.indexOf(QLatin1String("?>"));
                if (ini >= 0 && fin > ini) {
                    e->Propiedad(n1.nodeName(), strXML.mid(ini + 5, fin - ini - 5).trimmed());
                    continue;
                }
            }
            pon(*e, n1.nodeName(), n1);
            continue;
        }
        for (QDomNode n2 = n1.firstChild(); !n2.isNull(); n2 = n2.nextSibling()) {
            if (!n2.hasChildNodes()) {
                pon(*e, n2.nodeName(), n2);
                continue;
            }
            for (QDomNode n3 = n2.firstChild(); !n3.isNull(); n3 = n3.nextSibling()) {
                if (n3.childNodes().size() < 2) {
                    pon(*e, n3.nodeName() == QLatin1String("#text") ? n2.nodeName() : n3.nodeName(), n3);
                    continue;
                }
                for (QDomNode n4 = n3.firstChild(); !n4.isNull(); n4 = n4.nextSibling()) {
                    if (!textoNodo(n4).isEmpty())
                        pon(*e, n4.nodeName(), n4);
                }
            }
        }
    }
    return e;
}
