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
    if (m_desde == m_datos.size()) {
        // Nothing gathered: the arrival is the text (no copy), less the blanks behind a request,
        // which are no request whichever arrival brings them.
        qsizetype i = 0;
        if (m_trasPeticion)
            while (i < llegada.size() && blanco(llegada[i]))
                ++i;
        if (i == llegada.size()) {
            m_datos.clear();
            m_desde = m_buscado = 0;
            return Estado::Vacio;
        }
        m_trasPeticion = false;
        m_datos = i == 0 ? llegada : llegada.mid(i);
        m_desde = m_buscado = 0;
    } else {
        m_datos += llegada;
    }
    const qsizetype n = m_datos.size();
    if (m_completa || m_anidada)
        return resultado();
    if (m_inicio < 0) {
        const qsizetype i = m_relleno.inicioDeObjeto(m_datos.constData(), m_buscado, n);
        m_buscado = n;
        if (i < 0)
            return resultado();
        m_inicio = i;
        m_vistos = i + 1;
    }
    if (!m_llaveNueva && m_datos.indexOf('}', m_vistos) >= 0)
        m_llaveNueva = true;
    m_vistos = n;
    // An asking reads at most twice the text (its growing windows): it is made while the budget holds it.
    const qsizetype largo = n - m_inicio;
    if (m_llaveNueva &&
        (largo <= kRevisionInmediata || m_coste + 2 * largo <= kCostePorByte * largo || n - m_desde > kMaxPeticion))
        return revisa();
    return resultado();
}

LectorPeticiones::Estado LectorPeticiones::revisa() {
    if (!revisionPendiente())
        return resultado();
    m_llaveNueva = false;
    // Read in growing windows from the start of the object: an object the reader closes inside a
    // window closes at the same place in the whole text (reading only ever goes forward, and a
    // reading that meets the end of the text closes nothing), so several requests in one arrival
    // cost each its own length, not the length of all that follows it.
    const qsizetype largo = m_datos.size() - m_inicio;
    for (qsizetype ventana = std::min(largo, kRevisionInmediata);; ventana = std::min(largo, ventana * 4)) {
        // Bytes and characters are one to one (Windows-1252), so the reader's length is the bytes'.
        const qsizetype fin =
            clsJSON::finDeObjeto(cp1252::decode(QByteArrayView(m_datos).sliced(m_inicio, ventana).toByteArray()));
        if (ventana > kRevisionInmediata)
            m_coste += ventana;
        if (fin == clsJSON::kDemasiadoAnidado) {
            m_anidada = true;
            break;
        }
        if (fin > 0) {
            m_completa = true;
            m_fin = m_inicio + fin;
            break;
        }
        if (ventana == largo)
            break;
    }
    return resultado();
}

LectorPeticiones::Estado LectorPeticiones::resultado() const {
    if (vacio())
        return Estado::Vacio;
    if ((m_completa ? m_fin : m_datos.size()) - m_desde > kMaxPeticion)
        return Estado::Excedida;
    if (m_anidada)
        return Estado::Anidada;
    return m_completa ? Estado::Completa : Estado::Incompleta;
}

QByteArray LectorPeticiones::toma() {
    const bool completa = m_completa;
    const qsizetype fin = completa ? m_fin : m_datos.size();
    QByteArray r;
    if (m_desde == 0 && fin == m_datos.size())
        r.swap(m_datos);
    else
        r = m_datos.sliced(m_desde, fin - m_desde);
    // What follows stays where it is (copying it for each request of a long arrival would cost the
    // square of its length); the buffer is compacted once most of it has been taken.
    QByteArray datos;
    datos.swap(m_datos);
    qsizetype desde = fin;
    if (desde == datos.size()) {
        datos.clear();
        desde = 0;
    } else if (desde > datos.size() / 2) {
        datos.remove(0, desde);
        desde = 0;
    }
    *this = LectorPeticiones();
    m_datos.swap(datos);
    m_desde = m_buscado = desde;
    m_trasPeticion = completa;
    if (completa) {
        while (m_desde < m_datos.size() && blanco(m_datos[m_desde]))
            ++m_desde;
        m_buscado = m_desde;
        if (m_desde < m_datos.size())
            m_trasPeticion = false;
    }
    if (vacio()) {
        m_datos.clear();
        m_desde = m_buscado = 0;
    }
    if (!vacio())
        anade({});
    return r;
}

bool LectorPeticiones::soloRelleno() const {
    // The prefixes as analizaPeticion takes them, or the start of one still coming.
    QByteArrayView t = QByteArrayView(m_datos).sliced(m_desde);
    for (const QString& prefijo : {kPersistenteFin, kPersistente}) {
        const QByteArray p = prefijo.toLatin1();
        const qsizetype n = std::min(t.size(), p.size());
        if (QByteArrayView(p).first(n).compare(t.first(n), Qt::CaseInsensitive) != 0)
            continue;
        if (n < p.size())
            return true;
        t = t.sliced(n);
    }
    RellenoJSON relleno;
    for (char c : t)
        if (!relleno.salta(char16_t(uchar(c))))
            return false;
    return true;
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
    // Cut where the reader starts, not at the first raw "{": one inside a leading comment would move
    // the start into the comment; a text whose only "{" is in a comment holds no object.
    const qsizetype llave = RellenoJSON().inicioDeObjeto(datos.data(), 0, datos.size());
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
