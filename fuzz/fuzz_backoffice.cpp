// The back-office reply readers on arbitrary bytes, as a reply saved by the transport window reaches
// them (decoded as the transport decodes a reply, then a UTF-16 file for the text readers, the text
// itself for the XML ones), without a database: the sync-text reader, the delimited reader, the XML
// reader and XMLtoEntidad. The first byte picks the reader (bits 0-1), the column separator (bit 2)
// and the reply's Content-Type (bits 3-4: none, UTF-8, UTF-16, an unknown charset). Nothing may crash,
// hang or grow without bound; a reply that cannot be read ends the request as failed.
//
// With bit 5 set the rest is rows of a table instead (one a line, fields split at 0x1F: a key, a
// text, a decimal), sent as a sync-text reply for the table t1 (id int key, a varchar(20), b
// decimal(6,2)); the separator and line breaks are taken out of the values. The table's text must
// read back (ImportarTexto) as those columns and rows, value for value. When the process has the
// test database (TARVOLIN_DB_PORT, as scripts/test runs the fuzzers), the reply is imported into
// a scratch database too: either it fails and t1 is left empty, or t1 holds every row as sent, the
// last of a key winning.
#include "backoffice/frmComInternet.h"
#include "fuzz/EntornoFuzz.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/VBError.h"
#include "testsupport/RecordingOutput.h"

#include <QApplication>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Entorno : ProcesoFuzz<QApplication> {
    using ProcesoFuzz::ProcesoFuzz;
    QTemporaryDir respuestas;
    bool conBaseDeDatos = false;
};

Entorno* g_entorno = nullptr;

[[noreturn]] void falla(const char* que, const QString& texto) {
    std::fprintf(stderr, "fuzz_backoffice: %s\n%s\n", que, qPrintable(texto.toUtf8().toPercentEncoding(" |;\r\n")));
    std::abort();
}

// A scratch database with t1 on the test server, as ConexionServidor; false when there is none.
bool abreBaseDeDatos() {
    const QString puerto = qEnvironmentVariable("TARVOLIN_DB_PORT");
    if (puerto.isEmpty() || qEnvironmentVariable("TARVOLIN_ODBC_DRIVER").isEmpty())
        return false;
    const QString usuario = qEnvironmentVariable("TARVOLIN_DB_USER", QStringLiteral("root"));
    const auto cadena = [&](const QString& db) {
        return QStringLiteral("DRIVER={%1};SERVER=127.0.0.1;PORT=%2;DATABASE=%3;UID=%4;PASSWORD=%5")
            .arg(qEnvironmentVariable("TARVOLIN_ODBC_DRIVER"), puerto, db, usuario,
                 qEnvironmentVariable("TARVOLIN_DB_PASSWORD"));
    };
    const QString db = QStringLiteral("fuzz_backoffice_%1").arg(QCoreApplication::applicationPid());
    try {
        ado::Connection admin;
        admin.Open(cadena(QStringLiteral("mysql")));
        admin.Execute(QStringLiteral("drop database if exists ") + db);
        admin.Execute(QStringLiteral("create database ") + db);
        admin.Execute(
            QStringLiteral("create table %1.t1 (id int primary key, a varchar(20), b decimal(6,2) null)").arg(db));
        ConexionServidor().Open(cadena(db));
    } catch (const VBError& e) {
        std::fprintf(stderr, "fuzz_backoffice: no database (%s)\n", qPrintable(e.description()));
        return false;
    }
    std::atexit([] {
        vb::ResumeNext([] {
            ConexionServidor().Execute(QStringLiteral("drop database if exists ") +
                                       QStringLiteral("fuzz_backoffice_%1").arg(QCoreApplication::applicationPid()));
        });
    });
    return true;
}

// The rows of the structured mode: each line's fields, without the separator and line breaks.
struct Fila {
    QString id, a, b;
};

QList<Fila> filasDe(const QString& texto, const QString& separador) {
    QList<Fila> r;
    for (QString linea : texto.split(u'\n')) {
        linea.remove(u'\r');
        linea.remove(separador);
        // a field may not start the line as a marker does ("***", "---", "|||")
        while (!linea.isEmpty() && (linea.at(0) == u'*' || linea.at(0) == u'-' || linea.at(0) == u'|'))
            linea.remove(0, 1);
        const QStringList f = linea.split(QChar(0x1F));
        if (linea.isEmpty())
            continue;
        r.append({f.value(0), f.value(1), f.value(2)});
    }
    return r;
}

// A value as the reader takes it out of the text: "pp1234pp" (any case) stands for a carriage return.
QString leido(QString v) {
    return v.replace(QLatin1String("pp1234pp"), QLatin1String("\r"), Qt::CaseInsensitive);
}

void importaFilas(const QString& texto, bool barra, bool mayusculas) {
    const QString sep = barra ? QStringLiteral("|") : QStringLiteral(";");
    const QList<Fila> filas = filasDe(texto, sep);
    QString cuerpo = mayusculas ? QStringLiteral("ID") + sep + "A" + sep + "B\r\n"
                                : QStringLiteral("id") + sep + "a" + sep + "b\r\n";
    for (const Fila& f : filas)
        cuerpo += f.id + sep + f.a + sep + f.b + QStringLiteral("\r\n");

    // What the table's text reads as, without a database.
    const tablaDatos t1(nullptr, QStringLiteral("t1"),
                        {{QStringLiteral("id"), true, false, false, QStringLiteral("int"), 0},
                         {QStringLiteral("a"), false, true, true, QStringLiteral("varchar"), 0},
                         {QStringLiteral("b"), false, false, true, QStringLiteral("decimal"), 2}});
    QString textoTabla;
    for (const QString& l : lineasDeTexto(cuerpo))
        textoTabla += leido(l) + QStringLiteral("\r\n");
    const DatosTablaPtr datos = t1.ImportarTexto(textoTabla, sep);
    if (datos->columnas != QStringList{QStringLiteral("id"), QStringLiteral("a"), QStringLiteral("b")})
        falla("the columns read are not the header's", cuerpo);
    if (datos->filas.size() != size_t(filas.size()))
        falla("the rows read are not the text's", cuerpo);
    for (qsizetype i = 0; i < filas.size(); ++i) {
        const Fila& f = filas[i];
        if (datos->filas[size_t(i)] != QStringList{leido(f.id), leido(f.a), leido(f.b)})
            falla("a value read is not the text's", cuerpo);
    }
    if (!g_entorno->conBaseDeDatos)
        return;

    // The reply itself, imported: all or nothing, and every value as sent.
    ado::Connection& cn = ConexionServidor();
    cn.Execute(QStringLiteral("delete from t1"));
    frmComInternet ventana;
    ventana.SeparadorColumnas = sep;
    const QString archivo = g_entorno->respuestas.filePath(QStringLiteral("tabla.txt"));
    {
        QFile f(archivo);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        const QString reply = QStringLiteral("***t1\r\n") + cuerpo;
        f.write("\xFF\xFE", 2);
        f.write(reinterpret_cast<const char*>(reply.utf16()), reply.size() * 2);
    }
    ventana.ProcesaTextoRecibido(archivo);
    QFile::remove(archivo);
    ado::RecordsetPtr rs = cn.Execute(QStringLiteral("select id, hex(a), b from t1 order by id"));
    QList<QStringList> guardadas;
    for (; !rs->isEOF(); rs->MoveNext())
        guardadas.append({rs->Fields(0).Value.toString(),
                          QString::fromUtf8(QByteArray::fromHex(rs->Fields(1).Value.toByteArray())),
                          rs->Fields(2).Value.isNull() ? QString() : rs->Fields(2).Value.toString()});
    if (ventana.blnError) {
        if (!guardadas.isEmpty())
            falla("a failed import left rows", cuerpo);
        return;
    }
    QMap<qint64, Fila> ultima; // the last row of each key
    for (const Fila& f : filas)
        ultima.insert(leido(f.id).toLongLong(), {leido(f.id), leido(f.a), leido(f.b)});
    if (guardadas.size() != ultima.size())
        falla("the import did not keep one row a key", cuerpo);
    qsizetype i = 0;
    for (auto it = ultima.cbegin(); it != ultima.cend(); ++it, ++i) {
        const QStringList& g = guardadas[i];
        const bool bIgual = it->b.isEmpty() ? g[2].isEmpty() : !g[2].isEmpty() && g[2].toDouble() == it->b.toDouble();
        if (g[0].toLongLong() != it.key() || g[1] != it->a || !bIgual)
            falla("a row was not kept as sent", cuerpo + QStringLiteral("-> ") + g.join(u'|'));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_entorno = new Entorno(argc, argv);
    g_entorno->conBaseDeDatos = abreBaseDeDatos();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t modo = data[0];
    if (modo & 32) {
        importaFilas(cp1252::decode(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1))), modo & 4,
                     modo & 8);
        return 0;
    }
    static const char* const tipos[] = {"", "text/plain; charset=utf-8", "text/xml; charset=UTF-16",
                                        "text/plain; charset=x-ninguno"};
    const QString texto = frmComInternet::TextoRespuesta(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)),
        QString::fromLatin1(tipos[(modo >> 3) & 3]));

    frmComInternet ventana;
    ventana.SeparadorColumnas = (modo & 4) ? QStringLiteral("|") : QStringLiteral(";");
    int terminados = 0;
    QObject::connect(&ventana, &frmComInternet::ProcesoTerminado, [&] { ++terminados; });
    const QString archivo = g_entorno->respuestas.filePath(QStringLiteral("respuesta.txt"));
    auto guarda = [&] {
        QFile f(archivo);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write("\xFF\xFE", 2);
        f.write(reinterpret_cast<const char*>(texto.utf16()), texto.size() * 2);
    };
    try {
        switch (modo & 3) {
        case 0:
            guarda();
            ventana.ProcesaTextoRecibido(archivo);
            break;
        case 1:
            guarda();
            ventana.ProcesaTexto_to_coleccionGenerica(archivo);
            break;
        case 2:
            ventana.ProcesaXML(texto);
            break;
        default:
            (void)frmComInternet::XMLtoEntidad(texto);
            return 0;
        }
    } catch (const program::Ended&) {
        // Tables to import reach for the database, which is not there: the error handler's attempt to
        // connect again ends the program for want of a driver and settings. No other reader may end it.
        if ((modo & 3) != 0)
            std::abort();
        program::resetForTests();
        QFile::remove(archivo);
        return 0;
    }
    // Every reader ends its request exactly once, read or failed.
    if (terminados != 1)
        std::abort();
    QFile::remove(archivo);
    return 0;
}
