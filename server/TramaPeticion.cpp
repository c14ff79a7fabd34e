#include "TramaPeticion.h"

namespace trama {

namespace {
bool blanco(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
} // namespace

LectorPeticiones::Estado LectorPeticiones::anade(const QByteArray& llegada) {
    if (m_trasPeticion && m_datos.isEmpty()) {
        // Blanks behind a request are no request, whichever arrival brings them.
        qsizetype i = 0;
        while (i < llegada.size() && blanco(llegada[i]))
            ++i;
        if (i == llegada.size())
            return Estado::Vacio;
        m_trasPeticion = false;
        m_datos = llegada.mid(i);
    } else {
        m_datos += llegada;
    }
    if (m_datos.isEmpty())
        return Estado::Vacio;
    if (!m_completa) {
        // The scan goes on where the previous arrival left it, so a large request is read once.
        const char* p = m_datos.constData();
        const qsizetype n = m_datos.size();
        for (qsizetype i = m_escaneado; i < n && !m_completa; ++i) {
            const char c = p[i];
            if (!m_dentroObjeto) {
                if (c == '{') {
                    m_dentroObjeto = true;
                    m_profundidad = 1;
                }
                continue;
            }
            if (m_enCadena) {
                if (m_escape)
                    m_escape = false;
                else if (c == '\\')
                    m_escape = true;
                else if (c == '"')
                    m_enCadena = false;
                continue;
            }
            if (c == '"')
                m_enCadena = true;
            else if (c == '{')
                ++m_profundidad;
            else if (c == '}' && --m_profundidad == 0) {
                m_completa = true;
                m_fin = i + 1;
            }
        }
        m_escaneado = m_completa ? m_fin : n;
    }
    if ((m_completa ? m_fin : m_datos.size()) > kMaxPeticion)
        return Estado::Excedida;
    return m_completa ? Estado::Completa : Estado::Incompleta;
}

QByteArray LectorPeticiones::toma() {
    QByteArray resto;
    const bool completa = m_completa;
    if (completa) {
        resto = m_datos.mid(m_fin);
        m_datos.truncate(m_fin);
    }
    QByteArray r;
    r.swap(m_datos);
    *this = LectorPeticiones();
    m_trasPeticion = completa;
    if (!resto.isEmpty())
        anade(resto);
    return r;
}

QString extracto(const QString& texto, qsizetype maximo) {
    if (texto.size() <= maximo)
        return texto;
    return texto.left(maximo) + QStringLiteral("... (") + QString::number(texto.size() - maximo) +
           QStringLiteral(" caracteres más)");
}

PeticionRecibida analizaPeticion(const QString& texto) {
    PeticionRecibida p;
    QStringView datos(texto);
    if (datos.startsWith(kPersistenteFin, Qt::CaseInsensitive)) {
        datos = datos.mid(kPersistenteFin.size());
        p.Tag = kPersistenteFin;
        p.marcaFin = true;
    }
    if (datos.startsWith(kPersistente, Qt::CaseInsensitive)) {
        datos = datos.mid(kPersistente.size());
        p.Tag = kPersistente;
    }
    const qsizetype llave = datos.indexOf(u'{');
    p.modoJson = llave >= 0;
    p.datos = (p.modoJson ? datos.mid(llave) : datos).toString();
    return p;
}

QString enmarcaRespuesta(const PeticionRecibida& peticion, const QString& respuesta) {
    QString r;
    if (peticion.modoJson)
        r = QStringLiteral("200 OK\r") + respuesta;
    else
        r = respuesta.isEmpty() ? QStringLiteral("null") : respuesta;
    if (peticion.marcaFin)
        r += QChar(0) + kMarcaFin + QChar(0);
    return r;
}

} // namespace trama
