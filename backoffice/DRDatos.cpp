#include "backoffice/DRDatos.h"

#include "platform/VBError.h"

TextoNombradoPtr coleccionTextos::Item(const QString& nombre) const {
    for (const TextoNombradoPtr& t : m_items) {
        if (t->Nombre().compare(nombre, Qt::CaseInsensitive) == 0)
            return t;
    }
    return nullptr;
}

TextoNombradoPtr coleccionTextos::Item(int index1) const {
    if (index1 < 1 || index1 > Count())
        vb::Raise(vb::err::SubscriptOutOfRange);
    return m_items[size_t(index1 - 1)];
}

TextoNombradoPtr coleccionTextos::Add(const QString& nombre, const QString& texto, const Variant& objeto) {
    if (TextoNombradoPtr t = Item(nombre)) {
        t->Texto = texto;
        t->Objeto = objeto;
        return t;
    }
    m_items.push_back(std::make_shared<textoNombrado>(nombre, texto, objeto));
    return m_items.back();
}

const columna& coleccionColumnas::Item(int index1) const {
    if (index1 < 1 || index1 > Count())
        vb::Raise(vb::err::SubscriptOutOfRange);
    return m_items[size_t(index1 - 1)];
}

QStringList lineasDeTexto(const QString& texto) {
    if (texto.isEmpty())
        return {};
    QStringList lineas = texto.split(QLatin1Char('\n'));
    if (texto.endsWith(QLatin1Char('\n')))
        lineas.removeLast();
    for (QString& l : lineas) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    }
    return lineas;
}

QStringList camposDeLinea(const QString& linea, const QString& separador) {
    if (linea.isEmpty())
        return {};
    if (separador.isEmpty())
        return {linea};
    return linea.split(separador, Qt::KeepEmptyParts, Qt::CaseInsensitive);
}
