// basFuncionesComunes: SQL literals and escaping, the quick query, and field values by type.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Cp1252.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include <QLocale>
#include <QRegularExpression>
#include <memory>

namespace basFuncionesComunes {

namespace {

// Text of a value the way the helpers need it: byte data as Windows-1252, everything else through CStr
// (numbers with "." and no grouping).
QString textoDe(const Variant& v) {
    if (v.typeId() == QMetaType::QByteArray)
        return cp1252::decode(v.toByteArray());
    return vb::CStr(v);
}

// The ADO field types that hold a number (Booleans apart), and those that hold a date.
bool esCampoNumerico(int tipo) {
    switch (tipo) {
    case ado::adSmallInt:
    case ado::adInteger:
    case ado::adSingle:
    case ado::adDouble:
    case ado::adCurrency:
    case ado::adDecimal:
    case ado::adTinyInt:
    case ado::adUnsignedTinyInt:
    case ado::adUnsignedSmallInt:
    case ado::adUnsignedInt:
    case ado::adBigInt:
    case ado::adUnsignedBigInt:
    case ado::adNumeric:
        return true;
    default:
        return false;
    }
}
bool esCampoFecha(int tipo) {
    return tipo == ado::adDate || tipo == ado::adDBDate || tipo == ado::adDBTimeStamp;
}

} // namespace

QString NumeroATexto(const Variant& v, bool nullComoNull, const QString& formato) {
    if (nullComoNull && vb::IsNull(v))
        return QStringLiteral("null");
    QString s;
    vb::OnError(
        [&] {
            s = textoDe(VarToStr(v, qint16(0)));
            if (!formato.isEmpty() && vb::IsNumeric(s))
                s = FormatNumero(vb::CDbl(s), formato);
            s.replace(QLatin1Char(','), QLatin1Char('.'));
        },
        [](const VBError& e) { MensajeUsuario(e.description(), prompts::vbExclamation); });
    return s;
}

Variant ConsultaRapida(const QString& sql, const QString& campo, ado::Connection* conexion, const Variant& defecto,
                       const QList<Variant>& params) {
    Variant resultado;
    ado::RecordsetPtr rs;
    vb::OnError(
        [&] {
            ado::Connection& cn = conexion ? *conexion : ConexionServidor();
            if (cn.State() == ado::adStateClosed)
                cn.Open();
            rs = cn.Execute(sql, nullptr, params);
            if (!rs->isEOF() && !rs->isBOF()) {
                const ado::Field& f = campo.isEmpty() ? rs->Fields(0) : rs->Fields(campo);
                resultado = VarToStr(f.Value, defecto, true);
            } else {
                resultado = defecto;
            }
        },
        [&](const VBError& e) {
            // The recordset is closed before the error is reported.
            if (rs) {
                vb::ResumeNext([&] { rs->Close(); });
                rs.reset();
            }
            ControlErrores(QStringLiteral("basComunPocketra.ConsultaRapida"), true, e);
        });
    vb::ResumeNext([&] {
        if (rs && rs->State() == ado::adStateOpen)
            rs->Close();
    });
    return resultado;
}

namespace {

// Plain escaping for a server in its default mode (backslash escapes on): every backslash doubled, double
// quotes escaped when asked, apostrophes doubled or escaped.
void escapa(QString& texto, bool doblarComilla, bool escaparBarras) {
    texto.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    if (escaparBarras)
        texto.replace(QLatin1String("\""), QLatin1String("\\\""));
    texto.replace(QLatin1String("'"), doblarComilla ? QLatin1String("''") : QLatin1String("\\'"));
}

} // namespace

QString addslashes(QString& texto, bool doblarComilla, bool escaparBarras) {
    AtrapaErrores(QStringLiteral("basComunPocketra.addslashes"), [&] {
        // Escaping already present is undone first, so a text escaped twice is not doubled.
        texto.replace(QLatin1String("\\'"), QLatin1String("'"));
        if (escaparBarras)
            texto.replace(QLatin1String("\\\""), QLatin1String("\""));
        texto.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        // Every remaining backslash is doubled even without escaparBarras: a lone one would escape the
        // character after it, and a trailing one the closing apostrophe of the literal.
        escapa(texto, doblarComilla, escaparBarras);
    });
    return texto;
}

QString cStringSQL(const QString& texto, bool ponerComillas, bool escaparBarras) {
    // The text is a value: nothing in it is taken for earlier escaping, so it reads back exactly.
    QString copia = texto;
    bool comillas = false;
    AtrapaErrores(QStringLiteral(".basFuncionesComunes.cStringSQL"), [&] {
        escapa(copia, true, escaparBarras);
        comillas = ponerComillas;
    });
    return comillas ? QLatin1Char('\'') + copia + QLatin1Char('\'') : copia;
}

Variant Vc(const ado::Field* campo, const Variant& muestra) {
    Variant r;
    AtrapaErrores(QStringLiteral("basComunPocketra.Vc"), [&] {
        const QString tipo = vb::TypeName(muestra);
        const bool numerico = tipo == QLatin1String("Integer") || tipo == QLatin1String("Double") ||
                              tipo == QLatin1String("Long") || tipo == QLatin1String("Single");
        Variant defecto;
        if (tipo == QLatin1String("String")) {
            defecto = QString();
        } else if (numerico || tipo == QLatin1String("Date")) {
            defecto = qint16(0);
        } else if (tipo == QLatin1String("Boolean")) {
            defecto = false;
        } else if (!campo) {
            defecto = qint16(0);
        } else {
            // Every numeric type the driver reports counts as a number (not only the ones named for the
            // Windows driver), so a Null BIGINT or SMALLINT gives 0, not the empty text.
            if (esCampoNumerico(campo->Type) || esCampoFecha(campo->Type))
                defecto = qint16(0);
            else if (campo->Type == ado::adBoolean)
                defecto = false;
            else
                defecto = QString();
        }
        Variant valor;
        if (!campo) {
            valor = defecto;
        } else {
            switch (campo->Type) {
            case ado::adUnsignedTinyInt:
            case ado::adUnsignedSmallInt:
            case ado::adUnsignedInt:
            case ado::adUnsignedBigInt:
                valor = vb::CDbl(VarToStr(campo->Value, qint16(0), true));
                break;
            case ado::adBinary:
            case ado::adLongVarChar:
            case ado::adLongVarWChar:
            case ado::adLongVarBinary:
                valor = textoDe(VarToStr(campo->Value, QString(), true));
                break;
            default:
                valor = VarToStr(campo->Value, defecto, true);
                break;
            }
        }
        if (tipo == QLatin1String("String"))
            r = textoDe(valor);
        else if (numerico)
            r = ValNumero(textoDe(valor));
        else if (tipo == QLatin1String("Date"))
            r = vb::IsDate(valor) ? Variant(vb::CDate(valor)) : valor;
        else if (tipo == QLatin1String("Boolean"))
            r = vb::CBool(valor);
        else
            r = valor;
    });
    return r;
}

QString CreaDelete(const QString& sql, const QString& /*tabla*/) {
    const qsizetype p = sql.indexOf(QLatin1String(" from "));
    if (p < 0)
        return QString();
    return QStringLiteral("delete from ") + sql.mid(p + 6);
}

vb::ObjectPtr CreaInserts(const QString& sql, const QString& tabla) {
    auto col = std::make_shared<vb::Collection>();
    AtrapaErrores(QStringLiteral(".basFuncionesComunes_CreaInserts"), [&] {
        ado::RecordsetPtr rs = ConexionServidor().Execute(sql);
        while (!rs->isEOF()) {
            QStringList columnas, valores;
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const ado::Field& f = rs->Fields(i);
                columnas << textoDe(VarToStr(f.Name, QString()));
                valores << ValorSQL(f);
            }
            col->Add(QStringLiteral("insert into ") + tabla + QStringLiteral(" (") +
                     columnas.join(QLatin1String(", ")) + QStringLiteral(") values (") +
                     valores.join(QLatin1String(", ")) + QLatin1Char(')'));
            rs->MoveNext();
        }
        rs->Close();
    });
    return col;
}

namespace {

// A text literal that reads back as the same text on a server with its default SQL mode (backslash escapes on).
QString literalTexto(const QString& s) {
    QString r = s;
    r.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    r.replace(QLatin1Char('\''), QLatin1String("''"));
    r.replace(QChar(0), QLatin1String("\\0"));
    return QLatin1Char('\'') + r + QLatin1Char('\'');
}

bool esNumeroSQL(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return re.match(s).hasMatch();
}

QString textoNumero(const Variant& v) {
    switch (v.typeId()) {
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Float:
        return QString::number(double(v.value<float>()), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QString: {
        QString s = vb::Trim(v.toString());
        s.replace(QLatin1Char(','), QLatin1Char('.'));
        return esNumeroSQL(s) ? s : literalTexto(v.toString());
    }
    default:
        return textoDe(v);
    }
}

// The literal of ValorSQL.
QString literalDeCampo(const ado::Field& campo) {
    const Variant& v = campo.Value;
    const bool nulo = vb::IsNull(v) || !v.isValid();
    if (esCampoNumerico(campo.Type))
        return nulo ? QStringLiteral("0") : textoNumero(v);
    switch (campo.Type) {
    case ado::adDate:
    case ado::adDBDate:
    case ado::adDBTimeStamp:
        if (nulo)
            return QStringLiteral("'0000-00-00'");
        if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate)
            return QLatin1Char('\'') + v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                   QLatin1Char('\'');
        return literalTexto(textoDe(v));
    case ado::adBoolean:
        return nulo ? QStringLiteral("0") : vb::CStr(vb::CBool(v));
    default:
        if (nulo)
            return QStringLiteral("''");
        if (v.typeId() == QMetaType::QByteArray) {
            const QByteArray b = v.toByteArray();
            return b.isEmpty() ? QStringLiteral("''") : QStringLiteral("0x") + QString::fromLatin1(b.toHex());
        }
        if (v.typeId() == QMetaType::QTime)
            return QLatin1Char('\'') + v.toTime().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('\'');
        return literalTexto(textoDe(v));
    }
}

} // namespace

QString ValorSQL(const ado::Field& campo) {
    QString literal;
    vb::ResumeNext([&] { literal = literalDeCampo(campo); });
    return literal;
}

} // namespace basFuncionesComunes
