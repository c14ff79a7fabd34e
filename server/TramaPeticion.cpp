#include "TramaPeticion.h"

#include "platform/Cp1252.h"
#include "server/json/clsJSON.h"

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
    const qsizetype n = m_datos.size();
    if (m_completa || m_anidada)
        return resultado();
    if (m_inicio < 0) {
        const qsizetype i = m_datos.indexOf('{', m_buscado);
        m_buscado = n;
        if (i < 0)
            return resultado();
        m_inicio = i;
        m_vistos = i + 1;
    }
    if (!m_llaveNueva && m_datos.indexOf('}', m_vistos) >= 0)
        m_llaveNueva = true;
    m_vistos = n;
    if (m_llaveNueva && (n <= kRevisionInmediata || n - m_revisado >= m_revisado / 8 || n > kMaxPeticion))
        return revisa();
    return resultado();
}

LectorPeticiones::Estado LectorPeticiones::revisa() {
    if (!m_completa && !m_anidada && m_inicio >= 0 && m_llaveNueva) {
        // Bytes and characters are one to one (Windows-1252), so the reader's length is the bytes'.
        const qsizetype fin = clsJSON::finDeObjeto(cp1252::decode(m_datos.mid(m_inicio)));
        m_revisado = m_datos.size();
        m_llaveNueva = false;
        if (fin == clsJSON::kDemasiadoAnidado) {
            m_anidada = true;
        } else if (fin > 0) {
            m_completa = true;
            m_fin = m_inicio + fin;
        }
    }
    return resultado();
}

LectorPeticiones::Estado LectorPeticiones::resultado() const {
    if (m_datos.isEmpty())
        return Estado::Vacio;
    if ((m_completa ? m_fin : m_datos.size()) > kMaxPeticion)
        return Estado::Excedida;
    if (m_anidada)
        return Estado::Anidada;
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
