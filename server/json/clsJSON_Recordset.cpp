// clsJSON: records as JSON, from a recordset or from the "|" and "~" text of rows and fields.
#include "clsJSON.h"

#include "clsStringBuilder.h"

using namespace Qt::Literals::StringLiterals;

void clsJSON::writeRecordsWrapper(clsStringBuilder& sb, QStringView records, qint64 count) {
    sb.Append("( {\"Records\": [\r\n"_L1);
    sb.Append(records);
    sb.Append("\r\n], \"RecordCount\":\""_L1);
    sb.Append(QString::number(count));
    sb.Append("\" } )"_L1);
}

QString clsJSON::StringToJSON(const QString& st, bool bConvertToUnicode) {
    if (st.isEmpty())
        return QStringLiteral("null");
    clsStringBuilder sb;
    const QStringList filas = st.split(u'|');
    for (const QString& fila : filas) {
        const QStringList campos = fila.isEmpty() ? QStringList() : fila.split(u'~');
        if (campos.size() % 2 != 0)
            vb::Raise(vb::err::SubscriptOutOfRange);
        if (sb.Length() > 0)
            sb.Append(",\r\n"_L1);
        sb.Append(u'{');
        for (qsizetype i = 0; i < campos.size(); i += 2) {
            if (i > 0)
                sb.Append(u',');
            appendParTexto(sb, campos[i], campos[i + 1], bConvertToUnicode);
        }
        sb.Append(u'}');
    }
    clsStringBuilder salida;
    writeRecordsWrapper(salida, sb.view(), filas.size());
    return salida.toString();
}

QString clsJSON::RStoJSON(ado::Recordset* rs, OpcionesRS opciones) {
    // Any error gives an empty text.
    QString texto;
    vb::ResumeNext([&] {
        if (!rs)
            vb::Raise(vb::err::ObjectNotSet);
        if (rs->State() != ado::adStateOpen || rs->isBOF() || rs->isEOF()) {
            texto = QStringLiteral("null");
            return;
        }
        clsStringBuilder sb;
        qint64 cuenta = 0;
        while (!rs->isBOF() && !rs->isEOF()) {
            ++cuenta;
            if (sb.Length() > 0)
                sb.Append(",\r\n"_L1);
            sb.Append(u'{');
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const ado::Field& campo = rs->Fields(i);
                if (i > 0)
                    sb.Append(u',');
                appendParTexto(sb, campo.Name, textoDe(campo.Value), true);
            }
            sb.Append(u'}');
            rs->MoveNext();
            if (opciones.blnSoloPrimerRegistro) {
                texto = sb.toString();
                return;
            }
        }
        clsStringBuilder salida;
        if (opciones.blnAddRecordsYRecordCount) {
            writeRecordsWrapper(salida, sb.view(), cuenta);
        } else {
            salida.Append("[\r\n"_L1);
            salida.Append(sb.view());
            salida.Append("\r\n]"_L1);
        }
        texto = salida.toString();
    });
    return texto;
}
