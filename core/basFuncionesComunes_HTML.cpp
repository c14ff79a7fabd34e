// basFuncionesComunes: HTML to plain text.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include <QRegularExpression>

namespace basFuncionesComunes {

QString QuitarTagsHTML(QString& texto) {
    static const char* const tags[] = {"<br>",  "<br/>",  "<br />",   "</br>",     "<div>",  "</div>",  "<p>",
                                       "<p/>",  "</p>",   "<strong>", "</strong>", "<font>", "</font>", "<td>",
                                       "</td>", "<span>", "</span>",  "<b>",       "</b>"};
    AtrapaErrores(QStringLiteral("basGeneral.QuitarTagsHTML"), [&] {
        for (const char* t : tags)
            texto.remove(QLatin1String(t), Qt::CaseInsensitive);
    });
    return texto;
}

QString QuitaHtml(const QString& texto) {
    QString s = texto;
    // Line-breaking elements become line ends, every other tag goes, entities are decoded.
    static const QRegularExpression saltos(QStringLiteral("<\\s*(br\\s*/?|/p|/div|/tr|/li|/h[1-6])\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression etiquetas(QStringLiteral("<[^>]*>"));
    s.replace(saltos, QStringLiteral("\r\n"));
    s.remove(etiquetas);
    static const struct {
        const char* nombre;
        char16_t c;
    } entidades[] = {{"nbsp", u' '},   {"lt", u'<'},     {"gt", u'>'},     {"quot", u'"'},   {"apos", u'\''},
                     {"euro", u'€'},   {"aacute", u'á'}, {"eacute", u'é'}, {"iacute", u'í'}, {"oacute", u'ó'},
                     {"uacute", u'ú'}, {"Aacute", u'Á'}, {"Eacute", u'É'}, {"Iacute", u'Í'}, {"Oacute", u'Ó'},
                     {"Uacute", u'Ú'}, {"ntilde", u'ñ'}, {"Ntilde", u'Ñ'}, {"uuml", u'ü'},   {"Uuml", u'Ü'},
                     {"ccedil", u'ç'}, {"Ccedil", u'Ç'}, {"iquest", u'¿'}, {"iexcl", u'¡'},  {"ordf", u'ª'},
                     {"ordm", u'º'},   {"agrave", u'à'}, {"egrave", u'è'}, {"ograve", u'ò'}, {"middot", u'·'},
                     {"comma", u','}};
    static const QRegularExpression entidad(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|[A-Za-z]+);"));
    QString r;
    qsizetype desde = 0;
    auto it = entidad.globalMatch(s);
    while (it.hasNext()) {
        const auto m = it.next();
        r += QStringView(s).mid(desde, m.capturedStart() - desde);
        const QString nombre = m.captured(1);
        QString sustituto = m.captured(0);
        if (nombre.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) || nombre.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint cp = nombre.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) ? nombre.mid(2).toUInt(&ok, 16)
                                                                                        : nombre.mid(1).toUInt(&ok, 10);
            if (ok && cp > 0 && cp <= 0x10FFFF) {
                const char32_t c32 = cp;
                sustituto = QString::fromUcs4(&c32, 1);
            }
        } else if (nombre == QLatin1String("amp")) {
            sustituto = QStringLiteral("&");
        } else {
            for (const auto& e : entidades)
                if (nombre == QLatin1String(e.nombre)) {
                    sustituto = QString(QChar(e.c));
                    break;
                }
        }
        r += sustituto;
        desde = m.capturedEnd();
    }
    r += QStringView(s).mid(desde);
    return r;
}

} // namespace basFuncionesComunes
